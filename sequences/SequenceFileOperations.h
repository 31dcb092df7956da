#pragma once

#include "platform/MidiPorts.h"
#include "sequences/SequenceFile.h"

#include "sequences/SequenceOperationObserver.h"
#include <optional>

namespace tarnovelle
{

/** Saves the instrument's eight sequences to a .tvseq file the user chooses, and, if the
    user wants them, one MIDI file per sequence next to it. The observer, when given, is
    told of the read.

    Everything is read from the instrument before anything is written: when the instrument
    does not answer, nothing is written and the user is told. Files are replaced only by
    complete new ones, and a file that cannot be written is reported.
*/
void saveSequenceFile (MidiOutputPort* output, SequenceOperationObserver* observer = nullptr);

/** The .tvseq file a save writes for the file chosen in its chooser (see confirmSaveTarget). */
juce::File sequenceFileToSave (const juce::File& chosen);

/** Asks whether the MIDI files of the set should be written too ("Generate MidiFiles?"), and,
    when some of them exist already, whether to replace them: true when they are to be written.
*/
bool askForMidiFiles (const juce::File& sequenceFile);

/** Writes a set to a .tvseq file through a temporary file and, if wanted, its eight MIDI
    files at that step size and gate length; tells the user of any file it could not write.
    Returns false when the sequence file itself could not be written.
*/
bool writeSequenceSet (const juce::File& file, const SequenceSet& sequences, uint8 stepSize, uint8 gateLength,
                       bool withMidiFiles);

/** Loads a .tvseq file the user chooses into the instrument.

    The whole file is checked first: a file with an error shows it and sends nothing; a good
    file is sent line by line, each line to the sequence it names. The observer, when given,
    is told before and after sending.
*/
void loadSequenceFile (MidiOutputPort* output, SequenceOperationObserver* observer = nullptr);

/** Reads and parses a .tvseq file the user chose. A file that cannot be read is told in a
    warning box with this title, its message ending in the text given; a file that is not a
    valid sequence file in the "Sequence file parsing error" box. Nothing is returned then.
*/
std::optional<SequenceFileContent> readSequenceFileForUser (const juce::File& file, const juce::String& readErrorTitle,
                                                            const juce::String& readErrorEnding);

} // namespace tarnovelle
