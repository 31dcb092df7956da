// Quitting in the middle of everything, and CONNECT clicks made while a connection is under way:
// whatever runs when the program is asked to end ends at once, shows nothing more, sends nothing
// more and leaves files as they were; only a firmware transfer already under way runs to its end.

#include "app/HWDetector.h"
#include "editor/SequenceEditorKeeper.h"
#include "firmware/FirmwareFile.h"
#include "firmware/HWUpdater.h"
#include "platform/QuitRequest.h"
#include "sequences/SequenceFileOperations.h"
#include "tests/support/ApplicationRig.h"
#include "tests/support/ScratchFolder.h"

#include <gtest/gtest.h>
#include <juce_events/juce_events.h>

using namespace tarnovelle;
using namespace tarnovelle::test;

namespace
{
using Kind = ScriptedDialogs::Kind;
using Mode = EmulatedInstrument::Mode;

/** The application on the emulated instrument; the quit request is forgotten at the end. */
struct QuitTest : public ::testing::Test, public ApplicationRig
{
    ~QuitTest() override { QuitRequest::reset(); }

    /** Raises the quit request from the message loop once the condition holds. */
    void quitWhen (std::function<bool()> condition)
    {
        quitCondition = std::move (condition);
        juce::Timer::callAfterDelay (1, [this] { pollForQuit(); });
    }

    void pollForQuit()
    {
        if (quitCondition())
        {
            quitAt = juce::Time::getMillisecondCounter();
            QuitRequest::raise();
            return;
        }

        juce::Timer::callAfterDelay (2, [this] { pollForQuit(); });
    }

    /** Milliseconds from the quit request until now. */
    juce::uint32 sinceQuit() const { return juce::Time::getMillisecondCounter() - quitAt; }

    std::function<bool()> quitCondition;
    juce::uint32 quitAt = 0;
};
} // namespace

//==============================================================================
TEST_F (QuitTest, TheRetryPauseAndDetectionEndAtOnceWithoutAnotherBox)
{
    // Quit during the retry pause: no further detection, no further box.
    rig.instrument.setUnplugged (true);
    rig.dialogs.answerOkCancel (true);
    quitWhen ([this] { return rig.dialogs.count (Kind::okCancelBox) == 1; });
    controller.startUp();

    EXPECT_LT (sinceQuit(), 200u);
    EXPECT_EQ (rig.dialogs.count (Kind::progressWindow), 1);
    EXPECT_EQ (rig.dialogs.getRecords().size(), 2u);

    // Behind five silent ports a detection takes seconds; the quit comes as it starts.
    QuitRequest::reset();
    rig.dialogs.clear();

    for (int i = 0; i < 5; ++i)
        rig.midi.addSilentDevice ("Silent " + juce::String (i));

    quitWhen ([this] { return rig.dialogs.count (Kind::progressWindow) == 1; });
    controller.connect();

    EXPECT_LT (sinceQuit(), 400u);
    EXPECT_FALSE (controller.isConnected());
    EXPECT_EQ (rig.dialogs.getRecords().size(), 1u);
    EXPECT_EQ (rig.midi.getNumOpenInputs() + rig.midi.getNumOpenOutputs(), 0);
}

TEST_F (QuitTest, AReadCutShortClosesTheConnectionWithoutTheErrorBoxAndSendsNothingMore)
{
    ASSERT_TRUE (startConnected());
    rig.instrument.clearReceived();
    rig.instrument.setSilent (true);

    const auto requests = [this] { return countSettingReads (rig.instrument); };
    quitWhen ([&] { return requests() == 1; });
    controller.readAllSettings();

    EXPECT_LT (sinceQuit(), 100u);
    EXPECT_FALSE (controller.isConnected());
    EXPECT_TRUE (rig.dialogs.getRecords().empty());
    EXPECT_EQ (requests(), 1);

    // Nothing more goes out, whatever the interface still sends.
    rig.instrument.setSilent (false);
    controller.connect();
    controller.handleActionMessage ("BEND 3");
    EXPECT_EQ (rig.instrument.countAllReceived(), 1);
}

TEST_F (QuitTest, ABoxAnsweredOkAsTheQuitComesCountsAsCancelAndNoWindowOpensAfterwards)
{
    // A question answered as the quit comes is closed without a choice, which no button means.
    rig.dialogs.answerChoice ("Keep Them");
    rig.dialogs.onDialog = [] (const ScriptedDialogs::Record&) { QuitRequest::raise(); };
    EXPECT_EQ (
        Platform::dialogs().ask ({ DialogIcon::warning, "Sequence Editor", "?", { "Keep Them", "Discard Them" } }),
        Dialogs::closedWithoutChoice);
    QuitRequest::reset();

    rig.dialogs.answerOkCancel (true);
    EXPECT_FALSE (Platform::dialogs().showOkCancelBox (DialogIcon::warning, "Firmware version", "?"));

    bool workerRan = false;
    ProgressWindowSpec spec;
    spec.work = [&] (ProgressReporter&) { workerRan = true; };
    Platform::dialogs().runWithProgressWindow (spec);
    EXPECT_FALSE (workerRan);
    EXPECT_EQ (rig.dialogs.getRecords().size(), 2u);
}

