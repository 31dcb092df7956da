#include "library/SnapshotStore.h"
#include "sequences/MidiExport.h"
#include "sequences/MidiImport.h"
#include "sequences/SequenceFile.h"
#include "sequences/SequenceTransfer.h"
#include "tests/support/MidiSong.h"
#include "tests/support/ScratchFolder.h"
#include "tests/support/StoredContent.h"

#include <gtest/gtest.h>

using namespace tarnovelle;

namespace
{
/** Runs the built tool, giving its exit code and its output. */
std::pair<int, juce::String> runTool (const juce::StringArray& args,
                                      int streams = juce::ChildProcess::wantStdOut | juce::ChildProcess::wantStdErr)
{
    juce::StringArray command{ TARNOVELLE_SEQ_TOOL };
    command.addArray (args);
    juce::ChildProcess process;

    if (! process.start (command, streams))
        return { -1, {} };

    const auto output = process.readAllProcessOutput();
    process.waitForProcessToFinish (10000);
    return { (int) process.getExitCode(), output };
}

class TarnovelleSeqTool : public ::testing::Test
{
protected:
    using Args = juce::StringArray;

    juce::String write (const juce::String& name, const juce::String& text)
    {
        folder.getChildFile (name).replaceWithText (text, false, false, "\n");
        return folder.getChildFile (name).getFullPathName();
    }

    /** Each of these argument lists ends the tool with 2 and its usage. */
    static void expectUsageErrors (std::initializer_list<Args> argumentLists)
    {
        for (const auto& args : argumentLists)
        {
            const auto [exitCode, output] = runTool (args);
            EXPECT_EQ (exitCode, 2) << args.joinIntoString (" ");
            EXPECT_TRUE (output.contains ("Usage:")) << args.joinIntoString (" ");
        }
    }

    test::ScratchFolder scratch{ "seqtool" };
    const juce::File& folder = scratch.folder;
};
} // namespace

TEST_F (TarnovelleSeqTool, BadArgumentsExitWithTwo)
{
    const auto file = write ("a.tvseq", "1:60");

    expectUsageErrors ({ Args(), Args{ "play" }, Args{ "check" }, Args{ "check", file, file }, Args{ "factory", "x" },
                         Args{ "midi", file, "--step", "5", "--gate", "2" },
                         Args{ "midi", file, "--step", "16", "--gate" },
                         Args{ "midi", "--step", "16", "--gate", "2" } });

    EXPECT_FALSE (folder.getChildFile ("a.tvseq_1.mid").exists());
}

TEST_F (TarnovelleSeqTool, FactoryCheckAndMidi)
{
    const auto factory = runTool ({ "factory" });
    EXPECT_EQ (factory, std::make_pair (0, formatSequenceFile (getFactorySequences())));

    const auto good = runTool ({ "check", write ("f.tvseq", factory.second) });
    EXPECT_EQ (good.first, 0);
    EXPECT_TRUE (good.second.contains ("sequence 6, 64 steps")) << good.second;

    const auto bad = runTool ({ "check", write ("bad.tvseq", "1:60\n2:60 X") });
    EXPECT_EQ (bad, std::make_pair (1, juce::String ("Bad file format on line: 2 token: 2\n")));
    EXPECT_EQ (runTool ({ "check", folder.getChildFile ("absent.tvseq").getFullPathName() }).first, 1);

    // midi writes what the application would.
    const auto file = write ("set.tvseq", "2:60 x 61\n5:62\n2:63 64\n");
    EXPECT_EQ (runTool ({ "midi", file, "--gate", "3", "--step", "32" }).first, 0);

    SequenceSet expected{};
    expected[1] = { 63, 64 };
    expected[4] = { 62 };

    for (int i = 0; i < numSequences; ++i)
    {
        juce::MemoryBlock written;
        EXPECT_TRUE (getSequenceMidiFile (juce::File (file), i + 1).loadFileAsData (written));
        EXPECT_EQ (written, makeSequenceMidiFile (expected[(size_t) i].data(), MidiExportTiming::fromSettings (32, 3)))
            << "sequence " << i + 1;
    }

    EXPECT_EQ (runTool ({ "midi", write ("bad.tvseq", "1:0"), "--step", "16", "--gate", "2" }).first, 1);
    EXPECT_FALSE (folder.getChildFile ("bad.tvseq_1.mid").exists());
}

