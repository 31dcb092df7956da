#include "Harness.h"

#include <algorithm>
#include <cstdio>
#include <fstream>
#include <sstream>

#include <sys/resource.h>
#include <unistd.h>

namespace tarnovelle::benchmark
{

namespace
{
    /** The threads that stand for the instrument and the computer's MIDI system, or that measure. */
    bool isStandIn (const std::string& name)
    {
        return name.rfind ("instrument", 0) == 0 || name.rfind ("MIDI delivery", 0) == 0
               || name.rfind ("thread sampler", 0) == 0;
    }
} // namespace

std::vector<Figure> results;
std::vector<juce::String> failures;

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

juce::String percent (double share) { return juce::String (100.0 * share, 1) + "%"; }

void printTable()
{
    std::printf ("\n%-44s %14s %24s %7s  %-28s %s\n", "figure", "measured", "floor", "ratio", "goal", "met");
    std::printf ("%s\n", juce::String::repeatedString ("-", 128).toRawUTF8());

    for (auto& f : results)
    {
        const auto measured = juce::String (f.measured, f.measured < 10.0 ? 3 : 1) + " " + f.unit;
        const auto floor = juce::String (f.floor, f.floor < 10.0 ? 3 : 1) + " " + f.floorMeaning;
        std::printf ("%-44s %14s %24s %7.3f  %-28s %s\n", f.name.toRawUTF8(), measured.toRawUTF8(), floor.toRawUTF8(),
                     f.ratio(), f.goalText().toRawUTF8(), f.informational ? "-" : (f.met() ? "yes" : "NO"));

        if (f.detail.isNotEmpty())
            std::printf ("    %s\n", f.detail.toRawUTF8());
    }

    for (auto& failure : failures)
        std::printf ("not measured: %s\n", failure.toRawUTF8());

    std::printf ("\n");
}

//==============================================================================
std::string readWholeFile (const std::string& path)
{
    std::ifstream in (path);
    std::stringstream text;
    text << in.rdbuf();
    return text.str();
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

} // namespace tarnovelle::benchmark
