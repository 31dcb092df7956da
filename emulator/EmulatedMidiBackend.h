#pragma once

#include "emulator/EmulatedInstrument.h"
#include "platform/MidiPorts.h"

#include <memory>
#include <vector>

namespace tarnovelle
{

/** MIDI ports of a computer in software: the emulated instrument and whatever else tests
    want to find next to it.

    Each device has an input port and an output port named after it, or only one of them.
    Seen from the application, input index i is the i-th listed device that has an input
    (what the device sends) and output index i the i-th listed device that has an output
    (what reaches the device); devices are listed in the order they were added, so a device
    with only one side shifts the two lists against each other.

    Messages a device sends are delivered to every open and started input of that device on
    the backend's delivery thread, as a real MIDI input delivers on its own thread. A device
    that vanishes (unplugged, re-enumerating) disappears from the lists and its open ports go
    dead for good; ports opened after it came back work.

    Stopping or closing an input waits until no callback is running into it, so no callback
    arrives after stop() or the port's destruction has returned. Every function may be called
    from any thread. The instruments added must outlive the backend.
*/
class EmulatedMidiBackend final : public MidiBackend
{
public:
    /** Which of the two ports a device has, as the application lists them. */
    enum class Sides
    {
        both,
        inputOnly, // listed among the inputs only: it sends, nothing reaches it
        outputOnly // listed among the outputs only: it receives, nothing comes back
    };

    EmulatedMidiBackend();
    ~EmulatedMidiBackend() override;

    /** Each add returns the device's number, used by the functions further down. */
    int addInstrument (EmulatedInstrument& instrument, const juce::String& name = "Tarnovelle");

    /** Echoes everything the application sends to it back on its input, identity requests
        included (they come back as requests, not as replies).
    */
    int addMidiThrough (const juce::String& name = "Midi Through Port-0");

    /** Answers each Identity Request with the given bytes (a complete SysEx message, F0 to
        F7), for instance the reply of another maker's synthesizer, or any SysEx at all.
    */
    int addForeignDevice (const juce::String& name, const std::vector<uint8>& identityReply, Sides sides = Sides::both);

    /** Listed, but opening it fails. */
    int addUnopenablePort (const juce::String& name, Sides sides = Sides::both);

    /** Opens, but never sends anything and ignores what it receives. */
    int addSilentDevice (const juce::String& name, Sides sides = Sides::both);

    /** Sends the messages one after another, one every intervalMs, round and round, for
        instance notes, clock and Active Sensing of a keyboard.
    */
    int addChatterDevice (const juce::String& name, const std::vector<juce::MidiMessage>& messages, int intervalMs,
                          Sides sides = Sides::both);

    /** Makes any device but an instrument vanish or appear again (an instrument follows its
        own setUnplugged).
    */
    void setDevicePresent (int device, bool shouldBePresent);

    /** Delivers a message as if the device had sent it. */
    void sendFromDevice (int device, const juce::MidiMessage& message);

    /** Ports currently open, so tests can check that every port was closed again. */
    int getNumOpenInputs() const;
    int getNumOpenOutputs() const;

    /** Blocks until every message sent so far has been delivered (or the time is up). */
    bool waitUntilDelivered (int timeoutMs = 1000) const;

    juce::StringArray getInputNames() override;
    juce::StringArray getOutputNames() override;
    std::unique_ptr<MidiInputPort> openInput (int index, MidiPortCallback* callback) override;
    std::unique_ptr<MidiOutputPort> openOutput (int index) override;

    /** A device's identifier names its number and how often it has vanished. */
    juce::StringArray getInputIdentifiers() override;
    juce::StringArray getOutputIdentifiers() override;

    /** Told of every cable pulled or plugged, power switched, restart and device added. */
    bool setPortsChangedCallback (std::function<void()> callback) override;

    struct Core;
    class Device;

private:
    int addDevice (std::shared_ptr<Device> device);
    std::shared_ptr<Device> findListed (int index, bool input) const;
    juce::StringArray listed (bool inputs, bool identifiers) const;

    std::shared_ptr<Core> core;

    JUCE_DECLARE_NON_COPYABLE_WITH_LEAK_DETECTOR (EmulatedMidiBackend)
};

} // namespace tarnovelle
