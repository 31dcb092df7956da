#pragma once

#include <juce_core/juce_core.h>

namespace tarnovelle
{

/** Replaces the file with the text (UTF-8, as given), as one whole.

    The text is written to a file of a name no one else has (created exclusively beside the
    target, readable by the user alone), flushed to the disk and then renamed over the target.
    Whoever reads the target, and whoever else writes it at the same moment, in this process
    or in another (a second instance of the program in a sandbox of its own), sees either the
    old file or one whole new one: the last one renamed. Creates the folder if needed. When any
    step fails, the target stays as it was and the result holds the system's reason.
*/
juce::Result replaceFileWhole (const juce::File& target, const juce::String& text);

/** The file's bytes as they were when opened, read to its end; empty when it cannot be
    read or holds more than maxBytes. JUCE's own reading stops at the length the file's name
    has a moment after opening, which is another file's once another writer has replaced it:
    what it reads is then cut short.
*/
juce::MemoryBlock readFileWhole (const juce::File& file, size_t maxBytes = 1 << 20);

} // namespace tarnovelle
