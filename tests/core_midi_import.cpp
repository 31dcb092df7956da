#include "sequences/MidiExport.h"
#include "sequences/MidiImport.h"
#include "tests/support/ScratchFolder.h"

#include <gtest/gtest.h>

#include <random>

using namespace tarnovelle;
using Steps = std::vector<uint8>;

namespace
{
constexpr uint8 x = restStep;

/** Note events at ticks: a positive velocity starts a note, 0 is a note-on ending one, and
    a negative one is a note-off.
*/
struct Event
{
    double tick;
    int note;
    int velocity = 100;
    int channel = 1;
};

juce::MidiMessageSequence makeTrack (const std::vector<Event>& events)
{
    juce::MidiMessageSequence track;

    for (const auto& e : events)
    {
        auto message = e.velocity < 0 ? juce::MidiMessage::noteOff (e.channel, e.note, (uint8) 64)
                                      : juce::MidiMessage::noteOn (e.channel, e.note, (uint8) e.velocity);
        track.addEvent (message, e.tick);
    }

    return track;
}

juce::MemoryBlock writeFile (const std::vector<std::vector<Event>>& tracks, int ticksPerQuarterNote, int format = 1)
{
    juce::MidiFile file;
    file.setTicksPerQuarterNote (ticksPerQuarterNote);

    for (const auto& track : tracks)
        file.addTrack (makeTrack (track));

    juce::MemoryOutputStream out;
    file.writeTo (out, format);
    return out.getMemoryBlock();
}

MidiImportResult import (const juce::MemoryBlock& data, int stepSize)
{
    juce::MemoryInputStream in (data, false);
    return importMidiSequence (in, stepSize);
}

Steps importSteps (const std::vector<std::vector<Event>>& tracks, int ticksPerQuarterNote, int stepSize)
{
    const auto result = import (writeFile (tracks, ticksPerQuarterNote), stepSize);
    EXPECT_TRUE (result.isValid()) << result.error;
    return result.steps;
}

juce::MemoryBlock bytes (std::initializer_list<int> values)
{
    juce::MemoryBlock block;

    for (auto v : values)
        block.append (&v, 1); // little-endian: the low byte

    return block;
}
} // namespace

//==============================================================================
TEST (MidiImport, NotesLandOnTheNearestStepHalvesRoundingUp)
{
    // 96 ticks per quarter note at step 16: a step is 24 ticks, half a step 12.
    const auto steps =
        importSteps ({ { { 0, 60 }, { 11, 60, -1 }, { 35, 62 }, { 36, 64 }, { 84, 65 }, { 90, 65, -1 } } }, 96, 16);

    // 35 -> 1.46 (step 1); 36 -> 1.5 rounds up (step 2);
    // 84 -> 3.5 rounds up to step 4; its end at 90 marks ceil (3.75) - 1 = 3.
    EXPECT_EQ (steps, (Steps{ 60, 62, 64, x, 65 }));
}

TEST (MidiImport, ChordsTakeTheHighestAndEndsSetTheLength)
{
    // Step 8 at 480 ticks: a step is 240 ticks. A chord on step 0 across two tracks and
    // channels; a long note from step 2 that ends in step 5; a note-off whose note-on never
    // came, at the very start of step 7, which marks step 6.
    const auto steps = importSteps (
        { { { 0, 48 }, { 0, 67, 90, 3 }, { 480, 50 }, { 1300, 50, -1 } }, { { 0, 64, 10, 2 }, { 1680, 99, -1 } } }, 480,
        8);
    EXPECT_EQ (steps, (Steps{ 67, x, 50, x, x, x, x }));
}

TEST (MidiImport, VelocityZeroEndsANoteAndNeverStartsOne)
{
    const auto steps =
        importSteps ({ { { 0, 60 }, { 48, 60, 0 }, { 48, 72, 0 }, { 96, 61 }, { 190, 61, 0 } } }, 192, 16);

    // The note-ons of velocity 0 at tick 48 end notes (marking step 0) and start none; the
    // last end at 190 marks ceil (3.96) - 1 = 3.
    EXPECT_EQ (steps, (Steps{ 60, x, 61, x }));
}

TEST (MidiImport, NotesOutsideTheFileRangeMoveByOctaves)
{
    EXPECT_EQ (foldNoteIntoRange (0), 12);
    EXPECT_EQ (foldNoteIntoRange (126), 114);
    EXPECT_EQ (foldNoteIntoRange (127), 115);
    EXPECT_EQ (foldNoteIntoRange (1), 1);
    EXPECT_EQ (foldNoteIntoRange (125), 125);

    // The highest note of a chord is chosen before it moves: 127 (to 115) beats 120.
    const auto steps = importSteps ({ { { 0, 0 }, { 24, 127 }, { 24, 120 }, { 48, 126 } } }, 96, 16);
    EXPECT_EQ (steps, (Steps{ 12, 115, 114 }));
}

