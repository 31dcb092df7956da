#include "sequences/MidiExport.h"
#include "sequences/SequenceFile.h"
#include "sequences/SequenceTransfer.h"
#include "tests/support/SequenceTestHelpers.h"

#include <gtest/gtest.h>

#include <string>

using namespace tarnovelle;
using tarnovelle::test::NoteEvent;
using tarnovelle::test::readNoteEvents;

namespace
{
std::string repeat (const std::string& token, int count)
{
    std::string text;

    for (int i = 0; i < count; ++i)
        text += (i > 0 ? " " : "") + token;

    return text;
}

juce::String errorOf (const std::string& text) { return parseSequenceFile (text).error; }

std::vector<uint8> onlySequence (const std::string& text)
{
    const auto content = parseSequenceFile (text);
    EXPECT_TRUE (content.isValid()) << content.error;
    EXPECT_EQ (content.sequences.size(), 1u);
    return content.sequences.empty() ? std::vector<uint8>() : content.sequences[0].steps;
}

using Steps = std::vector<uint8>;
} // namespace

TEST (SequenceFileFormat, EmptySetFactorySetAndLimits)
{
    const SequenceSet empty{};
    EXPECT_EQ (formatSequenceFile (empty), "1:\n2:\n3:\n4:\n5:\n6:\n7:\n8:");
    EXPECT_EQ (formatSequenceFile (empty).getNumBytesAsUTF8(), 23u);

    EXPECT_EQ (formatSequenceLine (4, getFactorySequences()[3].data()),
               "4:60 48 x 72 60 x 72 x 60 48 x 72 60 x 72 x 60 48 x 72 60 x 72 x 63 51 x 63 51 x 65 x");

    // A sequence ends at its first 0 byte or after 64 steps; 126 is written as it is.
    StepBuffer steps;
    steps.fill (61);
    steps[1] = 126;
    steps[2] = restStep;
    EXPECT_EQ (formatSequenceLine (3, steps.data()), "3:61 126 x " + juce::String (repeat ("61", 61)));
    steps[3] = 0;
    EXPECT_EQ (formatSequenceLine (3, steps.data()), "3:61 126 x");
}

TEST (SequenceFileParse, FormattedSetsReadBackAndFileLevelRules)
{
    const auto factory = parseSequenceFile (formatSequenceFile (getFactorySequences()).toStdString());
    ASSERT_TRUE (factory.isValid());
    ASSERT_EQ (factory.sequences.size(), 8u);

    for (int i = 0; i < numSequences; ++i)
    {
        const auto& expected = getFactorySequences()[(size_t) i];
        EXPECT_EQ (factory.sequences[(size_t) i].number, i + 1);
        EXPECT_EQ (factory.sequences[(size_t) i].steps,
                   Steps (expected.begin(), expected.begin() + getSequenceLength (expected)));
    }

    // Carriage returns before the line feeds: 60\r reads as 60 and x\r is still a rest.
    const auto crlf = parseSequenceFile ("1:60 x\r\n2:x 60\r\n3:\r\n");
    ASSERT_EQ (crlf.sequences.size(), 3u);
    EXPECT_TRUE (crlf.sequences[2].steps.empty());
    EXPECT_EQ (crlf.sequences[0].steps, (Steps{ 60, restStep }));
    EXPECT_EQ (crlf.sequences[1].steps, (Steps{ restStep, 60 }));

    // Any order, repeated numbers in file order, "2:" alone, and the trailing empty line.
    const auto shuffled = parseSequenceFile ("5:61\n2:\n5:62 63\n");
    ASSERT_TRUE (shuffled.isValid());
    ASSERT_EQ (shuffled.sequences.size(), 3u);
    EXPECT_EQ (shuffled.sequences[0].number, 5);
    EXPECT_EQ (shuffled.sequences[1].number, 2);
    EXPECT_TRUE (shuffled.sequences[1].steps.empty());
    EXPECT_EQ (shuffled.sequences[2].steps, (Steps{ 62, 63 }));
    EXPECT_EQ (shuffled.stopLine, 4);

    // A number outside 1 to 8 ends the file silently, even before a bad line.
    const auto stopped = parseSequenceFile ("1:60\n9:61\n3:1000");
    EXPECT_TRUE (stopped.isValid());
    ASSERT_EQ (stopped.sequences.size(), 1u);
    EXPECT_EQ (stopped.stopLine, 2);
    EXPECT_EQ (parseSequenceFile ("0:60").sequences.size(), 0u);
    EXPECT_EQ (parseSequenceFile ("").sequences.size(), 0u);

    // A line feed between double quotes stays in its line: the error names the third line.
    EXPECT_EQ (onlySequence ("1:\"x\n\""), (Steps{ restStep }));
    EXPECT_EQ (errorOf ("1:60\n2:\"x\n\"\n3:61 200"), "Bad file format on line: 3 token: 2");
}

