#pragma once

#include "sequences/StepBuffer.h"

#include <juce_data_structures/juce_data_structures.h>

#include <optional>
#include <vector>

namespace tarnovelle
{

/** One sequence as the editor holds it: its steps and its length, kept apart so that
    shortening a sequence and lengthening it again brings its steps back.
*/
struct EditedSequence
{
    StepBuffer steps = makeRests();
    int length = 0;

    /** The steps up to the first 0 byte (at most 64); the rest of the buffer holds rests. */
    static EditedSequence fromStepBuffer (const StepBuffer& buffer);
    static EditedSequence fromSteps (const std::vector<uint8>& steps);

    /** The steps within the length, then 0 bytes, as the instrument and the file take them. */
    StepBuffer toStepBuffer() const noexcept;

    bool isRest (int step) const noexcept { return steps[(size_t) step] == restStep; }

    /** Two sequences are equal when their lengths and the steps within them are. */
    bool operator== (const EditedSequence& other) const noexcept;
    bool operator!= (const EditedSequence& other) const noexcept { return ! operator== (other); }

    static StepBuffer makeRests() noexcept;
};

using EditedSequenceSet = std::array<EditedSequence, numSequences>;

/** The sequence editor's state: the eight sequences, the selected one with its step cursor,
    what the instrument was last known to hold, and the undo history.

    Every change of a sequence is an undoable action, so that undo and redo restore the steps
    exactly; selection and cursor moves are not. The editor's notes stay within 1 to 125, the
    notes a sequence file accepts, so every edited set can be saved. A sequence is changed
    when it differs from what was last read from or sent to the instrument.
*/
class SequenceEditorModel final
{
public:
    static constexpr int lowestNote = 1;
    static constexpr int highestNote = 125;
    static constexpr int firstLastNote = 60;

    class Listener
    {
    public:
        virtual ~Listener() = default;

        /** Called on the message thread after anything shown by the editor has changed. */
        virtual void sequenceEditorModelChanged() = 0;
    };

    SequenceEditorModel();
    ~SequenceEditorModel();

    void addListener (Listener* listener);
    void removeListener (Listener* listener);

    //==============================================================================
    const EditedSequence& getSequence (int index) const noexcept { return sequences[(size_t) index]; }
    const EditedSequenceSet& getSequences() const noexcept { return sequences; }
    int getSelectedIndex() const noexcept { return selected; }
    const EditedSequence& getSelected() const noexcept { return getSequence (selected); }
    int getCursor() const noexcept { return cursor; }
    int getLastNote() const noexcept { return lastNote; }

    bool isChanged (int index) const noexcept;
    bool hasUnsentChanges() const noexcept;
    std::vector<int> getChangedIndices() const;

    //==============================================================================
    // Selection and cursor: not undoable.
    void selectSequence (int index);
    void moveCursorBy (int delta);
    void moveCursorTo (int step);
    void moveCursorToEnd();

    //==============================================================================
    // Step edits at the cursor of the selected sequence, each one undoable action. They
    // return false, and change nothing, when they cannot apply.
    bool changeNoteBy (int semitones);
    bool makeRest();
    bool deleteStep();
    bool insertStep();

    /** A click on the grid: places the note on the step (lengthening the sequence with rests
        when the step lies past its end), or makes the step a rest when it holds that note.
    */
    bool toggleNote (int step, int note);

    /** Sets the note of a step within the sequence; a drag calls it for each new pitch. */
    bool setNote (int step, int note);

    /** Writes a note or a rest into a step as a played note is entered, lengthening the
        sequence with rests when the step lies past its end; the cursor goes to the step.
    */
    bool enterStep (int step, int value);

    bool setLength (int newLength);
    bool transpose (int semitones);
    bool clearSelected();
    void copySelected();
    bool hasCopiedSequence() const noexcept { return clipboard.has_value(); }
    bool pasteIntoSelected();

    /** Replaces one sequence, as an import does. */
    bool replaceSequence (int index, const EditedSequence& sequence);

    /** Replaces the sequences a file names, in its order. */
    bool replaceSequences (const std::vector<std::pair<int, EditedSequence>>& replacements);

    //==============================================================================
    // The instrument.

    /** The eight sequences just read: they become what the instrument holds, and replace the
        editor's sequences as one undoable action (undo brings back the edits it replaced).
    */
    void takeReadSequences (const SequenceSet& read);

    /** The sequence has just been written to the instrument. */
    void markSent (int index);

    bool isConnected() const noexcept { return connected; }
    void setConnected (bool isNowConnected);

    /** The step size that MIDI files are imported and exported at: the instrument's STEP
        setting when connected, the user's choice otherwise.
    */
    int getStepSize() const noexcept { return stepSize; }
    void setStepSize (int newStepSize);

    /** The gate length MIDI files are exported with, 1 to 3 quarters of a step. */
    int getGateLength() const noexcept { return gateLength; }
    void setGateLength (int newGateLength);

    //==============================================================================
    juce::UndoManager& getUndoManager() noexcept { return undoManager; }
    bool undo();
    bool redo();

    /** Between these two, changes undo as one: a drag's many pitches, a read's eight sequences. */
    void beginGesture();
    void endGesture() noexcept { inGesture = false; }

    /** Used by the undo actions: sets a sequence without recording anything. */
    void restoreSequence (int index, const EditedSequence& sequence);

private:
    bool perform (int index, const EditedSequence& after);
    void clampCursor();
    void notifyListeners();

    EditedSequenceSet sequences;
    EditedSequenceSet instrumentSequences;
    std::optional<EditedSequence> clipboard;
    int selected = 0;
    int cursor = 0;
    int lastNote = firstLastNote;
    int stepSize = 16;
    int gateLength = 2;
    bool connected = false;
    bool inGesture = false;

    juce::UndoManager undoManager;
    std::vector<Listener*> listeners;

    JUCE_DECLARE_NON_COPYABLE_WITH_LEAK_DETECTOR (SequenceEditorModel)
};

} // namespace tarnovelle
