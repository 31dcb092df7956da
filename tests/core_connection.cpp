// Detection, start-up, the connection-time read of the settings and the action hub, against
// the emulated instrument with real threads.

#include "app/HWDetector.h"
#include "tests/support/ApplicationRig.h"

#include <gtest/gtest.h>
#include <juce_events/juce_events.h>

#include <cstdio>

using namespace tarnovelle;
using namespace tarnovelle::test;

namespace
{
using Kind = ScriptedDialogs::Kind;
using Sides = EmulatedMidiBackend::Sides;

/** An identity reply that differs from the instrument's in its manufacturer ID only. */
const std::vector<uint8> otherMakersIdentity{ 0xf0, 0x7e, 0x7f, 0x06, 0x02, 0x00, 0x41, 0x3d, 0x04,
                                              0x00, 0x02, 0x01, 1,    0,    3,    2,    0xf7 };

/** Runs a detection as the application does: when found, both of the instrument's ports are
    handed over, otherwise neither; every other port it opened is closed again.
*/
void expectDetection (EmulatedMidiBackend& midi, bool shouldFind)
{
    ReplyForwarder callback;
    std::unique_ptr<MidiInputPort> input;
    std::unique_ptr<MidiOutputPort> output;
    HWDetector::setExpectedFamily (0x04, 0x00);
    HWDetector::setExpectedMember (0x02, 0x01);
    EXPECT_EQ (HWDetector::detect (&callback, input, output), shouldFind);

    const juce::String expected (shouldFind ? "Tarnovelle" : "none");
    EXPECT_EQ (input != nullptr ? input->getName() : "none", expected);
    EXPECT_EQ (output != nullptr ? output->getName() : "none", expected);
    EXPECT_EQ (midi.getNumOpenInputs() + midi.getNumOpenOutputs(), shouldFind ? 2 : 0);
}

/** A backend whose second opening of an input fails, as a port vanishing in between would: the
    detection opens the one input first, reopening it for the caller is the second.
*/
struct FailingReopenBackend final : public MidiBackend
{
    explicit FailingReopenBackend (MidiBackend& real)
        : inner (real)
    {}

    juce::StringArray getInputNames() override { return inner.getInputNames(); }
    juce::StringArray getOutputNames() override { return inner.getOutputNames(); }
    std::unique_ptr<MidiOutputPort> openOutput (int index) override { return inner.openOutput (index); }

    std::unique_ptr<MidiInputPort> openInput (int index, MidiPortCallback* cb) override
    {
        return ++opens == 2 ? nullptr : inner.openInput (index, cb);
    }

    MidiBackend& inner;
    int opens = 0;
};

} // namespace

