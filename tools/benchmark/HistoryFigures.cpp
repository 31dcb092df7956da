// The instrument's history: taking a snapshot, the History window over 100,000 snapshots
// (opening, scrolling far down, finding by text), comparing two snapshots, and the space a
// distinct snapshot takes in the library file.

#include "Figures.h"
#include "Harness.h"

#include "emulator/InstrumentRig.h"
#include "library/GUIHistoryWindow.h"

namespace tarnovelle::benchmark
{

void measureLibrarySize (const juce::File& file);

namespace
{
    /** A snapshot unlike every other seed's: full sequences whose steps follow the seed. */
    Snapshot makeSnapshot (juce::Random& random, int seed)
    {
        Snapshot snapshot;

        for (int index = 0; index < numSequences; ++index)
            for (int step = 0; step < 16 + 16 * (index % 4); ++step)
                snapshot.sequences[(size_t) index][(size_t) step] = (uint8) (1 + random.nextInt (125));

        // The seed in the first steps keeps every content distinct.
        snapshot.sequences[0][0] = (uint8) (1 + seed % 125);
        snapshot.sequences[0][1] = (uint8) (1 + (seed / 125) % 125);
        snapshot.sequences[0][2] = (uint8) (1 + (seed / 15625) % 125);

        for (auto& setting : snapshot.settings)
            setting = (uint8) random.nextInt (3);

        snapshot.firmware = Snapshot::FirmwareVersion{ 1, 0, 3, 2 };
        snapshot.time = juce::Time::currentTimeMillis();
        snapshot.cause = seed % 3 == 0 ? "Read at connection" : "Restored from snapshot " + juce::String (seed);
        return snapshot;
    }

    void addFigure (const juce::String& name, double measured, const juce::String& unit, double limit,
                    const juce::String& detail)
    {
        Figure f;
        f.name = name;
        f.measured = measured;
        f.unit = unit;
        f.floor = limit;
        f.floorMeaning = unit + " (the goal)";
        f.ratioIsGoal = false;
        f.absoluteLimit = limit;
        f.detail = detail;
        results.push_back (f);
    }

    double percentile (std::vector<double> values, double share)
    {
        std::sort (values.begin(), values.end());
        return values.empty() ? 0.0 : values[(size_t) ((double) (values.size() - 1) * share)];
    }

    /** Runs the message loop until nothing is pending, so that the window has been painted. */
    void paintNow (juce::Component& component) { component.createComponentSnapshot (component.getLocalBounds()); }
    void measureWindow (InstrumentHistory& history, int snapshots)
    {
        auto& store = history.getStore();
        SequenceEditorModel model;
        auto start = Clock::now();
        auto window = std::make_unique<GUIHistoryWindow> (history, model);
        window->setVisible (true);
        paintNow (window->getHistory());
        addFigure ("History window opening", millisecondsSince (start), "ms", 300.0,
                   juce::String (store.count()) + " snapshots, painted");

        auto& list = window->getHistory().getList();
        start = Clock::now();
        list.getListBox().scrollToEnsureRowIsOnscreen (snapshots / 2);
        paintNow (window->getHistory());
        addFigure ("History window scrolling half way", millisecondsSince (start), "ms", 300.0,
                   juce::String (list.getNumPagesRead()) + " pages of " + juce::String (GUIHistoryList::pageSize)
                       + " read, not the whole list");

        start = Clock::now();
        window->getHistory().getFindField().setText ("restored from snapshot " + juce::String (snapshots - 7), true);
        paintNow (window->getHistory());
        addFigure ("History window finding by text", millisecondsSince (start), "ms", 100.0,
                   juce::String (list.getNumSnapshots()) + " found among " + juce::String (snapshots));
        window.reset();
    }
} // namespace

void measureHistory (int snapshots)
{
    InstrumentRig rig;
    const auto folder = juce::File::createTempFile ("history-benchmark");
    folder.createDirectory();
    const auto file = folder.getChildFile ("library.sqlite");
    juce::Random random (20);

    {
        InstrumentHistory history (file);
        auto& store = history.getStore();

        if (! store.isWritable())
        {
            failures.push_back ("history: the library could not be opened");
            return;
        }

        std::vector<double> takes;

        for (int seed = 0; seed < snapshots; ++seed)
        {
            const auto snapshot = makeSnapshot (random, seed);
            const auto start = Clock::now();

            if (store.add (snapshot) == 0)
            {
                failures.push_back ("history: a snapshot could not be stored: " + store.getLastError());
                return;
            }

            takes.push_back (millisecondsSince (start));
        }

        addFigure ("taking a snapshot (median)", median (takes), "ms", 2.0,
                   juce::String (snapshots) + " distinct snapshots into one library");
        addFigure ("taking a snapshot (99th percentile)", percentile (takes, 0.99), "ms", 10.0,
                   "highest " + number (percentile (takes, 1.0), 1) + " ms");

        // Comparing two snapshots: both read from the library, compared and described.
        std::vector<double> comparisons;

        for (int run = 0; run < 50; ++run)
        {
            const auto start = Clock::now();
            const auto a = store.get (1 + random.nextInt (snapshots));
            const auto b = store.get (1 + random.nextInt (snapshots));
            const auto lines = SnapshotComparison::compare (*a, *b).describe();
            comparisons.push_back (millisecondsSince (start));
            jassert (! lines.isEmpty());
        }

        addFigure ("comparing two snapshots", median (comparisons), "ms", 10.0,
                   "median " + spread (comparisons, 2) + ", read from the library and described");

        if (juce::SystemStats::getEnvironmentVariable ("DISPLAY", {}).isEmpty())
            failures.push_back ("history: the window figures need an X display");
        else
        {
            ignoreXErrorsOfWindowsWithoutManager();
            measureWindow (history, snapshots);
        }
    }

    measureLibrarySize (file);
    folder.deleteRecursively();
}

void measureLibrarySize (const juce::File& file)
{
    SnapshotStore store;
    store.open (file);
    const int states = store.countStates();
    store.close(); // checkpoints the log into the file
    const auto bytes = (double) file.getSize();
    Figure f;
    f.name = "library size per distinct snapshot";
    f.measured = bytes / juce::jmax (1, states);
    f.unit = "bytes";
    f.floor = 1024.0;
    f.floorMeaning = "bytes (1 KiB, the goal)";
    f.ratioIsGoal = false;
    f.absoluteLimit = 1024.0;
    f.detail = juce::String (states) + " states in " + number (bytes / 1048576.0, 1) + " MiB";
    results.push_back (f);
}

} // namespace tarnovelle::benchmark
