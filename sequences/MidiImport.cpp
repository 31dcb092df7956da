#include "sequences/MidiImport.h"

#include "sequences/MidiTracks.h"
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

    /** Step positions in exact integer arithmetic: with the grid's origin at tick o, a tick
        lies (tick - o) / L = (tick - o) * s / (4 q) steps on. The origin, a whole number of
        bars, may fall between ticks: it is kept as o * d for the time signature's d.
    */
    struct StepGrid
    {
        juce::int64 stepSize;
        juce::int64 ticksPerQuarterNote;
        juce::int64 originTimesScale = 0;
        juce::int64 scale = 1;

        static StepGrid of (const juce::MidiFile& file, const MidiImportChoice& choice)
        {
            const auto signature = getFirstTimeSignature (file);
            const juce::int64 q = file.getTimeFormat();
            return { choice.stepSize, q, (juce::int64) (choice.fromBar - 1) * signature.numerator * 4 * q,
                     signature.denominator };
        }

        /** round (position), a half rounding up. */
        juce::int64 stepOfStart (juce::int64 tick) const noexcept
        {
            return floorDivide (2 * fromOrigin (tick) * stepSize + 4 * ticksPerQuarterNote * scale,
                                8 * ticksPerQuarterNote * scale);
        }

        /** ceil (position) - 1: the last step a note ending at this tick sounds on. */
        juce::int64 stepOfEnd (juce::int64 tick) const noexcept
        {
            return -floorDivide (-fromOrigin (tick) * stepSize, 4 * ticksPerQuarterNote * scale) - 1;
        }

        juce::int64 fromOrigin (juce::int64 tick) const noexcept { return tick * scale - originTimesScale; }

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
            if (step < 0)
                return;

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
            if (step < 0)
                return;

            anyNoteEvent = true;
            lastMarkedStep = juce::jmax (lastMarkedStep, step);
        }
    };

    juce::int64 tickOf (const juce::MidiMessage& message) noexcept
    {
        return (juce::int64) std::llround (message.getTimeStamp());
    }

    bool isChosen (const std::optional<std::set<int>>& chosen, int number)
    {
        return ! chosen.has_value() || chosen->count (number) != 0;
    }

    GridMarks markGrid (const juce::MidiFile& file, const MidiImportChoice& choice)
    {
        const auto grid = StepGrid::of (file, choice);
        GridMarks marks;

        for (int t = 0; t < file.getNumTracks(); ++t)
        {
            if (! isChosen (choice.tracks, t + 1))
                continue;

            for (const auto* event : *file.getTrack (t))
            {
                const auto& message = event->message;

                if (! message.isNoteOnOrOff() || ! isChosen (choice.channels, message.getChannel()))
                    continue;

                if (message.isNoteOn (false))
                    marks.noteStarts (grid.stepOfStart (tickOf (message)), message.getNoteNumber());
                else
                    marks.noteEnds (grid.stepOfEnd (tickOf (message)));
            }
        }

        return marks;
    }

    bool holdsNoNote (const juce::MidiFile& file)
    {
        for (int t = 0; t < file.getNumTracks(); ++t)
            for (const auto* event : *file.getTrack (t))
                if (event->message.isNoteOnOrOff())
                    return false;

        return true;
    }

    juce::String describeEmptyChoice (const MidiImportChoice& choice)
    {
        juce::String text (choice.tracks.has_value() || choice.channels.has_value()
                               ? "The chosen tracks and channels hold no note"
                               : "The MIDI file holds no note");

        if (choice.fromBar > 1)
            text << " from bar " << choice.fromBar << " on";

        return text + ".";
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

MidiImportChoice MidiImportChoice::everything (int stepSize)
{
    MidiImportChoice choice;
    choice.stepSize = stepSize;
    return choice;
}

bool MidiImportChoice::operator== (const MidiImportChoice& other) const
{
    return tracks == other.tracks && channels == other.channels && fromBar == other.fromBar
           && stepSize == other.stepSize;
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
    return importMidiSequence (file, MidiImportChoice::everything (stepSize));
}

MidiImportResult importMidiSequence (const juce::MidiFile& file, const MidiImportChoice& choice)
{
    jassert (isValidStepSize (choice.stepSize) && choice.fromBar >= 1);

    const int timeFormat = file.getTimeFormat();

    if (timeFormat < 0)
        return refused ("The MIDI file is timed in SMPTE frames; only files timed in beats can be imported.");

    if (timeFormat == 0)
        return refused ("The MIDI file gives no ticks per quarter note, so its notes cannot be placed on steps.");

    const auto marks = markGrid (file, choice);

    // A sequence of rests is exported as note-offs alone, so they count as notes here. A file
    // without any note (an empty sequence is exported as tracks without events) imports as the
    // empty sequence, whatever is chosen of it; a choice that misses every note of a file that
    // has some is refused.
    if (! marks.anyNoteEvent)
        return holdsNoNote (file) ? MidiImportResult{} : refused (describeEmptyChoice (choice));

    MidiImportResult result;
    result.droppedNotes = marks.droppedNotes;
    result.steps.assign ((size_t) juce::jmin ((juce::int64) maxSequenceSteps, marks.lastMarkedStep + 1), restStep);

    for (const auto& [step, note] : marks.highestNoteAt)
        if (step < (juce::int64) result.steps.size())
            result.steps[(size_t) step] = foldNoteIntoRange (note);

    return result;
}

juce::String readMidiFile (juce::InputStream& stream, juce::MidiFile& file)
{
    if (! file.readFrom (stream, false))
        return "The file is not a Standard MIDI File.";

    return {};
}

juce::String readMidiFile (const juce::File& source, juce::MidiFile& file)
{
    if (! source.existsAsFile())
        return "Unable to read the file:\n" + source.getFullPathName();

    if (source.getSize() > maxMidiFileSize)
        return "The file is larger than 16 MiB, so it cannot be a sequence's MIDI file:\n" + source.getFullPathName();

    juce::FileInputStream in (source);

    if (! in.openedOk())
        return "Unable to read the file:\n" + source.getFullPathName();

    return readMidiFile (in, file);
}

MidiImportResult importMidiSequence (juce::InputStream& stream, int stepSize)
{
    juce::MidiFile file;
    const auto error = readMidiFile (stream, file);
    return error.isEmpty() ? importMidiSequence (file, stepSize) : refused (error);
}

MidiImportResult importMidiSequence (const juce::File& source, int stepSize)
{
    juce::MidiFile file;
    const auto error = readMidiFile (source, file);
    return error.isEmpty() ? importMidiSequence (file, stepSize) : refused (error);
}

} // namespace tarnovelle
