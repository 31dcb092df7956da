#pragma once

#include <juce_core/juce_core.h>

#include <string>

namespace tarnovelle
{

/** No sequence file comes near this size; anything bigger is refused without reading it. */
constexpr juce::int64 maxSequenceFileSize = 1024 * 1024;

/** Decodes the bytes of a sequence file into UTF-8 text.

    Accepted are UTF-8, with or without its byte-order mark, and UTF-16 in either byte order
    behind its byte-order mark, as text editors write them. Anything else is no text: a NUL
    character (which also catches UTF-16 without a mark), invalid UTF-8 or UTF-16. Such bytes
    are refused whole, never decoded in part: false, with the loader's "Bad file format" text
    naming the line and token where the first bad character lies.
*/
bool decodeSequenceFileText (const void* data, size_t numBytes, std::string& text, juce::String& formatError);

/** How reading a sequence file ended. */
enum class SequenceFileRead
{
    ok,
    unreadable, // the message names the file: it cannot be read, or it is bigger than 1 MiB
    notText     // the message is the loader's "Bad file format" text (see decodeSequenceFileText)
};

/** Reads a whole sequence file and decodes it; on failure leaves a message for the user. */
SequenceFileRead readSequenceFileText (const juce::File& file, std::string& text, juce::String& message);

/** Writes the data to a temporary file in the target's folder, then renames it over the
    target, so an existing file is only replaced by a complete new one. Returns false when
    either step fails; the target is then left as it was.
*/
bool replaceFileWithData (const juce::File& target, const void* data, size_t numBytes);

} // namespace tarnovelle
