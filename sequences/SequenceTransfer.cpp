#include "sequences/SequenceTransfer.h"

#include "platform/Platform.h"
#include "protocol/Transactions.h"

#include <initializer_list>

namespace tarnovelle
{

namespace
{
    constexpr uint8 x = restStep;

    // Where a reply's 32 step bytes start: nine header bytes, then index, first step, count.
    constexpr int replyStepsPosition = SysexMessage::headerSize + 3;
    constexpr int fullChunkMessageSize = replyStepsPosition + stepsPerHalf + 1;

    StepBuffer makeSteps (std::initializer_list<uint8> steps)
    {
        StepBuffer buffer{};
        int i = 0;

        for (auto step : steps)
            buffer[(size_t) i++] = step;

        return buffer;
    }

    bool readHalf (MidiOutputPort* output, int index, int firstStep, uint8* steps)
    {
        const uint8 payload[] = { (uint8) index, (uint8) firstStep, (uint8) stepsPerHalf };
        const SysexMessage request (sequenceRequestCommand, payload, (uint8) sizeof (payload), 1, false);

        SysexMessage reply;

        if (! sendAndWaitForMessage (output, request, sequenceChunkCommand, reply))
            return false;

        // Only the command byte is matched; a reply too short to hold its 32 steps is
        // treated as no reply rather than read past its end.
        if (reply.size() < fullChunkMessageSize)
            return false;

        for (int i = 0; i < stepsPerHalf; ++i)
            steps[firstStep + i] = reply.byteAt (replyStepsPosition + i);

        return true;
    }

    void sendChunk (MidiOutputPort* output, int index, int firstStep, int count, const uint8* steps)
    {
        uint8 chunk[sequenceChunkSize]{};
        chunk[0] = (uint8) index;
        chunk[1] = (uint8) firstStep;
        chunk[2] = (uint8) count;

        for (int i = 0; i < count; ++i)
            chunk[3 + i] = steps[firstStep + i];

        sendSysex (output, SysexMessage (sequenceChunkCommand, chunk, (uint8) sequenceChunkSize, 1, false));
    }
} // namespace

bool readSequence (MidiOutputPort* output, int index, uint8 steps[maxSequenceSteps])
{
    const juce::ScopedLock lock (getDeviceLock());

    const bool firstHalfRead = readHalf (output, index, 0, steps);
    const bool secondHalfRead = readHalf (output, index, stepsPerHalf, steps);

    return firstHalfRead && secondHalfRead;
}

void sendSequence (MidiOutputPort* output, int index, int length, const uint8* steps)
{
    const juce::ScopedLock lock (getDeviceLock());

    const int n = juce::jlimit (0, maxSequenceSteps, length);

    sendChunk (output, index, 0, juce::jmin (n, stepsPerHalf), steps);

    if (n > stepsPerHalf)
        sendChunk (output, index, stepsPerHalf, n - stepsPerHalf, steps);
}

const SequenceSet& getFactorySequences() noexcept
{
    static const SequenceSet factory{
        makeSteps ({ 60, 60, 60, 60, 60, 60, 60, 60, 60, 60, 60, 60, 60, 60, 60, 60 }),
        makeSteps ({ 60, 60, 60, 48, 60, 60, 60, 72, 60, 60, 60, 48, 60, 60, 72, 48 }),
        makeSteps ({ 48, 60, 48, 60, 48, 60, 63, 51, 48, 60, 48, 60, 63, 51, 67, 55,
                     48, 60, 48, 60, 48, 60, 63, 51, 48, 60, 48, 60, 63, 51, 67, 61 }),
        makeSteps ({ 60, 48, x, 72, 60, x, 72, x, 60, 48, x, 72, 60, x, 72, x,
                     60, 48, x, 72, 60, x, 72, x, 63, 51, x, 63, 51, x, 65, x }),
        makeSteps ({ 48, 60, 72, 70, 48, 67, 60, 55, 48, x, 65, 72, 48, 62, 72, 62,
                     51, 58, 63, 72, 51, 70, 63, 58, 51, x, 62, 72, 51, 72, 62, 64 }),
        makeSteps ({ 48, x, x,  60, 48, x,  60, x,  60, x, x,  72, 60, x,  60, x,  48, x,  x,  60, 48, x,
                     60, x, 65, x,  x,  65, x,  x,  68, x, 48, x,  x,  60, 48, x,  60, x,  60, x,  x,  72,
                     60, x, 60, x,  48, x,  x,  60, 48, x, 60, x,  53, 65, 52, 64, 51, 63, 50, 49 }),
        makeSteps ({ 60, 72, 48, 60, 60, x, x,  48, 60, 72, x,  60, 60, x,  x,  73,
                     48, 72, 60, 61, 60, x, 72, 84, 72, 48, 79, 82, 48, 77, 81, 70 }),
        makeSteps ({ 48, 48, x,  x, 72, 60, 48, 48, x,  x, 48, x,  72, x,  82, x,  48, 48, x, x, 72, 60,
                     48, 48, x,  x, 48, x,  72, x,  75, x, 48, 48, x,  x,  72, 49, 48, 48, x, x, 60, x,
                     72, x,  82, x, 48, 48, x,  x,  x,  x, 48, 48, x,  48, 48, x,  x,  48, x, x }),
    };

    return factory;
}

void sendFactorySequences (MidiOutputPort* output, SequenceOperationObserver* observer)
{
    if (! Platform::dialogs().showOkCancelBox (
            DialogIcon::warning, "Reset All Sequences",
            "You are about to reset all the sequences to factory default.\nAre you sure?"))
        return;

    if (observer != nullptr && ! observer->aboutToOverwrite (output, "Before RESET ALL SEQUENCES"))
        return;

    const auto& factory = getFactorySequences();
    WrittenSequences written;

    for (int index = 0; index < numSequences; ++index)
    {
        const auto& steps = factory[(size_t) index];
        sendSequence (output, index, getSequenceLength (steps), steps.data());
        written.emplace_back (index, steps);
    }

    if (observer != nullptr)
        observer->overwritten ("After RESET ALL SEQUENCES", written);
}

} // namespace tarnovelle
