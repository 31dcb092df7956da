// The instrument's history: the SQLite store and its failures, the comparison, and which
// action of the hub keeps which snapshot, against the emulated instrument.

#include "library/InstrumentHistory.h"
#include "library/SnapshotComparison.h"
#include "sequences/SequenceTransfer.h"
#include "tests/support/ApplicationRig.h"
#include "tests/support/ScratchFolder.h"

#include <gtest/gtest.h>
#include <signal.h>
#include <sqlite3.h>
#include <sys/wait.h>
#include <unistd.h>

using namespace tarnovelle;
using namespace tarnovelle::test;

namespace
{
using Kind = ScriptedDialogs::Kind;

Snapshot makeSnapshot (int seed, const juce::String& cause)
{
    Snapshot snapshot;

    for (int index = 0; index < numSequences; ++index)
        for (int step = 0; step < 16 + index * 6; ++step)
            snapshot.sequences[(size_t) index][(size_t) step] = (uint8) (1 + (seed + index + step) % 100);

    snapshot.settings[(size_t) DeviceSetting::BEND] = (uint8) (1 + seed % 12);
    snapshot.firmware = Snapshot::FirmwareVersion{ 1, 0, 3, 2 };
    snapshot.time = 1700000000000 + seed;
    snapshot.cause = cause;
    return snapshot;
}

} // namespace

//==============================================================================
TEST (SnapshotStore, KeepsEqualContentsOnceAndPagesFiltersRenamesStarsAndDeletes)
{
    ScratchFolder scratch ("history");
    SnapshotStore store;
    ASSERT_EQ (store.open (scratch.folder.getChildFile ("a/library.sqlite")).access, SnapshotStore::Access::writable);

    const auto first = store.add (makeSnapshot (1, "Read at connection"));
    const auto same = store.add (makeSnapshot (1, "Before RESET ALL SEQUENCES"));
    const auto other = store.add (makeSnapshot (2, "After RESET ALL SEQUENCES"));
    ASSERT_TRUE (first > 0 && same > first && other > same);
    EXPECT_EQ (store.countStates(), 2);

    // Everything comes back as it went in, the unknown settings unknown.
    const auto read = store.get (other);
    ASSERT_TRUE (read.has_value());
    EXPECT_TRUE (read->hasSameContent (makeSnapshot (2, {})));
    EXPECT_EQ (read->time, makeSnapshot (2, {}).time);
    EXPECT_FALSE (read->settings[(size_t) DeviceSetting::MIN].has_value());

    // Newest first, a page at a time; text and star filter.
    EXPECT_EQ (store.getPage ({}, 1, 1).at (0).id, same);
    EXPECT_TRUE (store.rename (first, "Groove for Saturday"));
    EXPECT_TRUE (store.setStarred (same, true));
    EXPECT_EQ (store.count ({ false, "saturday" }), 1);
    EXPECT_EQ (store.count ({ false, "reset all" }), 2);
    EXPECT_EQ (store.getPage ({ true, {} }, 0, 10).at (0).id, same);
    EXPECT_EQ (store.count ({ true, "after" }), 0);

    // Where snapshots are in a filtered list, asked for one by one or in a long selection.
    const std::map<juce::int64, int> positions{ { other, 0 }, { same, 1 } };
    EXPECT_EQ (store.getPositions ({ false, "reset all" }, { first, same, other }), positions);
    EXPECT_EQ (store.getPositions ({ false, "reset all" }, { 99, first, same, other, 98, 97, 96, 95, 94 }), positions);

    // A state goes with its last snapshot only.
    EXPECT_TRUE (store.remove (same));
    EXPECT_EQ (store.countStates(), 2);
    EXPECT_TRUE (store.remove (first));
    EXPECT_EQ (store.countStates(), 1);
    EXPECT_EQ (store.count(), 1);
}

