#include "demo/GUIInstrumentWindow.h"

namespace tarnovelle
{

namespace
{
    constexpr int panelWidth = 620;
    constexpr int panelHeight = 150;
    constexpr int switchesHeight = 36;
    // The computer's keys play from middle C (60): A, W, S, E, D...
    constexpr int middleCOctave = 5;
} // namespace

GUIInstrumentPanel::GUIInstrumentPanel (EmulatedInstrument& instrumentToPlay)
    : instrument (instrumentToPlay)
{
    keyboard.setKeyPressBaseOctave (middleCOctave);
    keyboard.setAvailableRange (48, 96);
    keyboardState.addListener (this);
    addAndMakeVisible (keyboard);

    power.setToggleState (instrument.isSwitchedOn(), juce::dontSendNotification);
    power.onClick = [this] { instrument.setSwitchedOn (power.getToggleState()); };
    addAndMakeVisible (power);

    cable.setToggleState (! instrument.isUnplugged(), juce::dontSendNotification);
    cable.onClick = [this] { instrument.setUnplugged (! cable.getToggleState()); };
    addAndMakeVisible (cable);

    setSize (panelWidth, panelHeight);
}

GUIInstrumentPanel::~GUIInstrumentPanel() { keyboardState.removeListener (this); }

void GUIInstrumentPanel::resized()
{
    auto area = getLocalBounds().reduced (8);
    auto switches = area.removeFromTop (switchesHeight);
    power.setBounds (switches.removeFromLeft (120));
    cable.setBounds (switches.removeFromLeft (220));
    area.removeFromTop (4);
    keyboard.setBounds (area);
}

void GUIInstrumentPanel::paint (juce::Graphics& g) { g.fillAll (juce::Colour (0xff2b2b2b)); }

void GUIInstrumentPanel::handleNoteOn (juce::MidiKeyboardState*, int, int note, float velocity)
{
    // The instrument sends on its own transmit channel, whichever channel the keyboard shows.
    instrument.playKey (note, juce::jlimit (1, 127, juce::roundToInt (velocity * 127.0f)));
}

void GUIInstrumentPanel::handleNoteOff (juce::MidiKeyboardState*, int, int note, float)
{
    instrument.playKey (note, 0);
}

GUIInstrumentWindow::GUIInstrumentWindow (EmulatedInstrument& instrument)
    : juce::DocumentWindow ("Tarnovelle", juce::Colours::darkgrey, juce::DocumentWindow::closeButton)
    , panel (instrument)
{
    setUsingNativeTitleBar (true);
    setContentNonOwned (&panel, true);
    centreWithSize (getWidth(), getHeight());
}

} // namespace tarnovelle
