// The protocol's figures: connecting and reading every setting, saving the sequences, and the
// firmware transfer, each against the emulated instrument in this process.

#include "Figures.h"
#include "Harness.h"

#include "app/ApplicationController.h"
#include "emulator/FirmwareImage.h"
#include "emulator/InstrumentRig.h"
#include "emulator/RecordingView.h"
#include "firmware/HWUpdater.h"
#include "firmware/LPC23XXUpdater.h"
#include "sequences/SequenceFile.h"
#include "sequences/SequenceFileOperations.h"

#include <algorithm>
#include <atomic>

#include <unistd.h>

namespace tarnovelle::benchmark
{

namespace
{
    /** The emulated instrument alone on the ports, with the firmware the application ships. */
    struct Rig
    {
        Rig() { instrument.setFirmwareVersion (EmulatedInstrument::shippedFirmwareVersion); }

        InstrumentRig rig;
        EmulatedInstrument& instrument = rig.instrument;
        ScriptedDialogs& dialogs = rig.dialogs;
    };

    /** The number of settings the controller showed, without the connection calls. */
    int settingsShown (const test::RecordingView& view) { return view.displayedSettings().size(); }
} // namespace

//==============================================================================
void measureConnectAndRead (int runs)
{
    std::vector<double> times;

    for (int run = 0; run < runs; ++run)
    {
        Rig rig;
        test::RecordingView view;
        ApplicationController controller (view);

        const auto start = Clock::now();
        controller.connect();
        controller.readAllSettings();
        const auto elapsed = millisecondsSince (start);

        if (! controller.isConnected() || settingsShown (view) != numDeviceSettings)
        {
            failures.push_back ("connect and read: the instrument was not found or a setting went unanswered");
            return;
        }

        times.push_back (elapsed);
    }

    Figure f;
    f.name = "connect + read 14 settings";
    f.measured = median (times);
    f.unit = "ms";
    f.floor = 100.0 + numDeviceSettings * 20.0;
    f.floorMeaning = "ms (100 + 14 x 20)";
    f.goalRatio = 1.2;
    f.detail = "median " + spread (times, 1) + ", instrument latency "
               + juce::String (EmulatedInstrument::defaultLatencyMs) + " ms";
    results.push_back (f);
}

void measureSave (int runs)
{
    Rig rig;
    test::RecordingView view;
    ApplicationController controller (view);
    controller.connect();

    if (! controller.isConnected())
    {
        failures.push_back ("save: the instrument was not found");
        return;
    }

    const auto folder = juce::File::getSpecialLocation (juce::File::tempDirectory)
                            .getChildFile ("tarnovelle-benchmark-" + juce::String (getpid()));
    folder.createDirectory();
    const auto file = folder.getChildFile ("bench.tvseq");
    std::vector<double> times;

    for (int run = 0; run < runs; ++run)
    {
        file.deleteFile();
        rig.dialogs.clear();
        rig.dialogs.answerFile (file);
        rig.dialogs.answerOkCancel (false); // "Generate MidiFiles?": Cancel

        const auto start = Clock::now();
        saveSequenceFile (controller.getOutput());
        const auto elapsed = millisecondsSince (start);

        const auto content = parseSequenceFile (file.loadFileAsString().toStdString());

        if (! content.isValid() || rig.dialogs.count (ScriptedDialogs::Kind::messageBox) != 0)
        {
            failures.push_back ("save: no valid sequence file was written");
            folder.deleteRecursively();
            return;
        }

        times.push_back (elapsed);
    }

    folder.deleteRecursively();

    Figure f;
    f.name = "save 8 sequences, no MIDI files";
    f.measured = median (times);
    f.unit = "ms";
    f.floor = 18 * 20.0;
    f.floorMeaning = "ms (18 x 20)";
    f.goalRatio = 1.15;
    f.detail = "median " + spread (times, 1);
    results.push_back (f);
}

namespace
{
    /** When each message of the update went out and when each acknowledgement came back. */
    struct Timeline
    {
        static constexpr size_t capacity = 16384;

        Timeline()
            : sends (capacity)
            , acks (capacity)
        {}

        std::vector<Clock::time_point> sends, acks;
        std::atomic<size_t> numSends{ 0 }, numAcks{ 0 };

