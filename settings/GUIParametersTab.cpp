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
    setSize (1000, 420);
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
    g.drawImageWithin (mBackground, 0, 0, 1035, 420, juce::RectanglePlacement::centred, false);
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

void GUIParametersTab::showMidiInChannel (int value) { mMidiChooser->showMidiInChannel ((juce::uint32) value); }
void GUIParametersTab::showMidiOutChannel (int value) { mMidiChooser->showMidiOutChannel ((juce::uint32) value); }
void GUIParametersTab::showInputGain (int value) { mInputGain->showValue (lowByte (value)); }
void GUIParametersTab::showLfoRetrigger (bool on) { mLfo->showValue (on ? 1 : 0); }
void GUIParametersTab::showArpHold (bool on) { mArpHold->showValue (on ? 1 : 0); }
void GUIParametersTab::showKeyboardMode (int value) { mKeyboard->showKeyboardMode (lowByte (value)); }
void GUIParametersTab::showKeyboardLegato (int value) { mKeyboard->showKeyboardLegato (value > 0); }
void GUIParametersTab::showVelocity (int value) { mVelocity->showValue (lowByte (value)); }
void GUIParametersTab::showAftertouch (int value) { mAftertouch->showValue (lowByte (value)); }
void GUIParametersTab::showBendRange (int value) { mBendRange->showValue (lowByte (value)); }
void GUIParametersTab::showStepSize (int value) { mStepSize->showValue (lowByte (value)); }
void GUIParametersTab::showGateLength (int value) { mGateLength->showValue (lowByte (value)); }
void GUIParametersTab::showTapAverage (int value) { mTapAverage->showValue (lowByte (value)); }
void GUIParametersTab::showClockSync (int value) { mClockSync->showValue (lowByte (value)); }

} // namespace tarnovelle
