#pragma once

#include "link/LinkMessage.h"

namespace tarnovelle
{

/** What the Tarnovelle Recall plug-in saves with the host's project: the set it keeps (if
    any) and its two options, as versioned XML with the sequences in the .tvseq format.
*/
struct RecallState
{
    std::optional<KeptSet> set;
    bool compareOnOpen = false;
    bool sendOnOpen = false;

    /** The version this build writes; a state of a higher version is not read. */
    static constexpr int version = 1;

    bool operator== (const RecallState& other) const noexcept
    {
        return set == other.set && compareOnOpen == other.compareOnOpen && sendOnOpen == other.sendOnOpen;
    }
};

/** A state as read: the state, or nothing and the words that tell the user why. */
struct RecallStateRead
{
    std::optional<RecallState> state;
    juce::String problem;
};

juce::MemoryBlock saveRecallState (const RecallState& state);

/** Reads a saved state. A state written by a newer version, or one that is damaged, gives no
    state: the plug-in then keeps nothing rather than a part or a guess.
*/
RecallStateRead loadRecallState (const void* data, size_t size);

} // namespace tarnovelle
