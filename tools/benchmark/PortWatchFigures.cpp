// The figures of the instrument coming and going: from its ports appearing to the lamp lit,
// from their vanishing to "NOT Connected", and the idle processor time with the port watch
// running, against the emulated instrument in this process.

#include "ConnectedApplication.h"
#include "Figures.h"
#include "Harness.h"

#include "app/PortWatch.h"

namespace tarnovelle::benchmark
{

namespace
{
    /** Milliseconds until the window has been told the connection's state, or -1. */
    double untilLamp (ConnectedApplication& application, bool lit, Clock::time_point start)
    {
        const bool shown = InstrumentRig::waitFor (
            [&] { return application.view.lastValueOf ("setConnected") == (lit ? 1 : 0); }, 5000);
        return shown ? millisecondsSince (start) : -1.0;
    }

    /** Processor seconds of this process over an idle stretch with the message loop running. */
    double idleCpuSeconds (int seconds)
    {
        const auto before = processCpuSeconds();
        Platform::runMessageLoopFor (seconds * 1000);
        return processCpuSeconds() - before;
    }

    Figure makeTimeFigure (const juce::String& name, const std::vector<double>& times, double goalMs)
    {
        Figure f;
        f.name = name;
        f.measured = median (times);
        f.unit = "ms";
        f.floor = goalMs;
        f.floorMeaning = "ms (the goal)";
        f.detail = "median " + spread (times, 1);
        return f;
    }
} // namespace

void measurePortWatch (int runs, int idleSeconds)
{
    ConnectedApplication application;
    auto& instrument = application.rig.instrument;
    std::vector<double> appearing, vanishing;

    // The same stretch idle and connected, first without the watch, as the program was before it.
    if (! application.connect ("port watch"))
        return;

    const auto withoutWatch = idleCpuSeconds (idleSeconds);
    application.controller.disconnect();
    instrument.setUnplugged (true);

    PortWatch watch (application.controller, application.rig.midi);
    application.rig.dialogs.clear();

    for (int run = 0; run < runs; ++run)
    {
        auto start = Clock::now();
        instrument.setUnplugged (false);
        appearing.push_back (untilLamp (application, true, start));

        // The settings read after connecting are not part of the figure; the pull comes after them.
        InstrumentRig::waitFor ([&] { return ! application.controller.getPortSituation().busy; }, 5000);
        start = Clock::now();
        instrument.setUnplugged (true);
        vanishing.push_back (untilLamp (application, false, start));
    }

    instrument.setUnplugged (false);
    InstrumentRig::waitFor ([&] { return application.controller.isConnected(); }, 5000);
    const auto withWatch = idleCpuSeconds (idleSeconds);

    if (std::find (appearing.begin(), appearing.end(), -1.0) != appearing.end()
        || std::find (vanishing.begin(), vanishing.end(), -1.0) != vanishing.end()
        || application.rig.dialogs.count (ScriptedDialogs::Kind::messageBox) != 0)
    {
        failures.push_back ("port watch: the lamp did not follow the cable, or a box was shown");
        return;
    }

    results.push_back (makeTimeFigure ("ports appear -> lamp lit", appearing, 1500.0));
    results.push_back (makeTimeFigure ("ports vanish -> NOT Connected", vanishing, 500.0));

    Figure idle;
    idle.name = "idle connected with the port watch, " + juce::String (idleSeconds) + " s, CPU time";
    idle.measured = withWatch * 1000.0;
    idle.unit = "ms";
    idle.floor = withoutWatch * 1000.0;
    idle.floorMeaning = "ms without the watch";
    idle.goalRatio = 1.25;
    idle.detail = "the emulated instrument's threads included in both";
    results.push_back (idle);
}

} // namespace tarnovelle::benchmark
