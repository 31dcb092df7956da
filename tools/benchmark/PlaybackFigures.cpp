// The sequence editor's playback: how closely the notes reach the emulated instrument to the
// ideal grid, how soon the first note and a preview sound, and what playing costs.

#include "ConnectedApplication.h"
#include "Figures.h"
#include "Harness.h"

#include <algorithm>
#include <cmath>

namespace tarnovelle::benchmark
{

namespace
{
    constexpr double sixteenthAt120Ms = 125.0;
    constexpr double edgeSeconds = 10.0;

    struct Onsets
    {
        std::vector<double> errors; // against the ideal grid from the first onset, ms
        double drift = 0.0;         // mean error of the last seconds less that of the first
        int count = 0;
    };

    std::vector<double> noteOnTimes (const EmulatedInstrument& instrument, double from)
    {
        std::vector<double> times;

        for (auto& m : instrument.getReceivedChannelMessages())
            if ((m.bytes[0] & 0xf0) == 0x90 && m.bytes[2] > 0 && m.timeMs >= from)
                times.push_back (m.timeMs);

        return times;
    }

    Onsets measureOnsets (const std::vector<double>& times)
    {
        Onsets result;
        result.count = (int) times.size();
        double firstSum = 0.0, lastSum = 0.0;
        int firstCount = 0, lastCount = 0;
        const int edge = (int) (edgeSeconds * 1000.0 / sixteenthAt120Ms);

        for (size_t k = 0; k < times.size(); ++k)
        {
            const double error = times[k] - (times.front() + (double) k * sixteenthAt120Ms);
            result.errors.push_back (std::abs (error));

            if ((int) k < edge)
            {
                firstSum += error;
                ++firstCount;
            }
            else if ((int) (times.size() - k) <= edge)
            {
                lastSum += error;
                ++lastCount;
            }
        }

        if (firstCount > 0 && lastCount > 0)
            result.drift = std::abs (lastSum / lastCount - firstSum / firstCount);

        return result;
    }

    double percentile (std::vector<double> values, double share)
    {
        if (values.empty())
            return 0.0;

        std::sort (values.begin(), values.end());
        return values[(size_t) std::min ((double) values.size() - 1, std::ceil (share * (double) values.size()) - 1)];
    }

    void addFigure (const juce::String& name, double measured, double limit, const juce::String& detail)
    {
        Figure f;
        f.name = name;
        f.measured = measured;
        f.unit = "ms";
        f.floorMeaning = "—";
        f.ratioIsGoal = false;
        f.absoluteLimit = limit;
        f.detail = detail;
        results.push_back (f);
    }

    void addOnsetFigures (const juce::String& label, const Onsets& onsets)
    {
        const auto detail = juce::String (onsets.count) + " notes";
        addFigure ("onset error p95, " + label, percentile (onsets.errors, 0.95), 1.0, detail);
        addFigure ("onset error p99, " + label, percentile (onsets.errors, 0.99), 2.0, detail);
        addFigure ("drift start to end, " + label, onsets.drift, 1.0,
                   "mean error of the last " + number (edgeSeconds, 0) + " s less the first");
    }

    /** The processor time of the threads whose names start with this, summed. */
    double threadSeconds (const std::map<std::string, double>& threads, const std::string& name)
    {
        double seconds = 0.0;

        for (const auto& [key, value] : threads)
            if (key.rfind (name, 0) == 0)
                seconds += value;

        return seconds;
    }

