#include "editor/SequenceEditorFiles.h"
#include "editor/SequenceEditorKeeper.h"
#include "editor/SequenceEditorModel.h"
#include "sequences/MidiExport.h"
#include "sequences/SequenceFile.h"
#include "sequences/SequenceTransfer.h"
#include "tests/support/ApplicationRig.h"
#include "tests/support/DialogsShown.h"
#include "tests/support/EditorModelTest.h"
#include "tests/support/MidiSong.h"
#include "tests/support/ScratchFolder.h"

#include <gtest/gtest.h>
#include <sys/wait.h>

using namespace tarnovelle;
using tarnovelle::test::waitFor;
using Steps = std::vector<uint8>;

namespace
{
constexpr uint8 x = restStep;

using EditorModel = test::EditorModelTest;
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

    // A change that would leave 1 to 125 is refused, not clamped; semitones reach the ends.
    model.moveCursorTo (1);
    EXPECT_FALSE (model.changeNoteBy (12));
    EXPECT_TRUE (model.changeNoteBy (1));
    EXPECT_FALSE (model.changeNoteBy (1));
    model.moveCursorTo (2);
    EXPECT_FALSE (model.changeNoteBy (-12));
    EXPECT_TRUE (model.changeNoteBy (-1));
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
    EXPECT_EQ (model.getSequence (0).toSteps(), (Steps{ 111, x, 124 }));
}

TEST_F (EditorModel, ChangedMeansDifferentFromWhatTheInstrumentWasLastKnownToHold)
{
    SequenceSet read{};
    read[0] = { 60, 126, x };
    read[2] = { 50 };
    model.takeReadSequences (read);

    // A 126 stays as the instrument holds it, also when another step of its sequence changes.
    EXPECT_EQ (model.getSequence (0).toSteps(), (Steps{ 60, 126, x }));
    EXPECT_FALSE (model.hasUnsentChanges());
    model.selectSequence (0);
    model.changeNoteBy (1);
    EXPECT_EQ (model.getSequence (0).toSteps(), (Steps{ 61, 126, x }));
    model.undo();

    model.selectSequence (5);
    model.insertStep();
    model.selectSequence (2);
    model.changeNoteBy (1);
    EXPECT_EQ (model.getChangedIndices(), (std::vector<int>{ 2, 5 }));

    model.markSent (5);
    EXPECT_EQ (model.getChangedIndices(), (std::vector<int>{ 2 }));

    // Undoing an edit back to the instrument's content clears its mark; a read is a base
    // that undo cannot cross, so nothing brings back a state the user did not make.
    model.undo();
    EXPECT_FALSE (model.hasUnsentChanges());
    model.takeReadSequences (SequenceSet{});
    EXPECT_FALSE (model.undo());
    EXPECT_FALSE (model.hasUnsentChanges());
}

TEST_F (EditorModel, RefusalsAreSaidAndListenersSeeTheHistoryAfterEachChange)
{
    // The Undo and Redo buttons follow what the listeners see when they are told.
    struct HistoryWatcher final : public SequenceEditorModel::Listener
    {
        SequenceEditorModel& model;
        bool canUndo = false, canRedo = false;
        explicit HistoryWatcher (SequenceEditorModel& m)
            : model (m)
        {
            model.addListener (this);
        }
        ~HistoryWatcher() override { model.removeListener (this); }
        void sequenceEditorModelChanged() override
        {
            canUndo = model.getUndoManager().canUndo();
            canRedo = model.getUndoManager().canRedo();
        }
    } watcher (model);

    give (0, { 120, x });
    EXPECT_TRUE (watcher.canUndo);
    model.undo();
    EXPECT_FALSE (watcher.canUndo);
    EXPECT_TRUE (watcher.canRedo);
    model.redo();
    EXPECT_TRUE (watcher.canUndo);
    EXPECT_FALSE (watcher.canRedo);

    // An octave up from 120 is refused, not clamped, and so is a transposition past 125.
    EXPECT_FALSE (model.changeNoteBy (12));
    EXPECT_EQ (model.getNotice(), "Step 1: 120 + 12 would leave 1 to 125");
    EXPECT_FALSE (model.transpose (6));
    EXPECT_EQ (model.getNotice(), "Transpose would leave 1 to 125");
    EXPECT_EQ (selected(), (Steps{ 120, x }));

    give (2, Steps (64, 70));
    EXPECT_FALSE (model.insertStep());
    EXPECT_EQ (model.getNotice(), "Sequence 3 is full: 64 steps");

    // The next change clears what was said.
    EXPECT_TRUE (model.deleteStep());
    EXPECT_TRUE (model.getNotice().isEmpty());
}

