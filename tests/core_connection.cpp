// Detection, start-up, the connection-time read of the settings and the action hub, against
// the emulated instrument with real threads.

#include "app/ApplicationController.h"
#include "app/HWDetector.h"
#include "support/InstrumentRig.h"
#include "support/RecordingView.h"

#include <gtest/gtest.h>
#include <juce_events/juce_events.h>

using namespace tarnovelle;
using namespace tarnovelle::test;

namespace
{
using Kind = ScriptedDialogs::Kind;
using Sides = EmulatedMidiBackend::Sides;

std::vector<uint8> identityReply (uint8 deviceId, uint8 maker1, uint8 member2)
{
    return { 0xf0, 0x7e, deviceId, 0x06, 0x02, 0x00, maker1, 0x3d, 0x04, 0x00, 0x02, member2, 1, 0, 3, 2, 0xf7 };
}

struct Detection
{
    bool found = false;
    std::unique_ptr<MidiInputPort> input;
    std::unique_ptr<MidiOutputPort> output;
    ReplyForwarder callback;

    Detection()
    {
        HWDetector::setExpectedFamily (0x04, 0x00);
        HWDetector::setExpectedMember (0x02, 0x01);
        found = HWDetector::detect (&callback, input, output);
    }
};

/** A backend that fails the n-th opening of an input, as a port vanishing in between would. */
struct FailingReopenBackend final : public MidiBackend
{
    explicit FailingReopenBackend (MidiBackend& real, int failOpenNumber)
        : inner (real)
        , failAt (failOpenNumber)
    {}

    juce::StringArray getInputNames() override { return inner.getInputNames(); }
    juce::StringArray getOutputNames() override { return inner.getOutputNames(); }

    std::unique_ptr<MidiInputPort> openInput (int index, MidiPortCallback* cb) override
    {
        return ++opens == failAt ? nullptr : inner.openInput (index, cb);
    }

    std::unique_ptr<MidiOutputPort> openOutput (int index) override { return inner.openOutput (index); }

    MidiBackend& inner;
    int failAt;
    int opens = 0;
};

uint8 getCommandOf (DeviceSetting s) { return getDeviceSettingInfo (s).getCommand(); }

int countSettingReads (const EmulatedInstrument& instrument)
{
    int n = 0;

    for (auto& info : getDeviceSettingTable())
        n += instrument.countReceived (info.getCommand());

    return n;
}
} // namespace

//==============================================================================
TEST (Detection, FindsTheInstrumentOnTheFirstOutputAndReadsItsVersion)
{
    InstrumentRig rig;
    rig.instrument.setFirmwareVersion ({ 1, 0, 3, 2 });

    Detection d;
    ASSERT_TRUE (d.found);
    ASSERT_NE (d.input, nullptr);
    ASSERT_NE (d.output, nullptr);
    EXPECT_EQ (d.input->getName(), "Tarnovelle");
    EXPECT_EQ (d.output->getName(), "Tarnovelle");

    uint8 v[4] = {};
    HWDetector::getFirmwareVersion (v[0], v[1], v[2], v[3]);
    EXPECT_EQ (std::vector<int> (v, v + 4), (std::vector<int>{ 1, 0, 3, 2 }));

    auto windows = rig.dialogs.getRecords (Kind::progressWindow);
    ASSERT_EQ (windows.size(), 1u);
    EXPECT_EQ (windows[0].title, "Checking connection with Tarnovelle synthesizer");
    EXPECT_EQ (windows[0].message, "Please wait...");

    // Detection closes every port it opened for itself.
    EXPECT_EQ (rig.midi.getNumOpenInputs(), 1);
    EXPECT_EQ (rig.midi.getNumOpenOutputs(), 1);
}

TEST (Detection, ProbesSilentOutputsBeforeFindingTheInstrumentOnOutputTwo)
{
    InstrumentRig rig (false);
    rig.midi.addSilentDevice ("Keyboard A");
    rig.midi.addMidiThrough();
    rig.midi.addInstrument (rig.instrument);

    Detection d;
    ASSERT_TRUE (d.found);
    EXPECT_EQ (d.output->getName(), "Tarnovelle");
    EXPECT_EQ (d.input->getName(), "Tarnovelle");
    EXPECT_EQ (rig.instrument.countIdentityRequests(), 1);
}

