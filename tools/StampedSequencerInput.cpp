#include "StampedSequencerInput.h"

#include <poll.h>

namespace tarnovelle
{

namespace
{
    // A sender may cut a long system exclusive message into several events; one that never
    // ends is dropped once it grows past anything the instrument takes.
    constexpr size_t longestSysex = 1 << 20;

    double stampOf (const snd_seq_event_t& event)
    {
        if (! snd_seq_ev_is_real (&event))
            return 0.0;

        return event.time.time.tv_sec * 1000.0 + event.time.time.tv_nsec / 1.0e6;
    }
} // namespace

StampedSequencerInput::StampedSequencerInput (Handler handlerToUse)
    : juce::Thread ("Emulator MIDI input")
    , handler (std::move (handlerToUse))
{}

StampedSequencerInput::~StampedSequencerInput()
{
    closePort();
    closeClient();
}

bool StampedSequencerInput::openClient (const juce::String& clientName)
{
    if (snd_seq_open (&sequencer, "default", SND_SEQ_OPEN_DUPLEX, SND_SEQ_NONBLOCK) < 0 || sequencer == nullptr)
    {
        sequencer = nullptr;
        return false;
    }

    snd_seq_set_client_name (sequencer, clientName.toRawUTF8());
    queue = snd_seq_alloc_named_queue (sequencer, "Arrival times");

    if (queue < 0 || snd_seq_start_queue (sequencer, queue, nullptr) < 0 || snd_seq_drain_output (sequencer) < 0
        || snd_midi_event_new (16, &decoder) < 0)
    {
        closeClient();
        return false;
    }

    snd_midi_event_no_status (decoder, 1);
    return true;
}

void StampedSequencerInput::closeClient()
{
    if (decoder != nullptr)
        snd_midi_event_free (decoder);

    if (sequencer != nullptr)
    {
        if (queue >= 0)
            snd_seq_free_queue (sequencer, queue);

        snd_seq_close (sequencer);
    }

    decoder = nullptr;
    sequencer = nullptr;
    queue = -1;
}

bool StampedSequencerInput::openPort (const juce::String& portName)
{
    closePort();

    if (sequencer == nullptr)
        return false;

    snd_seq_port_info_t* info = nullptr;
    snd_seq_port_info_alloca (&info);
    snd_seq_port_info_set_name (info, portName.toRawUTF8());
    snd_seq_port_info_set_capability (info, SND_SEQ_PORT_CAP_WRITE | SND_SEQ_PORT_CAP_SUBS_WRITE);
    snd_seq_port_info_set_type (info, SND_SEQ_PORT_TYPE_MIDI_GENERIC | SND_SEQ_PORT_TYPE_APPLICATION);
    snd_seq_port_info_set_timestamping (info, 1);
    snd_seq_port_info_set_timestamp_real (info, 1);
    snd_seq_port_info_set_timestamp_queue (info, queue);

    if (snd_seq_create_port (sequencer, info) < 0)
        return false;

    port = snd_seq_port_info_get_port (info);
    pendingSysex.clear();
    snd_midi_event_reset_decode (decoder);
    startThread();
    return true;
}

void StampedSequencerInput::closePort()
{
    stopThread (2000);

    if (sequencer != nullptr && port >= 0)
        snd_seq_delete_port (sequencer, port);

    port = -1;
}

void StampedSequencerInput::run()
{
    pollfd descriptor{};

    if (snd_seq_poll_descriptors (sequencer, &descriptor, 1, POLLIN) != 1)
        return;

    while (! threadShouldExit())
    {
        if (poll (&descriptor, 1, 50) <= 0)
            continue;

        snd_seq_event_t* event = nullptr;

        while (snd_seq_event_input (sequencer, &event) >= 0 && event != nullptr)
        {
            handle (*event);
            event = nullptr;
        }
    }
}

void StampedSequencerInput::handle (const snd_seq_event_t& event)
{
    const auto stampMs = stampOf (event);

    if (event.type == SND_SEQ_EVENT_SYSEX)
    {
        gatherSysex (static_cast<const uint8_t*> (event.data.ext.ptr), event.data.ext.len, stampMs);
        return;
    }

    uint8_t bytes[16];
    const auto size = snd_midi_event_decode (decoder, bytes, sizeof (bytes), &event);

    if (size > 0)
        handler (juce::MidiMessage (bytes, (int) size), stampMs);
}

void StampedSequencerInput::gatherSysex (const uint8_t* data, size_t size, double stampMs)
{
    if (size == 0)
        return;

    if (data[0] == 0xf0)
        pendingSysex.clear();
    else if (pendingSysex.empty())
        return; // the rest of a message whose start was lost

    pendingSysex.insert (pendingSysex.end(), data, data + size);

    if (pendingSysex.size() > longestSysex)
    {
        pendingSysex.clear();
        return;
    }

    if (pendingSysex.back() == 0xf7)
    {
        handler (juce::MidiMessage (pendingSysex.data(), (int) pendingSysex.size()), stampMs);
        pendingSysex.clear();
    }
}

} // namespace tarnovelle