TEST_F (TarnovelleSeqTool, ImportPrintsOneLinePerMidiFile)
{
    // A sequence exported at step 8, gate 1; seventy 16th notes, whose last six do not fit
    // into 64 steps at step 16.
    const auto first = folder.getChildFile ("a.mid");
    const StepBuffer steps{ 60, 127, 125, 1 };
    const auto exported = makeSequenceMidiFile (steps.data(), MidiExportTiming::fromSettings (8, 1));
    ASSERT_TRUE (first.replaceWithData (exported.getData(), exported.getSize()));

    std::vector<test::Event> seventy;
    for (int step = 0; step < 70; ++step)
        seventy.push_back ({ step * 48.0, 50, 90 });
    const auto second = folder.getChildFile ("long.mid");
    const auto longFile = test::makeMidiFile ({ seventy }, 192);
    ASSERT_TRUE (second.replaceWithData (longFile.getData(), longFile.getSize()));

    const auto printed = runTool ({ "import", "--step", "8", first.getFullPathName(), second.getFullPathName() },
                                  juce::ChildProcess::wantStdOut);
    EXPECT_EQ (printed.first, 0);

    // At step 8 two 16ths share each step, the second rounding up into the next: 36 steps.
    const auto expectedLong = "2:50" + juce::String::repeatedString (" 50", 35);
    EXPECT_EQ (printed.second, "1:60 x 125 1\n" + expectedLong);

    const auto warned = runTool ({ "import", second.getFullPathName() }, juce::ChildProcess::wantStdErr);
    EXPECT_EQ (warned, std::make_pair (0, "tarnovelle-seq: " + second.getFullPathName() + ": "
                                              + "6 notes lie beyond the 64th step and have been left out.\n"));

    const auto refused = runTool ({ "import", first.getFullPathName(), write ("x.mid", "1:60") });
    EXPECT_EQ (refused.first, 1);
    EXPECT_TRUE (refused.second.contains (folder.getChildFile ("x.mid").getFullPathName()
                                          + ": The file is not a Standard MIDI File."))
        << refused.second;

    expectUsageErrors ({ Args{ "import" }, Args{ "import", "--step", "12", "a.mid" },
                         Args{ "import", "a.mid", "--step" }, Args{ "import", "-q", "a.mid" } });
}

TEST_F (TarnovelleSeqTool, HistoryListsShowsComparesAndExportsTheLibrarysSnapshots)
{
    const auto library = folder.getChildFile ("library.sqlite");
    Snapshot older, newer;
    older.sequences = getFactorySequences();
    older.settings[(size_t) DeviceSetting::BEND] = 2;
    older.time = 1765328400000;
    older.cause = "Before RESET ALL SEQUENCES";
    older.name = "Saturday";
    newer = older;
    newer.sequences[5][40] = 0;
    newer.settings[(size_t) DeviceSetting::BEND] = 7;
    newer.cause = "Read at connection";
    {
        SnapshotStore store;
        ASSERT_EQ (store.open (library).access, SnapshotStore::Access::writable);
        older.id = store.add (older);
        newer.id = store.add (newer);
    }

    const auto db = library.getFullPathName();
    const auto list = runTool ({ "history", "--db", db, "list" }, juce::ChildProcess::wantStdOut);
    EXPECT_EQ (list.first, 0);
    EXPECT_EQ (list.second, juce::String (newer.id) + "\t" + newer.getTimeText() + "\tRead at connection\tSaturday\n"
                                + juce::String (older.id) + "\t" + older.getTimeText()
                                + "\tBefore RESET ALL SEQUENCES\tSaturday\n");

    const auto shown = runTool ({ "history", "show", juce::String (older.id), "--db", db });
    EXPECT_EQ (shown.first, 0);
    EXPECT_TRUE (shown.second.contains ("Bend Range: 2\n")) << shown.second;
    EXPECT_TRUE (shown.second.contains (formatSequenceFile (getFactorySequences()))) << shown.second;

    const auto diff = runTool ({ "history", "--db", db, "diff", juce::String (older.id), juce::String (newer.id) });
    EXPECT_EQ (
        diff, std::make_pair (0, juce::String ("Sequence 6: length 64 / 40, steps 41-64 differ\nBend Range: 2 / 7\n")));

    const auto exported = folder.getChildFile ("out.tvseq");
    EXPECT_EQ (runTool ({ "history", "--db", db, "export", juce::String (older.id), exported.getFullPathName() }).first,
               0);
    EXPECT_EQ (exported.loadFileAsString(), formatSequenceFile (getFactorySequences()));

    // A content this version cannot read: 1 with the reason, and nothing written.
    test::replaceStoredContent (library, older.id, "x'01ff'");
    test::replaceStoredContent (library, newer.id, "x'02'");
    const auto refused = [] (juce::int64 id, const char* reason) {
        return std::make_pair (1,
                               "tarnovelle-seq: snapshot " + juce::String (id) + " cannot be read: " + reason + ".\n");
    };
    EXPECT_EQ (runTool ({ "history", "--db", db, "show", juce::String (older.id) }),
               refused (older.id, "its stored content is damaged"));
    EXPECT_EQ (
        runTool ({ "history", "--db", db, "export", juce::String (newer.id), folder.getFullPathName() + "/n.tvseq" }),
        refused (newer.id, "it was written by a newer version of this program"));
    EXPECT_FALSE (folder.getChildFile ("n.tvseq").exists());

    // No such snapshot or library: 1; bad arguments: 2, with the usage.
    EXPECT_EQ (runTool ({ "history", "--db", db, "show", "999" }).first, 1);
    EXPECT_EQ (runTool ({ "history", "--db", folder.getChildFile ("none.sqlite").getFullPathName(), "list" }).first, 1);

    expectUsageErrors ({ Args{ "history" }, Args{ "history", "--db", db, "show" },
                         Args{ "history", "--db", db, "diff", "1", "x" }, Args{ "history", "list", "--db" } });

    EXPECT_FALSE (folder.getChildFile ("none.sqlite").exists());
}

