// tarnovelle_benchmark: drives the real connection, sequence and firmware code against the
// emulated instrument, and the built demo application and a bare JUCE window as processes
// under an X server, and prints each figure beside its floor.
//
// Not a test: the figures depend on the machine and on whatever else runs on it.

#include "app/ApplicationController.h"
#include "emulator/EmulatedInstrument.h"
#include "emulator/EmulatedMidiBackend.h"
#include "emulator/FirmwareImage.h"
#include "firmware/HWUpdater.h"
#include "firmware/LPC23XXUpdater.h"
#include "platform/Platform.h"
#include "platform/ScriptedDialogs.h"
#include "sequences/SequenceFile.h"
#include "sequences/SequenceFileOperations.h"
#include "tools/EditorReadBenchmark.h"

#include <juce_events/juce_events.h>

#include <X11/Xlib.h>
#include <X11/Xutil.h>

#include <algorithm>
#include <atomic>
#include <chrono>
#include <cstdio>
#include <fstream>
#include <map>
#include <mutex>
#include <optional>
#include <sstream>
#include <string>
#include <thread>
#include <vector>

#include <csignal>
#include <fcntl.h>
#include <poll.h>
#include <spawn.h>
#include <sys/resource.h>
#include <sys/wait.h>
#include <unistd.h>

extern char** environ;

namespace tarnovelle::benchmark
{

namespace
{
    using Clock = std::chrono::steady_clock;

    double millisecondsSince (Clock::time_point start)
    {
        return std::chrono::duration<double, std::milli> (Clock::now() - start).count();
    }

    double median (std::vector<double> values)
    {
        if (values.empty())
            return 0.0;

        std::sort (values.begin(), values.end());
        const auto n = values.size();
        return n % 2 == 1 ? values[n / 2] : 0.5 * (values[n / 2 - 1] + values[n / 2]);
    }

    juce::String number (double value, int decimals)
    {
        // juce::String (double, 0) would print every digit.
        return decimals == 0 ? juce::String (juce::roundToInt (value)) : juce::String (value, decimals);
    }

    juce::String spread (const std::vector<double>& values, int decimals)
    {
        if (values.size() < 2)
            return "(1 run)";

        const auto [lo, hi] = std::minmax_element (values.begin(), values.end());
        return "(" + juce::String (values.size()) + " runs, " + number (*lo, decimals) + " to " + number (*hi, decimals)
               + ")";
    }

    //==============================================================================
    /** One line of the result table. */
    struct Figure
    {
        enum class Goal
        {
            atMost,
            atLeast
        };

        juce::String name;
        double measured = 0.0;
        juce::String unit;
        double floor = 0.0;        // what the figure is compared with
        juce::String floorMeaning; // what that number is
        Goal goal = Goal::atMost;  // the ratio measured / floor must stay on this side of the limit
        double goalRatio = 1.0;
        juce::String detail;
        std::optional<double> absoluteLimit; // a goal in the figure's own unit, as well as or instead of the ratio
        bool ratioIsGoal = true;
        bool informational = false; // shown for comparison, with no goal of its own

        double ratio() const { return floor > 0.0 ? measured / floor : 0.0; }

        bool met() const
        {
            if (informational)
                return true;

            bool ok = true;

            if (ratioIsGoal)
                ok = goal == Goal::atMost ? ratio() <= goalRatio : ratio() >= goalRatio;

            if (absoluteLimit)
                ok = ok && (goal == Goal::atMost ? measured <= *absoluteLimit : measured >= *absoluteLimit);

            return ok;
        }

        juce::String goalText() const
        {
            if (informational)
                return "(for comparison)";

            const juce::String op = goal == Goal::atMost ? "<= " : ">= ";
            juce::StringArray parts;

            if (ratioIsGoal)
                parts.add ("ratio " + op + juce::String (goalRatio, 2));

            if (absoluteLimit)
                parts.add (op + number (*absoluteLimit, 0) + " " + unit);

            return parts.joinIntoString (", ");
        }
    };

    std::vector<Figure> results;
    std::vector<juce::String> failures;

