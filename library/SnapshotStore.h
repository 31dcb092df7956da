#pragma once

#include "library/Snapshot.h"

#include <map>
#include <memory>
#include <vector>

struct sqlite3;

namespace tarnovelle
{

/** Which snapshots a query returns: all, or the starred ones, and those whose cause or name
    holds the text (case-insensitive for ASCII letters).
*/
struct SnapshotFilter
{
    bool starredOnly = false;
    juce::String text;
};

/** The history's database: one SQLite file holding every snapshot taken.

    Identical contents are stored once (a table of states found by their content hash); each
    snapshot row names its state, its time, its cause, and the user's name and star. The file
    uses SQLite's write-ahead log, and every change is one transaction: a process killed at
    any moment keeps every snapshot whose add() had returned, and the file still opens.

    Threading: the connection is opened with SQLITE_OPEN_NOMUTEX (SQLite's multi-thread
    mode), since the program touches the store on the message thread only; the command-line
    tool is a process of its own with its own connection.
*/
class SnapshotStore final
{
public:
    /** The schema this program writes, kept in the file's user_version. */
    static constexpr int schemaVersion = 2;

    enum class Access
    {
        closed,
        writable,
        readOnly,   // written by a newer program: read, never changed
        unavailable // could not be opened or created at all
    };

    struct OpenResult
    {
        Access access = Access::closed;

        /** The file is not a database, or a damaged one. */
        bool damaged = false;

        /** Where a damaged file was moved aside, with its -wal and -shm beside it. */
        juce::File movedAside;

        /** What went wrong, for the user; empty when the file opened as it should. */
        juce::String problem;
    };

    SnapshotStore();
    ~SnapshotStore();

    /** Opens the file, creating it and its folders when missing. A file that is not a
        database, or a damaged one, is moved aside together with its write-ahead log and a new
        one started (unavailable when the move fails); an older schema is migrated in one
        transaction; a newer one is opened read-only.
    */
    OpenResult open (const juce::File& file);

    /** Opens an existing file read-only, as the command-line tool does. */
    OpenResult openForReading (const juce::File& file);

    void close();

    Access getAccess() const noexcept { return access; }
    bool isWritable() const noexcept { return access == Access::writable; }
    const juce::File& getFile() const noexcept { return file; }

    /** Stores the snapshot in one transaction; returns its id, or 0 when it could not be
        written (getLastError says why).
    */
    juce::int64 add (const Snapshot& snapshot);

    std::optional<Snapshot> get (juce::int64 id) const;

    /** The number of snapshots that pass the filter. */
    int count (const SnapshotFilter& filter = {}) const;

    /** Snapshots that pass the filter, newest first, from position `offset` on. */
    std::vector<Snapshot> getPage (const SnapshotFilter& filter, int offset, int limit) const;

    /** Where these snapshots are among those that pass the filter, newest first (id to
        position); those that do not pass, or are gone, are left out.
    */
    std::map<juce::int64, int> getPositions (const SnapshotFilter& filter, const std::vector<juce::int64>& ids) const;

    bool rename (juce::int64 id, const juce::String& name);
    bool setStarred (juce::int64 id, bool starred);

    /** Deletes a snapshot, and its state when no other snapshot shares it. */
    bool remove (juce::int64 id);

    /** The number of distinct states stored. */
    int countStates() const;

    juce::String getLastError() const { return lastError; }

private:
    class Statement;

    OpenResult openWith (const juce::File& fileToOpen, bool readOnly);
    OpenResult moveAsideAndStartAgain (const juce::File& damagedFile);
    bool configureAndMigrate (OpenResult& result);
    bool execute (const char* sql);
    bool runInTransaction (const std::function<bool()>& work);
    juce::int64 findOrAddState (const Snapshot& snapshot);
    std::map<juce::int64, int> countPositionsOneByOne (const SnapshotFilter&, const std::vector<juce::int64>&) const;
    std::map<juce::int64, int> countPositionsInPasses (const SnapshotFilter&, const std::vector<juce::int64>&) const;
    int readUserVersion();
    bool failed (const juce::String& what);

    sqlite3* db = nullptr;
    juce::File file;
    Access access = Access::closed;
    mutable juce::String lastError;

    JUCE_DECLARE_NON_COPYABLE_WITH_LEAK_DETECTOR (SnapshotStore)
};

} // namespace tarnovelle
