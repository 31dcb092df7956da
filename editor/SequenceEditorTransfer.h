#pragma once

#include "editor/SequenceEditorModel.h"
#include "platform/Dialogs.h"
#include "platform/MidiPorts.h"

namespace tarnovelle
{

/** Reads the eight sequences, sixteen halves, each into a cleared buffer. Stops early and
    returns false at the first sequence that does not answer in full, or when the progress
    window is cancelled.
*/
bool readEditorSequences (MidiOutputPort* output, SequenceSet& read, ProgressReporter* progress = nullptr);

/** The editor's read: the eight sequences, then the step size and gate length that MIDI
    files are imported and exported with, under a progress window. The sequences the user has
    not changed follow the instrument; changed ones keep their edits, and the status bar says
    where the instrument changed under them. When the instrument does not answer, the editor
    keeps what it held and the user is told. Returns true when
    the editor took a complete read.
*/
bool readSequencesIntoEditor (MidiOutputPort* output, SequenceEditorModel& model);

/** Writes to the instrument exactly the sequences that differ from what it holds. A stale
    picture of the instrument is read again first, and when the instrument turns out to have
    changed under the editor nothing is sent and the user is told. A send that would empty
    a sequence holding notes, or shorten one by more than half, asks first. Each sequence is
    read back after it has been written: only what the instrument confirms clears its mark.
*/
void sendChangedSequences (MidiOutputPort* output, SequenceEditorModel& model);

/** The title of the editor's questions before something replaces its unsent changes. */
inline const char* const unsentChangesTitle = "Unsent Changes";

/** Asks whether something may replace the editor's unsent changes ("Replace My Changes" or
    "Cancel", the safe choice for Return and Escape); true when it may.
*/
bool confirmReplacingUnsentChanges (const juce::String& question);

/** "sequence 3", "sequences 1 and 3", "sequences 1, 2 and 5" (indices 0 to 7). */
juce::String describeSequences (const std::vector<int>& indices);

} // namespace tarnovelle
