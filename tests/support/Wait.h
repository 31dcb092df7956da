#pragma once

#include "emulator/InstrumentRig.h"
#include "platform/Platform.h"

#include <juce_events/juce_events.h>

#include <atomic>
#include <memory>

namespace tarnovelle::test
{

/** The one way the tests wait: runs the message loop until the condition holds or the time is
    up, and says whether it held.
*/
template <typename Condition>
bool waitFor (Condition&& condition, int timeoutMs = 5000)
{
    return InstrumentRig::waitFor (std::forward<Condition> (condition), timeoutMs);
}

/** Runs the message loop until everything queued before the call has been delivered, and what
    that queued in turn, `rounds` deep (a click queues its broadcast), however busy the machine:
    a message posted behind them is a barrier that the queue reaches only after them. A queue
    that never reaches it fails the assertion (a failure of the running test).
*/
inline bool deliverQueuedMessages (int rounds = 2)
{
    for (int round = 0; round < rounds; ++round)
    {
        auto reached = std::make_shared<std::atomic<bool>> (false);
        juce::MessageManager::callAsync ([reached] { reached->store (true); });

        if (! waitFor ([&reached] { return reached->load(); }, 10000))
        {
            jassertfalse; // the message queue never reached its barrier
            return false;
        }
    }

    return true;
}

} // namespace tarnovelle::test
