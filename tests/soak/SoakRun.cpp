#include "tests/soak/SoakRun.h"
#include "tests/support/Wait.h"

#include <atomic>
#include <condition_variable>
#include <cstdio>
#include <functional>
#include <malloc.h>
#include <mutex>
#include <thread>

namespace tarnovelle::soak
{

namespace
{
    /** Ends the process, with the seed and the actions so far, when the message thread has
        not come back from an action long after its time limit: a hang gives no other report.
    */
    class HangWatch final
    {
    public:
        HangWatch()
            : thread ([this] { watch(); })
        {}

        ~HangWatch()
        {
            {
                const std::lock_guard<std::mutex> lock (mutex);
                stopping = true;
            }

            stopped.notify_all();
            thread.join();
        }

        void begin (int limitMs, juce::String actionText)
        {
            {
                const std::lock_guard<std::mutex> lock (mutex);
                text = std::move (actionText);
            }

            deadline = juce::Time::getMillisecondCounterHiRes() + limitMs + graceMs;
            running = true;
        }

        void end() { running = false; }

        std::function<void()> printActions;

    private:
        static constexpr double graceMs = 15000.0;

        void watch()
        {
            // Looks at the deadline ten times a second; a stop ends the watch at once.
            std::unique_lock<std::mutex> lock (mutex);

            while (! stopped.wait_for (lock, std::chrono::milliseconds (100), [this] { return stopping.load(); }))
            {
                if (running && juce::Time::getMillisecondCounterHiRes() > deadline.load())
                {
                    std::fprintf (stderr, "SOAK FAILED: hang: no answer to %s\n", text.toRawUTF8());

                    if (printActions)
                        printActions();

                    std::fflush (stderr);
                    std::_Exit (2);
                }
            }
        }

        std::mutex mutex;
        std::condition_variable stopped;
        juce::String text;
        std::atomic<double> deadline{ 0.0 };
        std::atomic<bool> running{ false }, stopping{ false };
        std::thread thread;
    };