TEST (Detection, AcceptsDeviceIds01And7FOnly)
{
    for (auto [id, accepted] : { std::pair<uint8, bool>{ 0x01, true }, { 0x7f, true }, { 0x05, false } })
    {
        InstrumentRig rig;
        rig.instrument.setDeviceId (id);

        Detection d;
        EXPECT_EQ (d.found, accepted) << "device ID " << (int) id;
        EXPECT_EQ (d.input != nullptr, accepted);
        EXPECT_EQ (d.output != nullptr, accepted);

        // A refused ID gets the other four requests of its output, then the output is given up.
        EXPECT_EQ (rig.instrument.countIdentityRequests(), accepted ? 1 : 5);
    }
}

TEST (Detection, ReturnsTheInputTheReplyArrivedOn)
{
    InstrumentRig rig (false);
    rig.midi.addSilentDevice ("Pad controller", Sides::inputOnly);
    rig.midi.addUnopenablePort ("Busy port", Sides::inputOnly);
    rig.midi.addInstrument (rig.instrument);

    // Input 1 cannot be opened; the instrument answers on input 2 for output 0.
    ASSERT_EQ (rig.midi.getInputNames().indexOf ("Tarnovelle"), 2);
    ASSERT_EQ (rig.midi.getOutputNames().indexOf ("Tarnovelle"), 0);

    Detection d;
    ASSERT_TRUE (d.found);
    EXPECT_EQ (d.input->getName(), "Tarnovelle");
    EXPECT_EQ (d.output->getName(), "Tarnovelle");
}

TEST (Detection, AForeignIdentityReplyArrivingFirstGivesUpTheOutput)
{
    InstrumentRig rig (false);
    rig.midi.addInstrument (rig.instrument);
    rig.instrument.setLatencyMs (150);
    juce::MidiMessage foreign (identityReply (0x7f, 0x41, 0x01).data(), 17);
    rig.midi.addChatterDevice ("Other synth", { foreign }, 20, Sides::inputOnly);

    Detection d;
    EXPECT_FALSE (d.found);
    EXPECT_EQ (d.input, nullptr);
    EXPECT_EQ (d.output, nullptr);
    EXPECT_EQ (rig.instrument.countIdentityRequests(), 1);
}

TEST (Detection, IgnoresNotesClockAndActiveSensing)
{
    InstrumentRig rig;
    rig.midi.addChatterDevice (
        "Keyboard",
        { juce::MidiMessage::noteOn (1, 60, (uint8) 100), juce::MidiMessage::midiClock(), juce::MidiMessage (0xfe) }, 5,
        Sides::inputOnly);

    Detection d;
    EXPECT_TRUE (d.found);
    EXPECT_EQ (d.input->getName(), "Tarnovelle");
}

TEST (Detection, NoOutputsAtAll)
{
    InstrumentRig rig (false);
    rig.midi.addSilentDevice ("Input only", Sides::inputOnly);

    const auto start = juce::Time::getMillisecondCounter();
    Detection d;
    EXPECT_FALSE (d.found);
    EXPECT_EQ (d.input, nullptr);
    EXPECT_EQ (d.output, nullptr);
    EXPECT_LT (juce::Time::getMillisecondCounter() - start, 500u);
}

TEST (Detection, ShortOrForeignRepliesNeverMatch)
{
    InstrumentRig rig (false);
    // Nine bytes with byte 4 = 02: examined, but too short to hold an identity.
    rig.midi.addForeignDevice ("Truncated", { 0xf0, 0x7e, 0x01, 0x06, 0x02, 0x00, 0x5c, 0x3d, 0xf7 });
    rig.midi.addForeignDevice ("Other maker", identityReply (0x01, 0x41, 0x01));
    rig.midi.addInstrument (rig.instrument);

    Detection d;
    ASSERT_TRUE (d.found);
    EXPECT_EQ (d.output->getName(), "Tarnovelle");
}

