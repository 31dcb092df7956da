#include "settings/GUISettingWidgets.h"

#include "settings/PanelGeometry.h"

namespace tarnovelle
{

namespace
{
    using P = SelectorPicture;
    using Rule = AdvanceRule;
    using S = DeviceSetting;

    // Switches: the button fills the widget. Knobs: the knob sits at 24, 24 in the widget.
    const juce::Rectangle<int> fillsWidget{};
    const juce::Rectangle<int> knobInWidget = PanelGeometry::knobButton;

    PictureTable receiveScale()
    {
        auto table = knobScale (0, 16);
        table.push_back ({ 16, P::knobAll });
        return table;
    }

    // Each control: its code, the pictures of its values, how a click advances it, the value
    // it starts from and the picture it starts with (the panel shows the latter until the
    // settings have been read; for most switches it is not the picture of the initial value).

    // clang-format off
    const SelectorControlDescription velocity   { S::VELO, { { 0, P::switchTop }, { 1, P::switchMiddle }, { 2, P::switchBottom } },
                                                  Rule::modulo (3), 0, P::switchBottom, fillsWidget };
    const SelectorControlDescription aftertouch { S::AFTE, { { 0, P::switchTop }, { 1, P::switchMiddle }, { 2, P::switchBottom } },
                                                  Rule::modulo (3), 0, P::switchBottom, fillsWidget };
    const SelectorControlDescription inputGain  { S::INGN, { { 0, P::switchTop }, { 1, P::switchMiddle }, { 2, P::switchBottom } },
                                                  Rule::modulo (3), 0, P::switchBottom, fillsWidget };
    const SelectorControlDescription gateLength { S::GLEN, { { 1, P::switchTop }, { 2, P::switchMiddle }, { 3, P::switchBottom } },
                                                  Rule::wrapToOneAfter (3), 1, P::switchBottom, fillsWidget };
    const SelectorControlDescription arpHold    { S::ARP,  { { 0, P::switchBottom }, { 1, P::switchTop } },
                                                  Rule::modulo (2), 0, P::switchBottom, fillsWidget };
    const SelectorControlDescription lfo        { S::LFO,  { { 0, P::switchBottom }, { 1, P::switchTop } },
                                                  Rule::modulo (2), 0, P::switchBottom, fillsWidget };
    const SelectorControlDescription tapAverage { S::TAP,  { { 0, P::switchTop }, { 1, P::switchBottom } },
                                                  Rule::wrapToZeroAfterOne(), 0, P::switchBottom, fillsWidget };

    // Bend ranges 1 .. 12 are the knob positions 0 .. 11.
    const SelectorControlDescription bendRange  { S::BEND, knobScale (1, 12),
                                                  Rule::wrapToOneAfter (12), 1, P::knob0, knobInWidget };
    const SelectorControlDescription stepSize   { S::STEP, { { 4, knobPicture (0) }, { 8, knobPicture (2) }, { 16, knobPicture (4) }, { 32, knobPicture (6) } },
                                                  Rule::doubling(), 16, P::knob0, knobInWidget };

    // The knob starts at Auto, and so does the stored value: the first click selects Int.
    // The instrument may report 3, which has a position of its own off the printed scale.
    const SelectorControlDescription clockSync  { S::SYNC, { { 0, knobPicture (0) }, { 1, knobPicture (2) }, { 2, knobPicture (4) }, { 3, knobPicture (3) } },
                                                  Rule::modulo (3), 0, P::knob0, knobInWidget };

    const SelectorControlDescription keyboardMode   { S::MKEY, { { 0, P::switchMiddle }, { 1, P::switchBottom }, { 2, P::switchTop } },
                                                      Rule::modulo (3), 0, P::switchBottom, PanelGeometry::keyboardModeSwitch };
    const SelectorControlDescription keyboardLegato { S::LKEY, { { 0, P::switchBottom }, { 1, P::switchTop } },
                                                      Rule::modulo (2), 0, P::switchBottom, PanelGeometry::keyboardLegatoSwitch };

    // Channels 1 .. 16 are the values 0 .. 15; the receive knob has All (16) just before 1.
    const SelectorControlDescription midiOut { S::MOUT, knobScale (0, 16),
                                               Rule::modulo (16), 0, P::knob0, PanelGeometry::midiOutKnob };
    const SelectorControlDescription midiIn  { S::MIN, receiveScale(),
                                               Rule::modulo (17), 0, P::knobAll, PanelGeometry::midiInKnob };
    // clang-format on
} // namespace

GUIVelocitySelector::GUIVelocitySelector()
    : OneControlSelector (velocity, 34, 76)
{}

GUIAftertouchSelector::GUIAftertouchSelector()
    : OneControlSelector (aftertouch, 34, 76)
{}

GUIInputGain::GUIInputGain()
    : OneControlSelector (inputGain, 29, 65)
{}

GUIGateLen::GUIGateLen()
    : OneControlSelector (gateLength, 34, 76)
{}

GUIArpHold::GUIArpHold()
    : OneControlSelector (arpHold, 34, 76)
{}

GUILFO::GUILFO()
    : OneControlSelector (lfo, 29, 65)
{}

GUITapAvg::GUITapAvg()
    : OneControlSelector (tapAverage, 34, 76)
{}

GUIBendRange::GUIBendRange()
    : OneControlSelector (bendRange, 120, 120)
{}

GUIStepSize::GUIStepSize()
    : OneControlSelector (stepSize, 120, 120)
{}

GUIClkSync::GUIClkSync()
    : OneControlSelector (clockSync, 120, 120)
{}

//==============================================================================
GUIKeyboard::GUIKeyboard()
{
    addControl (keyboardMode, mModeButton, mModeValue);
    addControl (keyboardLegato, mLegatoButton, mLegatoValue);
    setSize (420, 200);
}

GUIKeyboard::~GUIKeyboard() = default;

void GUIKeyboard::showKeyboardMode (juce::uint8 value) { showControlValue (0, value); }
void GUIKeyboard::showKeyboardLegato (bool on) { showControlValue (1, on ? 1u : 0u); }

//==============================================================================
GUIMIDIChooser::GUIMIDIChooser()
{
    addControl (midiOut, mMidiOutKnob, mMidiOut);
    addControl (midiIn, mMidiInKnob, mMidiIn);
    setSize (PanelGeometry::midiChooser.getWidth(), PanelGeometry::midiChooser.getHeight());
}

GUIMIDIChooser::~GUIMIDIChooser() = default;

void GUIMIDIChooser::showMidiOutChannel (juce::uint32 value) { showControlValue (0, value); }
void GUIMIDIChooser::showMidiInChannel (juce::uint32 value) { showControlValue (1, value); }

} // namespace tarnovelle