        static void note (std::vector<Clock::time_point>& times, std::atomic<size_t>& count)
        {
            const auto i = count.load (std::memory_order_relaxed);

            if (i < times.size())
                times[i] = Clock::now();

            count.store (i + 1, std::memory_order_release);
        }

        /** How long each message waited for its acknowledgement, and each acknowledgement for
            the next message, in milliseconds. Message i is acknowledged by acknowledgement i
            while nothing is sent twice, as with an instrument that accepts every chunk.
        */
        void intervals (std::vector<double>& roundTrips, std::vector<double>& turnarounds) const
        {
            const auto n = std::min ({ numSends.load(), numAcks.load(), capacity });

            for (size_t i = 0; i + 1 < n; ++i)
            {
                roundTrips.push_back (std::chrono::duration<double, std::milli> (acks[i] - sends[i]).count());
                turnarounds.push_back (std::chrono::duration<double, std::milli> (sends[i + 1] - acks[i]).count());
            }
        }
    };

    /** The update's output port, noting when each message went out. */
    class TimedOutput final : public MidiOutputPort
    {
    public:
        TimedOutput (std::unique_ptr<MidiOutputPort> targetPort, Timeline& timelineToFill)
            : target (std::move (targetPort))
            , timeline (timelineToFill)
        {}

        void write (const juce::MidiMessage& message) override
        {
            Timeline::note (timeline.sends, timeline.numSends);
            target->sendMessageNow (message);
        }

        juce::String getName() const override { return target->getName(); }

    private:
        std::unique_ptr<MidiOutputPort> target;
        Timeline& timeline;

        JUCE_DECLARE_NON_COPYABLE (TimedOutput)
    };

    /** The update's input callback, noting when each acknowledgement arrived.

        With an exact latency it also plays the instrument's reaction time and the cable: each
        acknowledgement reaches the updater that long after its message was sent, or as soon as
        it arrives when it comes later. The emulated instrument's own latency sleeps in whole
        milliseconds and wakes late (see BENCHMARKS.md); this sleeps until just before the
        moment and yields for the rest, on the emulated MIDI input's thread.
    */
    class TimedCallback final : public MidiPortCallback
    {
    public:
        TimedCallback (LPC23XXUpdater& updater, Timeline& timelineToFill, double exactLatencyMs)
            : callback (updater)
            , timeline (timelineToFill)
            , latency (std::chrono::microseconds ((int) (exactLatencyMs * 1000.0)))
        {}

        void handleIncomingMidiMessage (MidiInputPort* source, const juce::MidiMessage& message) override
        {
            if (message.getRawDataSize() >= 9 && message.getRawData()[8] == LPC23XXUpdater::acknowledgementCommand)
            {
                holdUntilDue();
                Timeline::note (timeline.acks, timeline.numAcks);
            }

            callback.handleIncomingMidiMessage (source, message);
        }

    private:
        void holdUntilDue() const
        {
            const auto i = timeline.numAcks.load (std::memory_order_relaxed);

            if (latency.count() == 0
                || i >= juce::jmin (timeline.numSends.load (std::memory_order_acquire), Timeline::capacity))
                return;

            const auto due = timeline.sends[i] + latency;
            const auto wakeEarly = std::chrono::microseconds (100);

            if (due - Clock::now() > wakeEarly)
                std::this_thread::sleep_until (due - wakeEarly);

            while (Clock::now() < due)
                std::this_thread::yield();
        }

        HWUpdater::MidiCallback callback;
        Timeline& timeline;
        const std::chrono::microseconds latency;

        JUCE_DECLARE_NON_COPYABLE (TimedCallback)
    };

    struct TransferResult
    {
        bool succeeded = false;
        int chunks = 0;
        double seconds = 0.0; // from start_update to end_update
        double cpuSeconds = 0.0;
        double wallSeconds = 0.0;
        std::vector<double> roundTrips;  // message sent until its acknowledgement arrived, ms
        std::vector<double> turnarounds; // acknowledgement arrived until the next message went out, ms
        juce::String threads;

        double chunksPerSecond() const { return chunks / seconds; }
        double cores() const { return cpuSeconds / wallSeconds; }

