#include "sequences/MidiExport.h"
#include "sequences/SequenceFile.h"
#include "sequences/SequenceTransfer.h"
#include "tests/support/ScratchFolder.h"

#include <gtest/gtest.h>

using namespace tarnovelle;

namespace
{
/** Runs the built tool, giving its exit code and its output. */
std::pair<int, juce::String> runTool (const juce::StringArray& args)
{
    juce::StringArray command{ TARNOVELLE_SEQ_TOOL };
    command.addArray (args);
    juce::ChildProcess process;

    if (! process.start (command))
        return { -1, {} };

    const auto output = process.readAllProcessOutput();
    process.waitForProcessToFinish (10000);
    return { (int) process.getExitCode(), output };
}

class TarnovelleSeqTool : public ::testing::Test
{
protected:
    juce::String write (const juce::String& name, const juce::String& text)
    {
        folder.getChildFile (name).replaceWithText (text, false, false, "\n");
        return folder.getChildFile (name).getFullPathName();
    }

    test::ScratchFolder scratch{ "seqtool" };
    const juce::File& folder = scratch.folder;
};
} // namespace

TEST_F (TarnovelleSeqTool, BadArgumentsExitWithTwo)
{
    const auto file = write ("a.tvseq", "1:60");

    for (const auto& args : { juce::StringArray(), juce::StringArray{ "play" }, juce::StringArray{ "check" },
                              juce::StringArray{ "check", file, file }, juce::StringArray{ "factory", "x" },
                              juce::StringArray{ "midi", file, "--step", "5", "--gate", "2" },
                              juce::StringArray{ "midi", file, "--step", "16", "--gate" },
                              juce::StringArray{ "midi", "--step", "16", "--gate", "2" } })
    {
        const auto [exitCode, output] = runTool (args);
        EXPECT_EQ (exitCode, 2) << args.joinIntoString (" ");
        EXPECT_TRUE (output.contains ("Usage:")) << args.joinIntoString (" ");
    }

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
