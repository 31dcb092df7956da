// The sequence tools, step text, and the editor's step ranges: selection, clipboard edits,
// dragged notes, and the tools that ask for their choices.

#include "editor/SequenceEditorFiles.h"
#include "editor/SequenceToolCommands.h"
#include "tests/support/EditorModelTest.h"

#include <gtest/gtest.h>

#include <set>

using namespace tarnovelle;

namespace
{
constexpr uint8 x = restStep;

using EditorRanges = test::EditorModelTest;
} // namespace

//==============================================================================
TEST (SequenceTools, ReshapeStepsAndKeepRests)
{
    using namespace SequenceTools;
    const Steps melody{ 60, x, 64, 67 };
    EXPECT_EQ (rotateLeft (melody), (Steps{ x, 64, 67, 60 }));
    EXPECT_EQ (rotateRight (melody), (Steps{ 67, 60, x, 64 }));
    EXPECT_EQ (reverse (melody), (Steps{ 67, 64, x, 60 }));
    EXPECT_TRUE (rotateLeft ({}).empty());

    // Mirrored around 62; a mirror beyond 125 or below 1 moves by octaves back in.
    EXPECT_EQ (invert (melody, 62), (Steps{ 64, x, 60, 57 }));
    EXPECT_EQ (invert ({ 2, 120 }, 64), (Steps{ 114, 8 }));

    EXPECT_EQ (doubled (melody), (Steps{ 60, x, 64, 67, 60, x, 64, 67 }));
    EXPECT_EQ (doubled (Steps (40, 50)).size(), 64u);
    EXPECT_EQ (halved ({ 1, 2, 3, 4, 5 }), (Steps{ 1, 2, 3 }));
    EXPECT_EQ (halved (doubled (melody)), melody);
}

TEST (SequenceTools, ScalesAreTheModesAndNotesMoveToTheNearestOne)
{
    // The church modes of C major share its notes; the pentatonics and blues theirs.
    for (int note = 1; note <= 125; ++note)
    {
        const bool cMajor = isInScale (note, 0, Scale::major);
        EXPECT_EQ (isInScale (note, 9, Scale::naturalMinor), cMajor) << note;
        EXPECT_EQ (isInScale (note, 2, Scale::dorian), cMajor) << note;
        EXPECT_EQ (isInScale (note, 4, Scale::phrygian), cMajor) << note;
        EXPECT_EQ (isInScale (note, 7, Scale::mixolydian), cMajor) << note;
        EXPECT_EQ (isInScale (note, 9, Scale::minorPentatonic), isInScale (note, 0, Scale::majorPentatonic)) << note;
        EXPECT_EQ (isInScale (note, 9, Scale::blues), isInScale (note, 9, Scale::minorPentatonic) || note % 12 == 3)
            << note; // D#, the blue note
        EXPECT_TRUE (isInScale (note, 5, Scale::chromatic));
    }

    // A harmonic minor raises the seventh: G# in, G out.
    EXPECT_TRUE (isInScale (68, 9, Scale::harmonicMinor));
    EXPECT_FALSE (isInScale (67, 9, Scale::harmonicMinor));
    EXPECT_EQ (getScaleNames().size(), numScales);

    // C# and F# lie between two notes of C major: down; D# in E major pentatonic goes up to E.
    EXPECT_EQ (SequenceTools::fitToScale ({ 61, x, 66, 64, 123 }, 0, Scale::major), (Steps{ 60, x, 65, 64, 122 }));
    EXPECT_EQ (SequenceTools::fitToScale ({ 63, 1 }, 4, Scale::majorPentatonic), (Steps{ 64, 1 }));
}

TEST (SequenceTools, GenerateIsSeededAndKeepsToScaleRangeAndRestShare)
{
    SequenceTools::Generation generation{ 2, Scale::dorian, 50, 70, 30, 1234 };
    const auto steps = SequenceTools::generate (64, generation);
    ASSERT_EQ (steps.size(), 64u);
    EXPECT_EQ (SequenceTools::generate (64, generation), steps);

    int rests = 0;
    std::set<int> notes;

    for (auto step : steps)
    {
        rests += step == x ? 1 : 0;

        if (step != x)
        {
            notes.insert (step);
            EXPECT_TRUE (step >= 50 && step <= 70 && isInScale (step, 2, Scale::dorian)) << (int) step;
        }
    }

    EXPECT_GT (rests, 8);
    EXPECT_LT (rests, 32);
    EXPECT_GT (notes.size(), 5u);

    // Another seed gives other notes; the rest share runs from none to all.
    generation.seed = 99;
    EXPECT_NE (SequenceTools::generate (64, generation), steps);
    generation.restPercent = 0;
    const auto noRests = SequenceTools::generate (64, generation);
    EXPECT_EQ (std::count (noRests.begin(), noRests.end(), x), 0);
    generation.restPercent = 100;
    EXPECT_EQ (SequenceTools::generate (5, generation), Steps (5, x));
}

