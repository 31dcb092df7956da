#pragma once

#include "demo/JuceKeyboard.h"
#include "emulator/EmulatedInstrument.h"

namespace tarnovelle
{

/** The demo's emulated instrument as the musician has it in front of them: its keys, which
    send notes on its transmit channel (its MOUT setting), its power switch and its USB cable.
*/
class GUIInstrumentPanel final : public juce::Component, private juce::MidiKeyboardState::Listener
{
public:
    explicit GUIInstrumentPanel (EmulatedInstrument& instrument);
    ~GUIInstrumentPanel() override;

    void resized() override;
    void paint (juce::Graphics& g) override;

    juce::MidiKeyboardState& getKeyboardState() noexcept { return keyboardState; }
    juce::MidiKeyboardComponent& getKeyboard() noexcept { return keyboard; }
    juce::ToggleButton& getPowerSwitch() noexcept { return power; }
    juce::ToggleButton& getCable() noexcept { return cable; }

private:
    void handleNoteOn (juce::MidiKeyboardState*, int channel, int note, float velocity) override;
    void handleNoteOff (juce::MidiKeyboardState*, int channel, int note, float velocity) override;

    EmulatedInstrument& instrument;
    juce::MidiKeyboardState keyboardState;
    juce::MidiKeyboardComponent keyboard{ keyboardState, juce::MidiKeyboardComponent::horizontalKeyboard };
    juce::ToggleButton power{ "Power" }, cable{ "USB cable plugged in" };

    JUCE_DECLARE_NON_COPYABLE_WITH_LEAK_DETECTOR (GUIInstrumentPanel)
};

/** The window "Tarnovelle" that holds the panel; closing it only hides it. */
class GUIInstrumentWindow final : public juce::DocumentWindow
{
public:
    explicit GUIInstrumentWindow (EmulatedInstrument& instrument);

    void closeButtonPressed() override { setVisible (false); }

    GUIInstrumentPanel& getPanel() noexcept { return panel; }

private:
    GUIInstrumentPanel panel;

    JUCE_DECLARE_NON_COPYABLE_WITH_LEAK_DETECTOR (GUIInstrumentWindow)
};

} // namespace tarnovelle