TEST_F (QuitTest, ASaveCutShortLeavesTheEarlierFileAsItWas)
{
    ASSERT_TRUE (startConnected());
    const ScratchFolder scratch ("tarnovelle-quit-save");
    const auto file = scratch.folder.getChildFile ("kept.tvseq");
    ASSERT_TRUE (file.replaceWithText ("1:60 61"));

    // The quit comes while the sequences are being read, answered slowly.
    rig.instrument.setLatencyMs (100);
    rig.dialogs.answerFile (file);
    rig.dialogs.answerOkCancel (true); // MIDI files too
    quitWhen ([this] { return rig.instrument.countReceived (0x3b) == 2; });
    controller.handleActionMessage ("SVSQ ");

    EXPECT_LT (sinceQuit(), 200u);
    EXPECT_EQ (file.loadFileAsString(), "1:60 61");
    EXPECT_EQ (scratch.folder.getNumberOfChildFiles (juce::File::findFilesAndDirectories, "*"), 1);
    EXPECT_EQ (rig.dialogs.count (Kind::messageBox), 0);
}

TEST_F (QuitTest, AFirmwareTransferUnderWayRunsToItsEndWithoutTheBoxAfterIt)
{
    rig.instrument.setLatencyMs (0);
    rig.instrument.setMode (Mode::bootloader);
    rig.instrument.setFirmwareVersion ({ 1, 0, 2, 0 });
    LPC23XXUpdater::getInstance().setTiming ({ 400, 300, 5 });

    // The quit comes as the progress window opens, the transfer having started.
    rig.dialogs.onProgressWindow = [] (const ProgressWindowSpec& spec) {
        if (spec.title == "Firmware update:")
            QuitRequest::raise();
    };

    HWUpdater::update (getShippedFirmwareFile());
    LPC23XXUpdater::getInstance().setTiming ({});

    EXPECT_TRUE (LPC23XXUpdater::getInstance().wasSuccessful());
    EXPECT_EQ (countProgressWindows (rig.dialogs, "Firmware update:"), 1);
    EXPECT_EQ (rig.dialogs.count (Kind::messageBox), 0);
    EXPECT_EQ (rig.midi.getNumOpenInputs() + rig.midi.getNumOpenOutputs(), 0);
    EXPECT_TRUE (waitFor ([this] { return rig.instrument.getMode() == Mode::application; }));
    EXPECT_EQ (rig.instrument.getFirmwareVersion(), (EmulatedInstrument::Version{ 1, 0, 3, 2 }));
}

TEST_F (QuitTest, AQuitAtTheStartUpQuestionIsNoAnswerAndTheNextStartAsksAgain)
{
    const ScratchFolder scratch ("tarnovelle-quit-kept");
    const auto file = scratch.folder.getChildFile ("Sequence Editor.json");
    SequenceEditorModel::WorkingSet edited;
    edited.sequences[2] = EditedSequence::fromSteps ({ 60, restStep, 67 });
    ASSERT_TRUE (file.replaceWithText (SequenceEditorKeeper::toJson (edited, juce::Time (2026, 0, 5, 9, 30))));
    const auto kept = file.loadFileAsString();

    // The quit comes while the question is open (as Keep is pressed), or before it could show;
    // the program then ends as it does, flushing what it holds.
    const std::function<void()> quits[] = {
        [this] {
            rig.dialogs.answerChoice ("Keep Them");
            rig.dialogs.onDialog = [] (const ScriptedDialogs::Record&) { QuitRequest::raise(); };
        },
        [] { QuitRequest::raise(); },
    };

    for (const auto& quit : quits)
    {
        {
            SequenceEditorModel model;
            SequenceEditorKeeper keeper (model, file);
            quit();
            keeper.offerKeptChanges();
            keeper.flush();
        }

        EXPECT_EQ (file.loadFileAsString(), kept);
        rig.dialogs.onDialog = nullptr;
        QuitRequest::reset();
    }

    EXPECT_EQ (rig.dialogs.count (Kind::question), 1);

    SequenceEditorModel model;
    SequenceEditorKeeper keeper (model, file);
    rig.dialogs.answerChoice ("Keep Them");
    keeper.offerKeptChanges();
    EXPECT_EQ (rig.dialogs.count (Kind::question), 2);
    EXPECT_EQ (model.getSequence (2), edited.sequences[2]);
}

//==============================================================================
TEST_F (QuitTest, ConnectClicksDuringAConnectionOrTheDisconnectionBoxAreDropped)
{
    // Clicked during the retry pause, after the instrument was plugged in: the connection that
    // follows stays.
    rig.instrument.setUnplugged (true);
    rig.dialogs.answerOkCancel (true);
    rig.dialogs.onDialog = [this] (const ScriptedDialogs::Record& r) {
        if (r.title != "No instrument found")
            return;

        rig.instrument.setUnplugged (false);
        juce::Timer::callAfterDelay (10, [this] { controller.handleActionMessage ("COMI "); });
    };
    controller.startUp();
    Platform::runMessageLoopFor (100);

    EXPECT_TRUE (controller.isConnected());
    EXPECT_EQ (countProgressWindows (rig.dialogs, "Checking connection with Tarnovelle synthesizer"), 2);
    EXPECT_EQ (view.lastValueOf ("setConnected"), 1);

    // Silent: a click on a knob ends the connection with a box; a CONNECT click waiting behind
    // it runs no detection under the box, nor after it.
    rig.dialogs.clear();
    rig.instrument.setActiveSensingEnabled (false);
    Platform::runMessageLoopFor (400);
    rig.dialogs.onDialog = [this] (const ScriptedDialogs::Record& r) {
        if (r.title == "Connection")
            controller.handleActionMessage ("COMI ");
    };
    controller.handleActionMessage ("BEND 3");
    Platform::runMessageLoopFor (50);

    EXPECT_FALSE (controller.isConnected());
    EXPECT_EQ (rig.dialogs.count (Kind::progressWindow), 0);
    EXPECT_EQ (rig.dialogs.count (Kind::messageBox), 1);
}
