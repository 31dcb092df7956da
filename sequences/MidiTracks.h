#pragma once

#include "sequences/MidiImport.h"

namespace tarnovelle
{

/** What one track of a Standard MIDI File holds, as the user chooses tracks to import. */
struct MidiTrackSummary
{
    /** From 1, in the file's order; tracks without notes are counted too. */
    int number = 0;

    /** The track's first track name, on one line; empty when it has none. */
    juce::String name;

    /** The channels, 1 to 16, that its notes are played on. */
    std::set<int> channels;

    /** Its note-ons of a velocity above 0. */
    int noteCount = 0;

    /** True when it plays notes on a channel other than General MIDI's percussion channel. */
    bool isMelodic() const;
};

/** A time signature: numerator beats of a 1/denominator note each. */
struct TimeSignature
{
    int numerator = 4;
    int denominator = 4;
};

/** The earliest time signature of any track (the first track's at a tie), 4/4 when the file
    has none. Signatures no music is written in (a numerator of 0, a note shorter than a 64th)
    are passed over.
*/
TimeSignature getFirstTimeSignature (const juce::MidiFile& file);

/** The tracks of a file, in its order. */
std::vector<MidiTrackSummary> summariseMidiTracks (const juce::MidiFile& file);

/** The bars the file's notes reach into, by its first time signature: at least 1, at most
    the largest int.
*/
int countBars (const juce::MidiFile& file);

/** The channels as "2, 3", or "none". */
juce::String describeChannels (const std::set<int>& channels);

/** What the editor offers first: the first melodic track, every channel but percussion, from
    bar 1. A file of drums alone offers its first track with notes and every channel, and a
    file without notes its first track.
*/
MidiImportChoice chooseFirstMelodicTrack (const std::vector<MidiTrackSummary>& tracks, int stepSize);

} // namespace tarnovelle
