#pragma once

#include "platform/MidiPorts.h"

namespace tarnovelle
{

/** The operating system's MIDI ports, through JUCE's MidiInput and MidiOutput. */
class JuceMidiBackend final : public MidiBackend
{
public:
    JuceMidiBackend() = default;

    juce::StringArray getInputNames() override;
    juce::StringArray getOutputNames() override;
    std::unique_ptr<MidiInputPort> openInput (int index, MidiPortCallback* callback) override;
    std::unique_ptr<MidiOutputPort> openOutput (int index) override;

private:
    JUCE_DECLARE_NON_COPYABLE_WITH_LEAK_DETECTOR (JuceMidiBackend)
};

} // namespace tarnovelle
