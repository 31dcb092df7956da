// The randomized soak of the whole program: the application in this process against the
// emulated instrument, driven by random user actions and instrument faults drawn from a seed,
// checked by an oracle after every action.
//
//   tarnovelle_soak [--seed N] [--actions K] [--only i,j,...] [--tolerate check,...]
//                   [--shrink-seconds S] [--verbose]
//
// A failure prints the seed, the actions that led to it (replayable with --seed and --actions)
// and the shortest list of them found to fail the same way (replayable with --seed and --only).

#include "tests/soak/SoakRun.h"

#include <cstdio>
#include <cstdlib>
#include <dlfcn.h>
#include <unistd.h>

#if defined(__SANITIZE_ADDRESS__)
static constexpr bool builtWithAddressSanitizer = true;
#elif defined(__has_feature)
#if __has_feature(address_sanitizer)
static constexpr bool builtWithAddressSanitizer = true;
#else
static constexpr bool builtWithAddressSanitizer = false;
#endif
#else
static constexpr bool builtWithAddressSanitizer = false;
#endif
namespace
{
using namespace tarnovelle::soak;

/** In a build with JUCE's assertions, a failed assertion, or an object JUCE's leak detector
    finds undeleted at the end, ends the soak with a failure.
*/
class AssertionsFailTheSoak final : public juce::Logger
{
    void logMessage (const juce::String& message) override
    {
        std::fprintf (stderr, "%s\n", message.toRawUTF8());

        if (message.startsWith ("JUCE Assertion failure"))
        {
            std::fprintf (stderr, "SOAK FAILED: a JUCE assertion (seed and actions: rerun with --verbose)\n");
            std::fflush (stderr);
            std::_Exit (3);
        }
    }
};

struct Arguments
{
    SoakOptions options;
    int actions = 2000;
    std::vector<int> only;
    double shrinkSeconds = 120.0;
};

std::vector<int> parseIndices (const juce::String& text)
{
    std::vector<int> indices;

    for (auto& part : juce::StringArray::fromTokens (text, ",", ""))
        indices.push_back (part.getIntValue());

    return indices;
}

bool parse (int argc, char** argv, Arguments& arguments)
{
    arguments.options.seed = (std::uint64_t) juce::Time::currentTimeMillis() % 1000000;

    for (int i = 1; i < argc; ++i)
    {
        const juce::String option (argv[i]);
        const juce::String value (i + 1 < argc ? argv[i + 1] : "");

        if (option == "--verbose")
        {
            arguments.options.verbose = true;
            continue;
        }

        if (value.isEmpty())
            return false;

        ++i;

        if (option == "--seed")
            arguments.options.seed = (std::uint64_t) value.getLargeIntValue();
        else if (option == "--actions")
            arguments.actions = value.getIntValue();
        else if (option == "--only")
            arguments.only = parseIndices (value);
        else if (option == "--tolerate")
            for (auto& check : juce::StringArray::fromTokens (value, ",", ""))
                arguments.options.tolerated.insert (check);
        else if (option == "--shrink-seconds")
            arguments.shrinkSeconds = value.getDoubleValue();
        else
            return false;
    }

    return true;
}

/** The soak's own folders for everything the program keeps of the user's: nothing it does
    touches the real ones.
*/
juce::File isolateUserFolders()
{
    const auto home = juce::File::getSpecialLocation (juce::File::tempDirectory)
                          .getNonexistentChildFile ("tarnovelle-soak-home-" + juce::String ((int) getpid()), "");
    home.createDirectory();

    for (auto* variable :
         { "HOME", "XDG_CONFIG_HOME", "XDG_DATA_HOME", "XDG_STATE_HOME", "XDG_CACHE_HOME", "XDG_RUNTIME_DIR" })
        setenv (variable, home.getFullPathName().toRawUTF8(), 1);

    return home;
}

void printActions (std::uint64_t seed, const std::vector<int>& indices)
{
    for (auto index : indices)
        std::fprintf (stderr, "  #%d %s\n", index, SoakAction::draw (seed, index).describe().toRawUTF8());
}

juce::String joined (const std::vector<int>& indices)
{
    juce::StringArray parts;

    for (auto index : indices)
        parts.add (juce::String (index));

    return parts.joinIntoString (",");
}

/** Takes away actions, in ever smaller chunks, as long as the rest still fails the same check. */
std::vector<int> shrink (const SoakOptions& options, std::vector<int> failing, const juce::String& check,
                         double seconds)
{
    const auto end = juce::Time::getMillisecondCounterHiRes() + seconds * 1000.0;
    auto quiet = options;
    quiet.verbose = false;

    for (size_t chunk = failing.size() / 2; chunk >= 1; chunk /= 2)
    {
        for (size_t start = 0; start + chunk <= failing.size() && failing.size() > 1;)
        {
            if (juce::Time::getMillisecondCounterHiRes() > end)
                return failing;

            auto candidate = failing;
            candidate.erase (candidate.begin() + (long) start, candidate.begin() + (long) (start + chunk));
            const auto result = runSoak (quiet, candidate, (int) candidate.size() + 1, 1);

            if (result.failed && result.findings.front().check == check)
                failing.assign (candidate.begin(), candidate.begin() + result.failedPosition + 1);
            else
                start += chunk;
        }
    }

    return failing;
}

int report (const Arguments& arguments, const std::vector<int>& indices, const SoakResult& result)
{
    const auto seed = (unsigned long long) arguments.options.seed;
    std::printf ("soak: seed %llu, %d actions in %.1f s\n", seed, result.actionsRun, result.seconds);

    for (auto& [check, count] : result.toleratedCounts)
        std::printf ("soak: tolerated %s: %d times, first at action #%d\n", check.toRawUTF8(), count,
                     result.firstTolerated.at (check));

    if (result.residentMiB.size() >= 2)
    {
        // Growth over any 10,000 actions (or the whole run when it is shorter).
        const auto& rss = result.residentMiB;
        const size_t window = juce::jmin (rss.size() - 1, (size_t) 10);
        double worst = 0.0;

        for (size_t i = 0; i + window < rss.size(); ++i)
            worst = juce::jmax (worst, rss[i + window] - rss[i]);

        std::printf ("soak: resident memory %.1f MiB after the warm-up, %.1f MiB at the end, growth at most %.2f MiB "
                     "over %d actions\n",
                     rss.front(), rss.back(), worst, (int) window * 1000);

        // AddressSanitizer keeps freed memory in quarantine on purpose, so resident memory only
        // says something about leaks in a build without it (LeakSanitizer checks that one).
        if (worst > 5.0 && ! builtWithAddressSanitizer)
        {
            std::fprintf (stderr, "SOAK FAILED: resident memory grew by %.2f MiB (limit 5 MiB), seed %llu\n", worst,
                          seed);

            // Every sample, so that the actions where memory rose can be found and replayed.
            std::fprintf (stderr, "resident memory (MiB) every 1000 actions from the warm-up on:");

            for (auto sample : rss)
                std::fprintf (stderr, " %.1f", sample);

            std::fprintf (stderr, "\n");
            return 1;
        }
    }

    if (! result.failed)
    {
        std::printf ("soak: clean\n");
        return 0;
    }

    const std::vector<int> ran (indices.begin(), indices.begin() + result.failedPosition + 1);
    std::fprintf (stderr, "SOAK FAILED at action #%d, seed %llu\n", ran.back(), seed);

    for (auto& finding : result.findings)
        std::fprintf (stderr, "  %s: %s\n", finding.check.toRawUTF8(), finding.detail.toRawUTF8());

    std::fprintf (stderr, "replay: tarnovelle_soak --seed %llu %s\nthe actions:\n", seed,
                  arguments.only.empty() ? ("--actions " + juce::String (ran.back() + 1)).toRawUTF8()
                                         : ("--only " + joined (ran)).toRawUTF8());
    printActions (arguments.options.seed, ran);

    if (arguments.shrinkSeconds > 0.0 && ran.size() > 1)
    {
        const auto shortest = shrink (arguments.options, ran, result.findings.front().check, arguments.shrinkSeconds);
        std::fprintf (
            stderr,
            "the shortest list found to fail the same way (%d actions): tarnovelle_soak --seed %llu --only %s\n",
            (int) shortest.size(), seed, joined (shortest).toRawUTF8());
        printActions (arguments.options.seed, shortest);
    }

    return 1;
}
} // namespace