TEST (MidiImport, SixtyFourStepsAtMostAndTheDroppedNotesAreCounted)
{
    std::vector<Event> events;

    for (int step = 0; step < 70; ++step)
        events.push_back ({ step * 48.0, 40 + step % 12 });

    const auto result = import (writeFile ({ events }, 192, 1), 16);
    ASSERT_TRUE (result.isValid()) << result.error;
    ASSERT_EQ (result.steps.size(), 64u);
    EXPECT_EQ (result.steps[63], 40 + 63 % 12);
    EXPECT_EQ (result.droppedNotes, 6);
    EXPECT_EQ (result.getWarning(), "6 notes lie beyond the 64th step and have been left out.");

    // A note ending past step 63 lengthens the sequence to 64 without being dropped.
    const auto held = import (writeFile ({ { { 0, 60 }, { 48 * 80, 60, -1 } } }, 192), 16);
    EXPECT_EQ (held.steps.size(), 64u);
    EXPECT_EQ (held.droppedNotes, 0);
    EXPECT_TRUE (held.getWarning().isEmpty());
}

TEST (MidiImport, ResolutionsThatDoNotDivideEvenlyStillRoundExactly)
{
    // 100 ticks per quarter note at step 32: a step is 12.5 ticks. Tick 19 is 1.52 steps,
    // tick 18 is 1.44, tick 31 is 2.48 (step 2) and tick 32 is 2.56 (step 3).
    EXPECT_EQ (importSteps ({ { { 18, 50 } } }, 100, 32), (Steps{ x, 50 }));
    EXPECT_EQ (importSteps ({ { { 19, 50 } } }, 100, 32), (Steps{ x, x, 50 }));
    EXPECT_EQ (importSteps ({ { { 31, 50 }, { 32, 51 } } }, 100, 32), (Steps{ x, x, 50, 51 }));

    // A quarter note per step at 24 ticks: an end at tick 25 marks step 1.
    EXPECT_EQ (importSteps ({ { { 0, 70 }, { 25, 70, -1 } } }, 24, 4), (Steps{ 70, x }));
}

TEST (MidiImport, FormatZeroWithRunningStatusWrittenByHand)
{
    // MThd, format 0, one track, 96 ticks per quarter note; then a track whose second and
    // third events use running status, the third a note-on of velocity 0 ending the first.
    const auto file = bytes ({ 'M',  'T',  'h',  'd', 0, 0, 0, 6,  0,    0,    0,  1,   0, 96,
                               'M',  'T',  'r',  'k', 0, 0, 0, 14, 0x00, 0x93, 60, 100, // channel 4 note-on at tick 0
                               0x18, 64,   90,                                          // running status: 64 at tick 24
                               0x30, 60,   0, // running status, velocity 0, tick 72
                               0x00, 0xFF, 0x2F, 0x00 });
    const auto result = import (file, 16);
    ASSERT_TRUE (result.isValid()) << result.error;
    EXPECT_EQ (result.steps, (Steps{ 60, 64, x }));
}

TEST (MidiImport, FilesThatAreRefused)
{
    const auto notMidi = bytes ({ '1', ':', '6', '0' });
    EXPECT_EQ (import (notMidi, 16).error, "The file is not a Standard MIDI File.");

    auto smpte = writeFile ({ { { 0, 60 } } }, 96);
    static_cast<uint8*> (smpte.getData())[12] = 0xE7; // -25 frames per second
    static_cast<uint8*> (smpte.getData())[13] = 40;
    EXPECT_EQ (import (smpte, 16).error,
               "The MIDI file is timed in SMPTE frames; only files timed in beats can be imported.");

    EXPECT_EQ (import (writeFile ({ { { 0, 60 } } }, 0), 16).error,
               "The MIDI file gives no ticks per quarter note, so its notes cannot be placed on steps.");

    // Only meta events and a controller: no note at all.
    juce::MidiFile empty;
    empty.setTicksPerQuarterNote (96);
    juce::MidiMessageSequence track;
    track.addEvent (juce::MidiMessage::tempoMetaEvent (500000), 0);
    track.addEvent (juce::MidiMessage::controllerEvent (1, 7, 100), 10);
    empty.addTrack (track);
    EXPECT_EQ (importMidiSequence (empty, 16).error, "The MIDI file holds no note.");

    test::ScratchFolder scratch{ "midiimport" };
    const auto missing = scratch.folder.getChildFile ("missing.mid");
    EXPECT_EQ (importMidiSequence (missing, 16).error, "Unable to read the file:\n" + missing.getFullPathName());
}

//==============================================================================
TEST (MidiImport, ExportedSequencesImportBackUnchangedAtEveryStepSizeAndGate)
{
    std::mt19937 random (16);
    std::vector<StepBuffer> sequences;

    // Random sequences of every length from 1 to 64 with notes over the whole file range and
    // rests, one of rests only, and the factory's extremes.
    for (int length = 1; length <= maxSequenceSteps; ++length)
    {
        StepBuffer steps{};

        for (int i = 0; i < length; ++i)
            steps[(size_t) i] = random() % 4 == 0 ? x : (uint8) (1 + random() % 125);

        sequences.push_back (steps);
    }

    StepBuffer rests{};
    std::fill_n (rests.begin(), 5, x);
    sequences.push_back (rests);

    for (int stepSize : { 4, 8, 16, 32 })
    {
        for (int gate : { 1, 2, 3 })
        {
            const auto timing = MidiExportTiming::fromSettings ((uint8) stepSize, (uint8) gate);

            for (const auto& steps : sequences)
            {
                const auto result = import (makeSequenceMidiFile (steps.data(), timing), stepSize);
                const Steps expected (steps.begin(), steps.begin() + getSequenceLength (steps));
                ASSERT_TRUE (result.isValid()) << result.error;
                ASSERT_EQ (result.steps, expected) << "step size " << stepSize << ", gate " << gate;
            }
        }
    }
}
