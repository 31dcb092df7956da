#include "settings/GUISettingWidgets.h"

namespace tarnovelle
{

namespace
{
    using P = SelectorPicture;
    using Rule = AdvanceRule;

    // Switches: the button fills the widget. Knobs: the knob sits at 24, 24 in the widget.
    const juce::Rectangle<int> fillsWidget{};
    const juce::Rectangle<int> knobInWidget{ 24, 24, 66, 65 };

    // The initial picture is the one the panel shows before the settings have been read;
    // for most switches it is not the picture of the initial value.

    const SelectorControlDescription velocity{
        DeviceSetting::VELO, { { 0, P::switchTop }, { 1, P::switchMiddle }, { 2, P::switchBottom } },
        Rule::modulo (3),    0,
        P::switchBottom,     fillsWidget
    };

    const SelectorControlDescription aftertouch{
        DeviceSetting::AFTE, { { 0, P::switchTop }, { 1, P::switchMiddle }, { 2, P::switchBottom } },
        Rule::modulo (3),    0,
        P::switchBottom,     fillsWidget
    };

    const SelectorControlDescription inputGain{
        DeviceSetting::INGN, { { 0, P::switchTop }, { 1, P::switchMiddle }, { 2, P::switchBottom } },
        Rule::modulo (3),    0,
        P::switchBottom,     fillsWidget
    };

    const SelectorControlDescription gateLength{
        DeviceSetting::GLEN,      { { 1, P::switchTop }, { 2, P::switchMiddle }, { 3, P::switchBottom } },
        Rule::wrapToOneAfter (3), 1,
        P::switchBottom,          fillsWidget
    };

    const SelectorControlDescription arpHold{ DeviceSetting::ARP, { { 0, P::switchBottom }, { 1, P::switchTop } },
                                              Rule::modulo (2),   0,
                                              P::switchBottom,    fillsWidget };

    const SelectorControlDescription lfo{ DeviceSetting::LFO, { { 0, P::switchBottom }, { 1, P::switchTop } },
                                          Rule::modulo (2),   0,
                                          P::switchBottom,    fillsWidget };

    const SelectorControlDescription tapAverage{ DeviceSetting::TAP,
                                                 { { 0, P::switchTop }, { 1, P::switchBottom } },
                                                 Rule::wrapToZeroAfterOne(),
                                                 0,
                                                 P::switchBottom,
                                                 fillsWidget };

    // Bend ranges 1 .. 12 are the knob positions 0 .. 11.
    const SelectorControlDescription bendRange{
        DeviceSetting::BEND, knobScale (1, 12), Rule::wrapToOneAfter (12), 1, P::knob0, knobInWidget
    };

    const SelectorControlDescription stepSize{
        DeviceSetting::STEP,
        { { 4, knobPicture (0) }, { 8, knobPicture (2) }, { 16, knobPicture (4) }, { 32, knobPicture (6) } },
        Rule::doubling(),
        16,
        P::knob0,
        knobInWidget
    };

    // The knob starts at Auto, and so does the stored value: the first click selects Int.
    // The instrument may report 3, which has a position of its own off the printed scale.
    const SelectorControlDescription clockSync{
        DeviceSetting::SYNC,
        { { 0, knobPicture (0) }, { 1, knobPicture (2) }, { 2, knobPicture (4) }, { 3, knobPicture (3) } },
        Rule::modulo (3),
        0,
        P::knob0,
        knobInWidget
    };

    const SelectorControlDescription keyboardMode{
        DeviceSetting::MKEY, { { 0, P::switchMiddle }, { 1, P::switchBottom }, { 2, P::switchTop } },
        Rule::modulo (3),    0,
        P::switchBottom,     { 8, 8, 29, 65 }
    };

    const SelectorControlDescription keyboardLegato{
        DeviceSetting::LKEY, { { 0, P::switchBottom }, { 1, P::switchTop } }, Rule::modulo (2), 0, P::switchBottom,
        { 379, 135, 29, 65 }
    };

    // Channels 1 .. 16 are the values 0 .. 15; the receive knob has All (16) just before 1.
    const SelectorControlDescription midiOut{ DeviceSetting::MOUT, knobScale (0, 16), Rule::modulo (16), 0, P::knob0,
                                              { 42, 17, 66, 65 } };

    PictureTable receiveScale()
    {
        auto table = knobScale (0, 16);
        table.push_back ({ 16, P::knobAll });
        return table;
    }

    const SelectorControlDescription midiIn{ DeviceSetting::MIN, receiveScale(),     Rule::modulo (17), 0,
                                             P::knobAll,         { 167, 15, 66, 65 } };
} // namespace

GUIVelocitySelector::GUIVelocitySelector()
    : OneControlSelector (velocity, 34, 76)
{
}
GUIAftertouchSelector::GUIAftertouchSelector()
    : OneControlSelector (aftertouch, 34, 76)
{
}
GUIInputGain::GUIInputGain()
    : OneControlSelector (inputGain, 29, 65)
{
}
GUIGateLen::GUIGateLen()
    : OneControlSelector (gateLength, 34, 76)
{
}
GUIArpHold::GUIArpHold()
    : OneControlSelector (arpHold, 34, 76)
{
}
GUILFO::GUILFO()
    : OneControlSelector (lfo, 29, 65)
{
}
GUITapAvg::GUITapAvg()
    : OneControlSelector (tapAverage, 34, 76)
{
}
GUIBendRange::GUIBendRange()
    : OneControlSelector (bendRange, 120, 120)
{
}
GUIStepSize::GUIStepSize()
    : OneControlSelector (stepSize, 120, 120)
{
}
GUIClkSync::GUIClkSync()
    : OneControlSelector (clockSync, 120, 120)
{
}

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
    setSize (288, 120);
}

GUIMIDIChooser::~GUIMIDIChooser() = default;

void GUIMIDIChooser::showMidiOutChannel (juce::uint32 value) { showControlValue (0, value); }
void GUIMIDIChooser::showMidiInChannel (juce::uint32 value) { showControlValue (1, value); }

} // namespace tarnovelle
