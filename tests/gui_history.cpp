// The History window: comparing two snapshots, restoring one sequence into the editor, the
// restore to the instrument as a message to the hub, finding, deleting after asking, a
// selection that follows its snapshots, unreadable snapshots, and Ctrl+H in the sequence
// editor.

#include "editor/GUISequenceEditor.h"
#include "library/GUIHistoryWindow.h"
#include "sequences/SequenceTransfer.h"
#include "tests/support/EditorModelTest.h"
#include "tests/support/GuiTestSupport.h"
#include "tests/support/ScratchFolder.h"
#include "tests/support/StoredContent.h"

namespace tarnovelle
{
namespace
{
    using namespace test;

    struct HistoryFixture : public EditorModelTest
    {
        ScratchFolder scratch{ "gui-history" };
        MessageRecorder hub;
    };
} // namespace

TEST_F (HistoryFixture, ComparesRestoresFindsAndDeletes)
{
    InstrumentHistory history (scratch.folder.getChildFile ("library.sqlite"));
    auto groove = getFactorySequences();
    groove[2] = StepBuffer{ 40, restStep, 41 };
    const auto before = history.record (getFactorySequences(), "Before loading groove.tvseq");
    const auto loaded = history.record (groove, "Loaded groove.tvseq");

    GUIHistoryLauncher launcher (history, model, &hub);
    launcher.openHistory();
    auto& window = launcher.getWindow()->getHistory();
    auto& rows = window.getList().getListBox();
    ASSERT_EQ (window.getList().getNumSnapshots(), 2);
    EXPECT_EQ (window.getList().getRow (0)->id, loaded);

    // Two selected: the older is A; sequence 3 differs in its first and third steps and length.
    rows.selectRow (0);
    rows.selectRow (1, false, false);
    const auto& comparison = window.getComparison().getComparison();
    ASSERT_TRUE (comparison.has_value());
    EXPECT_EQ (comparison->describe().joinIntoString ("\n"), "Sequence 3: length 32 / 3, steps 1-32 differ");

    // Sequence 3 of the newer into the editor, the others left as they were.
    model.replaceSequence (0, EditedSequence::fromSteps ({ 99 }));
    rows.selectRow (0);
    window.getSequenceChoice().setSelectedId (4);
    window.restoreToEditor();
    EXPECT_EQ (model.getSequence (2), EditedSequence::fromStepBuffer (groove[2]));
    EXPECT_EQ (model.getSequence (0), EditedSequence::fromSteps ({ 99 }));

    // To the instrument: a message to the hub, and only while connected.
    window.restoreToInstrument();
    EXPECT_TRUE (hub.take().isEmpty());
    EXPECT_EQ (dialogs.count (ScriptedDialogs::Kind::messageBox), 1);
    model.setConnected (true);
    window.restoreToInstrument();
    EXPECT_EQ (hub.take(), juce::StringArray ("RSTR " + juce::String (loaded) + " 3"));

    // Found by its cause; deleted only after OK.
    window.getFindField().setText ("before", true);
    deliverQueuedMessages(); // a text editor tells of its change asynchronously
    ASSERT_EQ (window.getList().getNumSnapshots(), 1);
    rows.selectRow (0);
    window.deleteSnapshot();
    EXPECT_TRUE (history.getStore().get (before).has_value());
    dialogs.answerOkCancel (true);
    window.deleteSnapshot();
    EXPECT_FALSE (history.getStore().get (before).has_value());
    EXPECT_EQ (window.getList().getNumSnapshots(), 0);
}

TEST_F (HistoryFixture, TheSelectionStaysOnItsSnapshotsWhileTheFilteredListChanges)
{
    InstrumentHistory history (scratch.folder.getChildFile ("library.sqlite"));
    auto changed = getFactorySequences();
    changed[0] = StepBuffer{ 60 };

    for (const auto& sequences : { getFactorySequences(), changed, getFactorySequences() })
        history.getStore().rename (history.record (sequences, "Read at connection"), "Saturday");

    GUIHistoryLauncher launcher (history, model, &hub);
    launcher.openHistory();
    auto& window = launcher.getWindow()->getHistory();
    auto& rows = window.getList().getListBox();
    const auto compared = [&] {
        const auto& comparison = window.getComparison().getComparison();
        return comparison.has_value() ? comparison->describe().joinIntoString ("\n") : juce::String();
    };

    // New snapshots, unnamed, are not listed: the rows stay, and the two selected with them.
    window.getFindField().setText ("saturday", true);
    deliverQueuedMessages();
    rows.selectRow (0);
    rows.selectRow (1, false, false);
    history.record (changed, "Before RESET ALL SEQUENCES");
    EXPECT_EQ (window.getList().getSelectedIds(), (std::vector<juce::int64>{ 3, 2 }));
    EXPECT_EQ (compared(), "Sequence 1: length 1 / 16, steps 2-16 differ");

    // Compare with Tarnovelle: its read comes in; the comparison, Restore and Delete take the
    // snapshot shown selected.
    rows.selectRow (0);
    model.setConnected (true);
    window.compareWithInstrumentNow();
    EXPECT_EQ (hub.take(), juce::StringArray ("HNOW "));
    history.record (changed, "Read for comparison");
    EXPECT_EQ (compared(), "Sequence 1: length 16 / 1, steps 2-16 differ");
    window.restoreToInstrument();
    EXPECT_EQ (hub.take(), juce::StringArray ("RSTR 3"));
    dialogs.answerOkCancel (true);
    window.deleteSnapshot();
    EXPECT_TRUE (history.getStore().count ({ false, "saturday" }) == 2 && ! history.getStore().get (3).has_value());
}

TEST_F (HistoryFixture, AnUnreadableSnapshotIsMarkedAndOfferedForNothingButNameStarAndDelete)
{
    InstrumentHistory history (scratch.folder.getChildFile ("library.sqlite"));
    history.record (getFactorySequences(), "Read at connection");
    const auto newer = history.record (SequenceSet{}, "Read by the editor");
    replaceStoredContent (history.getStore().getFile(), newer, "x'02'");

    GUIHistoryLauncher launcher (history, model, &hub);
    launcher.openHistory();
    auto& window = launcher.getWindow()->getHistory();
    model.setConnected (true);
    model.replaceSequence (0, EditedSequence::fromSteps ({ 99 }));
    window.getList().getListBox().selectRow (0);

    for (auto* button : { "Restore to editor", "Restore to Tarnovelle", "Compare with the editor" })
        EXPECT_FALSE (window.getButton (button).isEnabled()) << button;

    EXPECT_TRUE (window.getButton ("Delete").isEnabled());
    window.restoreToEditor();
    window.restoreToInstrument();
    EXPECT_EQ (model.getSequence (0), EditedSequence::fromSteps ({ 99 }));
    EXPECT_TRUE (hub.take().isEmpty());

    // Nor compared with a readable one, nor restored when the hub is asked for it.
    window.getList().getListBox().selectRow (1, false, false);
    EXPECT_FALSE (window.getComparison().getComparison().has_value());
    history.restoreToInstrument (nullptr, newer, -1);
    EXPECT_EQ (boxesShown (dialogs), "Restore Snapshot|Snapshot 2 cannot be read: it was written by a newer version "
                                     "of this program.\nNothing has been restored.");
}

TEST_F (HistoryFixture, CtrlHInTheSequenceEditorAsksTheHubForTheHistoryWindow)
{
    GUISequenceEditor editor (model);
    editor.addActionListener (&hub);
    editor.keyPressed (juce::KeyPress ('h', juce::ModifierKeys::ctrlModifier, 0));
    click (editor.getButton ("History"));
    EXPECT_EQ (hub.take(), juce::StringArray ({ "HIST ", "HIST " }));
}

} // namespace tarnovelle