TEST (StepText, FormatsAndReadsTheStepsOfASequenceFileLine)
{
    EXPECT_EQ (formatStepText ({ 60, 62, x, 64 }), "60 62 x 64");
    EXPECT_EQ (parseStepText ("60 62 x 64"), (Steps{ 60, 62, x, 64 }));
    EXPECT_EQ (parseStepText ("3:60 x\r\n"), (Steps{ 60, x }));
    EXPECT_EQ (parseStepText ("  1\t125 X "), (Steps{ 1, 125, x }));

    for (const char* text : { "", "hello", "60 126", "60 0", "60 -5", "60 6x", "3:", "60 00000000060" })
        EXPECT_FALSE (parseStepText (text).has_value()) << text;

    EXPECT_TRUE (parseStepText (formatStepText (Steps (64, 60))).has_value());
    EXPECT_FALSE (parseStepText (formatStepText (Steps (65, 60))).has_value());
}

//==============================================================================
TEST_F (EditorRanges, ShiftSelectionCopyPasteCutAndDeleteWorkOnSteps)
{
    give (0, { 60, 62, 64, 65, 67 });
    model.moveCursorTo (1);
    model.extendRangeBy (2);
    EXPECT_EQ (model.getRange(), juce::Range<int> (1, 4));
    model.extendRangeBy (-3); // across the anchor: steps 0 and 1
    EXPECT_EQ (model.getRange(), juce::Range<int> (0, 2));
    model.extendRangeTo (3);
    model.copySelected();

    // Into another sequence, then over the end of the first: it grows (at most to 64).
    model.selectSequence (1);
    EXPECT_FALSE (model.hasRange());
    EXPECT_TRUE (model.pasteIntoSelected());
    EXPECT_EQ (selected(), (Steps{ 62, 64, 65 }));
    EXPECT_EQ (model.getRange(), juce::Range<int> (0, 3));
    model.selectSequence (0);
    model.moveCursorTo (3);
    EXPECT_TRUE (model.pasteIntoSelected());
    EXPECT_EQ (selected(), (Steps{ 60, 62, 64, 62, 64, 65 }));
    give (2, Steps (62, 50));
    model.moveCursorToEnd();
    EXPECT_TRUE (model.pasteSteps ({ 1, 2, 3, 4 }));
    EXPECT_EQ (model.getSelected().length, 64);
    EXPECT_EQ (selected().back(), 3);

    // Transpose and Delete act on the range; without one, on the sequence and the cursor step.
    model.selectSequence (0);
    model.selectRange (1, 2);
    EXPECT_TRUE (model.transpose (12));
    EXPECT_EQ (selected(), (Steps{ 60, 74, 76, 62, 64, 65 }));
    EXPECT_TRUE (model.deleteRange());
    EXPECT_EQ (selected(), (Steps{ 60, 62, 64, 65 }));
    EXPECT_FALSE (model.hasRange());
    EXPECT_TRUE (model.deleteRange());
    EXPECT_EQ (selected(), (Steps{ 60, 64, 65 }));

    model.selectRange (2, 1);
    EXPECT_TRUE (model.cutRange());
    EXPECT_EQ (selected(), (Steps{ 60 }));
    EXPECT_EQ (model.getCopiedSteps(), (Steps{ 64, 65 }));

    // Each edit undoes alone.
    model.undo();
    EXPECT_EQ (selected(), (Steps{ 60, 64, 65 }));

    // A redo selects the steps it changes: four pasted over the last of sixteen; one step alone
    // takes the cursor.
    give (3, Steps (16, 60));
    model.moveCursorToEnd();
    EXPECT_TRUE (model.pasteSteps ({ 61, 62, 63, 64 }));
    model.undo();
    model.redo();
    EXPECT_EQ (model.getRange(), juce::Range<int> (15, 19));
    model.moveCursorTo (2);
    EXPECT_TRUE (model.makeRest());
    model.moveCursorTo (9);
    model.undo();
    model.redo();
    EXPECT_FALSE (model.hasRange());
    EXPECT_EQ (model.getCursor(), 2);
}

