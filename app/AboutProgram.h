#pragma once

#include <juce_core/juce_core.h>

namespace tarnovelle
{

/** What Help → About tells: the program, and where it keeps the user's work. */
struct ProgramFacts
{
    juce::String productName = "Tarnovelle Connection";
    juce::File libraryFile;    // the instrument's history
    juce::File workingSetFile; // the sequence editor's kept working set
};

/** The About box's text: the program's version, the firmware it ships, where the library and
    the kept working set live, and the version of JUCE it is built with.
*/
juce::String describeProgram (const ProgramFacts& facts);

/** Shows that text in an information box titled "About " and the program's name. */
void showAbout (const ProgramFacts& facts);

} // namespace tarnovelle
