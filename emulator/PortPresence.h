#pragma once

#include <juce_core/juce_core.h>

#include <atomic>

namespace tarnovelle
{

/** Whether an emulated device's ports are listed, and which listing an open port belongs to.

    A USB device that vanishes and comes back is a new device to the computer: ports opened
    before it vanished stay dead, and only ports opened afterwards work. The state packs a
    generation number (advanced each time the device vanishes) with the "present" bit, so a
    port remembers the state it was opened in and works only while that state still holds.
*/
class PortPresence final
{
public:
    using State = juce::uint32;

    PortPresence() = default;

    State getState() const noexcept { return state.load (std::memory_order_acquire); }

    static bool isPresentState (State s) noexcept { return (s & 1u) != 0; }

    bool isPresent() const noexcept { return isPresentState (getState()); }

    /** True while a port opened in `openedState` still reaches the device. */
    bool isAlive (State openedState) const noexcept
    {
        return isPresentState (openedState) && getState() == openedState;
    }

    /** Makes the ports vanish (every open port goes dead) or appear again. */
    void setPresent (bool shouldBePresent) noexcept
    {
        auto current = getState();

        for (;;)
        {
            if (isPresentState (current) == shouldBePresent)
                return;

            const State next = shouldBePresent ? (current | 1u) : ((current & ~1u) + 2u);

            if (state.compare_exchange_weak (current, next, std::memory_order_acq_rel, std::memory_order_acquire))
                return;
        }
    }

private:
    std::atomic<State> state{ 1u };

    JUCE_DECLARE_NON_COPYABLE_WITH_LEAK_DETECTOR (PortPresence)
};

} // namespace tarnovelle
