#pragma once

#include "platform/MidiPorts.h"

#include <mutex>

namespace tarnovelle
{

class AlsaPortAnnouncements;

/** The operating system's MIDI ports, through JUCE's MidiInput and MidiOutput. */
class JuceMidiBackend final : public MidiBackend
{
public:
    juce::StringArray getInputNames() override;
    juce::StringArray getOutputNames() override;
    std::unique_ptr<MidiInputPort> openInput (int index, MidiPortCallback* callback) override;
    std::unique_ptr<MidiOutputPort> openOutput (int index) override;
    juce::StringArray getInputIdentifiers() override;
    juce::StringArray getOutputIdentifiers() override;

    /** Through the sequencer's announcements where there is an ALSA sequencer. */
    bool setPortsChangedCallback (std::function<void()> callback) override;

    JuceMidiBackend();
    ~JuceMidiBackend() override;

private:
    std::mutex callbackMutex;
    std::function<void()> portsChanged;
    std::unique_ptr<AlsaPortAnnouncements> announcements;

    JUCE_DECLARE_NON_COPYABLE_WITH_LEAK_DETECTOR (JuceMidiBackend)
};

} // namespace tarnovelle
