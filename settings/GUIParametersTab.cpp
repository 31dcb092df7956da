#include "settings/GUIParametersTab.h"

#include "settings/PanelGeometry.h"
#include "settings/Pictures.h"

namespace tarnovelle
{

namespace
{
    template <typename Widget>
    Widget& createWidget (juce::Component& parent, std::unique_ptr<Widget>& widget)
    {
        widget = std::make_unique<Widget>();
        parent.addAndMakeVisible (widget.get());
        return *widget;
    }

    // Where each widget lies on the panel picture, in the order of GUIParametersTab::getWidgets().
    const std::array<juce::Rectangle<int>, 12>& getWidgetBounds()
    {
        using namespace PanelGeometry;
        static const std::array<juce::Rectangle<int>, 12> bounds{ { keyboard, lfo, velocitySelector, aftertouchSelector,
                                                                    arpHold, bendRange, stepSize, clkSync, gateLen,
                                                                    tapAvg, midiChooser, inputGain } };
        return bounds;
    }

    juce::uint8 lowByte (int value) noexcept { return (juce::uint8) (value & 0xff); }
} // namespace

GUIParametersTab::GUIParametersTab()
{
    createWidget (*this, mKeyboard).setExplicitFocusOrder (2);
    createWidget (*this, mLfo);
    createWidget (*this, mVelocity);
    createWidget (*this, mAftertouch);
    createWidget (*this, mArpHold);
    createWidget (*this, mBendRange);
    createWidget (*this, mStepSize);
    createWidget (*this, mClockSync);
    createWidget (*this, mGateLength);
    createWidget (*this, mTapAverage);
    createWidget (*this, mMidiChooser);
    createWidget (*this, mInputGain);

    mBackground = Pictures::parametersBackground();
    setSize (PanelGeometry::tabWidth, PanelGeometry::tabHeight);
}

GUIParametersTab::~GUIParametersTab()
{
    // The widgets go in the order they were made, before the picture.
    mKeyboard.reset();
    mLfo.reset();
    mVelocity.reset();
    mAftertouch.reset();
    mArpHold.reset();
    mBendRange.reset();
    mStepSize.reset();
    mClockSync.reset();
    mGateLength.reset();
    mTapAverage.reset();
    mMidiChooser.reset();
    mInputGain.reset();
}

std::array<SelectorWidget*, 12> GUIParametersTab::getWidgets() const noexcept
{
    return { mKeyboard.get(),   mLfo.get(),        mVelocity.get(),    mAftertouch.get(),
             mArpHold.get(),    mBendRange.get(),  mStepSize.get(),    mClockSync.get(),
             mGateLength.get(), mTapAverage.get(), mMidiChooser.get(), mInputGain.get() };
}

void GUIParametersTab::paint (juce::Graphics& g)
{
    // The rectangle has the picture's own size: it is drawn unscaled at the top-left and
    // cut at the tab's edges, whatever the tab's size.
    g.fillAll (juce::Colours::white);
    g.setColour (juce::Colours::black);
    g.drawImageWithin (mBackground, 0, 0, PanelGeometry::backgroundWidth, PanelGeometry::backgroundHeight,
                       juce::RectanglePlacement::centred, false);
}

void GUIParametersTab::resized()
{
    const auto widgets = getWidgets();

    for (size_t i = 0; i < widgets.size(); ++i)
        widgets[i]->setBounds (getWidgetBounds()[i]);
}

void GUIParametersTab::setListener (juce::ActionListener* listener)
{
    for (auto* widget : getWidgets())
        widget->addActionListener (listener);
}

void GUIParametersTab::showSetting (DeviceSetting setting, int value)
{
    using Show = void (*) (GUIParametersTab&, int);

    struct Row
    {
        DeviceSetting setting;
        Show show;
    };

    using S = DeviceSetting;
    static const std::array<Row, numDeviceSettings> rows{ {
        { S::MIN, [] (GUIParametersTab& t, int v) { t.mMidiChooser->showMidiInChannel ((juce::uint32) v); } },
        { S::MOUT, [] (GUIParametersTab& t, int v) { t.mMidiChooser->showMidiOutChannel ((juce::uint32) v); } },
        { S::MKEY, [] (GUIParametersTab& t, int v) { t.mKeyboard->showKeyboardMode (lowByte (v)); } },
        { S::LKEY, [] (GUIParametersTab& t, int v) { t.mKeyboard->showKeyboardLegato (v > 0); } },
        { S::INGN, [] (GUIParametersTab& t, int v) { t.mInputGain->showValue (lowByte (v)); } },
        { S::LFO, [] (GUIParametersTab& t, int v) { t.mLfo->showValue (v != 0 ? 1 : 0); } },
        { S::VELO, [] (GUIParametersTab& t, int v) { t.mVelocity->showValue (lowByte (v)); } },
        { S::AFTE, [] (GUIParametersTab& t, int v) { t.mAftertouch->showValue (lowByte (v)); } },
        { S::ARP, [] (GUIParametersTab& t, int v) { t.mArpHold->showValue (v != 0 ? 1 : 0); } },
        { S::BEND, [] (GUIParametersTab& t, int v) { t.mBendRange->showValue (lowByte (v)); } },
        { S::STEP, [] (GUIParametersTab& t, int v) { t.mStepSize->showValue (lowByte (v)); } },
        { S::GLEN, [] (GUIParametersTab& t, int v) { t.mGateLength->showValue (lowByte (v)); } },
        { S::TAP, [] (GUIParametersTab& t, int v) { t.mTapAverage->showValue (lowByte (v)); } },
        { S::SYNC, [] (GUIParametersTab& t, int v) { t.mClockSync->showValue (lowByte (v)); } },
    } };

    for (auto& row : rows)
        if (row.setting == setting)
            return row.show (*this, value);
}

} // namespace tarnovelle