int main (int argc, char** argv)
{
    Arguments arguments;

    if (! parse (argc, argv, arguments))
    {
        std::fprintf (stderr, "usage: tarnovelle_soak [--seed N] [--actions K] [--only i,j,...] [--tolerate check,...] "
                              "[--shrink-seconds S] [--verbose]\n");
        return 64;
    }

    // The sanitized build runs slower; its tests are given longer by the same factor.
    if (auto* scale = std::getenv ("TARNOVELLE_E2E_TIME_SCALE"))
        arguments.options.timeScale = juce::jmax (1.0, juce::String (scale).getDoubleValue());

    const auto home = isolateUserFolders();

    // Never deleted: the leak detector reports while the process's static objects are destroyed.
    juce::Logger::setCurrentLogger (new AssertionsFailTheSoak());

    int status = 0;

    {
        juce::ScopedJuceInitialiser_GUI juce;

        // Without a window manager some of the atoms a window is given do not exist on the
        // server, and outside a JUCE application nothing replaces Xlib's handler, which ends the
        // process on the first such error.
        using Handler = int (*) (void*, void*);
        if (auto* x11 = dlopen ("libX11.so.6", RTLD_NOW))
            if (auto setHandler = reinterpret_cast<Handler (*) (Handler)> (dlsym (x11, "XSetErrorHandler")))
                setHandler ([] (void*, void*) { return 0; });
        std::vector<int> indices = arguments.only;

        if (indices.empty())
            for (int i = 0; i < arguments.actions; ++i)
                indices.push_back (i);

        const int warmUp = juce::jmin (1000, (int) indices.size() / 5);
        std::printf ("soak: seed %llu, %d actions\n", (unsigned long long) arguments.options.seed,
                     (int) indices.size());
        std::fflush (stdout);
        status = report (arguments, indices, runSoak (arguments.options, indices, warmUp, 1000));
    }

    home.deleteRecursively();
    return status;
}
