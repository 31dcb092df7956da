// The sequence editor window: its keys and mouse on the piano roll, the connection it needs
// for reading and sending, the question before closing with unsent changes, one window.

#include "platform/Platform.h"
#include "platform/ScriptedDialogs.h"
#include "sequences/GUISequenceEditorWindow.h"
#include "tests/support/GuiTestSupport.h"

namespace tarnovelle
{
namespace
{
    using namespace test;
    using Steps = std::vector<uint8>;
    using Kind = ScriptedDialogs::Kind;

    Steps stepsOf (const EditedSequence& sequence)
    {
        return Steps (sequence.steps.begin(), sequence.steps.begin() + sequence.length);
    }

    struct EditorFixture : public ::testing::Test
    {
        ScriptedDialogs dialogs;
        SequenceEditorModel model;
        MessageRecorder hub;
        GUISequenceEditorLauncher launcher{ model, &hub };

        EditorFixture() { Platform::setDialogs (&dialogs); }
        ~EditorFixture() override { Platform::setDialogs (nullptr); }

        GUISequenceEditor& editor() { return launcher.getWindow()->getEditor(); }

        void press (int keyCode, juce::ModifierKeys mods = {}, juce::juce_wchar text = 0)
        {
            editor().keyPressed (juce::KeyPress (keyCode, mods, text));
        }

        void pressKeys (const juce::String& keys)
        {
            for (auto c : keys)
                press ((int) c, {}, c);
        }

