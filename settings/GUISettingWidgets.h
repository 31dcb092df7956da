#pragma once

#include "settings/SelectorWidget.h"

namespace tarnovelle
{

/** The controls of the settings panel. Each class stands for one printed switch or knob
    (two for GUIKeyboard and GUIMIDIChooser); their values, pictures and click rules are the
    tables in GUISettingWidgets.cpp.
*/

/** Velocity Response: "VELO ", 0 .. 2. */
class GUIVelocitySelector final : public OneControlSelector
{
public:
    GUIVelocitySelector();
    JUCE_DECLARE_NON_COPYABLE_WITH_LEAK_DETECTOR (GUIVelocitySelector)
};

/** Next Seq: "AFTE ", 0 .. 2. */
class GUIAftertouchSelector final : public OneControlSelector
{
public:
    GUIAftertouchSelector();
    JUCE_DECLARE_NON_COPYABLE_WITH_LEAK_DETECTOR (GUIAftertouchSelector)
};

/** Seq Retrig: "INGN ", 0 .. 2. */
class GUIInputGain final : public OneControlSelector
{
public:
    GUIInputGain();
    JUCE_DECLARE_NON_COPYABLE_WITH_LEAK_DETECTOR (GUIInputGain)
};

/** Gate: "GLEN ", 1 .. 3. */
class GUIGateLen final : public OneControlSelector
{
public:
    GUIGateLen();
    JUCE_DECLARE_NON_COPYABLE_WITH_LEAK_DETECTOR (GUIGateLen)
};

/** Play: "ARP  ", 0 (Hold) or 1 (Note On). */
class GUIArpHold final : public OneControlSelector
{
public:
    GUIArpHold();
    JUCE_DECLARE_NON_COPYABLE_WITH_LEAK_DETECTOR (GUIArpHold)
};

/** LFO Key Retrigger: "LFO  ", 0 or 1. */
class GUILFO final : public OneControlSelector
{
public:
    GUILFO();
    JUCE_DECLARE_NON_COPYABLE_WITH_LEAK_DETECTOR (GUILFO)
};

/** Step On: "TAP  ", 0 (Clk) or 1 (Gate). */
class GUITapAvg final : public OneControlSelector
{
public:
    GUITapAvg();
    JUCE_DECLARE_NON_COPYABLE_WITH_LEAK_DETECTOR (GUITapAvg)
};

/** BEND RANGE knob: "BEND ", 1 .. 12. */
class GUIBendRange final : public OneControlSelector
{
public:
    GUIBendRange();
    JUCE_DECLARE_NON_COPYABLE_WITH_LEAK_DETECTOR (GUIBendRange)
};

/** STEP knob: "STEP ", 4, 8, 16 or 32. */
class GUIStepSize final : public OneControlSelector
{
public:
    GUIStepSize();
    JUCE_DECLARE_NON_COPYABLE_WITH_LEAK_DETECTOR (GUIStepSize)
};

/** SYNC knob: "SYNC ", 0 (Auto), 1 (Int), 2 (Ext). */
class GUIClkSync final : public OneControlSelector
{
public:
    GUIClkSync();
    JUCE_DECLARE_NON_COPYABLE_WITH_LEAK_DETECTOR (GUIClkSync)
};

//==============================================================================
/** Note Priority ("MKEY ", 0 .. 2) and Envelope Legato Mode ("LKEY ", 0 or 1). */
class GUIKeyboard final : public SelectorWidget
{
public:
    GUIKeyboard();
    ~GUIKeyboard() override;

    void showKeyboardMode (juce::uint8 value);
    /** Stores 1 for on and 0 for off. */
    void showKeyboardLegato (bool on);

private:
    std::unique_ptr<juce::ImageButton> mModeButton, mLegatoButton;
    juce::uint8 mModeValue = 0, mLegatoValue = 0;

    JUCE_DECLARE_NON_COPYABLE_WITH_LEAK_DETECTOR (GUIKeyboard)
};

/** The TRANSMIT CHANNEL ("MOUT ", 0 .. 15) and RECEIVE CHANNEL ("MIN  ", 0 .. 15, 16 = All)
    knobs. Their values are kept in 32 bits.
*/
class GUIMIDIChooser final : public SelectorWidget
{
public:
    GUIMIDIChooser();
    ~GUIMIDIChooser() override;

    void showMidiInChannel (juce::uint32 value);
    void showMidiOutChannel (juce::uint32 value);

private:
    std::unique_ptr<juce::ImageButton> mMidiOutKnob, mMidiInKnob;
    juce::uint32 mMidiOut = 0, mMidiIn = 0;

    JUCE_DECLARE_NON_COPYABLE_WITH_LEAK_DETECTOR (GUIMIDIChooser)
};

} // namespace tarnovelle
