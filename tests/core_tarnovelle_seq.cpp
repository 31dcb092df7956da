#include "sequences/MidiExport.h"
#include "sequences/SequenceFile.h"
#include "sequences/SequenceTransfer.h"

#include <gtest/gtest.h>

using namespace tarnovelle;

namespace
{
struct ToolRun
{
    int exitCode = -1;
    juce::String output;
};

ToolRun runTool (const juce::StringArray& args)
{
    juce::StringArray command{ TARNOVELLE_SEQ_TOOL };
    command.addArray (args);

    juce::ChildProcess process;
    ToolRun run;

    if (process.start (command))
    {
        run.output = process.readAllProcessOutput();
        process.waitForProcessToFinish (10000);
        run.exitCode = (int) process.getExitCode();
    }

    return run;
}

class TarnovelleSeqTool : public ::testing::Test
{
protected:
    void SetUp() override
    {
        folder = juce::File::getSpecialLocation (juce::File::tempDirectory).getNonexistentChildFile ("seqtool", "");
        folder.createDirectory();
    }

    void TearDown() override { folder.deleteRecursively(); }

    juce::String write (const juce::String& name, const juce::String& text)
    {
        folder.getChildFile (name).replaceWithText (text, false, false, "\n");
        return folder.getChildFile (name).getFullPathName();
    }

    juce::File folder;
};
} // namespace

TEST_F (TarnovelleSeqTool, BadArgumentsExitWithTwo)
{
    const auto file = write ("a.tvseq", "1:60");

    for (const auto& args : { juce::StringArray(), juce::StringArray{ "play" }, juce::StringArray{ "check" },
                              juce::StringArray{ "check", file, file }, juce::StringArray{ "factory", "x" },
                              juce::StringArray{ "midi", file, "--step", "5", "--gate", "2" },
                              juce::StringArray{ "midi", file, "--step", "16" },
                              juce::StringArray{ "midi", file, "--step", "16", "--gate" },
                              juce::StringArray{ "midi", "--step", "16", "--gate", "2" } })
    {
        const auto run = runTool (args);
        EXPECT_EQ (run.exitCode, 2) << args.joinIntoString (" ");
        EXPECT_TRUE (run.output.contains ("Usage:")) << args.joinIntoString (" ");
    }

    EXPECT_FALSE (folder.getChildFile ("a.tvseq_1.mid").exists());
}

TEST_F (TarnovelleSeqTool, CheckAndFactory)
{
    const auto factory = runTool ({ "factory" });
    EXPECT_EQ (factory.exitCode, 0);
    EXPECT_EQ (factory.output, formatSequenceFile (getFactorySequences()));

    const auto good = runTool ({ "check", write ("f.tvseq", factory.output) });
    EXPECT_EQ (good.exitCode, 0);
    EXPECT_TRUE (good.output.contains ("sequence 6, 64 steps")) << good.output;

    const auto bad = runTool ({ "check", write ("bad.tvseq", "1:60\n2:60 X") });
    EXPECT_EQ (bad.exitCode, 1);
    EXPECT_EQ (bad.output.trimEnd(), "Bad file format on line: 2 token: 2");

    EXPECT_EQ (runTool ({ "check", folder.getChildFile ("absent.tvseq").getFullPathName() }).exitCode, 1);
}

TEST_F (TarnovelleSeqTool, MidiWritesWhatTheApplicationWould)
{
    const auto file = write ("set.tvseq", "2:60 x 61\n5:62\n2:63 64\n");
    EXPECT_EQ (runTool ({ "midi", file, "--gate", "3", "--step", "32" }).exitCode, 0);

    SequenceSet expected{};
    expected[1] = { 63, 64 };
    expected[4] = { 62 };
    const auto timing = MidiExportTiming::fromSettings (32, 3);

    for (int i = 0; i < numSequences; ++i)
    {
        juce::MemoryBlock written;
        EXPECT_TRUE (getSequenceMidiFile (juce::File (file), i + 1).loadFileAsData (written));
        EXPECT_EQ (written, makeSequenceMidiFile (expected[(size_t) i].data(), timing)) << "sequence " << i + 1;
    }

    EXPECT_EQ (runTool ({ "midi", write ("bad.tvseq", "1:0"), "--step", "16", "--gate", "2" }).exitCode, 1);
    EXPECT_FALSE (folder.getChildFile ("bad.tvseq_1.mid").exists());
}
