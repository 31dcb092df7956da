#pragma once

#include <juce_core/juce_core.h>

#include <unistd.h>

namespace tarnovelle::test
{

/** A new, empty folder of the temporary folder, made at once. ctest runs each test in a process of
    its own, side by side: the name carries the process id so that two tests never share a folder.
*/
inline juce::File makeScratchFolder (const juce::String& prefix)
{
    const auto folder = juce::File::getSpecialLocation (juce::File::tempDirectory)
                            .getNonexistentChildFile (prefix + "-" + juce::String ((int) getpid()), "");
    folder.createDirectory();
    return folder;
}

} // namespace tarnovelle::test