    void printTable()
    {
        std::printf ("\n%-44s %14s %24s %7s  %-28s %s\n", "figure", "measured", "floor", "ratio", "goal", "met");
        std::printf ("%s\n", juce::String::repeatedString ("-", 128).toRawUTF8());

        for (auto& f : results)
        {
            const auto measured = juce::String (f.measured, f.measured < 10.0 ? 3 : 1) + " " + f.unit;
            const auto floor = juce::String (f.floor, f.floor < 10.0 ? 3 : 1) + " " + f.floorMeaning;
            std::printf ("%-44s %14s %24s %7.3f  %-28s %s\n", f.name.toRawUTF8(), measured.toRawUTF8(),
                         floor.toRawUTF8(), f.ratio(), f.goalText().toRawUTF8(),
                         f.informational ? "-" : (f.met() ? "yes" : "NO"));

            if (f.detail.isNotEmpty())
                std::printf ("    %s\n", f.detail.toRawUTF8());
        }

        for (auto& failure : failures)
            std::printf ("not measured: %s\n", failure.toRawUTF8());

        std::printf ("\n");
    }

    //==============================================================================
    /** Processor time of this process, in seconds, every thread counted. */
    double processCpuSeconds()
    {
        rusage usage{};
        getrusage (RUSAGE_SELF, &usage);
        return (double) usage.ru_utime.tv_sec + (double) usage.ru_stime.tv_sec
               + 1.0e-6 * (double) (usage.ru_utime.tv_usec + usage.ru_stime.tv_usec);
    }

    std::string readWholeFile (const std::string& path)
    {
        std::ifstream in (path);
        std::stringstream text;
        text << in.rdbuf();
        return text.str();
    }

    std::vector<juce::String> threadIds()
    {
        std::vector<juce::String> ids;

        for (const auto& entry : juce::File ("/proc/self/task").findChildFiles (juce::File::findDirectories, false))
            ids.push_back (entry.getFileName());

        return ids;
    }

    /** Names the threads started since `before`; a JUCE thread whose name is longer than the
        system allows keeps the process's name, which would make the table useless.
    */
    void nameNewThreads (const std::vector<juce::String>& before, const juce::String& name)
    {
        for (auto& id : threadIds())
            if (std::find (before.begin(), before.end(), id) == before.end())
                std::ofstream ("/proc/self/task/" + id.toStdString() + "/comm") << name.substring (0, 15).toStdString();
    }

    /** Seconds on a processor of every thread of this process still alive, by thread name. */
    std::map<std::string, double> threadCpuSeconds()
    {
        std::map<std::string, double> seconds;

        for (const auto& entry : juce::File ("/proc/self/task").findChildFiles (juce::File::findDirectories, false))
        {
            const auto dir = entry.getFullPathName().toStdString();
            auto name = readWholeFile (dir + "/comm");
            name.erase (std::remove (name.begin(), name.end(), '\n'), name.end());

            if (entry.getFileName().getIntValue() == (int) getpid())
                name = "message thread";
            else if (name == "tarnovelle_benc")
                name = "unnamed";

            std::istringstream schedstat (readWholeFile (dir + "/schedstat"));
            double ns = 0.0;

            if (schedstat >> ns)
                seconds[name + " (" + entry.getFileName().toStdString() + ")"] = ns * 1.0e-9;
        }

        return seconds;
    }

    /** The threads that stand for the instrument and the computer's MIDI system, or that measure. */
    bool isStandIn (const std::string& name)
    {
        return name.rfind ("instrument", 0) == 0 || name.rfind ("MIDI delivery", 0) == 0
               || name.rfind ("thread sampler", 0) == 0;
    }

    /** "name 12%, name 3%" for the threads that used a noticeable share of the interval, and
        the share of the application's own threads: the whole process but the stand-ins, so
        that threads which ended before the last sample still count.
    */
    juce::String threadShares (const std::map<std::string, double>& before, const std::map<std::string, double>& after,
                               double wallSeconds, double processSeconds)
    {
        std::vector<std::pair<double, std::string>> shares;
        double standIns = 0.0;

        for (auto& [name, seconds] : after)
        {
            const auto it = before.find (name);
            const auto used = seconds - (it != before.end() ? it->second : 0.0);

            if (isStandIn (name))
                standIns += used;

            if (used / wallSeconds >= 0.005)
                shares.push_back ({ used / wallSeconds, name });
        }

        std::sort (shares.rbegin(), shares.rend());
        juce::StringArray parts;

        for (auto& [share, name] : shares)
            parts.add (juce::String (name) + " " + juce::String (100.0 * share, 1) + "%");

        const auto application = juce::jmax (0.0, processSeconds - standIns) / wallSeconds;
        return parts.joinIntoString (", ") + "\n    the application's own threads together (the process but the "
               + "instrument and MIDI delivery): " + juce::String (100.0 * application, 1) + "% of a core";
    }

