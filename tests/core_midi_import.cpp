#include "sequences/MidiExport.h"
#include "sequences/MidiImport.h"
#include "sequences/MidiTracks.h"
#include "tests/support/MidiSong.h"
#include "tests/support/ScratchFolder.h"

#include <gtest/gtest.h>

#include <random>

using namespace tarnovelle;
using Steps = std::vector<uint8>;

namespace
{
constexpr uint8 x = restStep;
using test::Event;
using test::makeMidiFile;

MidiImportResult import (const juce::MemoryBlock& data, int stepSize)
{
    juce::MemoryInputStream in (data, false);
    return importMidiSequence (in, stepSize);
}

Steps importSteps (const std::vector<std::vector<Event>>& tracks, int ticksPerQuarterNote, int stepSize)
{
    const auto result = import (makeMidiFile (tracks, ticksPerQuarterNote), stepSize);
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
TEST (MidiImport, NotesLandOnTheNearestStepHalvesRoundingUpAndTheLastEndSetsTheLength)
{
    // 96 ticks per quarter note at step 16: a step is 24 ticks, half a step 12.
    // 35 -> 1.46 (step 1); 36 -> 1.5 rounds up (step 2);
    // 84 -> 3.5 rounds up to step 4; its end at 90 marks ceil (3.75) - 1 = 3.
    EXPECT_EQ (
        importSteps ({ { { 0, 60 }, { 11, 60, -1 }, { 35, 62 }, { 36, 64 }, { 84, 65 }, { 90, 65, -1 } } }, 96, 16),
        (Steps{ 60, 62, 64, x, 65 }));

    // Step 8 at 480 ticks: a step is 240 ticks. A chord on step 0 across two tracks and
    // channels takes its highest note; a long note from step 2 that ends in step 5; a note-off
    // whose note-on never came, at the very start of step 7, which marks step 6.
    EXPECT_EQ (importSteps ({ { { 0, 48 }, { 0, 67, 90, 3 }, { 480, 50 }, { 1300, 50, -1 } },
                              { { 0, 64, 10, 2 }, { 1680, 99, -1 } } },
                            480, 8),
               (Steps{ 67, x, 50, x, x, x, x }));

    // The note-ons of velocity 0 at tick 48 end notes (marking step 0) and start none; the
    // last end at 190 marks ceil (3.96) - 1 = 3.
    EXPECT_EQ (importSteps ({ { { 0, 60 }, { 48, 60, 0 }, { 48, 72, 0 }, { 96, 61 }, { 190, 61, 0 } } }, 192, 16),
               (Steps{ 60, x, 61, x }));

    // 100 ticks per quarter note at step 32: a step is 12.5 ticks. Tick 19 is 1.52 steps,
    // tick 18 is 1.44, tick 31 is 2.48 (step 2) and tick 32 is 2.56 (step 3).
    EXPECT_EQ (importSteps ({ { { 18, 50 } } }, 100, 32), (Steps{ x, 50 }));
    EXPECT_EQ (importSteps ({ { { 19, 50 } } }, 100, 32), (Steps{ x, x, 50 }));
    EXPECT_EQ (importSteps ({ { { 31, 50 }, { 32, 51 } } }, 100, 32), (Steps{ x, x, 50, 51 }));

    // A quarter note per step at 24 ticks: an end at tick 25 marks step 1.
    EXPECT_EQ (importSteps ({ { { 0, 70 }, { 25, 70, -1 } } }, 24, 4), (Steps{ 70, x }));
}

TEST (MidiImport, NotesOutsideTheFileRangeMoveByOctaves)
{
    for (auto [note, folded] : { std::pair{ 0, 12 }, { 126, 114 }, { 127, 115 }, { 1, 1 }, { 125, 125 } })
        EXPECT_EQ (foldNoteIntoRange (note), folded) << note;

    // The highest note of a chord is chosen before it moves: 127 (to 115) beats 120.
    const auto steps = importSteps ({ { { 0, 0 }, { 24, 127 }, { 24, 120 }, { 48, 126 } } }, 96, 16);
    EXPECT_EQ (steps, (Steps{ 12, 115, 114 }));
}

TEST (MidiImport, SixtyFourStepsAtMostAndTheDroppedNotesAreCounted)
{
    std::vector<Event> events;

    for (int step = 0; step < 70; ++step)
        events.push_back ({ step * 48.0, 40 + step % 12 });

    const auto result = import (makeMidiFile ({ events }, 192, 1), 16);
    ASSERT_TRUE (result.isValid()) << result.error;
    ASSERT_EQ (result.steps.size(), 64u);
    EXPECT_EQ (result.steps[63], 40 + 63 % 12);
    EXPECT_EQ (result.droppedNotes, 6);
    EXPECT_EQ (result.getWarning(), "6 notes lie beyond the 64th step and have been left out.");

    // A note ending past step 63 lengthens the sequence to 64 without being dropped.
    const auto held = import (makeMidiFile ({ { { 0, 60 }, { 48 * 80, 60, -1 } } }, 192), 16);
    EXPECT_EQ (held.steps.size(), 64u);
    EXPECT_EQ (held.droppedNotes, 0);
    EXPECT_TRUE (held.getWarning().isEmpty());
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

    auto smpte = makeMidiFile ({ { { 0, 60 } } }, 96);
    static_cast<uint8*> (smpte.getData())[12] = 0xE7; // -25 frames per second
    static_cast<uint8*> (smpte.getData())[13] = 40;
    EXPECT_EQ (import (smpte, 16).error,
               "The MIDI file is timed in SMPTE frames; only files timed in beats can be imported.");

    EXPECT_EQ (import (makeMidiFile ({ { { 0, 60 } } }, 0), 16).error,
               "The MIDI file gives no ticks per quarter note, so its notes cannot be placed on steps.");

    // Only meta events and a controller: no note at all, which is not refused but imports as
    // the empty sequence, as an exported empty one does.
    juce::MidiFile empty;
    empty.setTicksPerQuarterNote (96);
    juce::MidiMessageSequence track;
    track.addEvent (juce::MidiMessage::tempoMetaEvent (500000), 0);
    track.addEvent (juce::MidiMessage::controllerEvent (1, 7, 100), 10);
    empty.addTrack (track);
    const auto noNote = importMidiSequence (empty, 16);
    EXPECT_TRUE (noNote.isValid() && noNote.steps.empty()) << noNote.error;

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

//==============================================================================
TEST (MidiImport, TracksChannelsAndTheStartBarChooseWhatIsImported)
{
    const auto song = test::makeSong();
    const auto tracks = summariseMidiTracks (song);
    ASSERT_EQ (tracks.size(), 3u);
    EXPECT_EQ (tracks[0].name, "Conductor");
    EXPECT_EQ (tracks[0].noteCount, 0);
    EXPECT_EQ (describeChannels (tracks[0].channels), "none");
    EXPECT_EQ (tracks[1].name, "Drums");
    EXPECT_EQ (tracks[1].noteCount, 12);
    EXPECT_FALSE (tracks[1].isMelodic());
    EXPECT_EQ (describeChannels (tracks[2].channels), "2, 3");
    EXPECT_EQ (tracks[2].noteCount, 6);
    EXPECT_EQ (countBars (song), 2);

    // Offered first: the bass track, every channel but the drums', at the given step size.
    const auto offered = chooseFirstMelodicTrack (tracks, 16);
    EXPECT_EQ (offered.tracks, std::set<int>{ 3 });
    EXPECT_EQ (offered.channels->size(), 15u);
    EXPECT_EQ (offered.channels->count (percussionChannel), 0u);

    const auto steps = [&song] (const MidiImportChoice& choice) {
        const auto result = importMidiSequence (song, choice);
        return result.isValid() ? result.steps : Steps{};
    };
    EXPECT_EQ (steps (offered), (Steps{ 28, x, x, 31, x, x, 33, x, x, 40, x, x, 35, x, x, 36, x }));

    // Everything merged, as before: the hi-hat wins every step it shares with the bass.
    EXPECT_EQ (steps (MidiImportChoice::everything (16)),
               (Steps{ 42, x, 42, 31, 42, x, 42, x, 42, 40, 42, x, 42, x, 42, 36, 42, x, 42, x, 42, x, 42 }));

    // One channel of a track; bar 2 of 3/4 time is step 12; at 8ths 36 (1.5 steps in) rounds up.
    auto choice = offered;
    choice.channels = std::set<int>{ 3 };
    EXPECT_EQ (steps (choice), (Steps{ x, x, x, x, x, x, x, x, x, 40 }));
    choice = offered;
    choice.fromBar = 2;
    EXPECT_EQ (steps (choice), (Steps{ 35, x, x, 36, x }));
    choice.stepSize = 8;
    EXPECT_EQ (steps (choice), (Steps{ 35, x, 36 }));

    // Choices without notes, and notes that end before the start bar, are refused.
    choice = offered;
    choice.channels = std::set<int>{ percussionChannel };
    EXPECT_EQ (importMidiSequence (song, choice).error, "The chosen tracks and channels hold no note.");
    choice = MidiImportChoice::everything (16);
    choice.fromBar = 3;
    EXPECT_EQ (importMidiSequence (song, choice).error, "The MIDI file holds no note from bar 3 on.");
}

TEST (MidiImport, BarsFollowTheFirstTimeSignatureOrFourFour)
{
    // Notes on 16th steps 12, 16 and 17: bar 2 starts at step 16 in 4/4 and at step 12 in 6/8.
    auto file = makeMidiFile ({ { { 12 * 24.0, 50 }, { 16 * 24.0, 60 }, { 17 * 24.0, 61 } } }, 96);
    juce::MemoryInputStream in (file, false);
    juce::MidiFile midi;
    ASSERT_EQ (readMidiFile (in, midi), "");

    auto choice = MidiImportChoice::everything (16);
    choice.fromBar = 2;
    EXPECT_EQ (importMidiSequence (midi, choice).steps, (Steps{ 60, 61 }));

    // The first signature counts, passing over one no music uses (0 beats); later ones do not.
    juce::MidiMessageSequence signatures;
    signatures.addEvent (juce::MidiMessage::timeSignatureMetaEvent (0, 4), 0);
    signatures.addEvent (juce::MidiMessage::timeSignatureMetaEvent (6, 8), 0);
    signatures.addEvent (juce::MidiMessage::timeSignatureMetaEvent (2, 4), 96);
    midi.addTrack (signatures);
    signatures.clear();
    signatures.addEvent (juce::MidiMessage::timeSignatureMetaEvent (2, 4), 48);
    midi.addTrack (signatures);
    EXPECT_EQ (getFirstTimeSignature (midi).numerator, 6);
    EXPECT_EQ (importMidiSequence (midi, choice).steps, (Steps{ 50, x, x, x, 60, 61 }));
    EXPECT_EQ (countBars (midi), 2);
}
