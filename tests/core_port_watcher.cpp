// The decisions taken on the coming and going of MIDI ports, against scripted port lists.

#include "app/PortWatch.h"
#include "app/PortWatcher.h"
#include "tests/support/ApplicationRig.h"

#include <gtest/gtest.h>

namespace tarnovelle::test
{

namespace
{
    using Decision = PortWatcher::Decision;
    using Situation = PortWatcher::Situation;

    const Situation disconnected{};
    const Situation connected{ true, false, false, false };
    const Situation switchedOff{ false, true, false, false };
    const Situation busy{ false, false, true, false };   // an update, a box, a file chooser
    const Situation atRetry{ false, false, true, true }; // only the start-up's retry question
    const Situation connectedBusy{ true, false, true, false };

    struct Step
    {
        const char* what;
        juce::StringArray listed; // both sides of each device, by identifier
        Situation situation;
        Decision expected;
        juce::StringArray asked = {}; // the outputs asked, for askAppearedPorts
    };

    PortWatcher::Ports portsOf (const juce::StringArray& devices)
    {
        PortWatcher::Ports ports;

        for (auto& device : devices)
        {
            // A device with an "out-only" name lists only the port the computer writes to.
            if (! device.startsWith ("out-only"))
                ports.inputs.add (device + " in");

            ports.outputs.add (device + " out");
        }

        return ports;
    }

