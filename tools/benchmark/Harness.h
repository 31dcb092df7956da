#pragma once

// What every figure of the benchmark shares: the clock, the statistics of repeated runs, the
// table the figures end up in, and the processor time of this process and its threads.

#include <juce_core/juce_core.h>

#include <chrono>
#include <map>
#include <mutex>
#include <optional>
#include <string>
#include <vector>

namespace tarnovelle::benchmark
{

using Clock = std::chrono::steady_clock;

double millisecondsSince (Clock::time_point start);

/** The median of the values, 0 for none. */
double median (std::vector<double> values);

/** The value with that many decimals. */
juce::String number (double value, int decimals);

/** "(n runs, lowest to highest)". */
juce::String spread (const std::vector<double>& values, int decimals);

juce::String percent (double share);

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

/** The figures measured so far, and what could not be measured. */
extern std::vector<Figure> results;
extern std::vector<juce::String> failures;

/** Prints every figure beside its floor, and every failure. */
void printTable();

//==============================================================================
/** Processor time of this process, in seconds, every thread counted. */
double processCpuSeconds();

/** The whole content of a (small) file, empty when it cannot be read. */
std::string readWholeFile (const std::string& path);

/** The system's ids of this process's threads. */
std::vector<juce::String> threadIds();

/** Names the threads started since `before`; a JUCE thread whose name is longer than the
    system allows keeps the process's name, which would make the table useless.
*/
void nameNewThreads (const std::vector<juce::String>& before, const juce::String& name);

/** Seconds on a processor of every thread of this process still alive, by thread name. */
std::map<std::string, double> threadCpuSeconds();

/** "name 12%, name 3%" for the threads that used a noticeable share of the interval, and
    the share of the application's own threads: the whole process but the stand-ins, so
    that threads which ended before the last sample still count.
*/
juce::String threadShares (const std::map<std::string, double>& before, const std::map<std::string, double>& after,
                           double wallSeconds, double processSeconds);

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

} // namespace tarnovelle::benchmark
