#pragma once

#include "editor/MidiImportChooser.h"
#include "editor/SequenceEditorModel.h"

namespace tarnovelle
{

/** The sequence editor's file commands. Each runs its own file chooser and tells the user of
    any problem; none talks to the instrument.
*/

/** Opens a .tvseq file into the editor, checked as loading checks it: a file with an error
    changes nothing; a good one replaces the sequences it names, as one undoable change. When
    that would replace unsent changes, it asks first, as Read does.
*/
void openSequenceFileIntoEditor (SequenceEditorModel& model);

/** Saves the editor's eight sequences as a .tvseq file and, if wanted, their MIDI files at
    the editor's step size and gate length.
*/
void saveEditorSequences (const SequenceEditorModel& model);

/** Imports a MIDI file into the selected sequence, as one undoable change: the chooser offers
    the file's first melodic track at the editor's step size, and the user's answer is taken.
*/
void importMidiIntoEditor (SequenceEditorModel& model, MidiImportChooser& chooser);

/** The file Export MIDI proposes for the selected sequence. */
juce::File proposedMidiFile (const SequenceEditorModel& model);

/** Exports the selected sequence as a MIDI file at the editor's step size and gate length. */
void exportMidiFromEditor (const SequenceEditorModel& model);

} // namespace tarnovelle