TEST (SnapshotStore, DamagedFileIsMovedAsideNewerSchemaOpensReadOnlyOlderIsMigrated)
{
    ScratchFolder scratch ("history");
    const auto file = scratch.folder.getChildFile ("library.sqlite");
    SnapshotStore store;

    // Damaged: set aside whole, with the message naming where; a new file works.
    file.replaceWithText ("this is not what a database looks like, whatever its name says");
    auto opened = store.open (file);
    EXPECT_EQ (opened.access, SnapshotStore::Access::writable);
    EXPECT_EQ (opened.movedAside.loadFileAsString(), "this is not what a database looks like, whatever its name says");
    EXPECT_TRUE (opened.problem.contains (opened.movedAside.getFullPathName()));
    EXPECT_GT (store.add (makeSnapshot (1, "after the damage")), 0);
    store.close();

    // Damaged while its last snapshot is in the log, as a crash leaves it: the log goes with
    // the copy, as it was, under the name SQLite looks for.
    const auto live = scratch.folder.getChildFile ("live/library.sqlite");
    const auto crashed = scratch.folder.getChildFile ("crashed/library.sqlite");
    {
        SnapshotStore writer;
        writer.open (live);
        writer.add (makeSnapshot (1, "in the file")); // opening again closes, copying the log in
        writer.open (live);
        writer.add (makeSnapshot (2, "in the log"));
        crashed.getParentDirectory().createDirectory();

        for (auto* suffix : { "", "-wal", "-shm" })
            live.getSiblingFile (live.getFileName() + suffix)
                .copyFileTo (crashed.getSiblingFile ("library.sqlite" + juce::String (suffix)));
    }
    {
        juce::FileOutputStream damage (crashed);
        damage.setPosition (100); // the first page's tree header: the schema cannot be read
        damage.write ("\xff\xff\xff\xff\xff\xff\xff\xff", 8);
    }
    juce::MemoryBlock log, logAside;
    crashed.getSiblingFile ("library.sqlite-wal").loadFileAsData (log);
    opened = store.open (crashed);
    EXPECT_EQ (opened.movedAside.getFileName(), "library.sqlite.damaged");
    crashed.getSiblingFile ("library.sqlite.damaged-wal").loadFileAsData (logAside);
    EXPECT_TRUE (log.getSize() > 0 && logAside == log);

    // A move that fails (a name with no room for ".damaged") starts nothing over the file.
    const auto longName = scratch.folder.getChildFile (juce::String::repeatedString ("l", 248));
    juce::FileOutputStream (longName).writeText ("damaged", false, false, nullptr);
    opened = store.open (longName);
    EXPECT_EQ (opened.access, SnapshotStore::Access::unavailable);
    EXPECT_TRUE (opened.problem.startsWith ("it is damaged, and moving it aside to ")) << opened.problem;
    EXPECT_EQ (longName.loadFileAsString(), "damaged");

    // An older schema, as the first version wrote it, keeps its snapshots and gains names.
    sqlite3* db = nullptr;
    ASSERT_EQ (sqlite3_open (file.getFullPathName().toRawUTF8(), &db), SQLITE_OK);
    ASSERT_EQ (sqlite3_exec (db,
                             "ALTER TABLE snapshots DROP COLUMN name; DROP INDEX snapshots_starred;"
                             "ALTER TABLE snapshots DROP COLUMN starred; PRAGMA user_version = 1",
                             nullptr, nullptr, nullptr),
               SQLITE_OK);
    sqlite3_close (db);

    opened = store.open (file);
    ASSERT_EQ (opened.access, SnapshotStore::Access::writable);
    EXPECT_TRUE (opened.problem.isEmpty());
    const auto kept = store.getPage ({}, 0, 1000);
    ASSERT_EQ (kept.size(), 1u);
    EXPECT_EQ (kept[0].cause, "after the damage");
    EXPECT_TRUE (store.setStarred (kept[0].id, true));
    store.close();

    // A newer one: read, never written, and the file stays as it was.
    ASSERT_EQ (sqlite3_open (file.getFullPathName().toRawUTF8(), &db), SQLITE_OK);
    sqlite3_exec (db, "PRAGMA wal_checkpoint (TRUNCATE); PRAGMA user_version = 99", nullptr, nullptr, nullptr);
    sqlite3_close (db);
    const auto before = file.getLastModificationTime();

    opened = store.open (file);
    EXPECT_EQ (opened.access, SnapshotStore::Access::readOnly);
    EXPECT_TRUE (opened.problem.contains ("newer version"));
    EXPECT_EQ (store.count ({ true, {} }), 1);
    EXPECT_EQ (store.add (makeSnapshot (3, "refused")), 0);
    EXPECT_FALSE (store.rename (1, "refused"));
    store.close();
    EXPECT_EQ (file.getLastModificationTime(), before);
}

