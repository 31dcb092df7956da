#pragma once

#include "sequences/StepBuffer.h"

#include <juce_audio_basics/juce_audio_basics.h>

#include <optional>
#include <set>
#include <vector>

namespace tarnovelle
{

/** One sequence taken from a Standard MIDI File, or the reason the file was refused. */
struct MidiImportResult
{
    /** Empty when the file was imported. */
    juce::String error;

    /** The steps, 0 to 64 of them: notes 1 to 125, rests 127. */
    std::vector<uint8> steps;

    /** Notes that started past the 64th step and so were left out. */
    int droppedNotes = 0;

    bool isValid() const noexcept { return error.isEmpty(); }

    /** What the user should know about an import that succeeded, or an empty string. */
    juce::String getWarning() const;
};

/** The step sizes a sequence can be imported at: a quarter, eighth, sixteenth or 32nd note. */
bool isValidStepSize (int stepSize) noexcept;

/** Which notes of a MIDI file become the sequence, and how they are laid on steps. */
struct MidiImportChoice
{
    /** The tracks whose notes are taken, numbered from 1 in the file's order (a track without
        notes counts too); nothing means every track.
    */
    std::optional<std::set<int>> tracks;

    /** The MIDI channels, 1 to 16, whose notes are taken; nothing means every channel. */
    std::optional<std::set<int>> channels;

    /** The bar that becomes step 1, counted from 1; bars follow the file's first time
        signature, 4/4 when it has none. Notes before it are left out.
    */
    int fromBar = 1;

    int stepSize = 16;

    /** Every note of every track and channel, from the start. */
    static MidiImportChoice everything (int stepSize);

    bool operator== (const MidiImportChoice& other) const;
    bool operator!= (const MidiImportChoice& other) const { return ! operator== (other); }
};

/** The channel General MIDI keeps for percussion, whose notes are drums rather than pitches. */
constexpr int percussionChannel = 10;

/** Turns a Standard MIDI File (format 0 or 1, any tracks and channels) into one sequence.

    With q ticks per quarter note and a step size s, a step lasts L = 4q / s ticks. Every
    note-on of velocity above 0 lands on step round (tick / L), halves rounding up, and the
    highest note of a step wins. Every note end (a note-off, or a note-on of velocity 0)
    marks step ceil (tick / L) - 1. The sequence is as long as its last marked step, at most
    64 steps; steps without a note are rests, notes past step 63 are dropped and counted,
    and notes outside 1 to 125 move by whole octaves into that range.

    This is the exact inverse of the MIDI export: a sequence exported at step size s with
    any gate length imports back unchanged at s.
*/
MidiImportResult importMidiSequence (const juce::MidiFile& file, int stepSize);

/** The same, with only the notes of the chosen tracks and channels, the grid starting at the
    chosen bar: notes that round onto a step before it are left out.
*/
MidiImportResult importMidiSequence (const juce::MidiFile& file, const MidiImportChoice& choice);

/** Reads the stream as a Standard MIDI File and imports it; refuses what is not one. */
MidiImportResult importMidiSequence (juce::InputStream& stream, int stepSize);

/** Reads the file and imports it; refuses a file that cannot be read or is not a MIDI file. */
MidiImportResult importMidiSequence (const juce::File& file, int stepSize);

/** Reads a Standard MIDI File; returns the reason when it cannot be read or is not one, or an
    empty string.
*/
juce::String readMidiFile (juce::InputStream& stream, juce::MidiFile& file);
juce::String readMidiFile (const juce::File& source, juce::MidiFile& file);

/** Moves a note by whole octaves into 1 to 125, the notes a sequence file accepts. */
uint8 foldNoteIntoRange (int note) noexcept;

} // namespace tarnovelle