//==============================================================================
namespace
{
struct CountingHost final : public SequenceEditorHost
{
    int opened = 0;
    bool open = false;
    void openSequenceEditor() override { ++opened; }
    bool isSequenceEditorOpen() const override { return open; }
};

struct EditorHub : public ::testing::Test, public test::ApplicationRig
{
    CountingHost host;
    SequenceEditorModel& model = controller.getSequenceEditorModel();

    EditorHub() { controller.setSequenceEditorHost (&host); }

    /** Connects and opens the editor, which reads the instrument. */
    void openConnected()
    {
        ASSERT_TRUE (startConnected());
        controller.handleActionMessage ("RDSQ ");
        rig.dialogs.clear();
        rig.instrument.clearReceived();
    }

    /** Lengthens sequence `index` by a step. */
    void edit (int index)
    {
        model.selectSequence (index);
        model.insertStep();
    }

    std::vector<ScriptedDialogs::Record> boxes (ScriptedDialogs::Kind kind) { return rig.dialogs.getRecords (kind); }
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

    ASSERT_TRUE (startConnected());
    EXPECT_TRUE (model.isConnected());
    controller.handleActionMessage ("COMI ");
    EXPECT_FALSE (model.isConnected());
}

TEST_F (EditorHub, ReadsTheEightSequencesAndTimingThenSendsExactlyTheChangedOnes)
{
    rig.instrument.setSequence (3, { 40, 41, 127, 43 });
    rig.instrument.setSetting (DeviceSetting::STEP, 8);
    rig.instrument.setSetting (DeviceSetting::GLEN, 3);
    ASSERT_TRUE (startConnected());
    controller.handleActionMessage ("RDSQ ");
    EXPECT_EQ (rig.dialogs.count (ScriptedDialogs::Kind::progressWindow), 1);
    EXPECT_EQ (rig.dialogs.count (ScriptedDialogs::Kind::messageBox), 0);
    EXPECT_EQ (model.getSequence (3).toSteps(), (Steps{ 40, 41, x, 43 }));
    EXPECT_EQ (model.getSequence (0).toSteps(), rig.instrument.getSequence (0));
    EXPECT_EQ (model.getStepSize(), 8);
    EXPECT_EQ (model.getGateLength(), 3);

    model.selectSequence (3);
    model.moveCursorTo (2);
    model.changeNoteBy (1); // the rest becomes 60
    rig.instrument.clearReceived();
    controller.handleActionMessage ("WRSQ ");

    ASSERT_TRUE (waitFor ([&] { return rig.instrument.getSequence (3) == Steps{ 40, 41, 60, 43 }; }));
    EXPECT_EQ (rig.instrument.countReceived (sequenceChunkCommand), 1);
    EXPECT_FALSE (model.hasUnsentChanges());
}

TEST_F (EditorHub, AnInstrumentThatStopsAnsweringLeavesTheEditorAsItWas)
{
    ASSERT_TRUE (startConnected());
    model.selectSequence (1);
    model.insertStep();

    // The third sequence's first half goes unanswered.
    rig.instrument.setStopAnsweringAfter (4);
    controller.handleActionMessage ("RDSQ ");

    const auto boxes = rig.dialogs.getRecords (ScriptedDialogs::Kind::messageBox);
    ASSERT_EQ (boxes.size(), 1u);
    EXPECT_EQ (boxes[0].title, "Sequence Editor");
    EXPECT_EQ (model.getSequence (1).toSteps(), (Steps{ x }));
}

TEST_F (EditorHub, UndoNeverCrossesTheReadAndASendThatWouldEmptyOrHalveAsksFirst)
{
    rig.instrument.setSequence (0, { 60, 61, 62, 63 });
    rig.instrument.setSequence (3, { 40, 41, 42, 43, 44, 45 });
    openConnected();

    // Undo right after the read has nothing to bring back: the eight empty sequences the
    // editor started with were never the user's.
    EXPECT_FALSE (model.undo());
    EXPECT_FALSE (model.hasUnsentChanges());
    EXPECT_EQ (model.getSequence (0).toSteps(), rig.instrument.getSequence (0));

    model.selectSequence (0);
    model.clearSelected();
    model.selectSequence (3);
    model.setLength (2);
    edit (4);

    rig.dialogs.answerChoice ("Cancel");
    controller.handleActionMessage ("WRSQ ");
    const auto asked = boxes (ScriptedDialogs::Kind::question);
    ASSERT_EQ (asked.size(), 1u);
    EXPECT_EQ (asked[0].icon, DialogIcon::warning);
    EXPECT_EQ (asked[0].title, "Send Sequences");
    EXPECT_EQ (asked[0].message, "Sending would empty, or cut to less than half its length, sequences 1 and 4 on "
                                 "Tarnovelle, which now holds notes there.\nSend anyway?");
    EXPECT_EQ (test::describeChoices (asked[0]), "Send Anyway / Cancel (Return, Escape)");
    EXPECT_EQ (rig.instrument.countReceived (sequenceChunkCommand), 0);
    EXPECT_EQ (model.getChangedIndices(), (std::vector<int>{ 0, 3, 4 }));

    rig.dialogs.answerChoice ("Send Anyway");
    controller.handleActionMessage ("WRSQ ");
    EXPECT_TRUE (rig.instrument.getSequence (0).empty());
    EXPECT_EQ (rig.instrument.getSequence (3), (Steps{ 40, 41 }));
    EXPECT_FALSE (model.hasUnsentChanges());
    EXPECT_EQ (model.getNotice(), "Sent sequences 1, 4 and 5");
}

TEST_F (EditorHub, WhatChangesTheInstrumentBehindTheEditorIsReadBeforeAnySendAndEditsAreKept)
{
    rig.instrument.setSequence (0, { 70 });
    rig.instrument.setSequence (1, { 50, 51 });
    openConnected();
    edit (1);

    // A reset while the editor is closed makes its picture stale; the next Send reads first,
    // finds the instrument changed, sends nothing and says so.
    rig.dialogs.answerOkCancel (true);
    controller.handleActionMessage ("FCSQ ");
    EXPECT_TRUE (model.isInstrumentStale());
    rig.dialogs.clear();
    rig.instrument.clearReceived();
    controller.handleActionMessage ("WRSQ ");
    EXPECT_EQ (rig.instrument.countReceived (sequenceChunkCommand), 0);
    const auto told = boxes (ScriptedDialogs::Kind::messageBox);
    ASSERT_EQ (told.size(), 1u);
    EXPECT_TRUE (told[0].message.startsWith ("Tarnovelle's sequences 1 and 2 changed outside the editor since"))
        << told[0].message;

    // The sequences the user left alone show the factory set; the edit is kept, still marked.
    EXPECT_EQ (model.getSequence (0).toSteps(), Steps (16, 60));
    EXPECT_EQ (model.getSequence (1).toSteps(), (Steps{ 50, 50, 51 }));
    EXPECT_EQ (model.getChangedIndices(), (std::vector<int>{ 1 }));

    // Sent now, after the question: three steps replace the factory's sixteen.
    rig.dialogs.answerChoice ("Send Anyway");
    controller.handleActionMessage ("WRSQ ");
    EXPECT_EQ (rig.instrument.getSequence (1), (Steps{ 50, 50, 51 }));

    // Opening the editor again reads, and keeps what the user changed.
    edit (4);
    controller.handleActionMessage ("RDSQ ");
    EXPECT_EQ (model.getChangedIndices(), (std::vector<int>{ 4 }));

    // With the editor open, a load shows at once what the instrument now holds.
    test::ScratchFolder scratch{ "editorstale" };
    const auto file = scratch.folder.getChildFile ("three.tvseq");
    file.replaceWithText ("3:40 41");
    host.open = true;
    rig.dialogs.answerFile (file);
    controller.handleActionMessage ("LDSQ ");
    EXPECT_FALSE (model.isInstrumentStale());
    EXPECT_EQ (model.getSequence (2).toSteps(), (Steps{ 40, 41 }));
    EXPECT_EQ (model.getChangedIndices(), (std::vector<int>{ 4 }));
}

TEST_F (EditorHub, ASendCutShortKeepsTheMarksOfWhatTheInstrumentDidNotConfirm)
{
    openConnected();
    edit (2);
    edit (6);

    // The instrument goes quiet after confirming the first sequence (two halves read back).
    rig.instrument.setStopAnsweringAfter (2);
    controller.handleActionMessage ("WRSQ ");
    EXPECT_EQ (model.getChangedIndices(), (std::vector<int>{ 6 }));
    EXPECT_EQ (model.getNotice(), "Sent sequence 3; Tarnovelle did not confirm sequence 7");
    EXPECT_TRUE (model.isInstrumentStale());
    EXPECT_EQ (boxes (ScriptedDialogs::Kind::messageBox).size(), 1u);
}

TEST_F (EditorHub, AnActiveSensingHeldUpByABusyComputerDoesNotDropTheSend)
{
    openConnected();
    edit (2);

    // The input thread runs late: the last Active Sensing is older than the limit when the
    // Send is handled, and the next one is on its way.
    rig.instrument.setActiveSensingEnabled (false);
    ASSERT_TRUE (waitFor ([&] {
        return juce::Time::getMillisecondCounter() - controller.getLastActiveSenseTime()
               > ApplicationController::maxSilenceMs + 20;
    }));
    rig.instrument.setActiveSensingEnabled (true);
    controller.handleActionMessage ("WRSQ ");

    EXPECT_TRUE (controller.isConnected());
    EXPECT_FALSE (model.hasUnsentChanges());
    EXPECT_EQ (model.getNotice(), "Sent sequence 3");
    EXPECT_TRUE (rig.dialogs.getRecords().empty());
}

TEST_F (EditorHub, UnsentChangesAreKeptOnDiskAndAskedAboutOnlyWhenTheUserQuits)
{
    test::ScratchFolder scratch{ "editorkeeper" };
    const auto file = scratch.folder.getChildFile ("kept/Sequence Editor.json");

    {
        SequenceEditorKeeper keeper (model, file);
        keeper.offerKeptChanges(); // nothing kept yet: nothing asked
        openConnected();
        edit (4);

        // Written by itself shortly after the edit.
        ASSERT_TRUE (waitFor ([&] {
            const auto kept = SequenceEditorKeeper::read (file);
            return kept && kept->workingSet.hasUnsentChanges();
        }));

        // Closing the main window asks once: Cancel keeps the program, a quit that closes
        // the box keeps it too (the system's quit goes on by itself), Send and Quit sends.
        EXPECT_FALSE (controller.confirmQuit());
        rig.dialogs.answerChoice ({});
        EXPECT_FALSE (controller.confirmQuit());
        const auto asked = boxes (ScriptedDialogs::Kind::question);
        ASSERT_EQ (asked.size(), 2u);
        EXPECT_EQ (asked[0].message, "The sequence editor holds changes not sent to Tarnovelle: sequence 5.\nSend "
                                     "them before quitting? Quitting without sending discards them.");
        EXPECT_EQ (test::describeChoices (asked[0]), "Send and Quit (Return) / Quit Without Sending / Cancel (Escape)");
        rig.dialogs.answerChoice ("Send and Quit");
        EXPECT_TRUE (controller.confirmQuit());
        EXPECT_EQ (model.getSequence (4).toSteps(), rig.instrument.getSequence (4));

        // Quit Without Sending discards them.
        edit (3);
        rig.dialogs.answerChoice ("Quit Without Sending");
        EXPECT_TRUE (controller.confirmQuit());
        EXPECT_FALSE (model.hasUnsentChanges());

        // An edit left when the system ends the program is not asked about.
        edit (6);
    }

    // The next start offers it back, marks and selection included; Discard Them would forget it.
    SequenceEditorModel next;
    SequenceEditorKeeper keeper (next, file);
    rig.dialogs.clear();
    rig.dialogs.answerChoice ("Keep Them");
    keeper.offerKeptChanges();
    const auto offered = boxes (ScriptedDialogs::Kind::question);
    ASSERT_EQ (offered.size(), 1u);
    EXPECT_TRUE (offered[0].message.startsWith ("The sequence editor holds unsent changes from "));
    EXPECT_TRUE (offered[0].message.endsWith (". Keep them?"));
    EXPECT_EQ (test::describeChoices (offered[0]), "Keep Them (Return) / Discard Them");
    EXPECT_EQ (next.getChangedIndices(), (std::vector<int>{ 6 }));
    EXPECT_EQ (next.getSelectedIndex(), 6);
    EXPECT_TRUE (next.isInstrumentStale());
    EXPECT_FALSE (next.undo());

    next.revertChanges();
    keeper.flush();
    SequenceEditorKeeper (next, file).offerKeptChanges();
    EXPECT_EQ (rig.dialogs.count (ScriptedDialogs::Kind::question), 1);
}

//==============================================================================
TEST_F (EditorModel, FilesOpenSaveImportAndExportThroughTheirChoosers)
{
    test::ScratchFolder scratch{ "editorfiles" };
    const auto file = [&] (const char* name) { return scratch.folder.getChildFile (name); };
    give (1, { 30, 31 });
    give (0, { 50 });

    // A file with an error changes nothing; a good one replaces the sequences it names, as
    // one undoable change, after asking as Read does where that replaces unsent changes.
    file ("bad.tvseq").replaceWithText ("1:60\n2:60 X");
    file ("good.tvseq").replaceWithText ("3:40 x\n1:41");
    dialogs.answerFile (file ("bad.tvseq"));
    openSequenceFileIntoEditor (model);

    for (bool ok : { false, true })
    {
        dialogs.answerFile (file ("good.tvseq"));
        dialogs.answerChoice (ok ? "Replace My Changes" : "Cancel");
        openSequenceFileIntoEditor (model);
        EXPECT_EQ (model.getSequence (0).toSteps(), ok ? Steps{ 41 } : Steps{ 50 });
        EXPECT_EQ (model.getSequence (2).toSteps(), ok ? (Steps{ 40, x }) : Steps{});
    }

    const auto asked = "Unsent Changes|Opening good.tvseq replaces the unsent changes to sequence 1 with what the "
                       "file holds.\nOpen anyway?";
    EXPECT_EQ (test::boxesShown (dialogs), juce::String ("Sequence file parsing error|Bad file format on line: 2 "
                                                         "token: 2\n")
                                               + asked + "\n" + asked);
    ASSERT_TRUE (model.undo());
    EXPECT_EQ (model.getSequence (0).toSteps(), (Steps{ 50 }));
    EXPECT_EQ (model.getSequence (2).toSteps(), Steps{});
    ASSERT_TRUE (model.redo());

    // Exported at the editor's step size and gate, imported back into another sequence.
    model.setStepSize (8);
    model.setGateLength (3);
    model.selectSequence (1);
    dialogs.answerFile (file ("two"));
    exportMidiFromEditor (model);
    const StepBuffer two{ 30, 31 };
    juce::MemoryBlock exported;
    ASSERT_TRUE (file ("two.mid").loadFileAsData (exported));
    EXPECT_EQ (exported, makeSequenceMidiFile (two.data(), MidiExportTiming::fromSettings (8, 3)));

    // An empty sequence goes out and comes back empty.
    model.selectSequence (4);
    dialogs.answerFile (file ("empty"));
    exportMidiFromEditor (model);
    model.selectSequence (2);
    dialogs.answerFile (file ("empty.mid"));
    test::ScriptedImportChooser takesTheOffer;
    importMidiIntoEditor (model, takesTheOffer);
    EXPECT_EQ (model.getSequence (2).toSteps(), Steps{});

    model.selectSequence (6);
    test::ScriptedImportChooser chooser;
    dialogs.answerFile (file ("two.mid"));
    dialogs.answerFile (file ("good.tvseq"));
    importMidiIntoEditor (model, chooser);
    importMidiIntoEditor (model, chooser); // not a MIDI file: refused, nothing changes
    EXPECT_EQ (model.getSequence (6).toSteps(), (Steps{ 30, 31 }));
    EXPECT_TRUE (test::boxesShown (dialogs).endsWith (
        "\nImport error|good.tvseq: The file is not a Standard MIDI File.\nNothing has been imported."));
    ASSERT_EQ (chooser.offered.size(), 1u);
    EXPECT_EQ (chooser.offered[0].stepSize, 8);
    EXPECT_EQ (chooser.offered[0].tracks, std::set<int>{ 1 });

    // A song: the user's answer is what is imported, as one undoable change; Cancel imports nothing.
    const auto song = test::makeSongFile();
    ASSERT_TRUE (file ("song.mid").replaceWithData (song.getData(), song.getSize()));
    model.selectSequence (4);
    chooser.change = [] (MidiImportChoice& choice) { choice.fromBar = 2; };
    dialogs.answerFile (file ("song.mid"));
    importMidiIntoEditor (model, chooser);
    EXPECT_EQ (chooser.offered.back().tracks, std::set<int>{ 3 });
    EXPECT_EQ (selected(), (Steps{ 35, x, 36 }));
    chooser.answerOk = false;
    dialogs.answerFile (file ("song.mid"));
    importMidiIntoEditor (model, chooser);
    EXPECT_EQ (selected(), (Steps{ 35, x, 36 }));
    model.undo();
    EXPECT_EQ (selected(), Steps{});

    // Saved through the safe writer, without MIDI files.
    dialogs.answerFile (file ("set"));
    dialogs.answerOkCancel (false);
    saveEditorSequences (model);
    SequenceSet expected{};
    expected[0] = { 41 };
    expected[1] = two;
    expected[6] = two;
    EXPECT_EQ (file ("set.tvseq").loadFileAsString(), formatSequenceFile (expected));
    EXPECT_FALSE (file ("set.tvseq_1.mid").exists());
}
