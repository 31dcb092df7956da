#include "playback/SequencePlayerThread.h"

#include <chrono>

namespace tarnovelle
{

namespace
{
    // Without anything to play the thread still looks whether it should end now and then.
    constexpr double longestSleepMs = 500.0;
} // namespace

SequencePlayerThread::SequencePlayerThread()
    : juce::Thread ("Sequence player")
{
    player.onScheduleChanged = [this] { wake(); };
    // A real-time thread keeps time while other programs load the processors; where the
    // system does not allow one, the highest ordinary priority.
    juce::Thread::RealtimeOptions realtime;
    realtime.priority = 8;

    if (! startRealtimeThread (realtime))
        startThread (juce::Thread::Priority::highest);
}

SequencePlayerThread::~SequencePlayerThread()
{
    signalThreadShouldExit();
    wake();
    stopThread (2000);
    player.onScheduleChanged = nullptr;
}

void SequencePlayerThread::wake()
{
    {
        const std::lock_guard<std::mutex> sl (wakeLock);
        woken = true;
    }

    wakeUp.notify_one();
}

void SequencePlayerThread::run()
{
    using Milliseconds = std::chrono::duration<double, std::milli>;

    while (! threadShouldExit())
    {
        const double next = juce::jmin (player.processDueEvents(), clock.nowMs() + longestSleepMs);

        // The steady clock's time as the same clock's time point: the wait ends within the
        // system's timer slack (tens of microseconds), not the millisecond of a JUCE wait.
        const std::chrono::steady_clock::time_point due (
            std::chrono::duration_cast<std::chrono::steady_clock::duration> (Milliseconds (next)));

        std::unique_lock<std::mutex> sl (wakeLock);
        wakeUp.wait_until (sl, due, [this] { return woken || threadShouldExit(); });
        woken = false;
    }
}

} // namespace tarnovelle