    juce::StringArray outputsOf (const juce::StringArray& devices) { return portsOf (devices).outputs; }
} // namespace

TEST (PortWatcher, AsksAppearedPortsOnceAndTellsOfTheConnectionsLossOnlyWhenThatIsItsBusiness)
{
    PortWatcher watcher;
    watcher.takeAsKnown (portsOf ({ "through#1" }));

    const std::vector<Step> steps{
        { "nothing new", { "through#1" }, disconnected, Decision::nothing },
        { "a device that sends nothing lists one side",
          { "through#1", "out-only#1" },
          disconnected,
          Decision::nothing },
        { "the instrument's two ports appear",
          { "through#1", "out-only#1", "tarnovelle#1" },
          disconnected,
          Decision::askAppearedPorts,
          outputsOf ({ "out-only#1", "tarnovelle#1" }) },
        { "asked once per appearance", { "through#1", "out-only#1", "tarnovelle#1" }, disconnected, Decision::nothing },
        { "a second device that is not the instrument",
          { "through#1", "tarnovelle#1", "synth#1" },
          disconnected,
          Decision::askAppearedPorts,
          outputsOf ({ "synth#1" }) },
        { "it comes back as a new appearance",
          { "through#1", "tarnovelle#1", "synth#2" },
          disconnected,
          Decision::askAppearedPorts,
          outputsOf ({ "synth#2" }) },
        { "connected", { "through#1", "tarnovelle#1", "synth#2" }, connected, Decision::nothing },
        { "devices beside the connection are not asked",
          { "through#1", "tarnovelle#1", "synth#2", "drums#1" },
          connected,
          Decision::nothing },
        { "vanished under an operation: afterwards",
          { "through#1", "synth#2", "drums#1" },
          connectedBusy,
          Decision::lookAgainLater },
        { "vanished", { "through#1", "synth#2", "drums#1" }, connected, Decision::instrumentGone },
        { "the devices beside it stay unasked",
          { "through#1", "synth#2", "drums#1" },
          disconnected,
          Decision::nothing },
        { "the user's CONNECT-off stands", { "through#1", "tarnovelle#2" }, switchedOff, Decision::nothing },
        { "and what appeared meanwhile is not asked later",
          { "through#1", "tarnovelle#2" },
          disconnected,
          Decision::nothing },
        { "an update's bootloader comes and goes", { "through#1", "tarnovelle#3" }, busy, Decision::lookAgainLater },
        { "and goes again as it restarts", { "through#1" }, busy, Decision::nothing },
        { "a box waits for its answer", { "through#1", "tarnovelle#4" }, busy, Decision::lookAgainLater },
        { "asked once it has gone",
          { "through#1", "tarnovelle#4" },
          disconnected,
          Decision::askAppearedPorts,
          outputsOf ({ "tarnovelle#4" }) },
        { "a bootloader's ports answer as something else and stay unasked",
          { "through#1", "tarnovelle#4" },
          disconnected,
          Decision::nothing },
        { "gone again", { "through#1" }, disconnected, Decision::nothing },
        { "under the start-up's retry question",
          { "through#1", "tarnovelle#5" },
          atRetry,
          Decision::askAppearedPorts,
          outputsOf ({ "tarnovelle#5" }) },
    };

    for (auto& step : steps)
    {
        SCOPED_TRACE (step.what);

        if (step.situation.connected)
            watcher.setConnectionPorts ("tarnovelle#1 in", "tarnovelle#1 out");

        EXPECT_EQ (watcher.look (portsOf (step.listed), step.situation), step.expected);

        if (step.expected == Decision::askAppearedPorts)
        {
            EXPECT_EQ (watcher.getPortsToAsk().outputs, step.asked);
        }
    }
}

TEST (PortWatcher, AnInstrumentPluggedStraightBackIsAskedAfterItsLoss)
{
    PortWatcher watcher;
    watcher.takeAsKnown (portsOf ({ "tarnovelle#1" }));
    watcher.setConnectionPorts ("tarnovelle#1 in", "tarnovelle#1 out");

    // Pulled and plugged in again between two looks: the same names, new appearances.
    EXPECT_EQ (watcher.look (portsOf ({ "tarnovelle#2" }), connected), Decision::instrumentGone);
    EXPECT_EQ (watcher.look (portsOf ({ "tarnovelle#2" }), disconnected), Decision::askAppearedPorts);
    EXPECT_EQ (watcher.getPortsToAsk().inputs, juce::StringArray ("tarnovelle#2 in"));
}

//==============================================================================
TEST (PortWatch, SwitchedOnLateItConnectsWithoutABoxPulledTheNextActionSaysSoPluggedBackItReconnects)
{
    ApplicationRig app;
    const auto foreign = app.rig.midi.addForeignDevice ("Other synth", { 0xf0, 0x7e, 0x01, 0x06, 0x02, 0x41, 0xf7 });
    app.rig.instrument.setUnplugged (true);
    app.controller.startUp(); // the retry box answered Cancel: given up
    PortWatch watch (app.controller, app.rig.midi);
    ASSERT_TRUE (watch.isToldOfChanges());
    app.rig.dialogs.clear();

    app.rig.instrument.setUnplugged (false);
    ASSERT_TRUE (waitFor ([&] { return app.view.displayedSettings().size() == numDeviceSettings; }));
    EXPECT_TRUE (app.controller.isConnected());
    EXPECT_EQ (app.rig.instrument.countIdentityRequests(), 1);
    EXPECT_EQ (countProgressWindows (app.rig.dialogs, "Checking connection with Tarnovelle synthesizer"), 0);
    EXPECT_EQ (boxesShown (app.rig.dialogs), "");

    // Pulled: the window at once, the box at the first device action, which is not sent.
    app.rig.midi.setDevicePresent (foreign, false);
    app.rig.instrument.setUnplugged (true);
    ASSERT_TRUE (waitFor ([&] { return ! app.controller.isConnected(); }));
    EXPECT_EQ (app.view.lastValueOf ("setConnected"), 0);
    EXPECT_EQ (boxesShown (app.rig.dialogs), "");
    app.controller.handleActionMessage ("BEND 3");
    app.controller.handleActionMessage ("BEND 4");
    EXPECT_EQ (boxesShown (app.rig.dialogs), "Connection|Tarnovelle has been disconnected !");

    // Plugged back beside another device that came back: each asked once, the settings read again.
    app.view.calls.clear();
    app.rig.midi.setDevicePresent (foreign, true);
    app.rig.instrument.setUnplugged (false);
    ASSERT_TRUE (waitFor ([&] { return app.view.displayedSettings().size() == numDeviceSettings; }));
    EXPECT_EQ (app.rig.instrument.countIdentityRequests(), 2);
    EXPECT_EQ (app.rig.instrument.countReceived (getDeviceSettingInfo (DeviceSetting::BEND).setCommand), 0);

    // The user's CONNECT-off stands against a replug.
    app.controller.handleActionMessage ("COMI ");
    ASSERT_FALSE (app.controller.isConnected());
    app.rig.instrument.setUnplugged (true);
    app.rig.instrument.setUnplugged (false);
    juce::MessageManager::getInstance()->runDispatchLoopUntil (300);
    EXPECT_FALSE (app.controller.isConnected());
    EXPECT_EQ (app.rig.instrument.countIdentityRequests(), 2);
}

TEST (PortWatch, PluggedInUnderTheStartUpsRetryQuestionTheStartUpGoesOnAsAfterOk)
{
    ApplicationRig app;
    app.rig.instrument.setUnplugged (true);
    PortWatch watch (app.controller, app.rig.midi);

    // The question waits while the instrument is plugged in; it is answered before the user does.
    app.rig.dialogs.onDialog = [&app] (const ScriptedDialogs::Record& r) {
        if (r.kind == ScriptedDialogs::Kind::okCancelBox)
        {
            app.rig.instrument.setUnplugged (false);
            waitFor ([&app] { return app.controller.isConnected(); });
        }
    };
    app.controller.startUp();

    EXPECT_TRUE (app.controller.isConnected());
    EXPECT_EQ (boxTitles (app.rig.dialogs), "No instrument found");
    EXPECT_EQ (app.view.displayedSettings().size(), numDeviceSettings);
}

} // namespace tarnovelle::test
