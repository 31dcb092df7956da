#pragma once

#include "playback/SequencePlayer.h"

#include <condition_variable>

namespace tarnovelle
{

/** Drives a sequence player on a thread of its own against the steady clock: it sleeps until
    the next event is due (or the schedule changes) and sends it, so playback keeps time
    whatever the message thread is doing.
*/
class SequencePlayerThread final : private juce::Thread
{
public:
    SequencePlayerThread();
    ~SequencePlayerThread() override;

    SequencePlayer& getPlayer() noexcept { return player; }

private:
    void run() override;
    void wake();

    SteadyPlaybackClock clock;
    SequencePlayer player{ clock };
    std::mutex wakeLock;
    std::condition_variable wakeUp;
    bool woken = false;

    JUCE_DECLARE_NON_COPYABLE_WITH_LEAK_DETECTOR (SequencePlayerThread)
};

} // namespace tarnovelle