    //==============================================================================
    /** The main window's side of the application, without a window. */
    class CountingView final : public InstrumentView
    {
    public:
        CountingView() = default;

        int settingsShown = 0;
        bool connected = false;

        void setConnected (bool isConnected) override { connected = isConnected; }
        void showFirmwareVersion (uint8, uint8, uint8, uint8) override {}
        void showMidiInChannel (int) override { ++settingsShown; }
        void showMidiOutChannel (int) override { ++settingsShown; }
        void showInputGain (int) override { ++settingsShown; }
        void showLfoRetrigger (bool) override { ++settingsShown; }
        void showArpHold (bool) override { ++settingsShown; }
        void showKeyboardMode (int) override { ++settingsShown; }
        void showKeyboardLegato (int) override { ++settingsShown; }
        void showVelocity (int) override { ++settingsShown; }
        void showAftertouch (int) override { ++settingsShown; }
        void showBendRange (int) override { ++settingsShown; }
        void showStepSize (int) override { ++settingsShown; }
        void showGateLength (int) override { ++settingsShown; }
        void showTapAverage (int) override { ++settingsShown; }
        void showClockSync (int) override { ++settingsShown; }

    private:
        JUCE_DECLARE_NON_COPYABLE (CountingView)
    };

    /** An emulated instrument alone on the computer's MIDI ports, with scripted dialogs. */
    struct Rig
    {
        EmulatedInstrument instrument;
        EmulatedMidiBackend midi;
        ScriptedDialogs dialogs;

        Rig()
        {
            instrument.setFirmwareVersion ({ 1, 0, 3, 2 });
            midi.addInstrument (instrument);
            Platform::setMidiBackend (&midi);
            Platform::setDialogs (&dialogs);
        }

        ~Rig()
        {
            Platform::setDialogs (nullptr);
            Platform::setMidiBackend (nullptr);
        }
    };

