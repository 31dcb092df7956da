// The History window: comparing two snapshots, restoring one sequence into the editor, the
// restore to the instrument as a message to the hub, finding, deleting after asking, and
// Ctrl+H in the sequence editor.

#include "library/GUIHistoryWindow.h"
#include "sequences/GUISequenceEditor.h"
#include "sequences/SequenceTransfer.h"
#include "tests/support/EditorModelTest.h"
#include "tests/support/GuiTestSupport.h"
#include "tests/support/ScratchFolder.h"

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

TEST_F (HistoryFixture, CtrlHInTheSequenceEditorAsksTheHubForTheHistoryWindow)
{
    GUISequenceEditor editor (model);
    editor.addActionListener (&hub);
    editor.keyPressed (juce::KeyPress ('h', juce::ModifierKeys::ctrlModifier, 0));
    click (editor.getButton ("History"));
    EXPECT_EQ (hub.take(), juce::StringArray ({ "HIST ", "HIST " }));
}

} // namespace tarnovelle
