// The sequence editor's transport: Play and Stop go to the hub, the keys set tempo, preview
// and record, and the play-head follows the step sounding.

#include "editor/GUISequenceEditorWindow.h"
#include "tests/support/EditorModelTest.h"
#include "tests/support/GuiTestSupport.h"
#include "tests/support/InstrumentRig.h"

namespace tarnovelle
{
namespace
{
    using namespace test;

    /** Takes what the player sends and forgets it. */
    struct SilentOutput final : public MidiOutputPort
    {
        void write (const juce::MidiMessage&) override {}
        juce::String getName() const override { return "silent"; }
    };

    struct TransportFixture : public EditorModelTest
    {
        SequencePlayback playback{ model };
        MessageRecorder hub;
        GUISequenceEditorLauncher launcher{ model, &hub, &playback };
        SilentOutput output;

        TransportFixture()
        {
            model.replaceSequence (0, EditedSequence::fromSteps ({ 60, 62, 64 }));
            launcher.openSequenceEditor();
        }

        ~TransportFixture() override { playback.stop(); }

        GUISequenceEditor& editor() { return launcher.getWindow()->getEditor(); }
        GUIPlaybackControls& controls() { return *editor().getPlaybackControls(); }

        void press (int keyCode, juce::ModifierKeys mods = {})
        {
            editor().keyPressed (juce::KeyPress (keyCode, mods, (juce::juce_wchar) keyCode));
        }
    };
} // namespace

TEST_F (TransportFixture, PlayAndStopGoToTheHubAndThePlayHeadFollowsTheStep)
{
    // Disconnected, Play says why it does nothing.
    press (juce::KeyPress::spaceKey);
    EXPECT_TRUE (hub.take().isEmpty());
    EXPECT_EQ (controls().getStatus().getText(), "Play needs Tarnovelle: NOT connected");

    model.setConnected (true);
    press (juce::KeyPress::spaceKey);
    EXPECT_EQ (hub.take(), juce::StringArray ("PLSQ "));

    // The hub starts it; the button, play-head and status follow.
    playback.setOutput (&output);
    ASSERT_TRUE (playback.play());
    EXPECT_EQ (controls().getPlayButton().getButtonText(), "Stop");
    ASSERT_TRUE (waitFor ([&] { return controls().getPlayHead().isVisible(); }));
    const int shownStep = editor().getGrid().columns.stepAt ((float) controls().getPlayHead().getX() + 1.0f);
    EXPECT_TRUE (shownStep >= 0 && shownStep < 3) << shownStep;
    EXPECT_TRUE (controls().getStatus().getText().contains ("of 3"));

    press (juce::KeyPress::spaceKey);
    press (juce::KeyPress::escapeKey);
    dialogs.answerOkCancel (true); // the sequence has not been sent: closing asks
    launcher.getWindow()->closeButtonPressed();
    EXPECT_EQ (hub.take(), juce::StringArray ("STPL ", "STPL ", "STPL "));

    playback.stop();
    EXPECT_EQ (controls().getPlayButton().getButtonText(), "Play");
    EXPECT_FALSE (controls().getPlayHead().isVisible());
}

TEST_F (TransportFixture, KeysSetTempoPreviewAndRecord)
{
    press (']');
    press (']', juce::ModifierKeys::shiftModifier);
    press ('[');
    press ('{');
    EXPECT_EQ (playback.getTempo(), 120 + 1 + 10 - 1 - 10);
    EXPECT_EQ ((int) controls().getTempoField().getValue(), 120);

    for (int i = 0; i < 20; ++i)
        press (']', juce::ModifierKeys::shiftModifier);

    EXPECT_EQ (playback.getTempo(), SequencePlayback::highestTempo);

    press ('p');
    EXPECT_FALSE (playback.isPreviewOn());
    EXPECT_FALSE (controls().getPreviewButton().getToggleState());

    // Record needs the instrument. Recording: x enters a rest at the cursor and moves on,
    // Backspace steps back; without Record, x makes the step a rest where it is.
    press ('r');
    EXPECT_FALSE (playback.isRecording());
    EXPECT_EQ (controls().getStatus().getText(), "Record needs Tarnovelle: NOT connected");
    model.setConnected (true);
    playback.setOutput (&output);
    model.moveCursorTo (1);
    press ('r');
    EXPECT_TRUE (controls().getRecordButton().getToggleState());
    press ('x');
    press ('x');
    press (juce::KeyPress::backspaceKey);
    EXPECT_EQ (playback.getRecordStep(), 2);
    EXPECT_EQ (model.getCursor(), 2);
    EXPECT_EQ (model.getSelected().steps[1], restStep);
    EXPECT_EQ (model.getSelected().steps[2], restStep);
    EXPECT_TRUE (controls().getStatus().getText().contains ("Record: next note at step 3"));

    press ('r');
    model.moveCursorTo (0);
    press ('x');
    EXPECT_EQ (model.getSelected().steps[0], restStep);
    EXPECT_EQ (model.getSelected().length, 3);

    // Closing the editor ends Record: nothing is written into a sequence no one sees.
    press ('r');
    dialogs.answerOkCancel (true); // unsent changes: closing asks
    launcher.getWindow()->closeButtonPressed();
    EXPECT_FALSE (playback.isRecording());
}

} // namespace tarnovelle