    //==============================================================================
    void measureConnectAndRead (int runs)
    {
        std::vector<double> times;

        for (int run = 0; run < runs; ++run)
        {
            Rig rig;
            CountingView view;
            ApplicationController controller (view);

            const auto start = Clock::now();
            controller.connect();
            controller.readAllSettings();
            const auto elapsed = millisecondsSince (start);

            if (! controller.isConnected() || view.settingsShown != numDeviceSettings)
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
        CountingView view;
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

    void measureEditorRead (int runs)
    {
        const auto times = measureEditorOpeningRead (runs);

        if (times.failure.isNotEmpty() || times.sequencesMs.empty())
        {
            failures.push_back (times.failure.isNotEmpty() ? times.failure : "editor read: not measured");
            return;
        }

        Figure f;
        f.name = "sequence editor's opening read";
        f.measured = median (times.sequencesMs);
        f.unit = "ms";
        f.floor = 16 * 20.0;
        f.floorMeaning = "ms (16 halves x 20)";
        f.goalRatio = 1.15;
        f.detail = "median " + spread (times.sequencesMs, 1) + "; with step size, gate and progress window "
                   + number (median (times.wholeReadMs), 1) + " ms";
        results.push_back (f);
    }

    //==============================================================================
    /** Samples the processor time of every thread of this process while a transfer runs, so
        that threads which end before it is read (the updater's, the progress window's) still
        count. Reads a few small files four times a second.
    */
    class ThreadSampler final : private juce::Thread
    {
    public:
        ThreadSampler()
            : juce::Thread ("thread sampler")
        {
            before = threadCpuSeconds();
            startThread();
        }

        ~ThreadSampler() override { stopThread (1000); }

        /** Stops sampling; returns the share of a core each busy thread used. */
        juce::String finish (double wallSeconds, double processSeconds)
        {
            stopThread (1000);
            sample();
            const std::lock_guard<std::mutex> lock (mutex);
            return threadShares (before, latest, wallSeconds, processSeconds);
        }

    private:
        void run() override
        {
            while (! threadShouldExit())
            {
                sample();
                wait (250);
            }
        }

        void sample()
        {
            const auto now = threadCpuSeconds();
            const std::lock_guard<std::mutex> lock (mutex);

            for (auto& [name, seconds] : now)
                latest[name] = seconds;
        }

        std::map<std::string, double> before;
        std::mutex mutex;
        std::map<std::string, double> latest;

        JUCE_DECLARE_NON_COPYABLE (ThreadSampler)
    };

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

        void sendMessageNow (const juce::MidiMessage& message) override
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

    juce::String percent (double share) { return juce::String (100.0 * share, 1) + "%"; }

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
        slow.detail = "median " + spread (ratesOf (slowRuns), 0) + ", " + juce::String (slowMedian.seconds, 2)
                      + " s for " + juce::String (slowMedian.chunks) + " chunks" + slowMedian.describeTimes();
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

    //==============================================================================
    // The programs under an X server.

    /** Reports top-level windows as the X server maps them. */
    class WindowWatcher final
    {
    public:
        WindowWatcher()
            : display (XOpenDisplay (nullptr))
        {
            if (display == nullptr)
                return;

            // A window that goes away while it is looked at is no reason to end the benchmark.
            XSetErrorHandler (&ignoreErrors);
            XSelectInput (display, DefaultRootWindow (display), SubstructureNotifyMask);
            XSync (display, False);
        }

        ~WindowWatcher()
        {
            if (display != nullptr)
                XCloseDisplay (display);
        }

        bool isOpen() const noexcept { return display != nullptr; }

        struct Shown
        {
            Window window = 0;
            double mappedMs = -1.0; // from `since`; negative on time-out
        };

        /** Waits until a window of that title is mapped. A window mapped before its title was set
            counts from its mapping.
        */
        Shown waitForMappedWindow (const std::string& title, Clock::time_point since, int timeoutMs)
        {
            const auto start = Clock::now();
            std::vector<std::pair<Window, double>> untitled;

            while (millisecondsSince (start) < timeoutMs)
            {
                while (XPending (display) > 0)
                {
                    XEvent event;
                    XNextEvent (display, &event);

                    if (event.type == MapNotify)
                        untitled.push_back ({ event.xmap.window, millisecondsSince (since) });
                }

                for (auto& [window, mappedAt] : untitled)
                    if (titleOf (window) == title)
                        return { window, mappedAt };

                pollfd fd{ ConnectionNumber (display), POLLIN, 0 };
                poll (&fd, 1, 5);
            }

            return {};
        }

        /** Waits until the window's middle row shows a painted panel rather than a plain
            background (many colours instead of one or two); returns the milliseconds from
            `since`, or a negative number on time-out.
        */
        double waitForPaintedContent (Window window, Clock::time_point since, int timeoutMs)
        {
            const auto start = Clock::now();

            while (millisecondsSince (start) < timeoutMs)
            {
                if (countColoursInMiddleRow (window) >= 8)
                    return millisecondsSince (since);

                juce::Thread::sleep (5);
            }

            return -1.0;
        }

    private:
        static int ignoreErrors (Display*, XErrorEvent*) { return 0; }

        int countColoursInMiddleRow (Window window)
        {
            XWindowAttributes attributes{};

            if (XGetWindowAttributes (display, window, &attributes) == 0 || attributes.map_state != IsViewable)
                return 0;

            auto* image = XGetImage (display, window, 0, attributes.height / 2, (unsigned) attributes.width, 1,
                                     AllPlanes, ZPixmap);

            if (image == nullptr)
                return 0;

            std::vector<unsigned long> colours;

            for (int x = 0; x < attributes.width; ++x)
            {
                const auto pixel = XGetPixel (image, x, 0);

                if (std::find (colours.begin(), colours.end(), pixel) == colours.end())
                    colours.push_back (pixel);
            }

            XDestroyImage (image);
            return (int) colours.size();
        }

        /** WM_NAME as it is stored (JUCE stores UTF-8, which XFetchName does not return). */
        std::string titleOf (Window window)
        {
            XTextProperty property{};
            std::string title;

            if (XGetWMName (display, window, &property) != 0 && property.value != nullptr)
            {
                title.assign ((const char*) property.value, (size_t) property.nitems);
                XFree (property.value);
            }

            return title;
        }

        Display* display;

        JUCE_DECLARE_NON_COPYABLE (WindowWatcher)
    };

    /** A program started by the benchmark, ended with it. */
    class ChildProcess final
    {
    public:
        ChildProcess (const std::vector<std::string>& arguments, const std::vector<std::string>& extraEnvironment,
                      const std::string& logFile)
        {
            std::vector<std::string> environment (extraEnvironment);

            for (char** e = environ; *e != nullptr; ++e)
                environment.push_back (*e);

            std::vector<char*> argv, envp;

            for (auto& a : arguments)
                argv.push_back (const_cast<char*> (a.c_str()));

            for (auto& e : environment)
                envp.push_back (const_cast<char*> (e.c_str()));

            argv.push_back (nullptr);
            envp.push_back (nullptr);

            posix_spawn_file_actions_t actions;
            posix_spawn_file_actions_init (&actions);
            posix_spawn_file_actions_addopen (&actions, 1, logFile.c_str(), O_WRONLY | O_CREAT | O_TRUNC, 0644);
            posix_spawn_file_actions_adddup2 (&actions, 1, 2);

            if (posix_spawnp (&pid, argv[0], &actions, nullptr, argv.data(), envp.data()) != 0)
                pid = -1;

            posix_spawn_file_actions_destroy (&actions);
        }

        ~ChildProcess() { stop(); }

        pid_t getPid() const noexcept { return pid; }
        bool isRunning() { return pid > 0 && waitpid (pid, nullptr, WNOHANG) == 0; }

        void stop()
        {
            if (pid <= 0)
                return;

            kill (pid, SIGTERM);

            for (int i = 0; i < 100 && waitpid (pid, nullptr, WNOHANG) == 0; ++i)
                juce::Thread::sleep (20);

            if (waitpid (pid, nullptr, WNOHANG) == 0)
            {
                kill (pid, SIGKILL);
                waitpid (pid, nullptr, 0);
            }

            pid = -1;
        }

        /** utime + stime of every thread so far, in seconds. */
        double cpuSeconds() const
        {
            const auto stat = readWholeFile ("/proc/" + std::to_string (pid) + "/stat");
            std::istringstream fields (stat.substr (stat.rfind (')') + 2));
            std::vector<std::string> values;
            std::string value;

            while (fields >> value)
                values.push_back (value);

            // The fields after the name start with the third (state); utime and stime are the 14th and 15th.
            if (values.size() < 13)
                return 0.0;

            const auto ticks = std::stod (values[11]) + std::stod (values[12]);
            return ticks / (double) sysconf (_SC_CLK_TCK);
        }

        /** A line of /proc/<pid>/status in MiB, e.g. "VmHWM". */
        double statusMiB (const std::string& key) const
        {
            std::istringstream status (readWholeFile ("/proc/" + std::to_string (pid) + "/status"));
            std::string line;

            while (std::getline (status, line))
                if (line.rfind (key + ":", 0) == 0)
                    return std::stod (line.substr (key.size() + 1)) / 1024.0;

            return 0.0;
        }

    private:
        pid_t pid = -1;

        JUCE_DECLARE_NON_COPYABLE (ChildProcess)
    };

    bool waitForText (const juce::File& log, const juce::String& text, int timeoutMs)
    {
        const auto end = juce::Time::getMillisecondCounter() + (juce::uint32) timeoutMs;

        while (juce::Time::getMillisecondCounter() < end)
        {
            if (log.loadFileAsString().contains (text))
                return true;

            juce::Thread::sleep (20);
        }

        return false;
    }

    void measureWindows (const juce::File& binFolder, int idleSeconds, const juce::File& screenshot)
    {
        const auto demo = binFolder.getChildFile ("TarnovelleConnectionDemo");
        const auto bare = binFolder.getChildFile ("tarnovelle_bare_window");

        if (! demo.existsAsFile() || ! bare.existsAsFile())
        {
            failures.push_back ("windows: build TarnovelleConnectionDemo and tarnovelle_bare_window first");
            return;
        }

        WindowWatcher watcher;

        if (! watcher.isOpen())
        {
            failures.push_back ("windows: no X display (run under xvfb-run, see scripts/run-benchmark.sh)");
            return;
        }

        const auto folder = juce::File::getSpecialLocation (juce::File::tempDirectory)
                                .getChildFile ("tarnovelle-benchmark-windows-" + juce::String (getpid()));
        folder.createDirectory();

        // The demo's instrument with firmware 1.0.3.2: the start-up offers no update and reads
        // every setting.
        const auto stateFile = folder.getChildFile ("instrument.json");
        {
            EmulatedInstrument instrument (stateFile);
            instrument.resetToFactory();
            instrument.setFirmwareVersion ({ 1, 0, 3, 2 });
        }

        const auto bareLog = folder.getChildFile ("bare.log");
        const auto demoLog = folder.getChildFile ("demo.log");

        auto start = Clock::now();
        ChildProcess bareProcess ({ bare.getFullPathName().toStdString() }, {},
                                  bareLog.getFullPathName().toStdString());
        const auto bareShown = watcher.waitForMappedWindow ("Bare JUCE Window", start, 10000);

        // stdbuf keeps the demo's trace lines unbuffered, so the log tells when detection is over.
        start = Clock::now();
        ChildProcess demoProcess ({ "stdbuf", "-oL", demo.getFullPathName().toStdString() },
                                  { "TARNOVELLE_EMULATOR_STATE=" + stateFile.getFullPathName().toStdString() },
                                  demoLog.getFullPathName().toStdString());
        const auto demoShown = watcher.waitForMappedWindow ("Tarnovelle Connection Demo", start, 10000);
        const auto demoPaintedMs =
            demoShown.window != 0 ? watcher.waitForPaintedContent (demoShown.window, start, 10000) : -1.0;
        const auto bareStartMs = bareShown.mappedMs;
        const auto demoStartMs = demoShown.mappedMs;

        if (bareStartMs < 0.0 || demoStartMs < 0.0 || demoPaintedMs < 0.0)
        {
            failures.push_back ("windows: a window did not show within 10 s");
            folder.deleteRecursively();
            return;
        }

        // The trace line of the matching identity reply, then the fourteen settings.
        if (! waitForText (demoLog, "Device family member2 : 1 !", 15000))
        {
            failures.push_back ("windows: the demo did not find its instrument");
            folder.deleteRecursively();
            return;
        }

        juce::Thread::sleep (1500);

        const auto demoPeak = demoProcess.statusMiB ("VmHWM");
        const auto barePeak = bareProcess.statusMiB ("VmHWM");

        const auto demoCpuBefore = demoProcess.cpuSeconds();
        const auto bareCpuBefore = bareProcess.cpuSeconds();
        juce::Thread::sleep (idleSeconds * 1000);
        const auto demoIdle = demoProcess.cpuSeconds() - demoCpuBefore;
        const auto bareIdle = bareProcess.cpuSeconds() - bareCpuBefore;
        const bool stillRunning = demoProcess.isRunning() && bareProcess.isRunning();

        if (screenshot != juce::File())
            std::system (
                ("import -window root '" + screenshot.getFullPathName().toStdString() + "' 2>/dev/null").c_str());

        demoProcess.stop();
        bareProcess.stop();
        folder.deleteRecursively();

        if (! stillRunning)
        {
            failures.push_back ("windows: a program ended during the idle measurement");
            return;
        }

        Figure idle;
        idle.name = "idle connected, " + juce::String (idleSeconds) + " s, CPU time";
        idle.measured = demoIdle;
        idle.unit = "s";
        idle.floor = bareIdle;
        idle.floorMeaning = "s (bare window)";
        idle.goalRatio = 1.5;
        idle.detail = "demo " + juce::String (100.0 * demoIdle / idleSeconds, 2) + "% of a core, bare window "
                      + juce::String (100.0 * bareIdle / idleSeconds, 2) + "%; /proc/<pid>/stat has 10 ms ticks";
        results.push_back (idle);

        Figure memory;
        memory.name = "demo peak resident memory, connected";
        memory.measured = demoPeak;
        memory.unit = "MiB";
        memory.floor = barePeak;
        memory.floorMeaning = "MiB (bare window)";
        memory.absoluteLimit = 40.0;
        memory.ratioIsGoal = false;
        memory.detail = "VmHWM from /proc/<pid>/status";
        results.push_back (memory);

        Figure startUp;
        startUp.name = "demo start until its panel shows";
        startUp.measured = demoPaintedMs;
        startUp.unit = "ms";
        startUp.floor = bareStartMs;
        startUp.floorMeaning = "ms (bare window)";
        startUp.absoluteLimit = 300.0;
        startUp.ratioIsGoal = false;
        startUp.detail = "from the spawn to the panel painted in the main window (its window was mapped after "
                         + juce::String (demoStartMs, 1) + " ms); detection runs meanwhile, on its own thread";
        results.push_back (startUp);
    }

    //==============================================================================
    const char* const usageText =
        "Usage: tarnovelle_benchmark [options]\n"
        "  --runs N           repetitions of the in-process figures (default 5; the transfers\n"
        "                     run at most 4 and 2 times)\n"
        "  --idle-seconds S   length of the idle measurement (default 30)\n"
        "  --only PART        only this part: connect, save, editor, transfer or windows\n"
        "                     (repeatable)\n"
        "  --no-windows       every part but windows\n"
        "  --screenshot FILE  after the idle measurement, save the X screen as a picture\n"
        "The windows part starts the demo and a bare JUCE window from this program's folder\n"
        "and needs an X display: scripts/run-benchmark.sh runs everything under Xvfb.\n"
        "Exit status: 0 every figure measured, 1 something could not be measured, 2 bad\n"
        "arguments. A missed goal shows as NO in the table.\n";

    void announce (const char* what)
    {
        std::printf ("%s...\n", what);
        std::fflush (stdout);
    }

    int run (const juce::StringArray& args)
    {
        int runs = 5;
        int idleSeconds = 30;
        juce::StringArray parts{ "connect", "save", "editor", "transfer", "windows" };
        juce::StringArray only;
        juce::File screenshot;

        for (int i = 0; i < args.size(); ++i)
        {
            const auto& arg = args[i];
            const bool hasValue = i + 1 < args.size();

            if (arg == "--runs" && hasValue)
                runs = juce::jmax (1, args[++i].getIntValue());
            else if (arg == "--idle-seconds" && hasValue)
                idleSeconds = juce::jmax (1, args[++i].getIntValue());
            else if (arg == "--only" && hasValue && parts.contains (args[i + 1]))
                only.add (args[++i]);
            else if (arg == "--no-windows")
                parts.removeString ("windows");
            else if (arg == "--screenshot" && hasValue)
                screenshot = juce::File::getCurrentWorkingDirectory().getChildFile (args[++i]);
            else
            {
                std::fputs (usageText, arg == "--help" ? stdout : stderr);
                return arg == "--help" ? 0 : 2;
            }
        }

        if (! only.isEmpty())
            parts = only;

        if (parts.contains ("connect"))
        {
            announce ("connect and read");
            measureConnectAndRead (runs);
        }

        if (parts.contains ("save"))
        {
            announce ("save");
            measureSave (runs);
        }

        if (parts.contains ("editor"))
        {
            announce ("sequence editor's opening read");
            measureEditorRead (runs);
        }

        if (parts.contains ("transfer"))
        {
            announce ("firmware transfers");
            measureTransfers (juce::jmin (runs, 4));
        }

        if (parts.contains ("windows"))
        {
            std::printf ("demo and bare window (%d s idle)...\n", idleSeconds);
            std::fflush (stdout);
            const auto bin = juce::File::getSpecialLocation (juce::File::currentExecutableFile).getParentDirectory();
            measureWindows (bin, idleSeconds, screenshot);
        }

        printTable();
        return failures.empty() ? 0 : 1;
    }
} // namespace

} // namespace tarnovelle::benchmark

int main (int argc, char* argv[])
{
    juce::ScopedJuceInitialiser_GUI juce;
    juce::StringArray args;

    for (int i = 1; i < argc; ++i)
        args.add (argv[i]);

    return tarnovelle::benchmark::run (args);
}