//==============================================================================
TEST (Detection, FindsTheInstrumentBehindOtherDevicesAndTrafficAndReadsItsVersion)
{
    for (int others = 0; others < 4; ++others)
    {
        SCOPED_TRACE (others);
        InstrumentRig rig (false);

        if (others == 1)
        {
            rig.midi.addSilentDevice ("Keyboard A");
            rig.midi.addMidiThrough();
        }
        else if (others == 2)
        {
            // Byte 4 = 02 but too short to hold an identity; then another maker's identity.
            rig.midi.addForeignDevice ("Truncated",
                                       { 0xf0, 0x7e, 0x01, 0x06, 0x02, makerId[0], makerId[1], makerId[2], 0xf7 });
            rig.midi.addForeignDevice ("Other maker", otherMakersIdentity);
        }
        else if (others == 3)
        {
            // Input 0 cannot be opened, input 1 plays on; the reply comes on input 2 for output 0.
            rig.midi.addUnopenablePort ("Busy port", Sides::inputOnly);
            rig.midi.addChatterDevice ("Keyboard",
                                       { juce::MidiMessage::noteOn (1, 60, (uint8) 100), juce::MidiMessage::midiClock(),
                                         juce::MidiMessage (0xfe) },
                                       5, Sides::inputOnly);
            rig.instrument.setDeviceId (0x7f);
        }

        rig.midi.addInstrument (rig.instrument); // output 0, or output 2 behind two others
        rig.instrument.setFirmwareVersion ({ 1, 0, 3, 2 });

        // Detection's two trace lines: an input it cannot open, and the member code of every
        // identity reply it examines.
        ::testing::internal::CaptureStdout();
        expectDetection (rig.midi, true);
        std::fflush (stdout);
        const auto trace = juce::String (::testing::internal::GetCapturedStdout());
        EXPECT_TRUE (trace.endsWith ("Device family member2 : 1 !\n")) << trace;
        EXPECT_EQ (trace.startsWith ("Unable to open 0 \n"), others == 3) << trace;
        EXPECT_EQ (rig.instrument.countIdentityRequests(), 1);

        uint8 v[4] = {};
        HWDetector::getFirmwareVersion (v[0], v[1], v[2], v[3]);
        EXPECT_EQ (std::vector<int> (v, v + 4), (std::vector<int>{ 1, 0, 3, 2 }));

        auto windows = rig.dialogs.getRecords (Kind::progressWindow);
        ASSERT_EQ (windows.size(), 1u);
        EXPECT_EQ (windows[0].title + "|" + windows[0].message,
                   "Checking connection with Tarnovelle synthesizer|Please wait...");
    }
}

TEST (Detection, FindsNothingForAnotherIdAForeignReplyNoOutputsOrAnInputThatCannotBeReopened)
{
    {
        // A refused ID gets the other four requests of its output, then the output is given up.
        InstrumentRig rig;
        rig.instrument.setDeviceId (0x05);
        expectDetection (rig.midi, false);
        EXPECT_EQ (rig.instrument.countIdentityRequests(), 5);
    }
    {
        // The first examined reply gives up the output; the instrument's later one is ignored.
        InstrumentRig rig;
        rig.instrument.setLatencyMs (150);
        rig.midi.addChatterDevice ("Other synth", { juce::MidiMessage (otherMakersIdentity.data(), 17) }, 20,
                                   Sides::inputOnly);
        expectDetection (rig.midi, false);
        EXPECT_EQ (rig.instrument.countIdentityRequests(), 1);
    }
    {
        InstrumentRig rig (false);
        rig.midi.addSilentDevice ("Input only", Sides::inputOnly);
        const auto start = juce::Time::getMillisecondCounter();
        expectDetection (rig.midi, false);
        EXPECT_LT (juce::Time::getMillisecondCounter() - start, 500u);
    }

    InstrumentRig rig;
    FailingReopenBackend failing (rig.midi);
    Platform::setMidiBackend (&failing);
    expectDetection (rig.midi, false);
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
        ApplicationRig app;
        app.rig.instrument.setFirmwareVersion (version);
        app.rig.dialogs.answerOkCancel (false); // declines the offer, if there is one
        app.controller.startUp();

        EXPECT_EQ (boxesShown (app.rig.dialogs), offered ? "Firmware version|The firmware version is outdated. Would "
                                                           "you like to update the firmware to the latest version?"
                                                         : "");

        // Declined: connected, version shown, but nothing read; otherwise all fourteen shown.
        EXPECT_TRUE (app.controller.isConnected());
        EXPECT_EQ (app.view.lastValueOf ("showFirmwareVersion"),
                   (version[0] << 24) | (version[1] << 16) | (version[2] << 8) | version[3]);
        EXPECT_EQ (app.view.displayedSettings().size(), offered ? 0 : numDeviceSettings);
    }
}

