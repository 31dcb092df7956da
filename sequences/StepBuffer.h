#pragma once

#include <juce_core/juce_core.h>

#include <array>

namespace tarnovelle
{

using juce::uint8;

/** The instrument's step sequencer: eight sequences of up to 64 steps.

    A step byte of 0 ends a sequence, 1 to 126 is a MIDI note number and 127 a rest.
    Sequences are numbered 1 to 8 for users and files, 0 to 7 on the wire.
*/
constexpr int numSequences = 8;
constexpr int maxSequenceSteps = 64;
constexpr int stepsPerHalf = 32;
constexpr uint8 endOfSequenceStep = 0;
constexpr uint8 restStep = 127;

/** One sequence as the instrument holds it, step 0 first. */
using StepBuffer = std::array<uint8, maxSequenceSteps>;

/** The eight sequences, index 0 (sequence 1) first. */
using SequenceSet = std::array<StepBuffer, numSequences>;

/** The number of steps before the first 0 byte, or 64 when there is none. */
inline int getSequenceLength (const uint8* steps) noexcept
{
    for (int i = 0; i < maxSequenceSteps; ++i)
        if (steps[i] == endOfSequenceStep)
            return i;

    return maxSequenceSteps;
}

inline int getSequenceLength (const StepBuffer& steps) noexcept { return getSequenceLength (steps.data()); }

} // namespace tarnovelle
