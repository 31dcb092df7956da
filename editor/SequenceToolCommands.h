#pragma once

#include "editor/SequenceEditorModel.h"

namespace tarnovelle
{

/** The sequence tools that need the user's choices: each asks in a form of its own and, on OK,
    changes the selection (the range, or the whole sequence) as one undoable edit.
*/
namespace SequenceToolCommands
{
    /** "Invert": mirrors the notes around a note, the cursor's note proposed. */
    void invert (SequenceEditorModel& model);

    /** "Fit to Scale": moves every note to the nearest note of a root's scale. */
    void fitToScale (SequenceEditorModel& model);

    /** "Generate": random notes of a scale within a range, with a share of rests and a seed. */
    void generate (SequenceEditorModel& model);

    /** Reads "60" or a note name such as "C4", "F#3" (middle C being C4): 1 to 125, or -1. */
    int parseNote (const juce::String& text);
} // namespace SequenceToolCommands

} // namespace tarnovelle
