#include "sequences/MidiImport.h"

#include "sequences/SequenceFileIO.h"

#include <cmath>
#include <map>

namespace tarnovelle
{

namespace
{
    constexpr int lowestNote = 1;
    constexpr int highestNote = 125;

    /** A MIDI file holding a whole sequence is a few kilobytes; this bounds what is read. */
    constexpr juce::int64 maxMidiFileSize = 16 * 1024 * 1024;

    /** Step positions in exact integer arithmetic: tick / L = tick * s / (4 q). */
    struct StepGrid
    {
        juce::int64 stepSize;
        juce::int64 ticksPerQuarterNote;

        /** round (tick / L), a half rounding up. */
        juce::int64 stepOfStart (juce::int64 tick) const noexcept
        {
            const auto denominator = 8 * ticksPerQuarterNote;
            return floorDivide (2 * tick * stepSize + 4 * ticksPerQuarterNote, denominator);
        }

        /** ceil (tick / L) - 1: the last step a note ending at this tick sounds on. */
        juce::int64 stepOfEnd (juce::int64 tick) const noexcept
        {
            const auto denominator = 4 * ticksPerQuarterNote;
            return -floorDivide (-tick * stepSize, denominator) - 1;
        }

        static juce::int64 floorDivide (juce::int64 a, juce::int64 b) noexcept
        {
            const auto quotient = a / b;
            return (a % b != 0 && (a < 0) != (b < 0)) ? quotient - 1 : quotient;
        }
    };

    /** What the events of every track leave on the grid. */
    struct GridMarks
    {
        std::map<juce::int64, int> highestNoteAt; // step -> highest note starting there
        juce::int64 lastMarkedStep = -1;
        int droppedNotes = 0;
        bool anyNoteEvent = false;

        void noteStarts (juce::int64 step, int note)
        {
            anyNoteEvent = true;
            lastMarkedStep = juce::jmax (lastMarkedStep, step);

            if (step >= maxSequenceSteps)
            {
                ++droppedNotes;
                return;
            }

            auto [position, inserted] = highestNoteAt.emplace (step, note);

            if (! inserted)
                position->second = juce::jmax (position->second, note);
        }

        void noteEnds (juce::int64 step)
        {
            anyNoteEvent = true;
            lastMarkedStep = juce::jmax (lastMarkedStep, step);
        }
    };

    juce::int64 tickOf (const juce::MidiMessage& message) noexcept
    {
        return (juce::int64) std::llround (message.getTimeStamp());
    }

    GridMarks markGrid (const juce::MidiFile& file, const StepGrid& grid)
    {
        GridMarks marks;

        for (int t = 0; t < file.getNumTracks(); ++t)
        {
            for (const auto* event : *file.getTrack (t))
            {
                const auto& message = event->message;

                if (message.isNoteOn (false))
                    marks.noteStarts (grid.stepOfStart (tickOf (message)), message.getNoteNumber());
                else if (message.isNoteOff (true))
                    marks.noteEnds (grid.stepOfEnd (tickOf (message)));
            }
        }

        return marks;
    }

    bool holdsNoEvent (const juce::MidiFile& file)
    {
        for (int t = 0; t < file.getNumTracks(); ++t)
            for (const auto* event : *file.getTrack (t))
                if (! event->message.isEndOfTrackMetaEvent())
                    return false;

        return file.getNumTracks() > 0;
    }

    MidiImportResult refused (const juce::String& reason)
    {
        MidiImportResult result;
        result.error = reason;
        return result;
    }
} // namespace

juce::String MidiImportResult::getWarning() const
{
    if (droppedNotes == 0)
        return {};

    return juce::String (droppedNotes) + (droppedNotes == 1 ? " note lies" : " notes lie")
           + " beyond the 64th step and " + (droppedNotes == 1 ? "has" : "have") + " been left out.";
}

bool isValidStepSize (int stepSize) noexcept
{
    return stepSize == 4 || stepSize == 8 || stepSize == 16 || stepSize == 32;
}

uint8 foldNoteIntoRange (int note) noexcept
{
    while (note < lowestNote)
        note += 12;

    while (note > highestNote)
        note -= 12;

    return (uint8) note;
}

MidiImportResult importMidiSequence (const juce::MidiFile& file, int stepSize)
{
    jassert (isValidStepSize (stepSize));

    const int timeFormat = file.getTimeFormat();

    if (timeFormat < 0)
        return refused ("The MIDI file is timed in SMPTE frames; only files timed in beats can be imported.");

    if (timeFormat == 0)
        return refused ("The MIDI file gives no ticks per quarter note, so its notes cannot be placed on steps.");

    const auto marks = markGrid (file, { stepSize, timeFormat });

    // A sequence of rests is exported as note-offs alone, so they count as notes here. An
    // empty sequence is exported as tracks without any event: it imports back as empty. Only
    // a file with events but none of them a note is refused.
    if (! marks.anyNoteEvent)
        return holdsNoEvent (file) ? MidiImportResult{} : refused ("The MIDI file holds no note.");

    MidiImportResult result;
    result.droppedNotes = marks.droppedNotes;
    result.steps.assign ((size_t) juce::jmin ((juce::int64) maxSequenceSteps, marks.lastMarkedStep + 1), restStep);

    for (const auto& [step, note] : marks.highestNoteAt)
        if (step < (juce::int64) result.steps.size())
            result.steps[(size_t) step] = foldNoteIntoRange (note);

    return result;
}

MidiImportResult importMidiSequence (juce::InputStream& stream, int stepSize)
{
    juce::MidiFile file;

    if (! file.readFrom (stream, false))
        return refused ("The file is not a Standard MIDI File.");

    return importMidiSequence (file, stepSize);
}

MidiImportResult importMidiSequence (const juce::File& file, int stepSize)
{
    if (! file.existsAsFile())
        return refused ("Unable to read the file:\n" + file.getFullPathName());

    if (file.getSize() > maxMidiFileSize)
        return refused ("The file is larger than 16 MiB, so it cannot be a sequence's MIDI file:\n"
                        + file.getFullPathName());

    juce::FileInputStream in (file);

    if (! in.openedOk())
        return refused ("Unable to read the file:\n" + file.getFullPathName());

    return importMidiSequence (in, stepSize);
}

} // namespace tarnovelle
