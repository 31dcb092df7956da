#include "sequences/MidiExport.h"
#include "sequences/SequenceFile.h"
#include "sequences/SequenceFileIO.h"
#include "sequences/SequenceTransfer.h"
#include "support/ScratchFolder.h"

#include <gtest/gtest.h>

#include <string>

using namespace tarnovelle;

namespace
{
/** The token count times, with a blank between each two. */
std::string repeat (const juce::String& token, int count)
{
    return juce::String::repeatedString (token + " ", count).trimEnd().toStdString();
}

/** What a parse gives, in a line: the sequences as the file writes them, "|" between them,
    then where a silent stop came; or the error text.
*/
juce::String describeParse (const std::string& text)
{
    const auto content = parseSequenceFile (text);

    if (! content.isValid())
        return content.error;

    juce::StringArray lines;

    for (const auto& sequence : content.sequences)
    {
        StepBuffer steps{};
        std::copy (sequence.steps.begin(), sequence.steps.end(), steps.begin());
        lines.add (formatSequenceLine (sequence.number, steps.data()));
    }

    return lines.joinIntoString ("|") + (content.stopLine > 0 ? " stop " + juce::String (content.stopLine) : "");
}
} // namespace

TEST (SequenceFileFormat, EmptySetFactorySequenceAndStepLimits)
{
    const SequenceSet empty{};
    EXPECT_EQ (formatSequenceFile (empty), "1:\n2:\n3:\n4:\n5:\n6:\n7:\n8:");
    EXPECT_EQ (formatSequenceFile (empty).getNumBytesAsUTF8(), 23u);
    EXPECT_EQ (formatSequenceLine (4, getFactorySequences()[3].data()),
               "4:60 48 x 72 60 x 72 x 60 48 x 72 60 x 72 x 60 48 x 72 60 x 72 x 63 51 x 63 51 x 65 x");

    // A sequence ends at its first 0 byte or after 64 steps, never reading beyond.
    StepBuffer steps;
    steps.fill (61);
    steps[1] = restStep;
    EXPECT_EQ (formatSequenceLine (3, steps.data()), "3:61 x " + juce::String (repeat ("61", 62)));
    steps[2] = 0;
    EXPECT_EQ (formatSequenceLine (3, steps.data()), "3:61 x");
}

TEST (SequenceFileParse, LinesTokensAndNumbers)
{
    const auto bad = [] (int line, int token) {
        return "Bad file format on line: " + juce::String (line) + " token: " + juce::String (token);
    };

    const std::vector<std::pair<std::string, juce::String>> cases{
        { "1:60 x\r\n2:x 60\r\n3:\r\n", "1:60 x|2:x 60|3: stop 4" },
        { " \t3:60", "3:60" },
        { "3: 60", bad (1, 1) },
        { "3:60 ", bad (1, 2) },
        { "1:12x xx max 1", "1:x x x 1" },
        { "1:60\n2:60 X", bad (2, 2) },
        { "1:+60 60abc 125", "1:60 60 125" },
        { "1:126", bad (1, 1) },
        { "1:60 -5", bad (1, 2) },
        { "1:0", bad (1, 1) },
        { "1:4294967356", bad (1, 1) }, // too big for an int: must not wrap into the note range
        { "4:" + repeat ("60", 64), "4:" + juce::String (repeat ("60", 64)) },
        { "1:60\n4:" + repeat ("60", 65), "Sequence number: 2 is longer than 64" },
        { "4:" + repeat ("60", 64) + " 200", "Sequence number: 1 is longer than 64" },
        { "5:61\n2:\n5:62 63\n", "5:61|2:|5:62 63 stop 4" }, // any order, repeats in file order
        { "1:60\n9:61\n3:1000", "1:60 stop 2" },             // a number outside 1 to 8 ends the file
        { "0:60", " stop 1" },
        { "1:\"x\n\"", "1:x" }, // a line feed between quotes stays in its line
        { "1:60\n2:\"x\n\"\n3:61 200", bad (3, 2) },
    };

    for (const auto& [text, expected] : cases)
        EXPECT_EQ (describeParse (text), expected) << text;
}

