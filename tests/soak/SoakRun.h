#pragma once

#include "tests/soak/SoakActions.h"

#include <map>
#include <set>

namespace tarnovelle::soak
{

struct SoakOptions
{
    std::uint64_t seed = 1;
    std::set<juce::String> tolerated; // checks that are counted but do not fail the run
    double timeScale = 1.0;           // a slower build (the sanitizers) gets this much longer to answer
    bool verbose = false;             // print every action as it runs
};

struct SoakResult
{
    bool failed = false;
    int failedPosition = -1; // in the list of actions run
    std::vector<Finding> findings;
    std::map<juce::String, int> toleratedCounts;
    std::map<juce::String, int> firstTolerated; // the first action index at which each appeared
    std::vector<double> residentMiB;            // after the warm-up, then every sampleInterval actions
    int actionsRun = 0;
    double seconds = 0.0;
};

/** Runs the actions of the seed whose indices are listed, each against a fresh application
    and instrument made from the seed, with the oracle's checks after each.
*/
SoakResult runSoak (const SoakOptions& options, const std::vector<int>& indices, int warmUpActions, int sampleInterval);

/** Resident memory of this process in MiB, without the images its windows share with the X server. */
double residentMiB();

} // namespace tarnovelle::soak