TEST_F (EditorRanges, ADraggedNoteLeavesARestAndPassesOverOtherNotesAsOneEdit)
{
    give (0, { 60, 62, 64 });
    const auto origin = model.getSelected();
    model.beginGesture();
    EXPECT_TRUE (model.moveNote (origin, 0, 1, 61)); // over the 62 ...
    EXPECT_TRUE (model.moveNote (origin, 0, 5, 70)); // ... which comes back, on past the end
    model.endGesture();
    EXPECT_EQ (selected(), (Steps{ x, 62, 64, x, x, 70 }));
    EXPECT_EQ (model.getCursor(), 5);
    EXPECT_FALSE (model.moveNote (origin, 0, 64, 70));

    model.undo();
    EXPECT_EQ (selected(), (Steps{ 60, 62, 64 }));
}

TEST_F (EditorRanges, ToolsChangeTheRangeOrTheSequenceAsOneUndoableEdit)
{
    give (0, { 60, 62, 64, 65 });
    model.selectRange (1, 2);
    EXPECT_TRUE (model.applyToSelection ([] (const Steps& s) { return SequenceTools::doubled (s); }));
    EXPECT_EQ (selected(), (Steps{ 60, 62, 64, 62, 64, 65 }));
    EXPECT_EQ (model.getRange(), juce::Range<int> (1, 5));
    model.moveCursorTo (0);
    EXPECT_TRUE (model.applyToSelection ([] (Steps s) { return SequenceTools::reverse (std::move (s)); }));
    EXPECT_EQ (selected(), (Steps{ 65, 64, 62, 64, 62, 60 }));
    model.undo();
    model.undo();
    EXPECT_EQ (selected(), (Steps{ 60, 62, 64, 65 }));

    // The forms: cancelled, nothing changes; a note name is read; a bad one is refused.
    SequenceToolCommands::invert (model);
    EXPECT_EQ (selected(), (Steps{ 60, 62, 64, 65 }));
    dialogs.answerForm ({ "D4" });
    dialogs.answerForm ({ "C11" });
    SequenceToolCommands::invert (model);
    SequenceToolCommands::invert (model);
    EXPECT_EQ (selected(), (Steps{ 64, 62, 60, 59 }));
    const auto forms = dialogs.getRecords (ScriptedDialogs::Kind::form);
    ASSERT_EQ (forms.size(), 3u);
    EXPECT_EQ (forms[0].title, "Invert");
    EXPECT_EQ (forms[1].fields[0].value, "60"); // the cursor's note proposed
    EXPECT_EQ (test::boxesShown (dialogs), "Invert|\"C11\" is not a note from 1 to 125.\nNothing has been changed.");

    dialogs.answerForm ({ "D", "minor pentatonic" });
    SequenceToolCommands::fitToScale (model);
    EXPECT_EQ (selected(), (Steps{ 65, 62, 60, 60 }));

    // The questions say what they act on: the whole sequence without a range.
    model.selectRange (0, 1);
    SequenceToolCommands::fitToScale (model);
    juce::StringArray asked;
    for (const auto& form : dialogs.getRecords (ScriptedDialogs::Kind::form))
        asked.add (form.message);
    EXPECT_EQ (asked[0], "Mirror every note of sequence 1 around a note (a number or a name such as C4).");
    EXPECT_EQ (asked[3], "Move every note of sequence 1 to the nearest note of the scale.");
    EXPECT_EQ (asked[4], "Move every selected note to the nearest note of the scale.");

    // Generate fills an empty sequence with 16 steps, the same for the same seed.
    model.selectSequence (4);
    dialogs.answerForm ({ "C", "blues", "40", "C4", "0", "7" });
    SequenceToolCommands::generate (model);
    EXPECT_EQ (selected(), SequenceTools::generate (16, { 0, Scale::blues, 40, 60, 0, 7 }));
}

TEST_F (EditorRanges, ExportMidiProposesTheSequenceOrTheSetName)
{
    model.selectSequence (2);
    exportMidiFromEditor (model);
    const auto folder = juce::File::getSpecialLocation (juce::File::tempDirectory);
    model.setSetFile (folder.getChildFile ("live.tvseq"));
    exportMidiFromEditor (model);
    const auto choosers = dialogs.getRecords (ScriptedDialogs::Kind::saveChooser);
    ASSERT_EQ (choosers.size(), 2u);
    EXPECT_EQ (choosers[0].initialFile.getFileName(), "Sequence 3.mid");
    EXPECT_EQ (choosers[1].initialFile, folder.getChildFile ("live 3.mid"));
}
