#include "protocol/Transactions.h"

#include "platform/Platform.h"

namespace tarnovelle
{

namespace
{
    /** Set while a wait runs, so that a request started from inside its message loop is refused. */
    std::atomic<bool> waitInProgress{ false };

    /** Sends the request and waits for the slot to be filled; true when it was in time. */
    bool sendAndWait (MidiOutputPort* output, const SysexMessage& request, uint8 expectedCommand)
    {
        if (output == nullptr || request.size() == 0)
            return false;

        if (waitInProgress.exchange (true))
            return false;

        auto& slot = getReplySlot();
        slot.expectedCommand.store (expectedCommand, std::memory_order_relaxed);
        slot.waiting.store (true, std::memory_order_release);

        sendSysex (output, request);

        bool answered = false;

        for (int slice = 0; slice < replyWaitSlices && ! answered; ++slice)
        {
            Platform::runMessageLoopFor (replyWaitSliceMs);
            answered = ! slot.waiting.load (std::memory_order_acquire);
        }

        if (! answered)
            slot.waiting.store (false, std::memory_order_release);

        waitInProgress.store (false);
        return answered;
    }
} // namespace

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
    if (output == nullptr || message.size() == 0)
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

    if (! received.isValidFrame() || received.byteAt (8) != slot.expectedCommand.load (std::memory_order_relaxed))
        return;

    // Every awaited reply carries a value in byte 9. A frame cut short after its command byte
    // has the end byte F7 there (or another status byte), which is no value at all.
    if ((received.byteAt (9) & 0x80) != 0)
        return;

    slot.value = received.byteAt (9);
    slot.reply = received;
    slot.waiting.store (false, std::memory_order_release);
}

} // namespace tarnovelle