TEST (Detection, FailsWithBothPortsClosedWhenTheChosenInputCannotBeReopened)
{
    InstrumentRig rig;
    // The detection opens the one input first; reopening it for the caller is the second.
    FailingReopenBackend failing (rig.midi, 2);
    Platform::setMidiBackend (&failing);

    Detection d;
    EXPECT_FALSE (d.found);
    EXPECT_EQ (d.input, nullptr);
    EXPECT_EQ (d.output, nullptr);
    EXPECT_EQ (rig.midi.getNumOpenOutputs(), 0);
}

//==============================================================================
TEST (StartUp, OffersTheUpdateOnlyBelow103)
{
    const std::vector<std::pair<EmulatedInstrument::Version, bool>> cases{
        { { 1, 0, 2, 9 }, true },  { { 0, 9, 9, 9 }, true },  { { 1, 0, 3, 0 }, false },
        { { 1, 0, 3, 2 }, false }, { { 1, 1, 0, 0 }, false }, { { 2, 0, 0, 0 }, false },
    };

    for (auto& [version, offered] : cases)
    {
        InstrumentRig rig;
        rig.instrument.setFirmwareVersion (version);
        RecordingView view;
        ApplicationController controller (view);

        rig.dialogs.answerOkCancel (false); // declines the offer, if there is one
        controller.startUp();

        auto boxes = rig.dialogs.getRecords (Kind::okCancelBox);
        EXPECT_EQ (boxes.size(), offered ? 1u : 0u);

        if (offered)
        {
            EXPECT_EQ (boxes[0].title, "Firmware version");
            EXPECT_EQ (boxes[0].message, "The firmware version is outdated. Would you like to update the firmware to "
                                         "the latest version?");
            EXPECT_EQ (boxes[0].icon, DialogIcon::warning);
        }

        // Declined: connected, version shown, but nothing read; otherwise all fourteen shown.
        EXPECT_TRUE (controller.isConnected());
        EXPECT_EQ (view.lastValueOf ("showFirmwareVersion"),
                   (version[0] << 24) | (version[1] << 16) | (version[2] << 8) | version[3]);
        EXPECT_EQ (countSettingReads (rig.instrument), offered ? 0 : numDeviceSettings);
        EXPECT_EQ (view.displayedSettings().size(), offered ? 0 : numDeviceSettings);
    }
}

TEST (StartUp, CancelAtTheRetryBoxLeavesTheApplicationDisconnected)
{
    InstrumentRig rig (false);
    RecordingView view;
    ApplicationController controller (view);

    controller.startUp();

    auto boxes = rig.dialogs.getRecords();
    ASSERT_EQ (boxes.size(), 3u); // the detection window, the retry box, the give-up box
    EXPECT_EQ (boxes[1].kind, Kind::okCancelBox);
    EXPECT_EQ (boxes[1].title, "No instrument found");
    EXPECT_TRUE (boxes[1].message.startsWith ("The software was not able to find a Tarnovelle connected to the "
                                              "computer.\nPlease make sure:\n1. The USB connection"));
    EXPECT_TRUE (boxes[1].message.endsWith ("firmware update.\n\nDo you want to retry ?"));
    EXPECT_EQ (boxes[2].kind, Kind::messageBox);
    EXPECT_EQ (boxes[2].message, "Editing is disabled until a valid connection is made.");

    EXPECT_FALSE (controller.isConnected());
    EXPECT_EQ (controller.getInput(), nullptr);
    EXPECT_EQ (controller.getOutput(), nullptr);
    // The lamp is set back to dark even though no connection was ever made.
    EXPECT_EQ (view.lastValueOf ("setConnected"), 0);
    EXPECT_EQ (view.displayedSettings().size(), 0);
}

TEST (StartUp, RetriesUntilTheInstrumentIsPluggedIn)
{
    InstrumentRig rig;
    rig.instrument.setFirmwareVersion ({ 1, 0, 3, 2 });
    rig.instrument.setUnplugged (true);

    int retryBoxes = 0;
    rig.dialogs.onDialog = [&] (const ScriptedDialogs::Record& r) {
        if (r.title == "No instrument found" && ++retryBoxes == 2)
            rig.instrument.setUnplugged (false);
    };
    rig.dialogs.answerOkCancel (true);
    rig.dialogs.answerOkCancel (true);

    RecordingView view;
    ApplicationController controller (view);
    controller.startUp();

    EXPECT_TRUE (controller.isConnected());
    EXPECT_EQ (rig.dialogs.count (Kind::progressWindow), 3);
    EXPECT_EQ (view.displayedSettings().size(), numDeviceSettings);
}