TEST (SnapshotStore, KillDuringABurstLosesNoSnapshotReportedAsTaken)
{
    ScratchFolder scratch ("history");
    const auto file = scratch.folder.getChildFile ("library.sqlite");
    juce::Random random (4242);
    std::vector<juce::int64> reported;

    for (int round = 0; round < 6; ++round)
    {
        int pipeEnds[2];
        ASSERT_EQ (pipe (pipeEnds), 0);
        const pid_t child = fork();
        ASSERT_GE (child, 0);

        if (child == 0)
        {
            // Adds snapshots as fast as it can, reporting each id once add() has returned.
            close (pipeEnds[0]);
            SnapshotStore store;
            store.open (file);

            for (int seed = round * 100000;; ++seed)
            {
                const auto id = store.add (makeSnapshot (seed, "burst"));

                if (id == 0 || write (pipeEnds[1], &id, sizeof (id)) != (ssize_t) sizeof (id))
                    _exit (1);
            }
        }

        close (pipeEnds[1]);
        const int wanted = 1 + random.nextInt (300);

        for (int n = 0; n < wanted; ++n)
        {
            juce::int64 id = 0;
            ASSERT_EQ (read (pipeEnds[0], &id, sizeof (id)), (ssize_t) sizeof (id));
            reported.push_back (id);
        }

        kill (child, SIGKILL);
        juce::int64 id = 0;

        while (read (pipeEnds[0], &id, sizeof (id)) == (ssize_t) sizeof (id))
            reported.push_back (id);

        close (pipeEnds[0]);
        waitpid (child, nullptr, 0);
    }

    SnapshotStore store;
    const auto opened = store.open (file);
    ASSERT_EQ (opened.access, SnapshotStore::Access::writable);
    EXPECT_TRUE (opened.problem.isEmpty());

    for (auto id : reported)
        ASSERT_TRUE (store.get (id).has_value()) << "snapshot " << id << " was reported and is gone";
}

TEST (SnapshotComparison, MarksStepsLengthsAndSettingsThatDiffer)
{
    auto a = makeSnapshot (0, "a");
    auto b = a;
    b.sequences[2][4] = restStep;                  // one step
    b.sequences[5].fill (0);                       // all 46 steps gone
    b.setSequence (7, a.sequences[7].data());      // the same
    b.sequences[0][16] = 60;                       // one step longer
    b.settings[(size_t) DeviceSetting::BEND] = 12; // known on both sides, differs
    b.settings[(size_t) DeviceSetting::MIN] = 16;  // known on one side only
    a.settings[(size_t) DeviceSetting::AFTE] = 0;
    b.settings[(size_t) DeviceSetting::AFTE] = 1;

    const auto comparison = SnapshotComparison::compare (a, b);
    EXPECT_TRUE (comparison.stepDiffers (2, 4));
    EXPECT_FALSE (comparison.stepDiffers (2, 5));
    EXPECT_EQ (comparison.describe().joinIntoString ("\n"), "Sequence 1: length 16 / 17, step 17 differs\n"
                                                            "Sequence 3: step 5 differs\n"
                                                            "Sequence 6: length 46 / 0, steps 1-46 differ\n"
                                                            "Next Seq: End / Instant reset\n"
                                                            "Bend Range: 1 / 12");
    EXPECT_EQ (SnapshotComparison::compare (a, a).describe().joinIntoString ("\n"), "No differences.");
}

//==============================================================================
/** The application with its history on the emulated instrument, connected. */
struct HistoryHub : public ::testing::Test
{
    ScratchFolder scratch{ "history" };
    InstrumentRig rig;
    RecordingView view;
    std::unique_ptr<InstrumentHistory> history;
    ApplicationController controller{ view };

    void start (const juce::File& libraryFile)
    {
        rig.instrument.setFirmwareVersion (EmulatedInstrument::shippedFirmwareVersion);
        history = std::make_unique<InstrumentHistory> (libraryFile);
        controller.setHistory (history.get(), nullptr);
        controller.startUp();
        ASSERT_TRUE (controller.isConnected());
    }

