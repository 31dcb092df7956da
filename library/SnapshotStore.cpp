#include "library/SnapshotStore.h"

#include <sqlite3.h>

namespace tarnovelle
{

namespace
{
    /** Each step takes the schema from the version before it to its own position + 1. */
    const char* const migrations[] = {
        // 1: states stored once by content, snapshots naming them.
        "CREATE TABLE states (id INTEGER PRIMARY KEY, hash INTEGER NOT NULL, content BLOB NOT NULL);"
        "CREATE INDEX states_by_hash ON states (hash);"
        "CREATE TABLE snapshots (id INTEGER PRIMARY KEY, state_id INTEGER NOT NULL REFERENCES states (id),"
        " taken_at INTEGER NOT NULL, cause TEXT NOT NULL);"
        "CREATE INDEX snapshots_by_state ON snapshots (state_id);",
        // 2: the user's name and star.
        "ALTER TABLE snapshots ADD COLUMN name TEXT NOT NULL DEFAULT '';"
        "ALTER TABLE snapshots ADD COLUMN starred INTEGER NOT NULL DEFAULT 0;"
        "CREATE INDEX snapshots_starred ON snapshots (starred, id);",
    };

    static_assert (sizeof (migrations) / sizeof (migrations[0]) == SnapshotStore::schemaVersion);

    const char* const selectSnapshot = "SELECT s.id, s.taken_at, s.cause, s.name, s.starred, t.content "
                                       "FROM snapshots s JOIN states t ON t.id = s.state_id ";

    const char* const filterClause =
        "WHERE (?1 = 0 OR s.starred <> 0) "
        "AND (?2 = '' OR instr (lower (s.cause), ?2) > 0 OR instr (lower (s.name), ?2) > 0) ";

    /** The files SQLite keeps beside a database in WAL mode: the log and its index. */
    const char* const companionSuffixes[] = { "-wal", "-shm" };

    juce::File getCompanion (const juce::File& database, const char* suffix)
    {
        return database.getSiblingFile (database.getFileName() + suffix);
    }

    /** "library.sqlite.damaged", else ".damaged2" and on: a name free for the file and its
        companions alike.
    */
    juce::File getFreeDamagedName (const juce::File& database)
    {
        for (int number = 1;; ++number)
        {
            const auto candidate = database.getSiblingFile (database.getFileName() + ".damaged"
                                                            + (number > 1 ? juce::String (number) : juce::String()));

            if (! candidate.exists() && ! getCompanion (candidate, "-wal").exists()
                && ! getCompanion (candidate, "-shm").exists())
                return candidate;
        }
    }

    bool isDamage (int code) noexcept
    {
        const int primary = code & 0xff;
        return primary == SQLITE_CORRUPT || primary == SQLITE_NOTADB;
    }
} // namespace

//==============================================================================
/** One prepared statement, finalised when it goes out of scope. */
class SnapshotStore::Statement final
{
public:
    Statement (sqlite3* db, const char* sql) { resultCode = sqlite3_prepare_v2 (db, sql, -1, &statement, nullptr); }
    ~Statement() { sqlite3_finalize (statement); }

    bool isValid() const noexcept { return resultCode == SQLITE_OK; }

    void bind (int index, juce::int64 value) { sqlite3_bind_int64 (statement, index, value); }

    void bind (int index, const juce::String& text)
    {
        sqlite3_bind_text (statement, index, text.toRawUTF8(), -1, SQLITE_TRANSIENT);
    }

    void bind (int index, const juce::MemoryBlock& blob)
    {
        sqlite3_bind_blob (statement, index, blob.getData(), (int) blob.getSize(), SQLITE_TRANSIENT);
    }

    /** The filter clause's ?1 and ?2. */
    void bindFilter (const SnapshotFilter& filter)
    {
        bind (1, (juce::int64) (filter.starredOnly ? 1 : 0));
        bind (2, filter.text.toLowerCase());
    }

    /** True while there is a row; resultCode tells a finished statement from a failed one. */
    bool step()
    {
        resultCode = sqlite3_step (statement);
        return resultCode == SQLITE_ROW;
    }

    bool run() { return ! step() && resultCode == SQLITE_DONE; }

    /** Makes the statement ready to run again, keeping what was bound. */
    void reset() { sqlite3_reset (statement); }

    juce::int64 int64At (int column) const { return sqlite3_column_int64 (statement, column); }

    juce::String textAt (int column) const
    {
        return juce::String::fromUTF8 ((const char*) sqlite3_column_text (statement, column),
                                       sqlite3_column_bytes (statement, column));
    }