TEST (SequenceFileParse, TokensAndNumbers)
{
    EXPECT_EQ (onlySequence (" 3:60"), (Steps{ 60 })) << "leading white space before the number";
    EXPECT_EQ (parseSequenceFile (" \t3:60").sequences[0].number, 3);
    EXPECT_EQ (errorOf ("3: 60"), "Bad file format on line: 1 token: 1");
    EXPECT_EQ (errorOf ("3:60  61"), "Bad file format on line: 1 token: 2");
    EXPECT_EQ (errorOf ("3:60 "), "Bad file format on line: 1 token: 2");

    EXPECT_EQ (onlySequence ("1:12x xx max 1"), (Steps{ restStep, restStep, restStep, 1 }));
    EXPECT_EQ (errorOf ("1:60\n2:60 X"), "Bad file format on line: 2 token: 2");

    EXPECT_EQ (onlySequence ("1:+60 60abc 125"), (Steps{ 60, 60, 125 }));
    EXPECT_EQ (errorOf ("1:126"), "Bad file format on line: 1 token: 1");
    EXPECT_EQ (errorOf ("1:60 -5"), "Bad file format on line: 1 token: 2");
    EXPECT_EQ (errorOf ("1:0"), "Bad file format on line: 1 token: 1");
    // A number too big for an int must not wrap around into the note range.
    EXPECT_EQ (errorOf ("1:4294967356"), "Bad file format on line: 1 token: 1");
    EXPECT_EQ (parseLeadingInteger ("99999999999"), std::numeric_limits<int>::max());
    EXPECT_EQ (parseLeadingInteger ("-99999999999"), std::numeric_limits<int>::min());
    EXPECT_EQ (parseLeadingInteger ("- 5"), 0);

    EXPECT_EQ (onlySequence ("4:" + repeat ("60", 64)).size(), 64u);
    EXPECT_EQ (errorOf ("1:60\n4:" + repeat ("60", 64) + " 60"), "Sequence number: 2 is longer than 64");
    EXPECT_EQ (errorOf ("4:" + repeat ("60", 64) + " "), "Sequence number: 1 is longer than 64");
    EXPECT_EQ (errorOf ("4:" + repeat ("60", 64) + " 200"), "Sequence number: 1 is longer than 64");
}

TEST (MidiExport, FileBytesEventsAndTiming)
{
    const StepBuffer empty{};
    const auto emptyFile = makeSequenceMidiFile (empty.data(), MidiExportTiming::fromSettings (16, 2));
    const uint8 expected[] = { 'M',  'T', 'h', 'd', 0,   0, 0, 6, 0, 1, 0,    1,    0,
                               0xC0, 'M', 'T', 'r', 'k', 0, 0, 0, 4, 0, 0xFF, 0x2F, 0 };
    EXPECT_EQ (emptyFile, juce::MemoryBlock (expected, sizeof (expected)));

    StepBuffer steps{};
    steps[0] = 60;
    steps[1] = restStep;
    EXPECT_EQ (readNoteEvents (makeSequenceMidiFile (steps.data(), MidiExportTiming::fromSettings (16, 2))),
               (std::vector<NoteEvent>{ { 0x90, 60, 64, 0 }, { 0x80, 60, 64, 24 }, { 0x80, 127, 64, 72 } }));

    const auto t32 = MidiExportTiming::fromSettings (32, 3);
    EXPECT_EQ (t32.stepTicks, 24);
    EXPECT_EQ (t32.noteTicks, 18);
    EXPECT_EQ (MidiExportTiming::fromSettings (4, 1).noteTicks, 48);
    EXPECT_EQ (MidiExportTiming::fromSettings (0, 2).stepTicks, 48) << "a step size of 0 is taken as 16";

    steps.fill (50);
    const auto full = readNoteEvents (makeSequenceMidiFile (steps.data(), t32));
    ASSERT_EQ (full.size(), 128u);
    EXPECT_EQ (full.back(), (NoteEvent{ 0x80, 50, 64, 63 * 24 + 18 }));

    EXPECT_EQ (getSequenceMidiFile (juce::File ("/sets/live.tvseq"), 3).getFullPathName(), "/sets/live.tvseq_3.mid");
}
