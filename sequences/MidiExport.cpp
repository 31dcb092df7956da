#include "sequences/MidiExport.h"

#include "sequences/SequenceFileIO.h"

namespace tarnovelle
{

namespace
{
    constexpr int exportChannel = 1;
    constexpr uint8 exportVelocity = 64;
    constexpr int ticksPerWholeNote = 4 * MidiExportTiming::ticksPerQuarterNote;
    constexpr uint8 fallbackStepSize = 16;
} // namespace

MidiExportTiming MidiExportTiming::fromSettings (uint8 stepSize, uint8 gateLength) noexcept
{
    const int division = stepSize == 0 ? fallbackStepSize : stepSize;

    MidiExportTiming timing;
    timing.stepTicks = ticksPerWholeNote / division;
    timing.noteTicks = (timing.stepTicks / 4) * gateLength;
    return timing;
}

juce::MidiMessageSequence makeSequenceEvents (const uint8* steps, const MidiExportTiming& timing)
{
    juce::MidiMessageSequence events;
    const int length = getSequenceLength (steps);

    for (int p = 0; p < length; ++p)
    {
        const int key = steps[p] & 0x7f;
        const double start = (double) (timing.stepTicks * p);

        events.addEvent (juce::MidiMessage::noteOff (exportChannel, key, exportVelocity), start + timing.noteTicks);

        if (steps[p] != restStep)
            events.addEvent (juce::MidiMessage::noteOn (exportChannel, key, exportVelocity), start);
    }

    return events;
}

juce::MemoryBlock makeSequenceMidiFile (const uint8* steps, const MidiExportTiming& timing)
{
    juce::MidiFile file;
    file.setTicksPerQuarterNote (MidiExportTiming::ticksPerQuarterNote);
    file.addTrack (makeSequenceEvents (steps, timing));

    juce::MemoryOutputStream out;
    file.writeTo (out, 1);
    return out.getMemoryBlock();
}

juce::File getSequenceMidiFile (const juce::File& sequenceFile, int sequenceNumber)
{
    return juce::File (sequenceFile.getFullPathName() + "_" + juce::String (sequenceNumber) + ".mid");
}

bool writeSequenceMidiFile (const juce::File& target, const uint8* steps, const MidiExportTiming& timing)
{
    const auto data = makeSequenceMidiFile (steps, timing);
    return replaceFileWithData (target, data.getData(), data.getSize());
}

} // namespace tarnovelle
