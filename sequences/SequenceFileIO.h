#pragma once

#include <juce_core/juce_core.h>

#include <string>

namespace tarnovelle
{

/** No sequence file comes near this size; anything bigger is refused without reading it. */
constexpr juce::int64 maxSequenceFileSize = 1024 * 1024;

/** The text of a sequence file as UTF-8, decoded as JUCE reads any text file: a UTF-8
    byte-order mark is dropped and a text with a UTF-16 mark (either byte order) is decoded, as
    text editors write them.
*/
std::string decodeSequenceFileText (const void* data, size_t numBytes);

/** Reads a whole sequence file and decodes it (see decodeSequenceFileText). On failure returns
    false with a message for the user that names the file (it cannot be read, or it is bigger
    than 1 MiB).
*/
bool readSequenceFileText (const juce::File& file, std::string& text, juce::String& errorMessage);

/** Writes the data to a temporary file in the target's folder, then renames it over the
    target, so an existing file is only replaced by a complete new one. Returns false when
    either step fails; the target is then left as it was.
*/
bool replaceFileWithData (const juce::File& target, const void* data, size_t numBytes);

} // namespace tarnovelle