    /** Plays for the given time while the message loop runs, calling `busy` on it between slices. */
    void playFor (double seconds, const std::function<void()>& busy)
    {
        const auto start = Clock::now();

        while (millisecondsSince (start) < seconds * 1000.0)
        {
            juce::MessageManager::getInstance()->runDispatchLoopUntil (5);

            if (busy != nullptr)
                busy();
        }
    }
} // namespace

void measurePlayback (int playSeconds)
{
    ConnectedApplication application;

    if (! application.connect ("playback"))
        return;

    auto& rig = application.rig;
    auto& controller = application.controller;

    auto& model = controller.getSequenceEditorModel();
    controller.getSequencePlayback().setPreviewOn (true);
    model.setStepSize (16);
    model.setGateLength (2);
    model.replaceSequence (
        0, EditedSequence::fromSteps ({ 48, 50, 52, 53, 55, 57, 59, 60, 62, 64, 65, 67, 69, 71, 72, 74 }));
    model.selectSequence (0);

    // A press of Space reaches the hub as its action message; the first note follows.
    std::vector<double> startLatencies, previewLatencies;

    for (int run = 0; run < 20; ++run)
    {
        rig.instrument.clearReceived();
        const double pressed = rig.instrument.getMillisecondsSinceStart();
        controller.handleActionMessage ("PLSQ ");
        InstrumentRig::waitFor ([&] { return ! noteOnTimes (rig.instrument, 0.0).empty(); });
        startLatencies.push_back (noteOnTimes (rig.instrument, 0.0).front() - pressed);
        controller.handleActionMessage ("STPL ");

        rig.instrument.clearReceived();
        const double edited = rig.instrument.getMillisecondsSinceStart();
        model.setNote (run % 16, 60 + run % 12);
        InstrumentRig::waitFor ([&] { return ! noteOnTimes (rig.instrument, 0.0).empty(); });
        previewLatencies.push_back (noteOnTimes (rig.instrument, 0.0).front() - edited);
        InstrumentRig::waitFor ([&] { return rig.instrument.getReceivedChannelMessages().size() >= 2; });
    }

    addFigure ("Play to first note-on", percentile (startLatencies, 1.0), 10.0,
               "highest of 20; median " + number (median (startLatencies), 3) + " ms");
    addFigure ("preview edit to its note-on", percentile (previewLatencies, 1.0), 10.0,
               "highest of 20; median " + number (median (previewLatencies), 3) + " ms");

    // The whole process at rest for a while, so that what playing adds can be told apart from
    // the emulated instrument's and the ports' own work in this process.
    const auto restCpuBefore = processCpuSeconds();
    const auto restStarted = Clock::now();
    playFor (juce::jmin (playSeconds, 20), nullptr);
    const double restShare = (processCpuSeconds() - restCpuBefore) / (millisecondsSince (restStarted) / 1000.0) * 100.0;

    // Idle message thread.
    rig.instrument.clearReceived();
    const auto threadsBefore = threadCpuSeconds();
    const auto cpuBefore = processCpuSeconds();
    const auto started = Clock::now();
    controller.handleActionMessage ("PLSQ ");
    playFor (playSeconds, nullptr);
    controller.handleActionMessage ("STPL ");
    const double wall = millisecondsSince (started) / 1000.0;
    const auto threadsAfter = threadCpuSeconds();
    const double playingShare = (processCpuSeconds() - cpuBefore) / wall * 100.0;
    addOnsetFigures ("idle", measureOnsets (noteOnTimes (rig.instrument, 0.0)));

    const std::string player ("Sequence player");
    Figure cpu;
    cpu.name = "CPU of the player thread while playing";
    cpu.measured = (threadSeconds (threadsAfter, player) - threadSeconds (threadsBefore, player)) / wall * 100.0;
    cpu.unit = "% of a core";
    cpu.floorMeaning = "—";
    cpu.ratioIsGoal = false;
    cpu.absoluteLimit = 2.0;
    cpu.detail = "whole process (instrument and ports included) " + number (playingShare, 2) + " % playing, "
                 + number (restShare, 2) + " % at rest: playing adds " + number (playingShare - restShare, 2) + " %";
    results.push_back (cpu);

    // The message thread busy: a drag changes a note of the sequence playing at every turn,
    // and each turn blocks the thread for 40 ms, as a resize's layout and painting would.
    rig.instrument.clearReceived();
    int turn = 0;
    controller.handleActionMessage ("PLSQ ");
    playFor (playSeconds, [&] {
        model.beginGesture();
        model.setNote (5, 50 + (turn++ % 24));
        model.endGesture();
        const auto blocked = Clock::now();

        while (millisecondsSince (blocked) < 40.0)
        {}
    });
    controller.handleActionMessage ("STPL ");
    addOnsetFigures ("message thread busy", measureOnsets (noteOnTimes (rig.instrument, 0.0)));
}

} // namespace tarnovelle::benchmark
