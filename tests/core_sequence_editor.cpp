#include "app/ApplicationController.h"
#include "emulator/RecordingView.h"
#include "sequences/MidiExport.h"
#include "sequences/SequenceEditorFiles.h"
#include "sequences/SequenceEditorModel.h"
#include "sequences/SequenceFile.h"
#include "sequences/SequenceTransfer.h"
#include "tests/support/InstrumentRig.h"
#include "tests/support/MidiSong.h"
#include "tests/support/ScratchFolder.h"

#include <gtest/gtest.h>

using namespace tarnovelle;
using Steps = std::vector<uint8>;

namespace
{
constexpr uint8 x = restStep;

Steps stepsOf (const EditedSequence& sequence)
{
    return Steps (sequence.steps.begin(), sequence.steps.begin() + sequence.length);
}

/** Answers the import window from a script: OK with the offered choice as `change` leaves
    it, or Cancel. Remembers every choice offered.
*/
struct ScriptedImportChooser final : public MidiImportChooser
{
    bool answerOk = true;
    std::function<void (MidiImportChoice&)> change = [] (MidiImportChoice&) {};
    std::vector<MidiImportChoice> offered;

    bool chooseImport (const juce::String&, const juce::MidiFile&, MidiImportChoice& choice) override
    {
        offered.push_back (choice);
        change (choice);
        return answerOk;
    }
};

struct EditorModel : public ::testing::Test
{
    SequenceEditorModel model;

    /** Selects sequence `index` and gives it these steps, as an import would. */
    void give (int index, const Steps& steps)
    {
        model.replaceSequence (index, EditedSequence::fromSteps (steps));
        model.selectSequence (index);
    }

    Steps selected() const { return stepsOf (model.getSelected()); }
};
} // namespace

//==============================================================================
TEST_F (EditorModel, TheCursorStaysOnTheStepsOfTheSelectedSequence)
{
    give (2, { 60, 61, 62, 63 });
    model.moveCursorToEnd();
    EXPECT_EQ (model.getCursor(), 3);
    model.moveCursorBy (1);
    EXPECT_EQ (model.getCursor(), 3);
    model.moveCursorTo (0);
    model.moveCursorBy (-1);
    EXPECT_EQ (model.getCursor(), 0);

    // A shorter sequence pulls the cursor in; an empty one keeps it at 0.
    model.moveCursorToEnd();
    give (5, { 50, 51 });
    EXPECT_EQ (model.getCursor(), 1);
    model.selectSequence (7);
    model.moveCursorToEnd();
    EXPECT_EQ (model.getCursor(), 0);
}

TEST_F (EditorModel, NoteKeysWithTheirLimitsAndTheLastNoteUsed)
{
    give (0, { x, 124, 2 });

    // A rest becomes the last note used, 60 at first; Up and Down then move by a semitone.
    EXPECT_TRUE (model.changeNoteBy (1));
    EXPECT_TRUE (model.changeNoteBy (-1));
    EXPECT_EQ (selected(), (Steps{ 59, 124, 2 }));

    // Octaves stop at 125 and 1.
    model.moveCursorTo (1);
    EXPECT_TRUE (model.changeNoteBy (12));
    EXPECT_FALSE (model.changeNoteBy (12));
    model.moveCursorTo (2);
    EXPECT_TRUE (model.changeNoteBy (-12));
    EXPECT_EQ (selected(), (Steps{ 59, 125, 1 }));

    // x makes a rest, which comes back as the last note used (1).
    EXPECT_TRUE (model.makeRest());
    EXPECT_FALSE (model.makeRest());
    EXPECT_TRUE (model.changeNoteBy (12));
    EXPECT_EQ (selected(), (Steps{ 59, 125, 1 }));

    // On an empty sequence there is no step to change.
    model.selectSequence (4);
    EXPECT_FALSE (model.changeNoteBy (1));
    EXPECT_FALSE (model.makeRest());
    EXPECT_FALSE (model.deleteStep());
}

