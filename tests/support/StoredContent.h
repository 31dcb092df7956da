#pragma once

#include <juce_core/juce_core.h>
#include <sqlite3.h>

#include <gtest/gtest.h>

namespace tarnovelle::test
{

/** Gives the stored state of a snapshot other bytes, an SQL blob literal such as x'02', as a
    damaged disk or a newer version of the program leaves them.
*/
inline void replaceStoredContent (const juce::File& library, juce::int64 snapshotId, const juce::String& blob)
{
    sqlite3* db = nullptr;
    ASSERT_EQ (sqlite3_open (library.getFullPathName().toRawUTF8(), &db), SQLITE_OK);
    const auto sql = "UPDATE states SET content = " + blob
                     + " WHERE id = (SELECT state_id FROM snapshots WHERE id = " + juce::String (snapshotId) + ")";
    EXPECT_TRUE (sqlite3_exec (db, sql.toRawUTF8(), nullptr, nullptr, nullptr) == SQLITE_OK
                 && sqlite3_changes (db) == 1);
    sqlite3_close (db);
}

} // namespace tarnovelle::test