    /** The instrument as its owner left it: any sequences (126 and rests included), the
        shipped firmware so that the start does not offer an update.
    */
    void fillInstrument (EmulatedInstrument& instrument, std::uint64_t seed)
    {
        std::mt19937_64 random (seed * 31 + 7);
        instrument.setFirmwareVersion (EmulatedInstrument::shippedFirmwareVersion);

        for (int i = 0; i < numSequences; ++i)
        {
            if (random() % 3 == 0)
                continue; // keeps its factory content

            Steps steps ((size_t) (random() % (maxSequenceSteps + 1)));

            for (auto& step : steps)
                step = random() % 5 == 0 ? restStep : (uint8) (1 + random() % 126);

            instrument.setSequence (i, steps);
        }
    }
} // namespace

double residentMiB()
{
    // The allocator keeps freed memory for later in each thread's arena and hands it back to
    // the system only now and then. Handed back first, the figure counts what the process
    // holds, not what the allocator keeps in reserve.
    malloc_trim (0);

    // Left out: the images the windows share with the X server. They come and go with the
    // windows open and with the largest area each repainted in the last seconds, so two
    // samples may differ by a window's picture (megabytes for the editor) with nothing kept.
    double residentKiB = 0.0, sharedKiB = 0.0;
    const auto valueOf = [] (const juce::String& line) {
        return line.fromFirstOccurrenceOf (":", false, false).trim().getDoubleValue();
    };

    for (auto& line : juce::StringArray::fromLines (juce::File ("/proc/self/status").loadFileAsString()))
    {
        if (line.startsWith ("VmRSS:"))
            residentKiB = valueOf (line);
        else if (line.startsWith ("RssShmem:"))
            sharedKiB = valueOf (line);
    }

    return (residentKiB - sharedKiB) / 1024.0;
}

SoakResult runSoak (const SoakOptions& options, const std::vector<int>& indices, int warmUpActions, int sampleInterval)
{
    SoakResult result;
    const auto started = juce::Time::getMillisecondCounterHiRes();
    const auto scratch = juce::File::getSpecialLocation (juce::File::tempDirectory)
                             .getNonexistentChildFile ("tarnovelle-soak-files", "");
    scratch.createDirectory();

    // The actions begun so far are told again from the seed: a list of their texts would grow
    // with the run and weigh in its measure of memory.
    std::atomic<size_t> begun{ 0 };
    HangWatch hangWatch;
    hangWatch.printActions = [&] {
        std::fprintf (stderr, "seed %llu, actions so far:\n", (unsigned long long) options.seed);

        for (size_t position = 0; position < begun.load(); ++position)
            std::fprintf (stderr, "  #%d %s\n", indices[position],
                          SoakAction::draw (options.seed, indices[position]).describe().toRawUTF8());
    };

    {
        SoakApplication app;
        fillInstrument (app.rig.instrument, options.seed);
        SoakOracle oracle (app.rig.instrument);
        SoakDriver driver (app, scratch, options.seed);
        app.controller->startUp();
        test::deliverQueuedMessages (3);

        for (size_t position = 0; position < indices.size(); ++position)
        {
            const int index = indices[position];
            const auto action = SoakAction::draw (options.seed, index);
            const auto text = "#" + juce::String (index) + " " + action.describe();
            const int limitMs = (int) (action.timeLimitMs (driver.getFaults().latencyMs) * options.timeScale);

            begun = position + 1;

            if (options.verbose)
                std::printf ("%s\n", text.toRawUTF8());

            ActionRecord record;
            const auto actionStart = juce::Time::getMillisecondCounterHiRes();
            hangWatch.begin (limitMs, text);
            driver.perform (action, index, record);
            hangWatch.end();
            const auto took = juce::Time::getMillisecondCounterHiRes() - actionStart;

            if (options.verbose)
            {
                juce::String lengths;

                for (auto& sequence : app.model().getSequences())
                    lengths << sequence.length << " ";

                std::printf ("   connected %d, editor %s, lengths %s\n", (int) app.controller->isConnected(),
                             app.isEditorShowing() ? "showing" : "hidden", lengths.toRawUTF8());
            }

            auto findings = oracle.afterAction (record, app.model(), app.isEditorShowing(),
                                                app.controller->isConnected(), app.rig.instrument);

            if (took > limitMs)
                findings.push_back ({ "slow-answer", "the program took " + juce::String ((int) took)
                                                         + " ms to answer (limit " + juce::String (limitMs) + " ms)" });

            bool toleratedAny = false;

            for (auto& finding : findings)
            {
                if (options.tolerated.count (finding.check) != 0)
                {
                    if (result.toleratedCounts[finding.check]++ == 0)
                        result.firstTolerated[finding.check] = index;

                    toleratedAny = true;
                    continue;
                }

                result.findings.push_back (finding);
            }

            if (toleratedAny)
                oracle.acceptCurrentState (app.model(), app.rig.instrument);

            result.actionsRun = (int) position + 1;

            if (! result.findings.empty())
            {
                result.failed = true;
                result.failedPosition = (int) position;
                break;
            }

            if ((int) position + 1 == warmUpActions
                || ((int) position + 1 > warmUpActions && ((int) position + 1 - warmUpActions) % sampleInterval == 0))
            {
                result.residentMiB.push_back (residentMiB());

                // A long run says how far it has come.
                if (((int) position + 1) % 10000 == 0)
                {
                    std::printf ("soak: %d actions, %.1f MiB resident\n", (int) position + 1,
                                 result.residentMiB.back());
                    std::fflush (stdout);
                }
            }
        }

        // Whatever is left open goes with the application, as at a quit.
        app.rig.instrument.clearFaults();
        app.rig.instrument.setUnplugged (false);
    }

    test::deliverQueuedMessages (3);
    scratch.deleteRecursively();
    result.seconds = (juce::Time::getMillisecondCounterHiRes() - started) / 1000.0;
    return result;
}

} // namespace tarnovelle::soak