TEST_F (EditorModel, InsertCopiesUpToSixtyFourStepsAndDeleteRemoves)
{
    model.selectSequence (1);
    EXPECT_TRUE (model.insertStep()); // an empty sequence starts with a rest
    EXPECT_EQ (selected(), (Steps{ x }));

    give (1, { 40, 41, 42 });
    model.moveCursorTo (1);
    EXPECT_TRUE (model.insertStep());
    EXPECT_EQ (selected(), (Steps{ 40, 41, 41, 42 }));
    EXPECT_EQ (model.getCursor(), 2);

    EXPECT_TRUE (model.deleteStep());
    EXPECT_TRUE (model.deleteStep());
    EXPECT_EQ (selected(), (Steps{ 40, 41 }));
    EXPECT_EQ (model.getCursor(), 1);

    give (1, Steps (64, 70));
    EXPECT_FALSE (model.insertStep());
    EXPECT_EQ (model.getSelected().length, 64);
}

TEST_F (EditorModel, ClicksPlaceOrRestNotesAndTheHandleSetsTheLength)
{
    give (3, { 60, 62 });

    // A click past the end lengthens the sequence with rests; a second click on the same
    // note makes it a rest; another note replaces it.
    EXPECT_TRUE (model.toggleNote (4, 67));
    EXPECT_EQ (selected(), (Steps{ 60, 62, x, x, 67 }));
    EXPECT_EQ (model.getCursor(), 4);
    EXPECT_TRUE (model.toggleNote (0, 60));
    EXPECT_TRUE (model.toggleNote (1, 50));
    EXPECT_EQ (selected(), (Steps{ x, 50, x, x, 67 }));
    EXPECT_FALSE (model.toggleNote (64, 60));
    EXPECT_FALSE (model.toggleNote (0, 126));
    EXPECT_FALSE (model.toggleNote (0, 0));

    // The handle keeps the steps it hides, from 0 to 64.
    EXPECT_TRUE (model.setLength (1));
    EXPECT_TRUE (model.setLength (5));
    EXPECT_EQ (selected(), (Steps{ x, 50, x, x, 67 }));
    model.setLength (100);
    EXPECT_EQ (model.getSelected().length, 64);
    model.setLength (-3);
    EXPECT_EQ (model.getSelected().length, 0);
}

TEST_F (EditorModel, UndoAndRedoRestoreEveryChangeAndADragUndoesAsOne)
{
    give (6, { 60, 61, 62 });
    const auto start = selected();

    model.beginGesture();
    for (int note : { 64, 66, 69, 71 })
        model.setNote (1, note);
    model.endGesture();
    model.setLength (2);
    EXPECT_EQ (selected(), (Steps{ 60, 71 }));

    EXPECT_TRUE (model.undo());
    EXPECT_EQ (selected(), (Steps{ 60, 71, 62 }));
    EXPECT_TRUE (model.undo());
    EXPECT_EQ (selected(), start);
    EXPECT_TRUE (model.redo());
    EXPECT_TRUE (model.redo());
    EXPECT_EQ (selected(), (Steps{ 60, 71 }));

    // Undo selects the sequence it changes.
    model.selectSequence (0);
    EXPECT_TRUE (model.undo());
    EXPECT_EQ (model.getSelectedIndex(), 6);
}

TEST_F (EditorModel, TransposeClearCopyAndPaste)
{
    give (0, { 100, x, 113 });
    EXPECT_TRUE (model.transpose (12));
    EXPECT_FALSE (model.transpose (1)); // 125 + 1 would leave the range: nothing moves
    EXPECT_TRUE (model.transpose (-1));
    EXPECT_EQ (selected(), (Steps{ 111, x, 124 }));

    model.copySelected();
    model.selectSequence (7);
    EXPECT_TRUE (model.pasteIntoSelected());
    EXPECT_EQ (selected(), (Steps{ 111, x, 124 }));
    EXPECT_TRUE (model.clearSelected());
    EXPECT_TRUE (selected().empty());
    EXPECT_EQ (stepsOf (model.getSequence (0)), (Steps{ 111, x, 124 }));
}

TEST_F (EditorModel, ChangedMeansDifferentFromWhatTheInstrumentWasLastKnownToHold)
{
    SequenceSet read{};
    read[0] = { 60, 126, x };
    read[2] = { 50 };
    model.takeReadSequences (read);

    // 126 is folded into the file's range as it enters the editor.
    EXPECT_EQ (stepsOf (model.getSequence (0)), (Steps{ 60, 114, x }));
    EXPECT_FALSE (model.hasUnsentChanges());

    model.selectSequence (5);
    model.insertStep();
    model.selectSequence (2);
    model.changeNoteBy (1);
    EXPECT_EQ (model.getChangedIndices(), (std::vector<int>{ 2, 5 }));

    model.markSent (5);
    EXPECT_EQ (model.getChangedIndices(), (std::vector<int>{ 2 }));

    // Undoing an edit back to the instrument's content clears its mark; undoing the read
    // brings the sequences it replaced back, marked.
    model.undo();
    EXPECT_FALSE (model.hasUnsentChanges());
    model.takeReadSequences (SequenceSet{});
    model.undo();
    EXPECT_EQ (model.getChangedIndices(), (std::vector<int>{ 0, 2, 5 }));
}