TEST_F (TarnovelleSeqTool, TracksAreListedAndChosenForImport)
{
    const auto song = folder.getChildFile ("song.mid");
    const auto bytes = test::makeSongFile();
    ASSERT_TRUE (song.replaceWithData (bytes.getData(), bytes.getSize()));
    const auto path = song.getFullPathName();
    const auto out = juce::ChildProcess::wantStdOut;

    EXPECT_EQ (runTool ({ "tracks", path }),
               std::make_pair (0, juce::String ("1\tConductor\tnone\t0\n2\tDrums\t10\t12\n3\tBass\t2, 3\t6\n")));

    // A track chosen leaves its drums out; channels and tracks merge as the whole file does.
    EXPECT_EQ (runTool ({ "import", "--track", "3", path }, out),
               std::make_pair (0, juce::String ("1:28 x x 31 x x 33 x x 40 x x 35 x x 36 x")));
    EXPECT_EQ (runTool ({ "import", "--channel", "3", "--track", "2", "--channel", "10", "--track", "3", path }, out),
               std::make_pair (0, juce::String ("1:42 x 42 x 42 x 42 x 42 40 42 x 42 x 42 x 42 x 42 x 42 x 42")));
    EXPECT_EQ (runTool ({ "import", "--track", "3", "--from-bar", "2", "--step", "8", path, path }, out),
               std::make_pair (0, juce::String ("1:35 x 36\n2:35 x 36")));
    EXPECT_EQ (runTool ({ "import", path }, out).second,
               "1:42 x 42 31 42 x 42 x 42 40 42 x 42 x 42 36 42 x 42 x 42 x 42");

    EXPECT_EQ (runTool ({ "import", "--track", "4", path }),
               std::make_pair (1, "tarnovelle-seq: " + path + ": there is no track 4: the file has 3 tracks.\n"));
    // A choice that holds no note of a file that has notes is refused, with the reason.
    const auto refused = [&path] (const char* reason) {
        return std::make_pair (1, "tarnovelle-seq: " + path + ": " + reason + "\n");
    };
    EXPECT_EQ (runTool ({ "import", "--track", "3", "--channel", "10", path }),
               refused ("The chosen tracks and channels hold no note."));
    EXPECT_EQ (runTool ({ "import", "--track", "1", path }), refused ("The chosen tracks and channels hold no note."));
    EXPECT_EQ (runTool ({ "import", "--from-bar", "3", path }), refused ("The MIDI file holds no note from bar 3 on."));

    // A file without any note, the song's conductor track alone or an exported empty sequence,
    // is the empty sequence whatever is chosen of it.
    juce::MidiFile conductor;
    conductor.setTicksPerQuarterNote (96);
    conductor.addTrack (*test::makeSong().getTrack (0));
    juce::MemoryOutputStream conductorBytes;
    conductor.writeTo (conductorBytes, 1);
    const StepBuffer noSteps{};
    const auto exportedEmpty = makeSequenceMidiFile (noSteps.data(), MidiExportTiming::fromSettings (16, 2));

    for (const auto& [name, data] :
         { std::pair{ "conductor.mid", conductorBytes.getMemoryBlock() }, std::pair{ "empty.mid", exportedEmpty } })
    {
        ASSERT_TRUE (folder.getChildFile (name).replaceWithData (data.getData(), data.getSize()));

        for (const auto& choice :
             { Args{}, Args{ "--track", "1" }, Args{ "--channel", "3" }, Args{ "--from-bar", "2" } })
        {
            auto args = Args{ "import" };
            args.addArray (choice);
            args.add (folder.getChildFile (name).getFullPathName());
            EXPECT_EQ (runTool (args), std::make_pair (0, juce::String ("1:"))) << args.joinIntoString (" ");
        }
    }
    EXPECT_EQ (runTool ({ "tracks", write ("x.mid", "1:60") }).first, 1);

    expectUsageErrors ({ Args{ "import", "--channel", "17", path }, Args{ "import", "--track", "0", path },
                         Args{ "import", "--from-bar", "x", path }, Args{ "import", path, "--track" }, Args{ "tracks" },
                         Args{ "tracks", path, path } });
}