        static juce::String summarise (std::vector<double> values)
        {
            if (values.empty())
                return "-";

            std::sort (values.begin(), values.end());
            double sum = 0.0;

            for (auto v : values)
                sum += v;

            const auto at = [&] (double q) { return values[(size_t) (q * (double) (values.size() - 1))]; };
            return "median " + juce::String (at (0.5), 3) + ", mean " + juce::String (sum / (double) values.size(), 3)
                   + ", 99th percentile " + juce::String (at (0.99), 3) + " ms";
        }

        juce::String describeTimes() const
        {
            return "\n    until the acknowledgement: " + summarise (roundTrips)
                   + "\n    from it to the next chunk: " + summarise (turnarounds);
        }
    };

    constexpr size_t transferImageSize = 256 * 1024;

    juce::MemoryBlock makeTransferImage()
    {
        // A sound image of exactly 256 KiB, so that the bootloader checks it and runs it.
        juce::MemoryBlock body (transferImageSize - FirmwareImage::headerSize - FirmwareImage::trailerSize);
        juce::Random random (42);

        for (size_t i = 0; i < body.getSize(); ++i)
            body[i] = (char) random.nextInt (256);

        const uint8 version[4] = { 1, 0, 3, 3 };
        return makeFirmwareImage (version, body);
    }

    /** One transfer; the acknowledgement latency is the emulated instrument's own, or, with
        exactLatencyMs, exactly that from a message leaving the updater to its acknowledgement
        reaching the updater's callback.
    */
    TransferResult transferImage (int latencyMs, double exactLatencyMs = 0.0)
    {
        TransferResult result;

        auto threads = threadIds();
        EmulatedInstrument instrument;
        nameNewThreads (threads, "instrument");
        threads = threadIds();
        EmulatedMidiBackend midi;
        ScriptedDialogs dialogs;
        midi.addInstrument (instrument);
        nameNewThreads (threads, "MIDI delivery");
        Platform::setMidiBackend (&midi);
        Platform::setDialogs (&dialogs);

        instrument.setMode (EmulatedInstrument::Mode::bootloader);
        instrument.setLatencyMs (latencyMs);

        const auto image = makeTransferImage();
        juce::MemoryInputStream source (image, false);

        Timeline timeline;
        LPC23XXUpdater updater;
        updater.setTiming ({ 0, 2000, 5 });
        TimedCallback callback (updater, timeline, exactLatencyMs);
        auto input = midi.openInput (0, &callback);
        TimedOutput output (midi.openOutput (0), timeline);
        input->start();

        ThreadSampler sampler;
        const auto cpuBefore = processCpuSeconds();
        const auto wallStart = Clock::now();

        if (updater.startUpdate (&output, &source))
        {
            // The application waits under the update's progress window in the same way.
            HWUpdater::UpdateWindow window (updater);
            window.runModally();
            updater.stopUpdate();
        }

        result.wallSeconds = millisecondsSince (wallStart) / 1000.0;
        result.cpuSeconds = processCpuSeconds() - cpuBefore;
        result.threads = sampler.finish (result.wallSeconds, result.cpuSeconds);
        result.chunks = instrument.getAcceptedChunkCount();

        const auto sent = juce::jmin (timeline.numSends.load(), Timeline::capacity);
        if (sent >= 2)
            result.seconds = std::chrono::duration<double> (timeline.sends[sent - 1] - timeline.sends[0]).count();
        timeline.intervals (result.roundTrips, result.turnarounds);

        const auto expectedChunks =
            (int) ((image.getSize() + LPC23XXUpdater::chunkSize - 1) / LPC23XXUpdater::chunkSize);
        const auto end = juce::Time::getMillisecondCounter() + 2000;

        while (instrument.getMode() != EmulatedInstrument::Mode::application
               && juce::Time::getMillisecondCounter() < end)
            Platform::runMessageLoopFor (10);

        result.succeeded = updater.wasSuccessful() && result.chunks == expectedChunks && result.seconds > 0.0
                           && instrument.getFirmwareVersion() == EmulatedInstrument::Version{ 1, 0, 3, 3 };

        input->stop();
        input.reset();
        Platform::setDialogs (nullptr);
        Platform::setMidiBackend (nullptr);
        return result;
    }

