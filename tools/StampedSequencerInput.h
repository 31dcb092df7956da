#pragma once

#include <juce_audio_basics/juce_audio_basics.h>
#include <juce_core/juce_core.h>

#include <alsa/asoundlib.h>

#include <functional>
#include <vector>

namespace tarnovelle
{

/** The emulator's MIDI input: a writable port on the ALSA sequencer that the sequencer itself
    stamps with the time it hands each event over (on a real-time queue started with the
    client).

    A note's stamp is therefore the moment the sender wrote it, not the moment this program's
    reading thread woke up to fetch it, which is what a timing measurement of the sender needs.
    The port may come and go (an instrument's USB ports vanish while it restarts); the client
    and its clock stay for the object's life.
*/
class StampedSequencerInput final : private juce::Thread
{
public:
    /** Called on the reading thread with each complete message and its stamp, in milliseconds
        since the client opened.
    */
    using Handler = std::function<void (const juce::MidiMessage& message, double stampMs)>;

    explicit StampedSequencerInput (Handler handlerToUse);
    ~StampedSequencerInput() override;

    /** Opens the sequencer client and starts its clock; false when the sequencer refuses. */
    bool openClient (const juce::String& clientName);

    /** Publishes the port and starts reading; false (and nothing published) when refused. */
    bool openPort (const juce::String& portName);

    /** Stops reading and withdraws the port. */
    void closePort();

private:
    void run() override;
    void handle (const snd_seq_event_t& event);
    void gatherSysex (const uint8_t* data, size_t size, double stampMs);
    void closeClient();

    Handler handler;
    snd_seq_t* sequencer = nullptr;
    snd_midi_event_t* decoder = nullptr;
    int queue = -1;
    int port = -1;
    std::vector<uint8_t> pendingSysex;

    JUCE_DECLARE_NON_COPYABLE_WITH_LEAK_DETECTOR (StampedSequencerInput)
};

} // namespace tarnovelle
