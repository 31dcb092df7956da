#include "sequences/SequenceFile.h"
#include "sequences/SequenceFileIO.h"

#include <algorithm>
#include <string_view>

namespace tarnovelle
{

namespace
{
    constexpr int invalid = -1;

    bool isContinuation (uint8 byte) noexcept { return (byte & 0xc0) == 0x80; }

    /** The next code point of UTF-8 text, or invalid for an ill-formed sequence (an overlong
        form, a surrogate, a value beyond U+10FFFF, a cut or stray continuation byte).
    */
    int nextUtf8 (const uint8* bytes, size_t size, size_t& pos) noexcept
    {
        const uint8 lead = bytes[pos++];

        if (lead < 0x80)
            return lead;

        int length = 0, codePoint = 0;
        uint8 low = 0x80, high = 0xbf; // the allowed range of the second byte

        if (lead >= 0xc2 && lead <= 0xdf)
            length = 1, codePoint = lead & 0x1f;
        else if (lead >= 0xe0 && lead <= 0xef)
            length = 2, codePoint = lead & 0x0f, low = lead == 0xe0 ? 0xa0 : 0x80, high = lead == 0xed ? 0x9f : 0xbf;
        else if (lead >= 0xf0 && lead <= 0xf4)
            length = 3, codePoint = lead & 0x07, low = lead == 0xf0 ? 0x90 : 0x80, high = lead == 0xf4 ? 0x8f : 0xbf;
        else
            return invalid;

        if (size - pos < (size_t) length || bytes[pos] < low || bytes[pos] > high)
            return invalid;

        for (int i = 0; i < length; ++i)
        {
            if (! isContinuation (bytes[pos]))
                return invalid;

            codePoint = (codePoint << 6) | (bytes[pos++] & 0x3f);
        }

        return codePoint;
    }

    /** The next code point of UTF-16 text, or invalid for a lone surrogate or an odd last byte. */
    int nextUtf16 (const uint8* bytes, size_t size, size_t& pos, bool bigEndian) noexcept
    {
        const auto unit = [&]() -> int {
            if (size - pos < 2)
                return invalid;

            const int value = bigEndian ? (bytes[pos] << 8) | bytes[pos + 1] : bytes[pos] | (bytes[pos + 1] << 8);
            pos += 2;
            return value;
        };

        const int first = unit();

        if (first < 0xd800 || first > 0xdfff)
            return first;

        if (first > 0xdbff)
            return invalid;

        const int second = unit();

        if (second < 0xdc00 || second > 0xdfff)
            return invalid;

        return 0x10000 + ((first - 0xd800) << 10) + (second - 0xdc00);
    }

    void appendUtf8 (std::string& text, int codePoint)
    {
        juce::CharPointer_UTF8::CharType buffer[4];
        juce::CharPointer_UTF8 out (buffer);
        out.write ((juce::juce_wchar) codePoint);
        text.append (buffer, (size_t) (out.getAddress() - buffer));
    }

    /** Where the next character of the text would lie, as the loader names a bad token: the
        line, and the token after the line's colon (the first while there is no colon yet).
    */
    juce::String badCharacterError (std::string_view before)
    {
        const auto line = (int) std::count (before.begin(), before.end(), '\n') + 1;
        const auto lineStart = before.rfind ('\n');
        const auto current = before.substr (lineStart == std::string_view::npos ? 0 : lineStart + 1);
        const auto colon = current.find (':');
        const auto steps = colon == std::string_view::npos ? std::string_view() : current.substr (colon + 1);
        return badFileFormatError (line, (int) std::count (steps.begin(), steps.end(), ' ') + 1);
    }

    bool startsWith (const uint8* bytes, size_t size, std::string_view mark) noexcept
    {
        return size >= mark.size()
               && std::equal (mark.begin(), mark.end(), bytes, [] (char m, uint8 b) { return (uint8) m == b; });
    }
} // namespace

bool decodeSequenceFileText (const void* data, size_t numBytes, std::string& text, juce::String& formatError)
{
    const auto* bytes = static_cast<const uint8*> (data);
    size_t pos = 0;
    enum class Encoding
    {
        utf8,
        utf16le,
        utf16be
    } encoding = Encoding::utf8;

    if (startsWith (bytes, numBytes, "\xef\xbb\xbf"))
        pos = 3;
    else if (startsWith (bytes, numBytes, "\xff\xfe"))
        pos = 2, encoding = Encoding::utf16le;
    else if (startsWith (bytes, numBytes, "\xfe\xff"))
        pos = 2, encoding = Encoding::utf16be;

    std::string decoded;
    decoded.reserve (numBytes);

    while (pos < numBytes)
    {
        const int codePoint = encoding == Encoding::utf8
                                  ? nextUtf8 (bytes, numBytes, pos)
                                  : nextUtf16 (bytes, numBytes, pos, encoding == Encoding::utf16be);

        // A NUL is no character of any text, and UTF-16 written without its mark shows one in
        // every other byte: the file is refused, not cut or read as something else.
        if (codePoint <= 0)
        {
            formatError = badCharacterError (decoded);
            return false;
        }

        appendUtf8 (decoded, codePoint);
    }

    text = std::move (decoded);
    return true;
}

} // namespace tarnovelle
