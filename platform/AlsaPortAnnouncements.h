#pragma once

#include <juce_core/juce_core.h>

#include <functional>

namespace tarnovelle
{

/** The ALSA sequencer's own news of its ports: a client of its own, subscribed to the System
    Announce port, tells on a thread of its own whenever a port starts, ends or changes. It
    sleeps until the sequencer has news, so an idle program pays nothing for it.
*/
class AlsaPortAnnouncements final : private juce::Thread
{
public:
    /** Starts listening; the callback is called on the listening thread. */
    explicit AlsaPortAnnouncements (std::function<void()> onPortsChanged);
    ~AlsaPortAnnouncements() override;

    /** False when there is no sequencer, or it refused the subscription: nothing will be told. */
    bool isListening() const noexcept { return sequencer != nullptr; }

private:
    void run() override;
    bool takeAnnouncements();

    const std::function<void()> callback;
    void* sequencer = nullptr; // snd_seq_t, kept out of this header
    int wakePipe[2]{ -1, -1 };

    JUCE_DECLARE_NON_COPYABLE_WITH_LEAK_DETECTOR (AlsaPortAnnouncements)
};

} // namespace tarnovelle
