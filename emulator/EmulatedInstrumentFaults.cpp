// The emulated instrument's fault switches: silence, latency, the cable pulled, a different
// device ID, and the bootloader's misbehaviour chunk by chunk.

#include "emulator/EmulatedInstrument.h"

namespace tarnovelle
{

//==============================================================================
void EmulatedInstrument::setSilent (bool shouldBeSilent) noexcept
{
    silent.store (shouldBeSilent, std::memory_order_release);
}

void EmulatedInstrument::setActiveSensingEnabled (bool shouldSend) noexcept
{
    activeSensingEnabled.store (shouldSend, std::memory_order_release);
}

void EmulatedInstrument::setLatencyMs (int milliseconds) noexcept
{
    latencyMs.store (juce::jmax (0, milliseconds), std::memory_order_release);
}

void EmulatedInstrument::setUnplugged (bool shouldBeUnplugged)
{
    if (! shouldBeUnplugged && poweredOff.exchange (false, std::memory_order_acq_rel))
    {
        // Power is back: the instrument boots into whatever its flash holds.
        const juce::ScopedLock sl (memoryLock);
        transfer = Transfer();
    }

    unplugged.store (shouldBeUnplugged, std::memory_order_release);
    updatePresence();

    if (shouldBeUnplugged)
    {
        const juce::ScopedLock sl (queueLock);
        incoming.clear();
    }

    notify();
}

void EmulatedInstrument::setSwitchedOn (bool shouldBeOn)
{
    if (! shouldBeOn)
    {
        // An update under way is lost with the power; the flash keeps the mode it was in.
        const juce::ScopedLock sl (memoryLock);
        transfer = Transfer();
    }

    switchedOff.store (! shouldBeOn, std::memory_order_release);
    updatePresence();

    if (! shouldBeOn)
    {
        const juce::ScopedLock sl (queueLock);
        incoming.clear();
    }

    notify();
}

void EmulatedInstrument::setStopAnsweringAfter (int requests) noexcept
{
    answersLeft.store (requests < 0 ? -1 : requests, std::memory_order_release);
}

void EmulatedInstrument::setDeviceId (uint8 id) noexcept
{
    deviceId.store ((uint8) (id & 0x7f), std::memory_order_release);
}

void EmulatedInstrument::rejectChunkOnce (int chunkNumber, uint8 status) noexcept
{
    rejectStatus.store (status, std::memory_order_release);
    rejectChunk.store (chunkNumber, std::memory_order_release);
}

void EmulatedInstrument::acknowledgeWithWrongCounterOnce (int chunkNumber) noexcept
{
    wrongCounterChunk.store (chunkNumber, std::memory_order_release);
}

void EmulatedInstrument::dropAcknowledgementOnce (int chunkNumber) noexcept
{
    dropAckChunk.store (chunkNumber, std::memory_order_release);
}

void EmulatedInstrument::setAcknowledgeWithoutPayload (bool shouldOmitPayload) noexcept
{
    ackWithoutPayload.store (shouldOmitPayload, std::memory_order_release);
}

void EmulatedInstrument::stallAfterChunk (int chunkNumber) noexcept
{
    stallChunk.store (chunkNumber, std::memory_order_release);
}

void EmulatedInstrument::losePowerAfterChunk (int chunkNumber) noexcept
{
    powerLossChunk.store (chunkNumber, std::memory_order_release);
}

void EmulatedInstrument::clearFaults() noexcept
{
    silent.store (false, std::memory_order_release);
    activeSensingEnabled.store (true, std::memory_order_release);
    latencyMs.store (defaultLatencyMs, std::memory_order_release);
    answersLeft.store (-1, std::memory_order_release);
    rejectChunk.store (-1, std::memory_order_release);
    wrongCounterChunk.store (-1, std::memory_order_release);
    dropAckChunk.store (-1, std::memory_order_release);
    ackWithoutPayload.store (false, std::memory_order_release);
    stallChunk.store (-1, std::memory_order_release);
    stalled.store (false, std::memory_order_release);
    powerLossChunk.store (-1, std::memory_order_release);
}

} // namespace tarnovelle
