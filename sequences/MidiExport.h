#pragma once

#include "sequences/StepBuffer.h"

#include <juce_audio_basics/juce_audio_basics.h>

namespace tarnovelle
{

/** Ticks of the exported MIDI files, from the instrument's step size and gate length. */
struct MidiExportTiming
{
    static constexpr int ticksPerQuarterNote = 192;

    int stepTicks = 48; // T = 768 / step size
    int noteTicks = 24; // G = (T / 4) * gate length

    /** The step size is the note value of one step (4, 8, 16 or 32); 0 is taken as 16 so
        that it never divides. The gate length is in quarters of a step (1, 2 or 3).
    */
    static MidiExportTiming fromSettings (uint8 stepSize, uint8 gateLength) noexcept;
};

/** The events of one sequence, in time order: for every step p up to the first 0 byte (at
    most 64), a note-on at T * p unless the step is a rest, and a note-off at T * p + G (key
    127 for a rest). Channel 1, velocity 64.
*/
juce::MidiMessageSequence makeSequenceEvents (const uint8* steps, const MidiExportTiming& timing);

/** The Standard MIDI File of one sequence: format 1, one track, 192 ticks per quarter note,
    no tempo or other meta events but the end of track.
*/
juce::MemoryBlock makeSequenceMidiFile (const uint8* steps, const MidiExportTiming& timing);

/** The MIDI file of sequence k (1 to 8) of a sequence file: its full path plus "_k.mid". */
juce::File getSequenceMidiFile (const juce::File& sequenceFile, int sequenceNumber);

/** Writes the MIDI file through a temporary file, so an old one is only replaced by a whole
    new one. Returns false when it could not be written.
*/
bool writeSequenceMidiFile (const juce::File& target, const uint8* steps, const MidiExportTiming& timing);

} // namespace tarnovelle
