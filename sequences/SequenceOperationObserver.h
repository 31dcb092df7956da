#pragma once

#include "platform/MidiPorts.h"
#include "sequences/StepBuffer.h"

#include <vector>

namespace tarnovelle
{

/** The sequences one operation wrote to the instrument: index 0 to 7 and the steps. */
using WrittenSequences = std::vector<std::pair<int, StepBuffer>>;

/** Told by the sequence operations what they read from and write to the instrument, so that
    the instrument's history can keep every state (the program's library implements it).
*/
class SequenceOperationObserver
{
public:
    virtual ~SequenceOperationObserver() = default;

    /** The user has agreed to an operation that overwrites sequences, nothing is written yet.
        Returns false when the operation must not go on.
    */
    virtual bool aboutToOverwrite (MidiOutputPort* output, const juce::String& cause) = 0;

    /** The operation has written these sequences. */
    virtual void overwritten (const juce::String& cause, const WrittenSequences& written) = 0;

    /** All eight sequences have just been read. */
    virtual void sequencesRead (const SequenceSet& sequences, const juce::String& cause) = 0;
};

} // namespace tarnovelle