TEST (SequenceFileRead, TextOfEditorsIsReadAndAnythingElseRefusedWhole)
{
    // As editors save "1:60 x\n2:61": UTF-8 with and without its mark, UTF-16 behind its mark
    // either way round; and the same UTF-16 without its mark, and other bytes that are no text.
    const auto utf16 = [] (bool bigEndian, bool withMark) {
        juce::MemoryOutputStream out;

        if (withMark)
            out.write (bigEndian ? "\xfe\xff" : "\xff\xfe", 2);

        for (auto c : std::string ("1:60 x\n2:61"))
            bigEndian ? out.writeShortBigEndian (c) : out.writeShort (c);

        return out.getMemoryBlock();
    };
    const auto bytes = [] (const std::string& text) { return juce::MemoryBlock (text.data(), text.size()); };
    using namespace std::string_literals; // "..."s keeps the zero bytes

    const std::vector<std::pair<juce::MemoryBlock, juce::String>> cases{
        { bytes ("1:60 x\n2:61"), "1:60 x|2:61" },
        { bytes ("\xef\xbb\xbf"s + "1:60 x\n2:61"), "1:60 x|2:61" },
        { utf16 (false, true), "1:60 x|2:61" },
        { utf16 (true, true), "1:60 x|2:61" },
        // Refused, naming where the first character that is no text lies.
        { utf16 (false, false), "Bad file format on line: 1 token: 1" },
        { utf16 (true, false), "Bad file format on line: 1 token: 1" },
        { bytes ("1:60 61\n2:62\0"s + "63"), "Bad file format on line: 2 token: 1" },
        { bytes ("1:60 \xc0\xbc 61"), "Bad file format on line: 1 token: 2" },  // an overlong "<"
        { bytes ("1:60 \xed\xa0\x80"), "Bad file format on line: 1 token: 2" }, // a surrogate
        { bytes ("1:60\n\xef\xbb\xbf\xff"), "Bad file format on line: 2 token: 1" },
        { bytes ("\xff\xfe"s + "1\0:\0"s + "6"), "Bad file format on line: 1 token: 1" }, // odd byte count
        { bytes ("\xff\xfe"s + "1\0:\0\x00\xdc"s), "Bad file format on line: 1 token: 1" },
    };

    const test::ScratchFolder scratch ("tarnovelle-text");

    for (const auto& [written, expected] : cases)
    {
        const auto file = scratch.folder.getNonexistentChildFile ("edited", ".tvseq");
        ASSERT_TRUE (file.replaceWithData (written.getData(), written.getSize()));

        std::string text = "left as it was";
        juce::String message;
        const auto read = readSequenceFileText (file, text, message);
        EXPECT_EQ (read == SequenceFileRead::ok ? describeParse (text) : message, expected)
            << written.toBase64Encoding();
        EXPECT_EQ (read, expected.startsWith ("Bad") ? SequenceFileRead::notText : SequenceFileRead::ok);

        if (read != SequenceFileRead::ok)
        {
            EXPECT_EQ (text, "left as it was");
        }
    }

    std::string text;
    juce::String message;
    EXPECT_EQ (readSequenceFileText (scratch.folder.getChildFile ("missing.tvseq"), text, message),
               SequenceFileRead::unreadable);
}

TEST (MidiExport, FileLayoutAndAStepSizeOfZero)
{
    const StepBuffer empty{};
    const uint8 expected[] = { 'M',  'T', 'h', 'd', 0,   0, 0, 6, 0, 1, 0,    1,    0,
                               0xC0, 'M', 'T', 'r', 'k', 0, 0, 0, 4, 0, 0xFF, 0x2F, 0 };
    EXPECT_EQ (makeSequenceMidiFile (empty.data(), MidiExportTiming::fromSettings (16, 2)),
               juce::MemoryBlock (expected, sizeof (expected)));

    // A step size of 0 never divides: it is taken as 16.
    StepBuffer steps{ 60, restStep, 61 };
    EXPECT_EQ (makeSequenceMidiFile (steps.data(), MidiExportTiming::fromSettings (0, 2)),
               makeSequenceMidiFile (steps.data(), MidiExportTiming::fromSettings (16, 2)));
}