//==============================================================================
namespace
{
struct CountingHost final : public SequenceEditorHost
{
    int opened = 0;
    void openSequenceEditor() override { ++opened; }
};

struct EditorHub : public ::testing::Test
{
    test::InstrumentRig rig;
    test::RecordingView view;
    ApplicationController controller{ view };
    CountingHost host;
    SequenceEditorModel& model = controller.getSequenceEditorModel();

    EditorHub()
    {
        rig.instrument.setFirmwareVersion ({ 1, 0, 3, 2 });
        controller.setSequenceEditorHost (&host);
    }
};
} // namespace

TEST_F (EditorHub, OpensDisconnectedAndReadsAndSendsOnlyWhenConnected)
{
    controller.handleActionMessage ("EDSQ ");
    EXPECT_EQ (host.opened, 1);
    EXPECT_FALSE (model.isConnected());

    controller.handleActionMessage ("RDSQ ");
    controller.handleActionMessage ("WRSQ ");
    EXPECT_EQ (rig.instrument.countAllReceived(), 0);
    EXPECT_TRUE (rig.dialogs.getRecords().empty());

    controller.startUp();
    ASSERT_TRUE (controller.isConnected());
    EXPECT_TRUE (model.isConnected());
    controller.handleActionMessage ("COMI ");
    EXPECT_FALSE (model.isConnected());
}

TEST_F (EditorHub, ReadsTheEightSequencesAndTimingThenSendsExactlyTheChangedOnes)
{
    rig.instrument.setSequence (3, { 40, 41, 127, 43 });
    rig.instrument.setSetting (DeviceSetting::STEP, 8);
    rig.instrument.setSetting (DeviceSetting::GLEN, 3);
    controller.startUp();
    ASSERT_TRUE (controller.isConnected());
    rig.dialogs.clear();

    controller.handleActionMessage ("RDSQ ");
    EXPECT_EQ (rig.dialogs.count (ScriptedDialogs::Kind::progressWindow), 1);
    EXPECT_EQ (rig.dialogs.count (ScriptedDialogs::Kind::messageBox), 0);
    EXPECT_EQ (stepsOf (model.getSequence (3)), (Steps{ 40, 41, x, 43 }));
    EXPECT_EQ (stepsOf (model.getSequence (0)), rig.instrument.getSequence (0));
    EXPECT_EQ (model.getStepSize(), 8);
    EXPECT_EQ (model.getGateLength(), 3);

    model.selectSequence (3);
    model.moveCursorTo (2);
    model.changeNoteBy (1); // the rest becomes 60
    rig.instrument.clearReceived();
    controller.handleActionMessage ("WRSQ ");

    ASSERT_TRUE (test::InstrumentRig::waitFor ([&] {
        return rig.instrument.getSequence (3) == Steps{ 40, 41, 60, 43 };
    }));
    EXPECT_EQ (rig.instrument.countReceived (sequenceChunkCommand), 1);
    EXPECT_FALSE (model.hasUnsentChanges());
}

TEST_F (EditorHub, AnInstrumentThatStopsAnsweringLeavesTheEditorAsItWas)
{
    controller.startUp();
    ASSERT_TRUE (controller.isConnected());
    model.selectSequence (1);
    model.insertStep();
    rig.dialogs.clear();

    // The third sequence's first half goes unanswered.
    rig.instrument.setStopAnsweringAfter (4);
    controller.handleActionMessage ("RDSQ ");

    const auto boxes = rig.dialogs.getRecords (ScriptedDialogs::Kind::messageBox);
    ASSERT_EQ (boxes.size(), 1u);
    EXPECT_EQ (boxes[0].title, "Sequence Editor");
    EXPECT_EQ (stepsOf (model.getSequence (1)), (Steps{ x }));
}

