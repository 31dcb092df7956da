#include "editor/SequenceEditorKeeper.h"
#include "editor/SequenceEditorModel.h"
#include "tests/support/DialogsShown.h"
#include "tests/support/EditorModelTest.h"
#include "tests/support/ScratchFolder.h"
#include "tests/support/Wait.h"

#include <gtest/gtest.h>
#include <sys/wait.h>

using namespace tarnovelle;
using Steps = std::vector<uint8>;

namespace
{
using EditorModel = test::EditorModelTest;
} // namespace

//==============================================================================
// Two instances that do not see each other (the second in a sandbox of its own) share the file:
// it is always read whole, and an instance whose set the other replaced writes it again.
TEST (SequenceEditorKeeperShared, TwoInstancesNeverTearTheFileNorDropEachOthersSet)
{
    test::ScratchFolder scratch{ "sharedkeeper" };
    const auto file = scratch.folder.getChildFile ("Sequence Editor.json");

    // Three processes start and end instances, each keeping a set of another size (all sent:
    // no start asks about it), while this one reads.
    for (int writer = 0; writer < 3; ++writer)
    {
        if (fork() != 0)
            continue;

        for (int round = 0; round < 300; ++round)
        {
            SequenceEditorModel::WorkingSet set{ {}, {}, true, writer, 0 };
            set.sequences.fill (EditedSequence::fromSteps (Steps ((size_t) (1 + (writer * 7 + round) % 64), 60)));
            set.instrument = set.sequences;
            SequenceEditorModel model;
            model.restoreWorkingSet (set);
            SequenceEditorKeeper (model, file).offerKeptChanges(); // written as it ends
        }

        _exit (0);
    }

    int reads = 0, unreadable = 0;

    for (int ended = 0; ended<3; ended += waitpid (-1, nullptr, WNOHANG)> 0 ? 1 : 0)
        if (file.existsAsFile())
        {
            ++reads;
            unreadable += SequenceEditorKeeper::read (file) ? 0 : 1;
        }

    EXPECT_EQ (unreadable, 0) << "of " << reads;

    // One instance's unsent changes, replaced by the other's empty set, are written again.
    SequenceEditorModel mine, other;
    SequenceEditorKeeper myKeeper (mine, file), otherKeeper (other, file);
    mine.replaceSequences ({ { 2, EditedSequence::fromSteps ({ 60, 62 }) } });
    myKeeper.offerKeptChanges();
    otherKeeper.offerKeptChanges();
    myKeeper.flush();
    otherKeeper.flush();
    EXPECT_FALSE (SequenceEditorKeeper::read (file)->workingSet.hasUnsentChanges());
    myKeeper.flush();
    EXPECT_TRUE (SequenceEditorKeeper::read (file)->workingSet.hasUnsentChanges());
}

TEST_F (EditorModel, AWorkingSetThatCannotBeWrittenIsToldOnceAndTriedAgain)
{
    // A file where the folder should be: the folder cannot be made, even by root.
    test::ScratchFolder scratch{ "editorkeeperfails" };
    const auto folder = scratch.folder.getChildFile ("kept");
    const auto file = folder.getChildFile ("Sequence Editor.json");
    const auto block = [&] { return folder.deleteRecursively() && folder.replaceWithText ("in the way"); };
    ASSERT_TRUE (block());

    SequenceEditorKeeper keeper (model, file);
    keeper.offerKeptChanges();
    give (0, { 60 });
    keeper.flush();
    EXPECT_EQ (model.getNotice(), "Unsent changes cannot be kept on disk");
    give (0, { 61 });
    keeper.flush();
    EXPECT_TRUE (test::boxesShown (dialogs).startsWith ("Sequence Editor|The sequence editor's work cannot be "
                                                        "written to\n"
                                                        + file.getFullPathName() + "\n("));
    EXPECT_EQ (dialogs.count (ScriptedDialogs::Kind::messageBox), 1);

    // Tried again without another change, until the file can be written.
    ASSERT_TRUE (folder.deleteFile());
    ASSERT_TRUE (test::waitFor ([&] { return file.existsAsFile(); }, 2 * SequenceEditorKeeper::retryDelayMs + 1000));
    EXPECT_EQ (SequenceEditorKeeper::read (file)->workingSet.sequences[0].toSteps(), Steps{ 61 });
    EXPECT_FALSE (keeper.isFailing());

    // A failure after a write that succeeded is told again.
    ASSERT_TRUE (block());
    give (0, { 62 });
    keeper.flush();
    EXPECT_EQ (dialogs.count (ScriptedDialogs::Kind::messageBox), 2);
}

//==============================================================================
// A kept file damaged or edited by hand: numbers beyond the editor's range read as its ends;
// what JUCE's JSON reader cannot take is refused: exponents beyond an int and integers beyond 64
// bits (which it wraps), also behind a 0 byte (which it reads on past in text that is not UTF-8)
// or written in stray bytes of multi-byte characters (which it reads as ASCII), and brackets
// nested deeper than the stack.
TEST (KeptWorkingSet, ADamagedFileIsReadWithinTheEditorsRangeOrRefused)
{
    test::ScratchFolder scratch{ "keptnumbers" };
    const auto file = scratch.folder.getChildFile ("Sequence Editor.json");
    const auto read = [&file] (const std::string& text) {
        EXPECT_TRUE (file.replaceWithData (text.data(), text.size()));
        return SequenceEditorKeeper::read (file);
    };
    const auto keptFile = [] (const std::string& numbers, const std::string& firstSequence, const char* end = "}") {
        const std::string others (", [], [], [], [], [], [], []]");
        return "{" + numbers + R"(, "sequences": [)" + firstSequence + others + R"(, "instrument": [[])" + others + end;
    };

    const auto kept = read (keptFile (R"("selected": 1e300, "cursor": 1e10)", "[60]"));
    ASSERT_TRUE (kept.has_value());
    EXPECT_EQ (kept->workingSet.selected, numSequences - 1);
    EXPECT_EQ (kept->workingSet.cursor, maxSequenceSteps - 1);

    std::string wrapsTo60 ("18446744073709551676"), strayBytes; // 2^64 + 60
    for (auto digit : wrapsTo60)
        strayBytes += (char) (digit | 0x80);

    EXPECT_FALSE (read (keptFile (R"("selected": 1e4294967297)", "[60]")).has_value()); // 2^32 + 1
    EXPECT_FALSE (read (keptFile (R"("selected": 1)", "[" + wrapsTo60 + "]")).has_value());
    EXPECT_FALSE (read (keptFile (R"("selected": 1)", "[" + strayBytes + "]")).has_value());
    const std::string behindNul = std::string (R"("selected": -)") + '\0' + "1";
    EXPECT_FALSE (read (keptFile (behindNul, "[" + wrapsTo60 + "]", ", \"name\": \"\xff\"}")).has_value());
    EXPECT_FALSE (read (std::string (60000, '[')).has_value());
}