TEST (StartUp, CancelAtTheRetryBoxGivesUpAndOkRetriesUntilTheInstrumentIsPluggedIn)
{
    ApplicationRig app;
    app.rig.instrument.setUnplugged (true);
    app.controller.startUp();

    // The retry box, answered Cancel, then the give-up box.
    EXPECT_EQ (app.rig.dialogs.count (Kind::okCancelBox), 1);
    EXPECT_EQ (boxesShown (app.rig.dialogs),
               "No instrument found|The software was not able to find a Tarnovelle connected to the computer.\nPlease "
               "make sure:\n1. The USB connection is correctly set between Tarnovelle and your computer.\n2. "
               "Tarnovelle is switched on.\n3. Tarnovelle has been correctly rebooted after a firmware update.\n\nDo "
               "you want to retry ?\nNo instrument found|Editing is disabled until a valid connection is made.");

    EXPECT_FALSE (app.controller.isConnected());
    EXPECT_EQ (app.controller.getInput(), nullptr);
    EXPECT_EQ (app.controller.getOutput(), nullptr);
    // The lamp is set back to dark even though no connection was ever made.
    EXPECT_EQ (app.view.lastValueOf ("setConnected"), 0);
    EXPECT_EQ (app.view.displayedSettings().size(), 0);

    // OK twice, the instrument plugged in at the second retry box: found by the third detection.
    app.rig.dialogs.clear();
    app.rig.dialogs.onDialog = [&app, retryBoxes = 0] (const ScriptedDialogs::Record& r) mutable {
        if (r.title == "No instrument found" && ++retryBoxes == 2)
            app.rig.instrument.setUnplugged (false);
    };
    app.rig.dialogs.answerOkCancel (true);
    app.rig.dialogs.answerOkCancel (true);
    app.controller.startUp();

    EXPECT_TRUE (app.controller.isConnected());
    EXPECT_EQ (app.rig.dialogs.count (Kind::progressWindow), 3);
    EXPECT_EQ (app.view.displayedSettings().size(), numDeviceSettings);
}

//==============================================================================
TEST (ReadAllSettings, InOrderWithTheFlagConversionsUntilTheInstrumentFallsSilent)
{
    ApplicationRig app;
    app.rig.instrument.setSetting (DeviceSetting::LFO, 2);
    app.rig.instrument.setSetting (DeviceSetting::ARP, 1);
    app.rig.instrument.setSetting (DeviceSetting::LKEY, 2);
    app.controller.startUp();

    juce::StringArray order (
        { "MIN", "MOUT", "INGN", "LFO", "ARP", "MKEY", "LKEY", "VELO", "AFTE", "BEND", "STEP", "GLEN", "TAP", "SYNC" });
    EXPECT_EQ (app.view.displayedSettings(), order);
    EXPECT_EQ (app.view.lastValueOf ("LFO"), 0); // 2 is not 1: off
    EXPECT_EQ (app.view.lastValueOf ("ARP"), 1);
    EXPECT_EQ (app.view.lastValueOf ("LKEY"), 2); // passed on as read: on

    // Silent from the sixth request on: five values shown, the connection closed, one box.
    app.view.calls.clear();
    app.rig.instrument.clearReceived();
    app.rig.instrument.setStopAnsweringAfter (5);
    app.controller.readAllSettings();

    order.removeRange (5, numDeviceSettings);
    EXPECT_EQ (app.view.displayedSettings(), order);
    EXPECT_FALSE (app.controller.isConnected());
    EXPECT_EQ (app.controller.getOutput(), nullptr);
    EXPECT_EQ (app.view.lastValueOf ("setConnected"), 0);
    EXPECT_EQ (countSettingReads (app.rig.instrument), 6);

    EXPECT_EQ (boxesShown (app.rig.dialogs),
               "Update error|Unable to communicate with Tarnovelle. Closing connection !");
}

//==============================================================================
struct HubTest : public ::testing::Test, public ApplicationRig
{
    void SetUp() override
    {
        ASSERT_TRUE (startConnected());
        view.calls.clear();
    }

    juce::uint32 silence() const { return juce::Time::getMillisecondCounter() - controller.getLastActiveSenseTime(); }
};

