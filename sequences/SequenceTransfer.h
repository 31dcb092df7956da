// sequences/: the instrument's sequences: step transfer, .tvseq files, MIDI export and import, the Sequences tab.
#pragma once

#include "platform/MidiPorts.h"
#include "sequences/SequenceOperationObserver.h"

namespace tarnovelle
{

/** The two sequence commands, both with raw payloads.

    0x3B asks for one half of a sequence: index, first step (0 or 32), 32.
    0x3A carries one half, to the instrument and back: index, first step, number of valid
    steps, then 32 step bytes (those past the count are 0).
*/
constexpr uint8 sequenceChunkCommand = 0x3A;
constexpr uint8 sequenceRequestCommand = 0x3B;
constexpr int sequenceChunkSize = 3 + stepsPerHalf;

/** Reads one sequence (index 0 to 7) from the instrument, half by half, into the buffer.

    Steps 0 to 31 come from the first half, 32 to 63 from the second. A half that brings no
    reply in time leaves its 32 bytes of the buffer as they were, and the other half is still
    asked for. Returns true only when both halves answered. Holds deviceLock throughout.
*/
bool readSequence (MidiOutputPort* output, int index, uint8 steps[maxSequenceSteps]);

/** Writes one sequence to the instrument: one step chunk for a length up to 32, two above.

    The length is taken from 0 to 64; steps past it are not sent. Nothing is awaited.
    Holds deviceLock throughout.
*/
void sendSequence (MidiOutputPort* output, int index, int length, const uint8* steps);

/** The eight sequences the instrument leaves the factory with. */
const SequenceSet& getFactorySequences() noexcept;

/** Asks the user to confirm, then writes the eight factory sequences (ten messages). The
    observer, when given, is told before and after writing.
*/
void sendFactorySequences (MidiOutputPort* output, SequenceOperationObserver* observer = nullptr);

} // namespace tarnovelle