//==============================================================================
TEST (ReadAllSettings, ShowsEachValueInOrderWithTheFlagConversions)
{
    InstrumentRig rig;
    rig.instrument.setFirmwareVersion ({ 1, 0, 3, 2 });
    rig.instrument.setSetting (DeviceSetting::LFO, 2);
    rig.instrument.setSetting (DeviceSetting::ARP, 1);
    rig.instrument.setSetting (DeviceSetting::LKEY, 2);
    rig.instrument.setSetting (DeviceSetting::BEND, 12);
    rig.instrument.setSetting (DeviceSetting::MIN, 16);

    RecordingView view;
    ApplicationController controller (view);
    controller.startUp();

    EXPECT_EQ (
        view.displayedSettings(),
        juce::StringArray ({ "showMidiInChannel", "showMidiOutChannel", "showInputGain", "showLfoRetrigger",
                             "showArpHold", "showKeyboardMode", "showKeyboardLegato", "showVelocity", "showAftertouch",
                             "showBendRange", "showStepSize", "showGateLength", "showTapAverage", "showClockSync" }));
    EXPECT_EQ (view.lastValueOf ("showLfoRetrigger"), 0); // 2 is not 1: off
    EXPECT_EQ (view.lastValueOf ("showArpHold"), 1);
    EXPECT_EQ (view.lastValueOf ("showKeyboardLegato"), 2); // passed on as read
    EXPECT_EQ (view.lastValueOf ("showBendRange"), 12);
    EXPECT_EQ (view.lastValueOf ("showMidiInChannel"), 16);
    EXPECT_EQ (rig.dialogs.count (Kind::messageBox), 0);
}

TEST (ReadAllSettings, AnInstrumentFallingSilentAtTheSixthSettingEndsTheConnection)
{
    InstrumentRig rig;
    rig.instrument.setFirmwareVersion ({ 1, 0, 3, 2 });
    RecordingView view;
    ApplicationController controller (view);
    controller.connect();
    ASSERT_TRUE (controller.isConnected());

    rig.instrument.setStopAnsweringAfter (5);
    controller.readAllSettings();

    EXPECT_EQ (view.displayedSettings(), juce::StringArray ({ "showMidiInChannel", "showMidiOutChannel",
                                                              "showInputGain", "showLfoRetrigger", "showArpHold" }));
    EXPECT_FALSE (controller.isConnected());
    EXPECT_EQ (controller.getOutput(), nullptr);
    EXPECT_EQ (view.lastValueOf ("setConnected"), 0);
    EXPECT_EQ (rig.instrument.countReceived (getCommandOf (DeviceSetting::VELO)), 0);

    auto boxes = rig.dialogs.getRecords (Kind::messageBox);
    ASSERT_EQ (boxes.size(), 1u);
    EXPECT_EQ (boxes[0].title, "Update error");
    EXPECT_EQ (boxes[0].message, "Unable to communicate with Tarnovelle. Closing connection !");
}

//==============================================================================
struct HubTest : public ::testing::Test
{
    InstrumentRig rig;
    RecordingView view;
    ApplicationController controller{ view };

    void SetUp() override
    {
        rig.instrument.setFirmwareVersion ({ 1, 0, 3, 2 });
        controller.startUp();
        ASSERT_TRUE (controller.isConnected());
        rig.dialogs.clear();
        view.calls.clear();
    }

    /** Lets the instrument's writes arrive and Active Sensing keep coming. */
    void settle (int ms = 60) { Platform::runMessageLoopFor (ms); }
};

