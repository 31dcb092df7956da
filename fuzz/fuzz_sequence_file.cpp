// The .tvseq reader: bytes that are no text are refused whole; any text either parses into
// sequences that the instrument can hold or gives an error, and a parsed set written out again
// parses back to the same steps.

#include "fuzz/FuzzTarget.h"
#include "sequences/SequenceFile.h"
#include "sequences/SequenceFileIO.h"

#include <string_view>

namespace tarnovelle::fuzz
{
/** The set a good file leaves in the instrument: each line goes to the sequence it names. */
SequenceSet applied (const SequenceFileContent& content)
{
    SequenceSet set{};

    for (auto& sequence : content.sequences)
    {
        auto& target = set[(size_t) sequence.number - 1];
        target.fill (0);
        std::copy (sequence.steps.begin(), sequence.steps.end(), target.begin());
    }

    return set;
}
} // namespace tarnovelle::fuzz

TARNOVELLE_FUZZ_TARGET (fuzzSequenceFile, 0, 0)
{
    // Read as the application reads a file: UTF-8, or UTF-16 behind its byte-order mark.
    std::string decoded;
    juce::String formatError;
    const bool isText = decodeSequenceFileText (bytes, (size_t) count, decoded, formatError);
    const std::string_view raw (reinterpret_cast<const char*> (bytes), (size_t) count);
    const bool utf16 = raw.rfind ("\xff\xfe", 0) == 0 || raw.rfind ("\xfe\xff", 0) == 0;

    // Bytes that are no text never load, not even in part: a NUL byte only ever occurs in
    // UTF-16 text, and no decoded text holds a NUL.
    if (! isText)
    {
        TARNOVELLE_FUZZ_CHECK (formatError.startsWith ("Bad file format on line: "));
        return;
    }

    TARNOVELLE_FUZZ_CHECK (utf16 || raw.find ('\0') == std::string_view::npos);
    TARNOVELLE_FUZZ_CHECK (decoded.find ('\0') == std::string::npos);

    const std::string_view text (decoded);
    const auto content = parseSequenceFile (text);
    (void) parseLeadingInteger (text);

    if (! content.isValid())
    {
        TARNOVELLE_FUZZ_CHECK (content.error.startsWith ("Bad file format on line: ")
                               || content.error.endsWith (" is longer than 64"));
        return;
    }

    for (auto& sequence : content.sequences)
    {
        TARNOVELLE_FUZZ_CHECK (sequence.number >= 1 && sequence.number <= numSequences);
        TARNOVELLE_FUZZ_CHECK (sequence.line >= 1 && sequence.line <= content.numLines);
        TARNOVELLE_FUZZ_CHECK (sequence.steps.size() <= (size_t) maxSequenceSteps);

        for (auto step : sequence.steps)
            TARNOVELLE_FUZZ_CHECK ((step >= 1 && step <= 125) || step == restStep);
    }

    // Written as the application writes it, the set reads back unchanged.
    const auto set = applied (content);
    const auto reread = parseSequenceFile (formatSequenceFile (set).toStdString());
    TARNOVELLE_FUZZ_CHECK (reread.isValid());
    TARNOVELLE_FUZZ_CHECK (reread.sequences.size() == (size_t) numSequences);
    TARNOVELLE_FUZZ_CHECK (applied (reread) == set);
}