    Snapshot snapshotAt() const
    {
        Snapshot snapshot;
        snapshot.id = int64At (0);
        snapshot.time = int64At (1);
        snapshot.cause = textAt (2);
        snapshot.name = textAt (3);
        snapshot.starred = int64At (4) != 0;
        snapshot.readStoredContent (sqlite3_column_blob (statement, 5), (size_t) sqlite3_column_bytes (statement, 5));
        return snapshot;
    }

    int resultCode = SQLITE_OK;

private:
    sqlite3_stmt* statement = nullptr;

    JUCE_DECLARE_NON_COPYABLE (Statement)
};

//==============================================================================
SnapshotStore::SnapshotStore() = default;
SnapshotStore::~SnapshotStore() { close(); }

void SnapshotStore::close()
{
    if (db != nullptr)
        sqlite3_close_v2 (db);

    db = nullptr;
    access = Access::closed;
}

bool SnapshotStore::failed (const juce::String& what)
{
    lastError = what + ": " + (db != nullptr ? juce::String (sqlite3_errmsg (db)) : juce::String ("no database"));
    return false;
}

bool SnapshotStore::execute (const char* sql)
{
    char* message = nullptr;
    const int code = sqlite3_exec (db, sql, nullptr, nullptr, &message);

    if (code != SQLITE_OK)
    {
        lastError = message != nullptr ? juce::String (message) : juce::String (sqlite3_errstr (code));
        sqlite3_free (message);
        return false;
    }

    return true;
}

int SnapshotStore::readUserVersion()
{
    Statement statement (db, "PRAGMA user_version");
    return statement.isValid() && statement.step() ? (int) statement.int64At (0) : -1;
}

SnapshotStore::OpenResult SnapshotStore::open (const juce::File& fileToOpen)
{
    const auto result = openWith (fileToOpen, false);
    return result.damaged ? moveAsideAndStartAgain (fileToOpen) : result;
}

SnapshotStore::OpenResult SnapshotStore::moveAsideAndStartAgain (const juce::File& damaged)
{
    // Kept for whoever wants to look into it, the log with it: the log may hold the last
    // snapshots taken, and SQLite finds it beside the copy under the copy's name. A log left
    // behind would be read into the new file, so nothing is started when a move fails.
    close();
    const auto aside = getFreeDamagedName (damaged);
    OpenResult result;
    result.access = Access::unavailable;
    result.damaged = true;

    if (! damaged.moveFileTo (aside))
    {
        result.problem = "it is damaged, and moving it aside to " + aside.getFullPathName() + " failed";
        return result;
    }

    result.movedAside = aside;

    for (auto* suffix : companionSuffixes)
    {
        const auto companion = getCompanion (damaged, suffix);

        if (companion.exists() && ! companion.moveFileTo (getCompanion (aside, suffix)))
        {
            result.problem = "it is damaged; it was moved aside to " + aside.getFullPathName() + ", but moving "
                             + companion.getFullPathName() + " beside it failed";
            return result;
        }
    }

    result = openWith (damaged, false);
    result.movedAside = aside;

    if (result.access == Access::writable)
        result.problem = "The history library was damaged. It has been moved aside, with its log files, to\n"
                         + aside.getFullPathName() + "\nand a new, empty one started.";

    return result;
}

SnapshotStore::OpenResult SnapshotStore::openForReading (const juce::File& fileToOpen)
{
    return openWith (fileToOpen, true);
}

SnapshotStore::OpenResult SnapshotStore::openWith (const juce::File& fileToOpen, bool readOnly)
{
    close();
    file = fileToOpen;
    OpenResult result;
    result.access = Access::unavailable;

    if (! readOnly)
        file.getParentDirectory().createDirectory();

    const int flags =
        (readOnly ? SQLITE_OPEN_READONLY : SQLITE_OPEN_READWRITE | SQLITE_OPEN_CREATE) | SQLITE_OPEN_NOMUTEX;

    if (sqlite3_open_v2 (file.getFullPathName().toRawUTF8(), &db, flags, nullptr) != SQLITE_OK)
    {
        failed ("Unable to open " + file.getFullPathName());
        result.problem = lastError;
        close();
        return result;
    }

    sqlite3_busy_timeout (db, 2000);
    access = readOnly ? Access::readOnly : Access::writable;

    if (! configureAndMigrate (result))
    {
        result.damaged = isDamage (sqlite3_extended_errcode (db));
        result.problem = lastError;

        // Closing a database in WAL mode copies the log into it and deletes the log: a damaged
        // one keeps its log as it is, to be moved aside with it.
        if (result.damaged)
            sqlite3_db_config (db, SQLITE_DBCONFIG_NO_CKPT_ON_CLOSE, 1, nullptr);

        result.access = Access::unavailable;
        close();
        return result;
    }

    result.access = access;
    return result;
}

bool SnapshotStore::configureAndMigrate (OpenResult& result)
{
    // Reading the schema is the first thing that looks into the file: a file that is not a
    // database fails here.
    if (! execute ("SELECT count (*) FROM sqlite_master"))
        return false;

    const int version = readUserVersion();

    if (version < 0)
        return failed ("Unable to read the schema version");

    if (access == Access::readOnly)
        return true;

    if (version > schemaVersion)
    {
        // A newer program's file is left exactly as it is.
        close();
        const auto reopened = openWith (file, true);
        access = reopened.access;
        result.problem = reopened.access == Access::readOnly
                             ? "The history library was written by a newer version of this program. It is opened "
                               "read-only: snapshots are shown but no new ones are kept."
                             : reopened.problem;
        return reopened.access == Access::readOnly;
    }

    // WAL: a reader never blocks the writer, and a commit is one append to the log. NORMAL
    // synchronisation in WAL mode loses nothing when the process dies, only on a power cut.
    if (! execute ("PRAGMA journal_mode = WAL; PRAGMA synchronous = NORMAL; PRAGMA foreign_keys = ON"))
        return false;

    if (version == schemaVersion)
        return true;

    return runInTransaction ([this, version] {
        for (int step = version; step < schemaVersion; ++step)
            if (! execute (migrations[step]))
                return false;

        return execute (("PRAGMA user_version = " + juce::String (schemaVersion)).toRawUTF8());
    });
}

bool SnapshotStore::runInTransaction (const std::function<bool()>& work)
{
    if (! execute ("BEGIN IMMEDIATE"))
        return false;

    if (work() && execute ("COMMIT"))
        return true;

    const auto error = lastError;
    execute ("ROLLBACK");
    lastError = error;
    return false;
}

//==============================================================================
juce::int64 SnapshotStore::findOrAddState (const Snapshot& snapshot)
{
    const auto content = snapshot.encodeContent();
    const auto hash = snapshot.getContentHash();

    Statement find (db, "SELECT id FROM states WHERE hash = ? AND content = ?");
    find.bind (1, hash);
    find.bind (2, content);

    if (find.step())
        return find.int64At (0);

    Statement insert (db, "INSERT INTO states (hash, content) VALUES (?, ?)");
    insert.bind (1, hash);
    insert.bind (2, content);
    return insert.run() ? sqlite3_last_insert_rowid (db) : 0;
}

juce::int64 SnapshotStore::add (const Snapshot& snapshot)
{
    if (! isWritable())
        return (failed ("The history library cannot be written"), 0);

    juce::int64 id = 0;

    const bool added = runInTransaction ([&] {
        const auto stateId = findOrAddState (snapshot);

        if (stateId == 0)
            return failed ("Unable to store the state");

        Statement insert (db,
                          "INSERT INTO snapshots (state_id, taken_at, cause, name, starred) VALUES (?, ?, ?, ?, ?)");
        insert.bind (1, stateId);
        insert.bind (2, snapshot.time);
        insert.bind (3, snapshot.cause);
        insert.bind (4, snapshot.name);
        insert.bind (5, (juce::int64) (snapshot.starred ? 1 : 0));

        if (! insert.run())
            return failed ("Unable to store the snapshot");

        id = sqlite3_last_insert_rowid (db);
        return true;
    });

    return added ? id : 0;
}

std::optional<Snapshot> SnapshotStore::get (juce::int64 id) const
{
    if (db == nullptr)
        return std::nullopt;

    Statement statement (db, (juce::String (selectSnapshot) + "WHERE s.id = ?").toRawUTF8());
    statement.bind (1, id);

    if (! statement.step())
        return std::nullopt;

    return statement.snapshotAt();
}

int SnapshotStore::count (const SnapshotFilter& filter) const
{
    if (db == nullptr)
        return 0;

    Statement statement (db, (juce::String ("SELECT count (*) FROM snapshots s ") + filterClause).toRawUTF8());
    statement.bindFilter (filter);
    return statement.step() ? (int) statement.int64At (0) : 0;
}

std::vector<Snapshot> SnapshotStore::getPage (const SnapshotFilter& filter, int offset, int limit) const
{
    std::vector<Snapshot> page;

    if (db == nullptr)
        return page;

    Statement statement (
        db, (juce::String (selectSnapshot) + filterClause + "ORDER BY s.id DESC LIMIT ?3 OFFSET ?4").toRawUTF8());
    statement.bindFilter (filter);
    statement.bind (3, (juce::int64) limit);
    statement.bind (4, (juce::int64) offset);

    while (statement.step())
        page.push_back (statement.snapshotAt());

    return page;
}

bool SnapshotStore::rename (juce::int64 id, const juce::String& name)
{
    if (! isWritable())
        return false;

    Statement statement (db, "UPDATE snapshots SET name = ? WHERE id = ?");
    statement.bind (1, name);
    statement.bind (2, id);
    return statement.run() || failed ("Unable to rename the snapshot");
}

bool SnapshotStore::setStarred (juce::int64 id, bool starred)
{
    if (! isWritable())
        return false;

    Statement statement (db, "UPDATE snapshots SET starred = ? WHERE id = ?");
    statement.bind (1, (juce::int64) (starred ? 1 : 0));
    statement.bind (2, id);
    return statement.run() || failed ("Unable to star the snapshot");
}

bool SnapshotStore::remove (juce::int64 id)
{
    if (! isWritable())
        return false;

    return runInTransaction ([&] {
        Statement find (db, "SELECT state_id FROM snapshots WHERE id = ?");
        find.bind (1, id);

        if (! find.step())
            return true;

        const auto stateId = find.int64At (0);
        Statement removeSnapshot (db, "DELETE FROM snapshots WHERE id = ?");
        removeSnapshot.bind (1, id);
        Statement removeState (db, "DELETE FROM states WHERE id = ?1 "
                                   "AND NOT EXISTS (SELECT 1 FROM snapshots WHERE state_id = ?1)");
        removeState.bind (1, stateId);
        return (removeSnapshot.run() && removeState.run()) || failed ("Unable to delete the snapshot");
    });
}

std::map<juce::int64, int> SnapshotStore::getPositions (const SnapshotFilter& filter,
                                                        const std::vector<juce::int64>& ids) const
{
    if (db == nullptr)
        return {};

    // A position is the number of listed snapshots newer than it. For the one or two of a
    // selection each is counted on its own (a range of the key, unless text is looked for);
    // a long range selected with Shift is counted in passes over the list instead.
    constexpr size_t mostCountedOneByOne = 8;
    return ids.size() <= mostCountedOneByOne ? countPositionsOneByOne (filter, ids)
                                             : countPositionsInPasses (filter, ids);
}

std::map<juce::int64, int> SnapshotStore::countPositionsOneByOne (const SnapshotFilter& filter,
                                                                  const std::vector<juce::int64>& ids) const
{
    std::map<juce::int64, int> positions;
    const juce::String listed = juce::String ("FROM snapshots s ") + filterClause;
    Statement statement (
        db, ("SELECT (SELECT count (*) " + listed + "AND s.id > ?3), EXISTS (SELECT 1 " + listed + "AND s.id = ?3)")
                .toRawUTF8());
    statement.bindFilter (filter);

    for (auto id : ids)
    {
        statement.reset();
        statement.bind (3, id);

        if (statement.step() && statement.int64At (1) != 0)
            positions[id] = (int) statement.int64At (0);
    }

    return positions;
}

std::map<juce::int64, int> SnapshotStore::countPositionsInPasses (const SnapshotFilter& filter,
                                                                  const std::vector<juce::int64>& ids) const
{
    std::map<juce::int64, int> positions;
    constexpr size_t idsPerPass = 500; // two columns each, of the 2000 a result may have

    for (size_t first = 0; first < ids.size(); first += idsPerPass)
    {
        const auto end = std::min (ids.size(), first + idsPerPass);
        juce::StringArray columns;

        for (auto i = first; i < end; ++i)
            columns.add ("sum (s.id > " + juce::String (ids[i]) + "), max (s.id = " + juce::String (ids[i]) + ")");

        Statement statement (
            db, ("SELECT " + columns.joinIntoString (", ") + " FROM snapshots s " + filterClause).toRawUTF8());
        statement.bindFilter (filter);

        if (statement.step())
            for (auto i = first; i < end; ++i)
                if (statement.int64At ((int) (2 * (i - first) + 1)) != 0)
                    positions[ids[i]] = (int) statement.int64At ((int) (2 * (i - first)));
    }

    return positions;
}

int SnapshotStore::countStates() const
{
    if (db == nullptr)
        return 0;

    Statement statement (db, "SELECT count (*) FROM states");
    return statement.step() ? (int) statement.int64At (0) : 0;
}

} // namespace tarnovelle
