#pragma once

#include <juce_core/juce_core.h>

#include <vector>

namespace tarnovelle::benchmark
{

/** The sequence editor's opening read while connected, against the emulated instrument. */
struct EditorReadTimes
{
    std::vector<double> sequencesMs; // the sixteen halves of the eight sequences
    std::vector<double> wholeReadMs; // the hub's "RDSQ ": halves, step size and gate, progress window
    juce::String failure;            // empty when every run read all it asked for
};

/** Connects the application's controller to a fresh emulated instrument and reads the eight
    sequences into the editor `runs` times.
*/
EditorReadTimes measureEditorOpeningRead (int runs);

} // namespace tarnovelle::benchmark
