#pragma once

#include <juce_core/juce_core.h>

#include <unistd.h>

namespace tarnovelle::test
{

/** A new, empty folder of the temporary folder, made at once and deleted with everything in it
    at the end. ctest runs each test in a process of its own, side by side: the name carries the
    process id so that two tests never share a folder.
*/
class ScratchFolder final
{
public:
    explicit ScratchFolder (const juce::String& prefix)
        : folder (juce::File::getSpecialLocation (juce::File::tempDirectory)
                      .getNonexistentChildFile (prefix + "-" + juce::String ((int) getpid()), ""))
    {
        folder.createDirectory();
    }

    ~ScratchFolder() { folder.deleteRecursively(); }

    const juce::File folder;

private:
    JUCE_DECLARE_NON_COPYABLE (ScratchFolder)
};

} // namespace tarnovelle::test
