#include "platform/AlsaPortAnnouncements.h"

#include <alsa/asoundlib.h>

#include <fcntl.h>
#include <poll.h>
#include <unistd.h>

#include <vector>

namespace tarnovelle
{

namespace
{
    snd_seq_t* openSubscribedClient()
    {
        snd_seq_t* seq = nullptr;

        if (snd_seq_open (&seq, "default", SND_SEQ_OPEN_INPUT, SND_SEQ_NONBLOCK) < 0 || seq == nullptr)
            return nullptr;

        snd_seq_set_client_name (seq, "Tarnovelle Connection port watch");

        // Only written to by the subscription, and never listed as a MIDI port: no SUBS capability.
        const auto port = snd_seq_create_simple_port (
            seq, "announcements", SND_SEQ_PORT_CAP_WRITE | SND_SEQ_PORT_CAP_NO_EXPORT, SND_SEQ_PORT_TYPE_APPLICATION);

        if (port < 0 || snd_seq_connect_from (seq, port, SND_SEQ_CLIENT_SYSTEM, SND_SEQ_PORT_SYSTEM_ANNOUNCE) < 0)
        {
            snd_seq_close (seq);
            return nullptr;
        }

        return seq;
    }

    // Only ports count: a client ending announces the end of each of its ports as well. Clients
    // without ports come and go all the time: JUCE opens one for each look at the port lists
    // while no port of its own is open, and taking those for news would make every look the
    // cause of the next.
    bool isAboutPorts (int type)
    {
        return type == SND_SEQ_EVENT_PORT_START || type == SND_SEQ_EVENT_PORT_EXIT || type == SND_SEQ_EVENT_PORT_CHANGE;
    }
} // namespace

AlsaPortAnnouncements::AlsaPortAnnouncements (std::function<void()> onPortsChanged)
    : juce::Thread ("ALSA port announcements")
    , callback (std::move (onPortsChanged))
{
    if (::pipe2 (wakePipe, O_CLOEXEC | O_NONBLOCK) != 0)
        return;

    sequencer = openSubscribedClient();

    if (sequencer != nullptr)
        startThread();
}

AlsaPortAnnouncements::~AlsaPortAnnouncements()
{
    signalThreadShouldExit();

    if (wakePipe[1] >= 0) [[maybe_unused]]
        const auto written = ::write (wakePipe[1], "x", 1);

    stopThread (2000);

    if (sequencer != nullptr)
        snd_seq_close (static_cast<snd_seq_t*> (sequencer));

    for (auto fd : wakePipe)
        if (fd >= 0)
            ::close (fd);
}

bool AlsaPortAnnouncements::takeAnnouncements()
{
    auto* seq = static_cast<snd_seq_t*> (sequencer);
    bool changed = false;
    snd_seq_event_t* event = nullptr;

    // -ENOSPC says that announcements were lost to a full queue: something changed anyway.
    for (int result; (result = snd_seq_event_input (seq, &event)) >= 0 || result == -ENOSPC;)
        changed = changed || result == -ENOSPC || (event != nullptr && isAboutPorts (event->type));

    return changed;
}

void AlsaPortAnnouncements::run()
{
    auto* seq = static_cast<snd_seq_t*> (sequencer);
    const auto count = snd_seq_poll_descriptors_count (seq, POLLIN);
    std::vector<pollfd> fds ((size_t) juce::jmax (0, count) + 1);
    snd_seq_poll_descriptors (seq, fds.data() + 1, (unsigned int) count, POLLIN);
    fds[0] = { wakePipe[0], POLLIN, 0 };

    while (! threadShouldExit())
    {
        if (::poll (fds.data(), (nfds_t) fds.size(), -1) < 0 && errno != EINTR)
            return;

        if (threadShouldExit())
            return;

        if (takeAnnouncements() && callback != nullptr)
            callback();
    }
}

} // namespace tarnovelle