TEST_F (HubTest, SettingMessagesNeedTheirFullPrefixAndActiveSensingKeepsTheConnection)
{
    // Running on until an Active Sensing comes in longer after the last sign of life than the
    // application allows between two: only Active Sensing can keep the connection by then.
    const auto lastSignOfLife = controller.getLastActiveSenseTime();
    ASSERT_TRUE (waitFor (
        [&] { return controller.getLastActiveSenseTime() - lastSignOfLife > ApplicationController::maxSilenceMs; }));

    // Writes go out in order: a wrongly taken "MIN 37" would leave 37 or 7.
    rig.instrument.setSetting (DeviceSetting::MIN, 5);
    rig.instrument.setSetting (DeviceSetting::BEND, 5);

    for (auto* m : { "MIN  0", "MIN 37", "BEND ", "COMI" })
        controller.handleActionMessage (m);

    // The instrument stores the writes in the order they came: BEND is the last.
    ASSERT_TRUE (waitFor ([&] { return rig.instrument.getSetting (DeviceSetting::BEND) == 0; }));
    EXPECT_EQ (rig.instrument.getSetting (DeviceSetting::MIN), 0);
    EXPECT_EQ (rig.instrument.getSetting (DeviceSetting::BEND), 0);
    EXPECT_TRUE (controller.isConnected());

    // Nothing is shown for a write: the widget that sent it shows the value already.
    EXPECT_TRUE (view.calls.empty());
    EXPECT_TRUE (rig.dialogs.getRecords().empty());
}

TEST_F (HubTest, SilenceEndsTheConnectionAtTheNextActionAndDisconnectedNothingIsSent)
{
    // Silent for longer than allowed: the next action disconnects and is not carried out.
    rig.instrument.setActiveSensingEnabled (false);
    ASSERT_TRUE (waitFor ([&] { return silence() > ApplicationController::maxSilenceMs; }));
    rig.instrument.clearReceived();
    controller.handleActionMessage ("BEND 3");
    EXPECT_FALSE (controller.isConnected());
    EXPECT_EQ (view.lastValueOf ("setConnected"), 0);

    // Disconnected, device actions send nothing and show nothing.
    // (The hub carries out or drops a message before it returns, and the emulated ports hand
    // a message to the instrument before sendMessageNow returns: nothing is on its way.)
    controller.handleActionMessage ("BEND 5");
    controller.handleActionMessage ("SVSQ ");
    EXPECT_EQ (rig.instrument.countAllReceived(), 0);
    EXPECT_EQ (rig.dialogs.getRecords().size(), 1u);
    EXPECT_EQ (boxesShown (rig.dialogs), "Connection|Tarnovelle has been disconnected !");
}

TEST_F (HubTest, MessagesArrivingDuringAReadWaitUntilItHasFinished)
{
    controller.handleActionMessage ("COMI "); // disconnects; the second one below connects again
    // The reset's confirmation box tells how far the read had got when the reset began.
    int readsWhenAsked = -1;
    rig.dialogs.onDialog = [&] (const ScriptedDialogs::Record& r) {
        if (r.title == "Reset All Sequences")
            readsWhenAsked = countSettingReads (rig.instrument);
    };

    // Delivered from inside the read's message loop, once a few settings have been asked.
    rig.instrument.clearReceived();
    bool posted = false;
    std::function<void()> postOnceReading = [&] {
        if (countSettingReads (rig.instrument) < 3)
            return juce::Timer::callAfterDelay (5, postOnceReading);

        posted = true;
        controller.handleActionMessage ("FCSQ ");
        controller.handleActionMessage ("BEND 9");
    };
    juce::Timer::callAfterDelay (5, postOnceReading);

    controller.handleActionMessage ("COMI ");
    ASSERT_TRUE (posted);
    EXPECT_TRUE (controller.isConnected());

    // The reset came after all fourteen reads; the write went out at once.
    EXPECT_EQ (readsWhenAsked, numDeviceSettings);
    EXPECT_EQ (rig.instrument.getSetting (DeviceSetting::BEND), 9);
}