TEST_F (HubTest, SettingMessagesNeedTheirFullPrefix)
{
    rig.instrument.setSetting (DeviceSetting::MIN, 5);
    controller.handleActionMessage ("MIN 3");
    settle();
    EXPECT_EQ (rig.instrument.getSetting (DeviceSetting::MIN), 5);

    controller.handleActionMessage ("MIN  0");
    settle();
    EXPECT_EQ (rig.instrument.getSetting (DeviceSetting::MIN), 0);

    controller.handleActionMessage ("BEND ");
    settle();
    EXPECT_EQ (rig.instrument.getSetting (DeviceSetting::BEND), 0);

    controller.handleActionMessage ("COMI");
    EXPECT_TRUE (controller.isConnected());

    // Nothing is shown for a write: the widget that sent it shows the value already.
    EXPECT_TRUE (view.calls.empty());
    EXPECT_TRUE (rig.dialogs.getRecords().empty());
}

TEST_F (HubTest, ActiveSensingKeepsTheConnectionAlive)
{
    settle (1000);
    controller.handleActionMessage ("BEND 7");
    settle();
    EXPECT_TRUE (controller.isConnected());
    EXPECT_EQ (rig.instrument.getSetting (DeviceSetting::BEND), 7);
    EXPECT_TRUE (rig.dialogs.getRecords().empty());
}

TEST_F (HubTest, ASilentInstrumentIsDisconnectedAtTheNextAction)
{
    rig.instrument.setActiveSensingEnabled (false);
    settle (400);
    rig.instrument.clearReceived();

    controller.handleActionMessage ("BEND 3");
    settle();

    EXPECT_FALSE (controller.isConnected());
    EXPECT_EQ (view.lastValueOf ("setConnected"), 0);
    EXPECT_EQ (rig.instrument.countReceived (getDeviceSettingInfo (DeviceSetting::BEND).setCommand), 0);

    auto boxes = rig.dialogs.getRecords (Kind::messageBox);
    ASSERT_EQ (boxes.size(), 1u);
    EXPECT_EQ (boxes[0].title, "Connection");
    EXPECT_EQ (boxes[0].message, "Tarnovelle has been disconnected !");
}

TEST_F (HubTest, DisconnectedDeviceActionsDoNothingWhileConnectReconnects)
{
    controller.handleActionMessage ("COMI ");
    EXPECT_FALSE (controller.isConnected());
    EXPECT_TRUE (rig.dialogs.getRecords().empty());

    rig.instrument.clearReceived();
    controller.handleActionMessage ("BEND 5");
    controller.handleActionMessage ("SVSQ ");
    settle();
    EXPECT_EQ (rig.instrument.countAllReceived(), 0);
    EXPECT_TRUE (rig.dialogs.getRecords().empty());
    EXPECT_EQ (view.countOf ("showBendRange"), 0);

    controller.handleActionMessage ("COMI ");
    EXPECT_TRUE (controller.isConnected());
    EXPECT_EQ (view.displayedSettings().size(), numDeviceSettings);
}

TEST_F (HubTest, MessagesArrivingDuringAReadWaitUntilItHasFinished)
{
    controller.handleActionMessage ("COMI ");
    ASSERT_FALSE (controller.isConnected());

    // Delivered from inside the read's message loop, once the first setting has been asked.
    int getsSeenWhenAsked = -1;
    rig.dialogs.onDialog = [&] (const ScriptedDialogs::Record& r) {
        if (r.title == "Reset All Sequences")
            getsSeenWhenAsked = countSettingReads (rig.instrument);
    };

    rig.instrument.clearReceived();
    bool posted = false;
    std::function<void()> postOnceReading = [&] {
        if (countSettingReads (rig.instrument) < 3)
        {
            juce::Timer::callAfterDelay (5, postOnceReading);
            return;
        }

        posted = true;
        controller.handleActionMessage ("FCSQ ");
        controller.handleActionMessage ("BEND 9");
    };
    juce::Timer::callAfterDelay (5, postOnceReading);

    controller.handleActionMessage ("COMI ");
    ASSERT_TRUE (posted);
    EXPECT_TRUE (controller.isConnected());

    // The reset's confirmation came after all fourteen reads; the write went out at once.
    EXPECT_EQ (getsSeenWhenAsked, numDeviceSettings);
    EXPECT_EQ (rig.instrument.getSetting (DeviceSetting::BEND), 9);
}
