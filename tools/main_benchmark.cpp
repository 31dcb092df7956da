// tarnovelle_benchmark: drives the real connection, sequence and firmware code against the
// emulated instrument, and the built demo application and a bare JUCE window as processes
// under an X server, and prints each figure beside its floor.
//
// Not a test: the figures depend on the machine and on whatever else runs on it.

#include "benchmark/Figures.h"
#include "benchmark/Harness.h"

#include <juce_events/juce_events.h>

#include <cstdio>

namespace tarnovelle::benchmark
{

namespace
{
    const char* const usageText =
        "Usage: tarnovelle_benchmark [options]\n"
        "  --runs N           repetitions of the in-process figures (default 5; the transfers\n"
        "                     run at most 4 and 2 times)\n"
        "  --idle-seconds S   length of the idle measurement (default 30)\n"
        "  --only PART        only this part: connect, save, editor, link, history, playback,\n"
        "                     transfer, ports or windows (repeatable)\n"
        "  --play-seconds S   length of each of the two playback measurements (default 300)\n"
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
        int playSeconds = 300;
        juce::StringArray parts{ "connect",  "save",     "editor", "link",   "history",
                                 "playback", "transfer", "ports",  "windows" };
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
            else if (arg == "--play-seconds" && hasValue)
                playSeconds = juce::jmax (20, args[++i].getIntValue());
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

        if (parts.contains ("link"))
        {
            announce ("link send");
            measureLinkSend (runs);
        }

        if (parts.contains ("history"))
        {
            announce ("history (100000 snapshots)");
            measureHistory (100000);
        }

        if (parts.contains ("playback"))
        {
            std::printf ("sequence playback (2 x %d s)...\n", playSeconds);
            std::fflush (stdout);
            measurePlayback (playSeconds);
        }

        if (parts.contains ("transfer"))
        {
            announce ("firmware transfers");
            measureTransfers (juce::jmin (runs, 4));
        }

        if (parts.contains ("ports"))
        {
            announce ("instrument plugged in and pulled");
            measurePortWatch (juce::jmax (runs, 10), juce::jmin (idleSeconds, 10));
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