        /** A press, optional drag and release of the left button at grid cells. */
        void mouse (juce::Component& target, juce::Point<int> down, std::optional<juce::Point<int>> dragTo = {})
        {
            const auto source = juce::Desktop::getInstance().getMainMouseSource();
            const auto now = juce::Time::getCurrentTime();
            const auto event = [&] (juce::Point<int> at, bool dragged) {
                return juce::MouseEvent (source, at.toFloat(), juce::ModifierKeys::leftButtonModifier, 1.0f, 0.0f, 0.0f,
                                         0.0f, 0.0f, &target, &target, now, down.toFloat(), now, 1, dragged);
            };

            target.mouseDown (event (down, false));

            if (dragTo)
                target.mouseDrag (event (*dragTo, true));

            target.mouseUp (event (dragTo.value_or (down), dragTo.has_value()));
        }
    };
} // namespace

TEST_F (EditorFixture, KeysEditStepsWithoutAMouse)
{
    launcher.openSequenceEditor();
    ASSERT_NE (launcher.getWindow(), nullptr);
    EXPECT_EQ (launcher.getWindow()->getName(), "Sequence Editor");
    EXPECT_TRUE (launcher.getWindow()->isResizable());

    // Sequence 3: a rest inserted, raised to the first note (60), up an octave, a copy
    // inserted and lowered a semitone, then the first step made a rest.
    pressKeys ("3");
    press (juce::KeyPress::insertKey);
    press (juce::KeyPress::upKey);
    press (juce::KeyPress::upKey, juce::ModifierKeys::shiftModifier);
    press (juce::KeyPress::insertKey);
    press (juce::KeyPress::downKey);
    press (juce::KeyPress::homeKey);
    pressKeys ("x");
    EXPECT_EQ (model.getSelectedIndex(), 2);
    EXPECT_EQ (stepsOf (model.getSequence (2)), (Steps{ restStep, 71 }));

    press (juce::KeyPress::endKey);
    press (juce::KeyPress::deleteKey);
    EXPECT_EQ (stepsOf (model.getSequence (2)), (Steps{ restStep }));

    press ('z', juce::ModifierKeys::ctrlModifier);
    EXPECT_EQ (stepsOf (model.getSequence (2)), (Steps{ restStep, 71 }));
    EXPECT_TRUE (editor().getButton ("Redo").isEnabled());
    press ('z', juce::ModifierKeys::ctrlModifier | juce::ModifierKeys::shiftModifier);
    EXPECT_EQ (stepsOf (model.getSequence (2)), (Steps{ restStep }));

    EXPECT_TRUE (editor().getStatusText().contains ("Sequence 3, step 1 of 1: rest")) << editor().getStatusText();
}

TEST_F (EditorFixture, ReadAndSendNeedTheConnectionAndGoToTheHub)
{
    launcher.openSequenceEditor(); // disconnected: nothing is read
    EXPECT_TRUE (hub.take().isEmpty());
    EXPECT_TRUE (editor().getStatusText().startsWith ("NOT connected"));

    press (juce::KeyPress::returnKey, juce::ModifierKeys::ctrlModifier);
    click (editor().getButton ("Read"));
    EXPECT_TRUE (hub.take().isEmpty());
    const auto boxes = dialogs.getRecords (Kind::messageBox);
    ASSERT_EQ (boxes.size(), 2u);
    EXPECT_EQ (boxes[0].title, "Sequence Editor");
    EXPECT_EQ (boxes[0].message, "Tarnovelle is not connected: the sequences can be neither read nor sent.");

    model.setConnected (true);
    press ('r', juce::ModifierKeys::ctrlModifier);
    press (juce::KeyPress::returnKey, juce::ModifierKeys::ctrlModifier);
    click (editor().getButton ("Send"));
    EXPECT_EQ (hub.take(), juce::StringArray ("RDSQ ", "WRSQ ", "WRSQ "));
    EXPECT_TRUE (editor().getStatusText().startsWith ("Connected"));

    // A Read over unsent changes asks first: Cancel reads nothing, OK gives them up.
    pressKeys ("4");
    press (juce::KeyPress::insertKey);
    dialogs.answerOkCancel (false);
    press ('r', juce::ModifierKeys::ctrlModifier);
    EXPECT_TRUE (hub.take().isEmpty());
    dialogs.answerOkCancel (true);
    click (editor().getButton ("Read"));
    EXPECT_EQ (hub.take(), juce::StringArray ("RDSQ "));
    EXPECT_FALSE (model.hasUnsentChanges());
    EXPECT_EQ (dialogs.getRecords (Kind::okCancelBox).back().message,
               "Reading replaces the unsent changes to sequence 4 with what Tarnovelle holds.\nRead anyway?");
}

TEST_F (EditorFixture, OneWindowThatReadsOnEveryOpeningWhileConnected)
{
    model.setConnected (true);
    launcher.openSequenceEditor();
    auto* window = launcher.getWindow();
    launcher.openSequenceEditor(); // already open: only brought to the front
    EXPECT_EQ (launcher.getWindow(), window);
    EXPECT_EQ (hub.take(), juce::StringArray ("RDSQ "));

    // Unsent changes: Cancel keeps the window, OK closes it and keeps the changes.
    model.selectSequence (4);
    pressKeys ("5");
    press (juce::KeyPress::insertKey);
    dialogs.answerOkCancel (false);
    window->closeButtonPressed();
    EXPECT_TRUE (window->isVisible());
    const auto asked = dialogs.getRecords (Kind::okCancelBox);
    ASSERT_EQ (asked.size(), 1u);
    EXPECT_EQ (asked[0].icon, DialogIcon::warning);
    EXPECT_EQ (asked[0].message, "These sequences have changed and have not been sent to Tarnovelle: 5.\n"
                                 "Close the editor anyway? The editor keeps them until it is opened again.");

    dialogs.answerOkCancel (true);
    window->closeButtonPressed();
    EXPECT_FALSE (window->isVisible());

    launcher.openSequenceEditor();
    EXPECT_TRUE (window->isVisible());
    EXPECT_EQ (stepsOf (model.getSequence (4)), (Steps{ restStep }));
    EXPECT_EQ (hub.take(), juce::StringArray ("RDSQ "));

    // Nothing changed: closing asks nothing.
    model.markSent (4);
    window->closeButtonPressed();
    EXPECT_FALSE (window->isVisible());
    EXPECT_EQ (dialogs.count (Kind::okCancelBox), 2);
}

TEST_F (EditorFixture, ClicksPlaceAndRestNotesDragsChangePitchAndTheHandleSetsTheLength)
{
    launcher.openSequenceEditor();
    auto& grid = editor().getGrid();
    auto& ruler = editor().getRuler();

    mouse (grid, grid.getCellCentre (3, 64));
    EXPECT_EQ (stepsOf (model.getSelected()), (Steps{ restStep, restStep, restStep, 64 }));

    // A drag from the placed note through three rows up is one undoable change.
    mouse (grid, grid.getCellCentre (3, 64), grid.getCellCentre (3, 67));
    EXPECT_EQ (stepsOf (model.getSelected()), (Steps{ restStep, restStep, restStep, 67 }));
    mouse (grid, grid.getCellCentre (3, 67)); // the note again: a rest
    EXPECT_EQ (stepsOf (model.getSelected()), (Steps (4, restStep)));
    model.undo();
    model.undo();
    EXPECT_EQ (stepsOf (model.getSelected()), (Steps{ restStep, restStep, restStep, 64 }));

    // The handle, dragged to the boundary after step 10.
    const int handleX = juce::roundToInt (ruler.getHandleX());
    mouse (ruler, { handleX, 10 }, juce::Point<int> (juce::roundToInt (ruler.columns.xOf (10)), 10));
    EXPECT_EQ (model.getSelected().length, 10);
    EXPECT_EQ (grid.noteAt ((float) grid.getCellCentre (0, 1).y), 1);
    EXPECT_EQ (grid.noteAt ((float) grid.getCellCentre (0, 125).y), 125);
}

TEST_F (EditorFixture, ListSelectsAndMarksChangedSequences)
{
    launcher.openSequenceEditor();
    auto& list = editor().getList();
    mouse (list, list.getRowBounds (6).getCentre());
    EXPECT_EQ (model.getSelectedIndex(), 6);

    // The changed mark is drawn in its own colour in that row only.
    press (juce::KeyPress::insertKey);
    const auto image = list.createComponentSnapshot (list.getLocalBounds(), false);
    const auto countMarked = [&] (int row) {
        int marked = 0;
        const auto bounds = list.getRowBounds (row);
        for (int y = bounds.getY(); y < bounds.getBottom(); ++y)
            for (int x = bounds.getX(); x < bounds.getRight(); ++x)
                marked += image.getPixelAt (x, y).getRed() > 200 && image.getPixelAt (x, y).getGreen() < 130 ? 1 : 0;
        return marked;
    };
    EXPECT_GT (countMarked (6), 10);
    EXPECT_EQ (countMarked (5), 0);
}

} // namespace tarnovelle
