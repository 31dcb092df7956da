#include "sequences/SequenceFile.h"

#include <limits>

namespace tarnovelle
{

namespace
{
    constexpr int lowestNote = 1;

    bool isWhiteSpace (char c) noexcept { return c == ' ' || (c >= '\t' && c <= '\r'); }

    /** Splits at line feeds; a line feed between double quotes stays in its line, and so do
        the quotes. A text ending in a line feed gives a last, empty line.
    */
    std::vector<std::string_view> splitLines (std::string_view text)
    {
        std::vector<std::string_view> lines;
        size_t start = 0;
        bool quoted = false;

        for (size_t i = 0; i < text.size(); ++i)
        {
            if (text[i] == '"')
            {
                quoted = ! quoted;
            }
            else if (text[i] == '\n' && ! quoted)
            {
                lines.push_back (text.substr (start, i - start));
                start = i + 1;
            }
        }

        lines.push_back (text.substr (start));
        return lines;
    }

    /** Splits at every space: no tokens for an empty text, an empty token for each pair of
        adjacent spaces and for a space at either end.
    */
    std::vector<std::string_view> splitTokens (std::string_view text)
    {
        std::vector<std::string_view> tokens;

        if (text.empty())
            return tokens;

        size_t start = 0;

        for (size_t space = text.find (' '); space != std::string_view::npos; space = text.find (' ', start))
        {
            tokens.push_back (text.substr (start, space - start));
            start = space + 1;
        }

        tokens.push_back (text.substr (start));
        return tokens;
    }

    juce::String tooLongError (int line) { return "Sequence number: " + juce::String (line) + " is longer than 64"; }

    /** Reads the steps of one line; returns an error text, or an empty one. */
    juce::String parseSteps (std::string_view stepText, int line, int highestNote, std::vector<uint8>& steps)
    {
        const auto tokens = splitTokens (stepText);

        for (size_t i = 0; i < tokens.size(); ++i)
        {
            if ((int) steps.size() == maxSequenceSteps)
                return tooLongError (line);

            const auto token = tokens[i];

            if (token.find ('x') != std::string_view::npos)
            {
                steps.push_back (restStep);
                continue;
            }

            const int note = parseLeadingInteger (token);

            if (note < lowestNote || note > highestNote)
                return badFileFormatError (line, (int) i + 1);

            steps.push_back ((uint8) note);
        }

        return {};
    }
} // namespace

juce::String badFileFormatError (int line, int token)
{
    return "Bad file format on line: " + juce::String (line) + " token: " + juce::String (token);
}

juce::String formatSequenceLine (int sequenceNumber, const uint8* steps)
{
    juce::String line;
    line << sequenceNumber << ':';

    const int length = getSequenceLength (steps);

    for (int p = 0; p < length; ++p)
    {
        if (p > 0)
            line << ' ';

        if (steps[p] == restStep)
            line << 'x';
        else
            line << (int) steps[p];
    }

    return line;
}

juce::String formatSequenceFile (const SequenceSet& sequences)
{
    juce::String text;

    for (int index = 0; index < numSequences; ++index)
    {
        if (index > 0)
            text << '\n';

        text << formatSequenceLine (index + 1, sequences[(size_t) index].data());
    }

    return text;
}

int parseLeadingInteger (std::string_view text) noexcept
{
    size_t i = 0;

    while (i < text.size() && isWhiteSpace (text[i]))
        ++i;

    bool negative = false;

    if (i < text.size() && (text[i] == '-' || text[i] == '+'))
        negative = (text[i++] == '-');

    constexpr long long limit = (long long) std::numeric_limits<int>::max() + 1;
    long long value = 0;

    for (; i < text.size() && text[i] >= '0' && text[i] <= '9'; ++i)
        value = juce::jmin (limit, value * 10 + (text[i] - '0'));

    if (negative)
        return (int) -value;

    return (int) juce::jmin (value, limit - 1);
}

SequenceFileContent parseSequenceFile (std::string_view text, int highestNote)
{
    SequenceFileContent content;
    const auto lines = splitLines (text);
    content.numLines = (int) lines.size();

    for (size_t i = 0; i < lines.size(); ++i)
    {
        const int lineNumber = (int) i + 1;
        const auto line = lines[i];
        const auto colon = line.find (':');

        const int number = parseLeadingInteger (line.substr (0, colon));

        if (number < 1 || number > numSequences)
        {
            content.stopLine = lineNumber;
            break;
        }

        ParsedSequence sequence;
        sequence.number = number;
        sequence.line = lineNumber;

        auto stepText = colon == std::string_view::npos ? std::string_view() : line.substr (colon + 1);

        // A file saved with CR LF line ends reads as the same file with LF alone, so that an
        // empty sequence ("4:" then CR) or a space before the CR is no bad token.
        if (! stepText.empty() && stepText.back() == '\r')
            stepText.remove_suffix (1);
        content.error = parseSteps (stepText, lineNumber, highestNote, sequence.steps);

        if (content.error.isNotEmpty())
        {
            content.sequences.clear();
            break;
        }

        content.sequences.push_back (std::move (sequence));
    }

    return content;
}

} // namespace tarnovelle