    /** Runs the transfer that many times; false (and a failure noted) if one did not complete. */
    bool transferRepeatedly (int latencyMs, double exactLatencyMs, int runs, std::vector<TransferResult>& results)
    {
        for (int run = 0; run < runs; ++run)
        {
            results.push_back (transferImage (latencyMs, exactLatencyMs));

            if (! results.back().succeeded)
            {
                failures.push_back ("transfer with " + juce::String (latencyMs + exactLatencyMs)
                                    + " ms latency: the image did not arrive whole");
                return false;
            }
        }

        return true;
    }

    /** The run whose rate is the median one, for its details. */
    const TransferResult& medianRun (std::vector<TransferResult> runs, const std::vector<TransferResult>& all)
    {
        std::sort (runs.begin(), runs.end(),
                   [] (auto& a, auto& b) { return a.chunksPerSecond() < b.chunksPerSecond(); });
        const auto rate = runs[runs.size() / 2].chunksPerSecond();

        for (auto& r : all)
            if (r.chunksPerSecond() == rate)
                return r;

        return all.front();
    }

    std::vector<double> ratesOf (const std::vector<TransferResult>& runs)
    {
        std::vector<double> rates;

        for (auto& r : runs)
            rates.push_back (r.chunksPerSecond());

        return rates;
    }
} // namespace

void measureTransfers (int runs)
{
    std::vector<TransferResult> fastRuns;

    if (! transferRepeatedly (0, 0.0, runs, fastRuns))
        return;

    const auto& fastMedian = medianRun (fastRuns, fastRuns);

    Figure fast;
    fast.name = "firmware transfer, 256 KiB, ack at once";
    fast.measured = median (ratesOf (fastRuns));
    fast.unit = "chunks/s";
    fast.floor = 5000.0;
    fast.floorMeaning = "chunks/s (goal)";
    fast.goal = Figure::Goal::atLeast;
    fast.goalRatio = 1.0;
    fast.detail = "median " + spread (ratesOf (fastRuns), 0) + ", " + juce::String (fastMedian.chunks) + " chunks"
                  + fastMedian.describeTimes() + "\n    process " + percent (fastMedian.cores())
                  + " of a core; threads: " + fastMedian.threads;
    results.push_back (fast);

    const auto slowRunCount = juce::jmax (1, runs / 2);
    std::vector<TransferResult> slowRuns;

    if (! transferRepeatedly (0, 1.0, slowRunCount, slowRuns))
        return;

    const auto& slowMedian = medianRun (slowRuns, slowRuns);
    std::vector<double> cores;

    for (auto& r : slowRuns)
        cores.push_back (r.cores());

    Figure slow;
    slow.name = "firmware transfer, 256 KiB, ack after 1 ms";
    slow.measured = median (ratesOf (slowRuns));
    slow.unit = "chunks/s";
    slow.floor = 1000.0;
    slow.floorMeaning = "chunks/s (1 per ms)";
    slow.goal = Figure::Goal::atLeast;
    slow.goalRatio = 0.9;
    slow.detail = "median " + spread (ratesOf (slowRuns), 0) + ", " + juce::String (slowMedian.seconds, 2) + " s for "
                  + juce::String (slowMedian.chunks) + " chunks" + slowMedian.describeTimes();
    results.push_back (slow);

    Figure cpu;
    cpu.name = "  process CPU during that transfer";
    cpu.measured = median (cores);
    cpu.unit = "cores";
    cpu.floor = 0.5;
    cpu.floorMeaning = "cores (limit)";
    cpu.goalRatio = 1.0;
    cpu.detail = "median " + spread (cores, 3) + "; threads: " + slowMedian.threads;
    results.push_back (cpu);

    // The same with the emulated instrument's own latency setting of 1 ms.
    std::vector<TransferResult> emulatedRuns;

    if (! transferRepeatedly (1, 0.0, 1, emulatedRuns))
        return;

    const auto& emulated = emulatedRuns.front();

    Figure viaEmulator;
    viaEmulator.name = "  the same, instrument latency set to 1 ms";
    viaEmulator.measured = emulated.chunksPerSecond();
    viaEmulator.unit = "chunks/s";
    viaEmulator.floor = 1000.0;
    viaEmulator.floorMeaning = "chunks/s (1 per ms)";
    viaEmulator.informational = true;
    viaEmulator.detail = "process " + percent (emulated.cores()) + " of a core" + emulated.describeTimes();
    results.push_back (viaEmulator);
}

} // namespace tarnovelle::benchmark
