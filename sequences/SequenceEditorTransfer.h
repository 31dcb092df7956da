#pragma once

#include "platform/Dialogs.h"
#include "platform/MidiPorts.h"
#include "sequences/SequenceEditorModel.h"

namespace tarnovelle
{

/** Reads the eight sequences, sixteen halves, each into a cleared buffer. Stops early and
    returns false at the first sequence that does not answer in full, or when the progress
    window is cancelled.
*/
bool readEditorSequences (MidiOutputPort* output, SequenceSet& read, ProgressReporter* progress = nullptr);

/** The editor's read: the eight sequences, then the step size and gate length that MIDI
    files are imported and exported with, under a progress window. When the instrument does
    not answer, the editor keeps what it held and the user is told. Returns true when the
    editor took a complete read.
*/
bool readSequencesIntoEditor (MidiOutputPort* output, SequenceEditorModel& model);

/** Writes to the instrument exactly the sequences changed since the last read or send. */
void sendChangedSequences (MidiOutputPort* output, SequenceEditorModel& model);

} // namespace tarnovelle
