// The sequence editor window: its keys and mouse on the piano roll, the connection it needs
// for reading and sending, the question before closing with unsent changes, one window.

#include "editor/GUIMidiImportDialog.h"
#include "editor/GUISequenceEditorWindow.h"
#include "editor/SequenceEditorFiles.h"
#include "platform/QuitRequest.h"
#include "sequences/MidiExport.h"
#include "tests/support/EditorModelTest.h"
#include "tests/support/GuiTestSupport.h"
#include "tests/support/MidiSong.h"
#include "tests/support/ScratchFolder.h"

namespace tarnovelle
{
namespace
{
    using namespace test;
    using Steps = std::vector<uint8>;
    using Kind = ScriptedDialogs::Kind;

    struct EditorFixture : public EditorModelTest
    {
        MessageRecorder hub;
        GUISequenceEditorLauncher launcher{ model, &hub };

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
        void mouse (juce::Component& target, juce::Point<int> down, std::optional<juce::Point<int>> dragTo = {},
                    juce::ModifierKeys held = {})
        {
            const auto source = juce::Desktop::getInstance().getMainMouseSource();
            const auto now = juce::Time::getCurrentTime();
            const auto event = [&] (juce::Point<int> at, bool dragged) {
                return juce::MouseEvent (source, at.toFloat(), held.withFlags (juce::ModifierKeys::leftButtonModifier),
                                         1.0f, 0.0f, 0.0f, 0.0f, 0.0f, &target, &target, now, down.toFloat(), now, 1,
                                         dragged);
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
    EXPECT_EQ (model.getSequence (2).toSteps(), (Steps{ restStep, 71 }));

    press (juce::KeyPress::endKey);
    press (juce::KeyPress::deleteKey);
    EXPECT_EQ (model.getSequence (2).toSteps(), (Steps{ restStep }));

    press ('z', juce::ModifierKeys::ctrlModifier);
    EXPECT_EQ (model.getSequence (2).toSteps(), (Steps{ restStep, 71 }));
    EXPECT_TRUE (editor().getButton ("Redo").isEnabled());
    press ('z', juce::ModifierKeys::ctrlModifier | juce::ModifierKeys::shiftModifier);
    EXPECT_EQ (model.getSequence (2).toSteps(), (Steps{ restStep }));

    EXPECT_TRUE (editor().getStatusText().contains ("Sequence 3, step 1 of 1: rest")) << editor().getStatusText();
}

TEST_F (EditorFixture, TheStatusBarShowsItsWholeMessageWhileThereIsRoomAndAllOfItInTheTooltip)
{
    launcher.openSequenceEditor(); // disconnected: the status starts with what that means
    give (2, Steps (19, 63));
    model.selectRange (15, 18);

    const auto text = editor().getStatusText();
    juce::Label* status = nullptr;
    for (auto* child : editor().getChildren())
        if (auto* label = dynamic_cast<juce::Label*> (child); label != nullptr && label->getText() == text)
            status = label;
    ASSERT_NE (status, nullptr);
    EXPECT_TRUE (text.endsWith (juce::CharPointer_UTF8 ("steps 16\xe2\x80\x93"
                                                        "19 selected")))
        << text;
    EXPECT_EQ (status->getTooltip(), text);

    const auto needed = status->getFont().getStringWidth (text) + status->getBorderSize().getLeftAndRight();
    EXPECT_GE (status->getWidth(), needed);
    editor().setSize (400, editor().getHeight()); // no room for it
    EXPECT_LT (status->getWidth(), needed);
    EXPECT_LE (status->getRight(), editor().getWidth());
    EXPECT_EQ (status->getTooltip(), text);
}

TEST_F (EditorFixture, ReadAndSendNeedTheConnectionAndGoToTheHub)
{
    launcher.openSequenceEditor(); // disconnected: nothing is read
    EXPECT_TRUE (hub.take().isEmpty());
    EXPECT_TRUE (editor().getStatusText().startsWith ("NOT connected"));

    // Nothing changed: Send cannot act, and its key says why.
    EXPECT_FALSE (editor().getButton ("Send").isEnabled());
    press (juce::KeyPress::returnKey, juce::ModifierKeys::ctrlModifier);
    EXPECT_TRUE (editor().getStatusText().contains ("Nothing to send: no sequence has changed"));

    pressKeys ("4");
    press (juce::KeyPress::insertKey);
    press (juce::KeyPress::returnKey, juce::ModifierKeys::ctrlModifier);
    click (editor().getButton ("Read"));
    EXPECT_TRUE (hub.take().isEmpty());
    const juce::String notConnected (
        "Not Connected|Tarnovelle is not connected: the sequences can be neither read nor sent.");
    EXPECT_EQ (boxesShown (dialogs), notConnected + "\n" + notConnected);

    model.setConnected (true);
    press (juce::KeyPress::returnKey, juce::ModifierKeys::ctrlModifier);
    click (editor().getButton ("Send"));
    EXPECT_EQ (hub.take(), juce::StringArray ("WRSQ ", "WRSQ "));
    EXPECT_TRUE (editor().getStatusText().startsWith ("Connected"));

    // A Read over unsent changes asks first: Cancel (Return's choice) reads nothing,
    // Replace My Changes gives them up.
    press ('r', juce::ModifierKeys::ctrlModifier);
    EXPECT_TRUE (hub.take().isEmpty());
    dialogs.answerChoice ("Replace My Changes");
    click (editor().getButton ("Read"));
    EXPECT_EQ (hub.take(), juce::StringArray ("RDSQ "));
    EXPECT_FALSE (model.hasUnsentChanges());
    const auto asked = dialogs.getRecords (Kind::question).back();
    EXPECT_EQ (asked.message,
               "Reading replaces the unsent changes to sequence 4 with what Tarnovelle holds.\nRead anyway?");
    EXPECT_EQ (describeChoices (asked), "Replace My Changes / Cancel (Return, Escape)");
    press ('r', juce::ModifierKeys::ctrlModifier);
    EXPECT_EQ (hub.take(), juce::StringArray ("RDSQ "));
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
    EXPECT_EQ (asked[0].title, "Unsent Changes");
    EXPECT_EQ (asked[0].message, "These sequences have changed and have not been sent to Tarnovelle: 5.\n"
                                 "Close the editor anyway? The editor keeps them until it is opened again.");

    dialogs.answerOkCancel (true);
    window->closeButtonPressed();
    EXPECT_FALSE (window->isVisible());

    launcher.openSequenceEditor();
    EXPECT_TRUE (window->isVisible());
    EXPECT_EQ (model.getSequence (4).toSteps(), (Steps{ restStep }));
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
    EXPECT_EQ (model.getSelected().toSteps(), (Steps{ restStep, restStep, restStep, 64 }));

    // A drag from the placed note through three rows up is one undoable change.
    mouse (grid, grid.getCellCentre (3, 64), grid.getCellCentre (3, 67));
    EXPECT_EQ (model.getSelected().toSteps(), (Steps{ restStep, restStep, restStep, 67 }));
    mouse (grid, grid.getCellCentre (3, 67)); // the note again: a rest
    EXPECT_EQ (model.getSelected().toSteps(), (Steps (4, restStep)));
    model.undo();
    model.undo();
    EXPECT_EQ (model.getSelected().toSteps(), (Steps{ restStep, restStep, restStep, 64 }));

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

TEST_F (EditorFixture, DragsMoveNotesSidewaysAndSelectedStepsGoThroughTheDesktopClipboard)
{
    launcher.openSequenceEditor();
    auto& grid = editor().getGrid();
    auto& ruler = editor().getRuler();

    // A note dragged two steps on and two semitones up leaves a rest; one undo brings it back.
    mouse (grid, grid.getCellCentre (1, 60));
    mouse (grid, grid.getCellCentre (1, 60), grid.getCellCentre (3, 62));
    EXPECT_EQ (model.getSelected().toSteps(), (Steps{ restStep, restStep, restStep, 62 }));
    model.undo();
    EXPECT_EQ (model.getSelected().toSteps(), (Steps{ restStep, 60 }));

    // Shift+Right and Shift+click select; Ctrl+C gives step text, Ctrl+V takes it at the cursor.
    press (juce::KeyPress::homeKey);
    press (juce::KeyPress::rightKey, juce::ModifierKeys::shiftModifier);
    EXPECT_EQ (model.getRange(), juce::Range<int> (0, 2));
    press (juce::KeyPress::homeKey);
    mouse (grid, grid.getCellCentre (1, 90), {}, juce::ModifierKeys::shiftModifier);
    EXPECT_EQ (model.getRange(), juce::Range<int> (0, 2));
    press ('c', juce::ModifierKeys::ctrlModifier);
    EXPECT_EQ (juce::SystemClipboard::getTextFromClipboard(), "x 60");

    juce::SystemClipboard::copyTextToClipboard ("4:70 x 72\n");
    pressKeys ("4");
    press ('v', juce::ModifierKeys::ctrlModifier);
    EXPECT_EQ (model.getSequence (3).toSteps(), (Steps{ 70, restStep, 72 }));

    // A drag on the ruler selects; the tools and Delete act on the range.
    mouse (ruler, { juce::roundToInt (ruler.columns.xOf (1)) + 2, 4 },
           juce::Point<int> (juce::roundToInt (ruler.columns.xOf (2)) + 2, 4));
    EXPECT_EQ (model.getRange(), juce::Range<int> (1, 3));
    click (editor().getButton ("Reverse"));
    EXPECT_EQ (model.getSelected().toSteps(), (Steps{ 70, 72, restStep }));
    press (juce::KeyPress::deleteKey);
    EXPECT_EQ (model.getSelected().toSteps(), (Steps{ 70 }));
    press ('x', juce::ModifierKeys::ctrlModifier);
    EXPECT_EQ (juce::SystemClipboard::getTextFromClipboard(), "70");
}

TEST_F (EditorFixture, TheToolbarShowsWholeLabelsAtEveryWidthDownToTheMinimum)
{
    launcher.openSequenceEditor();
    auto& toolbar = editor().getToolbar();
    int rowsAtMinimum = 0;

    for (int width : { 1600, 1180, 1000, GUISequenceEditor::minimumWidth })
    {
        editor().setSize (width, GUISequenceEditor::minimumHeight);
        const auto shown = editor().getLocalBounds();

        for (int i = 0; i < toolbar.getNumChildComponents(); ++i)
        {
            auto* item = toolbar.getChildComponent (i);
            const auto bounds = editor().getLocalArea (&toolbar, item->getBounds());
            EXPECT_TRUE (shown.contains (bounds)) << width << " " << item->getName();

            if (auto* button = dynamic_cast<juce::TextButton*> (item))
            {
                EXPECT_GE (button->getWidth(), button->getBestWidthForHeight (button->getHeight()))
                    << width << ": " << button->getButtonText();
            }

            for (int j = 0; j < i; ++j)
                EXPECT_FALSE (toolbar.getChildComponent (j)->getBounds().intersects (item->getBounds())) << width;
        }

        // Where the window is wide enough, the transport stays together on one row.
        if (auto* transport = editor().getPlaybackControls(); transport != nullptr && width >= 1180)
        {
            EXPECT_EQ (transport->getPlayButton().getY(), transport->getTempoField().getY()) << width;
        }

        // Below the toolbar the piano roll still shows a good part of its rows.
        EXPECT_GE (editor().getRuler().getY(), toolbar.getBottom());
        EXPECT_GT (editor().getViewport().getHeight(), 20 * SequenceEditorLook::rowHeight) << width;
        rowsAtMinimum = toolbar.getHeight() / GUIEditorToolbar::rowHeight;
    }

    EXPECT_LE (rowsAtMinimum, 3);
    EXPECT_EQ (launcher.getWindow()->getConstrainer()->getMinimumWidth(), GUISequenceEditor::minimumWidth);
}

TEST_F (EditorFixture, TheViewCentresOnTheNotesOfTheChosenSequenceAndOfAnImport)
{
    test::ScratchFolder scratch{ "editorview" };
    model.replaceSequence (3, EditedSequence::fromSteps ({ 20, restStep, 30 }));
    launcher.openSequenceEditor();
    auto& grid = editor().getGrid();
    const auto centredOn = [&] (int lowest, int highest) {
        const float middle = (grid.yOf (highest) + grid.yOf (lowest) + (float) SequenceEditorLook::rowHeight) / 2.0f;
        return std::abs ((float) editor().getViewport().getViewArea().getCentreY() - middle)
               <= (float) SequenceEditorLook::rowHeight;
    };

    pressKeys ("4");
    EXPECT_TRUE (centredOn (20, 30));

    // The imported notes are in view although other notes of this sequence already were.
    const StepBuffer high{ 90, 100 };
    const auto file = scratch.folder.getChildFile ("high.mid");
    ASSERT_TRUE (writeSequenceMidiFile (file, high.data(), MidiExportTiming::fromSettings (16, 2)));
    dialogs.answerFile (file);
    ScriptedImportChooser chooser;
    importMidiIntoEditor (model, chooser);
    EXPECT_EQ (model.getSelected().toSteps(), (Steps{ 90, 100 }));
    EXPECT_TRUE (centredOn (90, 100));
}

TEST_F (EditorFixture, NotesAreBarsAsLongAsTheGateAndRestsCursorAndRangeAreDrawnApart)
{
    model.replaceSequence (0, EditedSequence::fromSteps ({ 60, restStep, 62, 62 }));
    launcher.openSequenceEditor();
    auto& grid = editor().getGrid();
    const auto near = [] (juce::Colour a, juce::Colour b) {
        return std::abs (a.getRed() - b.getRed()) + std::abs (a.getGreen() - b.getGreen())
                   + std::abs (a.getBlue() - b.getBlue())
               < 24;
    };
    const auto cellImage = [&] (int step, int note) {
        const auto centre = grid.getCellCentre (step, note);
        const int w = juce::roundToInt (grid.columns.columnWidth());
        return grid.createComponentSnapshot ({ centre.x - w / 2, centre.y - 6, w, 12 }, false);
    };
    const auto count = [&] (const juce::Image& image, juce::Colour colour) {
        int found = 0;
        for (int y = 0; y < image.getHeight(); ++y)
            for (int x = 0; x < image.getWidth(); ++x)
                found += near (image.getPixelAt (x, y), colour) ? 1 : 0;
        return found;
    };

    model.moveCursorTo (3);
    model.setGateLength (1);
    const int short_ = count (cellImage (0, 60), SequenceEditorLook::note);
    model.setGateLength (3);
    const int long_ = count (cellImage (0, 60), SequenceEditorLook::note);
    EXPECT_GT (short_, 0);
    EXPECT_GT (long_, 2 * short_);

    // The rest stands at the height of the note before it.
    EXPECT_GT (count (cellImage (1, 60), SequenceEditorLook::rest), 6);
    EXPECT_EQ (count (cellImage (1, 62), SequenceEditorLook::rest), 0);

    // Range, cursor and plain steps each look their own way.
    model.selectRange (0, 2);
    const auto range = cellImage (1, 90).getPixelAt (3, 3);
    const auto cursor = cellImage (2, 90).getPixelAt (3, 3);
    const auto plain = cellImage (3, 90).getPixelAt (3, 3);
    EXPECT_FALSE (near (range, cursor));
    EXPECT_FALSE (near (range, plain));
    EXPECT_FALSE (near (cursor, plain));
}

//==============================================================================
TEST (MidiImportWindow, OffersTheFirstMelodicTrackAndPreviewsEveryChoice)
{
    const auto song = makeSong();
    GUIMidiImportPanel panel ("song.mid", song, chooseFirstMelodicTrack (summariseMidiTracks (song), 16));
    const auto preview = [&panel] { return panel.getPreview().getSteps(); };
    constexpr uint8 x = restStep;

    EXPECT_EQ (panel.getTrackToggle (3).getButtonText(),
               juce::String (juce::CharPointer_UTF8 ("3  Bass  \xc2\xb7  channels 2, 3  \xc2\xb7  6 notes")));
    EXPECT_FALSE (panel.getTrackToggle (2).getToggleState());
    EXPECT_FALSE (panel.getChannelToggle (10).getToggleState());
    EXPECT_TRUE (panel.getChannelToggle (10).isEnabled());
    EXPECT_FALSE (panel.getChannelToggle (5).isEnabled()); // no track plays on it
    EXPECT_EQ (preview(), (Steps{ 28, x, x, 31, x, x, 33, x, x, 40, x, x, 35, x, x, 36, x }));
    EXPECT_EQ (panel.getSummaryText(), "17 steps.");

    // The drums ticked in: they merge with the bass, and the preview follows at once.
    click (panel.getTrackToggle (2));
    click (panel.getChannelToggle (10));
    EXPECT_EQ (preview().size(), 23u);
    EXPECT_EQ (preview()[0], 42);

    // Nothing chosen: nothing to import, and OK cannot be pressed.
    click (panel.getTrackToggle (2));
    click (panel.getTrackToggle (3));
    EXPECT_FALSE (panel.getOkButton().isEnabled());
    EXPECT_EQ (panel.getSummaryText(), "The chosen tracks and channels hold no note.");

    click (panel.getTrackToggle (3));
    panel.getFromBar().setValue (2.0, juce::sendNotificationSync);
    panel.getStepSize().setSelectedId (8, juce::sendNotificationSync);
    EXPECT_TRUE (panel.getOkButton().isEnabled());
    EXPECT_EQ (preview(), (Steps{ 35, x, 36 }));
    EXPECT_EQ (panel.getChoice().tracks, std::set<int>{ 3 });
    EXPECT_EQ (panel.getChoice().stepSize, 8);
}

TEST (MidiImportWindow, ReturnAnswersOkAndEscapeCancelsUnlessTheProgramIsEnding)
{
    const auto song = makeSong();
    const auto offered = chooseFirstMelodicTrack (summariseMidiTracks (song), 16);
    int windowsSeen = 0;

    // Keys as the window system delivers them, to the window found by its title.
    const auto answerWith = [&windowsSeen] (int keyCode) {
        juce::MessageManager::callAsync ([keyCode, &windowsSeen] {
            auto& desktop = juce::Desktop::getInstance();

            for (int i = 0; i < desktop.getNumComponents(); ++i)
            {
                auto* window = desktop.getComponent (i);

                if (window->getName() == GUIMidiImportChooser::windowTitle && window->isVisible())
                {
                    ++windowsSeen;
                    window->getPeer()->handleKeyPress (juce::KeyPress (keyCode));
                }
            }
        });
    };

    GUIMidiImportChooser chooser;
    auto choice = offered;
    choice.fromBar = 2; // as the editor would offer it: the window starts from it
    answerWith (juce::KeyPress::returnKey);
    EXPECT_TRUE (chooser.chooseImport ("song.mid", song, choice));
    EXPECT_EQ (choice.fromBar, 2);
    EXPECT_EQ (choice.tracks, offered.tracks);
    EXPECT_EQ (choice.channels, offered.channels);

    answerWith (juce::KeyPress::escapeKey);
    EXPECT_FALSE (chooser.chooseImport ("song.mid", song, choice));
    EXPECT_EQ (windowsSeen, 2);

    QuitRequest::raise();
    EXPECT_FALSE (chooser.chooseImport ("song.mid", song, choice));
    QuitRequest::reset();
    EXPECT_EQ (windowsSeen, 2);
}

} // namespace tarnovelle