//==============================================================================
TEST_F (EditorModel, FilesOpenSaveImportAndExportThroughTheirChoosers)
{
    test::InstrumentRig rig (false);
    test::ScratchFolder scratch{ "editorfiles" };
    const auto file = [&] (const char* name) { return scratch.folder.getChildFile (name); };
    give (1, { 30, 31 });

    // A file with an error changes nothing; a good one replaces the sequences it names, as
    // one undoable change.
    file ("bad.tvseq").replaceWithText ("1:60\n2:60 X");
    file ("good.tvseq").replaceWithText ("3:40 x\n1:41");
    rig.dialogs.answerFile (file ("bad.tvseq"));
    rig.dialogs.answerFile (file ("good.tvseq"));
    openSequenceFileIntoEditor (model);
    EXPECT_EQ (stepsOf (model.getSequence (0)), Steps{});
    openSequenceFileIntoEditor (model);
    EXPECT_EQ (stepsOf (model.getSequence (0)), (Steps{ 41 }));
    EXPECT_EQ (stepsOf (model.getSequence (2)), (Steps{ 40, x }));
    model.undo();
    EXPECT_EQ (stepsOf (model.getSequence (0)), Steps{});
    EXPECT_EQ (stepsOf (model.getSequence (2)), Steps{});
    const auto boxes = rig.dialogs.getRecords (ScriptedDialogs::Kind::messageBox);
    ASSERT_EQ (boxes.size(), 1u);
    EXPECT_EQ (boxes[0].title, "Sequence file parsing error");
    EXPECT_EQ (boxes[0].message, "Bad file format on line: 2 token: 2");

    // Exported at the editor's step size and gate, imported back into another sequence.
    model.setStepSize (8);
    model.setGateLength (3);
    model.selectSequence (1);
    rig.dialogs.answerFile (file ("two"));
    exportMidiFromEditor (model);
    const StepBuffer two{ 30, 31 };
    juce::MemoryBlock exported;
    ASSERT_TRUE (file ("two.mid").loadFileAsData (exported));
    EXPECT_EQ (exported, makeSequenceMidiFile (two.data(), MidiExportTiming::fromSettings (8, 3)));

    model.selectSequence (6);
    ScriptedImportChooser chooser;
    rig.dialogs.answerFile (file ("two.mid"));
    rig.dialogs.answerFile (file ("good.tvseq"));
    importMidiIntoEditor (model, chooser);
    importMidiIntoEditor (model, chooser); // not a MIDI file: refused, nothing changes
    EXPECT_EQ (stepsOf (model.getSequence (6)), (Steps{ 30, 31 }));
    const auto refused = rig.dialogs.getRecords (ScriptedDialogs::Kind::messageBox).back();
    EXPECT_EQ (refused.title, "Import error");
    EXPECT_EQ (refused.message, "good.tvseq: The file is not a Standard MIDI File.\nNothing has been imported.");
    ASSERT_EQ (chooser.offered.size(), 1u);
    EXPECT_EQ (chooser.offered[0].stepSize, 8);
    EXPECT_EQ (chooser.offered[0].tracks, std::set<int>{ 1 });

    // A song: the user's answer is what is imported, as one undoable change; Cancel imports nothing.
    const auto song = test::makeSongFile();
    ASSERT_TRUE (file ("song.mid").replaceWithData (song.getData(), song.getSize()));
    model.selectSequence (4);
    chooser.change = [] (MidiImportChoice& choice) { choice.fromBar = 2; };
    rig.dialogs.answerFile (file ("song.mid"));
    importMidiIntoEditor (model, chooser);
    EXPECT_EQ (chooser.offered.back().tracks, std::set<int>{ 3 });
    EXPECT_EQ (selected(), (Steps{ 35, x, 36 }));
    chooser.answerOk = false;
    rig.dialogs.answerFile (file ("song.mid"));
    importMidiIntoEditor (model, chooser);
    EXPECT_EQ (selected(), (Steps{ 35, x, 36 }));
    model.undo();
    EXPECT_EQ (selected(), Steps{});

    // Saved through the safe writer, without MIDI files.
    rig.dialogs.answerFile (file ("set"));
    rig.dialogs.answerOkCancel (false);
    saveEditorSequences (model);
    SequenceSet expected{};
    expected[1] = two;
    expected[6] = two;
    EXPECT_EQ (file ("set.tvseq").loadFileAsString(), formatSequenceFile (expected));
    EXPECT_FALSE (file ("set.tvseq_1.mid").exists());
}
