#include "protocol/Transactions.h"

#include "platform/Platform.h"
#include "platform/QuitRequest.h"

#include <thread>

namespace tarnovelle
{

namespace
{
    /** Set while a wait runs, so that a request started from inside its message loop is refused. */
    std::atomic<bool> waitInProgress{ false };

    /** Sends the request and waits for the slot to be filled; true when it was in time. */
    bool sendAndWait (MidiOutputPort* output, const SysexMessage& request, uint8 expectedCommand)
    {
        // A program that is ending asks nothing more of the instrument.
        if (output == nullptr || request.size() == 0 || QuitRequest::isRaised())
            return false;

        if (waitInProgress.exchange (true))
            return false;

        auto& slot = getReplySlot();
        const auto requestGeneration = slot.arm (expectedCommand);

        sendSysex (output, request);

        bool answered = false;

        // A quit cuts the wait short: the message loop would no longer run its slices.
        for (int slice = 0; slice < replyWaitSlices && ! answered && ! QuitRequest::isRaised(); ++slice)
        {
            Platform::runMessageLoopFor (replyWaitSliceMs);
            answered = ! slot.waiting.load (std::memory_order_acquire);
        }

        if (! answered)
            answered = ! slot.giveUp (requestGeneration);

        waitInProgress.store (false);
        return answered;
    }
} // namespace

//==============================================================================
juce::uint32 ReplySlot::arm (uint8 command) noexcept
{
    // The command is in place before the new generation is published, so a matcher that sees
    // this generation compares against this request's command.
    expectedCommand.store (command, std::memory_order_relaxed);
    const auto requestGeneration = generation.fetch_add (1, std::memory_order_acq_rel) + 1;
    waiting.store (true, std::memory_order_release);
    return requestGeneration;
}

juce::uint32 ReplySlot::findWaitingFor (uint8 command) const noexcept
{
    if (! waiting.load (std::memory_order_acquire))
        return 0;

    const auto requestGeneration = generation.load (std::memory_order_acquire);
    return expectedCommand.load (std::memory_order_relaxed) == command ? requestGeneration : 0;
}

bool ReplySlot::claim (juce::uint32 requestGeneration) noexcept
{
    auto claimed = claimedGeneration.load (std::memory_order_acquire);

    while (claimed < requestGeneration)
        if (claimedGeneration.compare_exchange_weak (claimed, requestGeneration, std::memory_order_acq_rel))
            return true;

    return false;
}

bool ReplySlot::answer (juce::uint32 requestGeneration, const SysexMessage& received) noexcept
{
    if (requestGeneration == 0 || ! claim (requestGeneration))
        return false;

    value = received.byteAt (9);
    reply = received;
    waiting.store (false, std::memory_order_release);
    return true;
}

bool ReplySlot::giveUp (juce::uint32 requestGeneration) noexcept
{
    if (claim (requestGeneration))
    {
        waiting.store (false, std::memory_order_release);
        return true;
    }

    // A reply claimed the wait at this very moment: it is storing its value now.
    while (waiting.load (std::memory_order_acquire))
        std::this_thread::yield();

    return false;
}

//==============================================================================
ReplySlot& getReplySlot() noexcept
{
    static ReplySlot slot;
    return slot;
}

juce::CriticalSection& getDeviceLock() noexcept
{
    static juce::CriticalSection deviceLock;
    return deviceLock;
}

void sendSysex (MidiOutputPort* output, const SysexMessage& message)
{
    if (output == nullptr || message.size() == 0 || QuitRequest::isRaised())
        return;

    output->sendMessageNow (juce::MidiMessage (message.data(), message.size(), 0.0));
}

bool sendAndWaitForValue (MidiOutputPort* output, const SysexMessage& request, uint8 expectedCommand, uint8& value)
{
    if (! sendAndWait (output, request, expectedCommand))
        return false;

    value = getReplySlot().value;
    return true;
}

bool sendAndWaitForMessage (MidiOutputPort* output, const SysexMessage& request, uint8 expectedCommand,
                            SysexMessage& reply)
{
    if (! sendAndWait (output, request, expectedCommand))
        return false;

    reply = getReplySlot().reply;
    return true;
}

void handleSysexReply (const juce::MidiMessage& message)
{
    auto& slot = getReplySlot();

    if (! slot.waiting.load (std::memory_order_acquire))
        return;

    // Notes, clock and other traffic never end a wait.
    if (! message.isSysEx())
        return;

    const SysexMessage received (message.getRawData(), message.getRawDataSize());

    if (! received.isValidFrame())
        return;

    const auto requestGeneration = slot.findWaitingFor (received.byteAt (8));

    if (requestGeneration == 0)
        return;

    // Every awaited reply carries a value in byte 9. A frame cut short after its command byte
    // has the end byte F7 there (or another status byte), which is no value at all.
    if ((received.byteAt (9) & 0x80) != 0)
        return;

    slot.answer (requestGeneration, received);
}

} // namespace tarnovelle
