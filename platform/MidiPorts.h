#pragma once

#include <juce_audio_basics/juce_audio_basics.h>

#include <functional>
#include <memory>

namespace tarnovelle
{

class MidiInputPort;

/** Receives the messages of an open MIDI input, on the input's own thread.

    This plays the part of JUCE's MidiInputCallback; the source is our own port type so
    that the emulated ports can report where a message came from as real ones do.
*/
class MidiPortCallback
{
public:
    virtual ~MidiPortCallback() = default;

    virtual void handleIncomingMidiMessage (MidiInputPort* source, const juce::MidiMessage& message) = 0;

    virtual void handlePartialSysexMessage (MidiInputPort*, const juce::uint8*, int, double) {}
};

/** One open MIDI input. Messages reach the callback only between start() and stop(). */
class MidiInputPort
{
public:
    virtual ~MidiInputPort() = default;

    virtual void start() = 0;
    virtual void stop() = 0;
    virtual juce::String getName() const = 0;

    /** Names this appearance of the port: one that vanishes and comes back gets another. */
    virtual juce::String getIdentifier() const { return getName(); }
};

/** One open MIDI output.

    Every message leaves whole, whichever threads send: the player's thread sends notes while
    the message thread sends the instrument's requests. JUCE's ALSA output hands a message to
    an encoder of its port in pieces and writes long messages through a buffer that all ports
    of the process share, so two sends at once could put a note inside a request. Ports
    implement write(), which only ever runs under one lock that every output shares.
*/
class MidiOutputPort
{
public:
    virtual ~MidiOutputPort() = default;

    /** Sends the message at once and whole; may be called from any thread. */
    void sendMessageNow (const juce::MidiMessage& message);

    virtual juce::String getName() const = 0;

    /** Names this appearance of the port: one that vanishes and comes back gets another. */
    virtual juce::String getIdentifier() const { return getName(); }

private:
    /** Puts the message on the port; called by sendMessageNow alone, under the lock. */
    virtual void write (const juce::MidiMessage& message) = 0;
};

/** The computer's MIDI ports, addressed by device index as JUCE does. */
class MidiBackend
{
public:
    virtual ~MidiBackend() = default;

    virtual juce::StringArray getInputNames() = 0;
    virtual juce::StringArray getOutputNames() = 0;

    /** Returns nullptr when the port cannot be opened. */
    virtual std::unique_ptr<MidiInputPort> openInput (int index, MidiPortCallback* callback) = 0;

    /** Returns nullptr when the port cannot be opened. */
    virtual std::unique_ptr<MidiOutputPort> openOutput (int index) = 0;

    /** The identifiers of the listed ports, in the order of the names (see getIdentifier). */
    virtual juce::StringArray getInputIdentifiers() { return getInputNames(); }
    virtual juce::StringArray getOutputIdentifiers() { return getOutputNames(); }

    /** Asks to be told, on any thread, whenever ports may have come or gone (nullptr: no
        more). Returns false when this backend cannot tell: the caller then compares the lists
        itself now and then.
    */
    virtual bool setPortsChangedCallback (std::function<void()>) { return false; }
};

} // namespace tarnovelle