    void SetUp() override { start (scratch.folder.getChildFile ("library.sqlite")); }

    SnapshotStore& store() { return history->getStore(); }

    /** The snapshot with this cause, the newest if several. */
    Snapshot withCause (const juce::String& cause)
    {
        for (const auto& snapshot : store().getPage ({}, 0, 1000))
            if (snapshot.cause == cause)
                return snapshot;

        ADD_FAILURE() << "no snapshot " << cause;
        return {};
    }
};

TEST_F (HistoryHub, EveryReadIsKeptAndEveryOverwriteIsPrecededByACopy)
{
    // At connection: the sequences, all fourteen settings and the firmware.
    const auto atConnection = withCause ("Read at connection");
    EXPECT_EQ (atConnection.sequences, sequencesIn (rig.instrument));
    EXPECT_EQ (atConnection.settings[(size_t) DeviceSetting::SYNC], rig.instrument.getSetting (DeviceSetting::SYNC));
    EXPECT_EQ (atConnection.firmware, EmulatedInstrument::shippedFirmwareVersion);

    // The instrument's own keys change a sequence; the reset's copy is read after the user
    // agreed and holds that change, and the state after it is the factory set.
    rig.instrument.setSequence (3, { 1, 2, 3 });
    const auto changed = sequencesIn (rig.instrument);
    rig.dialogs.answerOkCancel (true);
    controller.handleActionMessage ("FCSQ ");
    ASSERT_TRUE (waitFor ([&] { return rig.instrument.getSequence (3) != EmulatedInstrument::Bytes{ 1, 2, 3 }; }));
    EXPECT_EQ (withCause ("Before RESET ALL SEQUENCES").sequences, changed);
    EXPECT_EQ (withCause ("After RESET ALL SEQUENCES").sequences, getFactorySequences());
    EXPECT_EQ (rig.dialogs.getRecords (Kind::progressWindow).back().message,
               juce::String (juce::CharPointer_UTF8 ("Keeping a copy of the sequences\xe2\x80\xa6")));

    // A cancelled reset keeps nothing.
    const int before = store().count();
    controller.handleActionMessage ("FCSQ ");
    EXPECT_EQ (store().count(), before);

    // Loading: before, then the copy with the file's sequence in place.
    const auto file = scratch.folder.getChildFile ("groove.tvseq");
    file.replaceWithText ("2:60 x 62");
    rig.dialogs.answerFile (file);
    controller.handleActionMessage ("LDSQ ");
    auto expected = getFactorySequences();
    expected[1] = StepBuffer{ 60, restStep, 62 };
    EXPECT_EQ (withCause ("Before loading groove.tvseq").sequences, getFactorySequences());
    EXPECT_EQ (withCause ("Loaded groove.tvseq").sequences, expected);

    // The editor: its read, then its send of sequences 1 and 3.
    controller.handleActionMessage ("RDSQ ");
    EXPECT_EQ (withCause ("Read by the editor").sequences, expected);
    auto& model = controller.getSequenceEditorModel();
    model.replaceSequences ({ { 0, EditedSequence::fromSteps ({ 50 }) }, { 2, EditedSequence::fromSteps ({ 51 }) } });
    rig.dialogs.answerChoice ("Send Anyway"); // both sequences shortened by more than half: the send asks
    controller.handleActionMessage ("WRSQ ");
    EXPECT_EQ (withCause ("Before sending from the editor: 1, 3").sequences, expected);
    expected[0] = StepBuffer{ 50 };
    expected[2] = StepBuffer{ 51 };
    EXPECT_EQ (withCause ("Sent from the editor: 1, 3").sequences, expected);
    ASSERT_TRUE (waitFor ([&] { return sequencesIn (rig.instrument) == expected; }));

    // Saving keeps what it read.
    rig.dialogs.answerFile (scratch.folder.getChildFile ("kept.tvseq"));
    controller.handleActionMessage ("SVSQ ");
    EXPECT_EQ (withCause ("Read when saving kept.tvseq").sequences, expected);

    // Equal states were stored once.
    EXPECT_LT (store().countStates(), store().count());
    EXPECT_EQ (boxesShown (rig.dialogs, true).contains ("History|"), false);
}

TEST_F (HistoryHub, RestoresASnapshotOrOneOfItsSequencesToTheInstrumentAfterAsking)
{
    const auto original = withCause ("Read at connection");
    rig.dialogs.answerOkCancel (true);
    controller.handleActionMessage ("FCSQ ");
    ASSERT_EQ (sequencesIn (rig.instrument), getFactorySequences());
    // A write sent again after a late acknowledgement (on a loaded machine) lands before the
    // sequence is changed behind the program's back.
    ASSERT_TRUE (waitFor ([&] { return rig.instrument.countQueued() == 0; }));
    rig.instrument.setSequence (0, { 70, 71 });

    // Cancelled (Return's choice): nothing goes out.
    controller.handleActionMessage ("RSTR " + juce::String (original.id) + " 1");
    EXPECT_EQ (rig.instrument.getSequence (0), (EmulatedInstrument::Bytes{ 70, 71 }));
    EXPECT_EQ (test::describeChoices (rig.dialogs.getRecords (Kind::question).back()),
               "Restore / Cancel (Return, Escape)");

    rig.dialogs.answerChoice ("Restore");
    controller.handleActionMessage ("RSTR " + juce::String (original.id) + " 1");
    ASSERT_TRUE (waitFor ([&] { return sequencesIn (rig.instrument)[0] == original.sequences[0]; }));
    EXPECT_EQ (sequencesIn (rig.instrument)[1], getFactorySequences()[1]);

    rig.dialogs.answerChoice ("Restore");
    controller.handleActionMessage ("RSTR " + juce::String (original.id));
    ASSERT_TRUE (waitFor ([&] { return sequencesIn (rig.instrument) == original.sequences; }));
    const auto id = juce::String (original.id);
    EXPECT_EQ (withCause ("Restored from snapshot " + id).sequences, original.sequences);
    EXPECT_EQ (withCause ("Before restoring snapshot " + id).sequences[1], getFactorySequences()[1]);
    EXPECT_TRUE (withCause ("Restored sequence 1 from snapshot " + id).sequences[0] == original.sequences[0]);
}

TEST_F (HistoryHub, AnUnreadableInstrumentOrAnUnwritableLibraryAsksBeforeOverwriting)
{
    // The copy cannot be read: asked; Cancel stops the reset before anything is sent.
    rig.instrument.setStopAnsweringAfter (0);
    rig.instrument.clearReceived();
    rig.dialogs.answerOkCancel (true);
    rig.dialogs.answerOkCancel (false);
    controller.handleActionMessage ("FCSQ ");
    EXPECT_EQ (rig.instrument.countReceived (sequenceChunkCommand), 0);
    EXPECT_TRUE (boxesShown (rig.dialogs, true)
                     .endsWith ("History|Tarnovelle's sequences could not be read, so no copy of them can be kept."));
    rig.instrument.clearFaults();

    // A library in a folder that cannot be written (a file blocks it even for root): told once
    // at the start, then asked before each overwrite; OK goes on without a copy.
    const auto blocker = scratch.folder.getChildFile ("blocked");
    blocker.replaceWithText ("a file, not a folder");
    rig.dialogs.clear();
    controller.disconnect();
    history.reset();
    start (blocker.getChildFile ("library.sqlite"));
    EXPECT_TRUE (
        boxesShown (rig.dialogs, true).startsWith ("History|The history library cannot be opened or created:"));

    for (bool goOn : { false, true })
    {
        rig.dialogs.clear();
        rig.dialogs.answerOkCancel (true);
        rig.dialogs.answerOkCancel (goOn);
        controller.handleActionMessage ("FCSQ ");
        EXPECT_EQ (boxesShown (rig.dialogs, true),
                   "Reset All Sequences|You are about to reset all the sequences to factory default.\n"
                   "History|The history library cannot be written, so no copy of Tarnovelle's sequences can be kept.");
    }

    ASSERT_TRUE (waitFor ([&] { return sequencesIn (rig.instrument) == getFactorySequences(); }));
}
