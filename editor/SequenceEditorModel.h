// editor/: the sequence editor: its model with undo, ranges, tools, keeper, files and transfer, its windows and the
// MIDI import window.
#pragma once

#include "editor/SequenceTools.h"

#include <juce_data_structures/juce_data_structures.h>

#include <functional>
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

    /** The steps within the length. */
    Steps toSteps() const { return Steps (steps.begin(), steps.begin() + length); }

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
    exactly; selection and cursor moves are not. A read from the instrument, and a file opened
    into the editor, set a base that undo cannot cross: undo never brings back a state the
    user did not make. The notes the editor places stay within 1 to 125, the notes a sequence
    file accepts; a 126 read from the instrument is kept as it is until the user changes it.

    The model also keeps its picture of the instrument: what the instrument was last known to
    hold. A sequence is changed exactly when it differs from that picture. An operation that
    changes the instrument behind the editor's back makes the picture stale; the editor then
    reads the instrument again before it sends.
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

    /** What the editor last said of its work ("Sent sequences 1 and 3", or why an edit was
        refused), shown in its status bar; empty when there is nothing to say.
    */
    const juce::String& getNotice() const noexcept { return notice; }
    void setNotice (const juce::String& newNotice);

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

    /** Copies the range (the whole sequence when there is none) to the editor's clipboard. */
    void copySelected();
    bool hasCopiedSequence() const noexcept { return clipboard.has_value(); }
    Steps getCopiedSteps() const;

    /** Pastes the copied steps at the cursor, as pasteSteps does. */
    bool pasteIntoSelected();

    /** Replaces one sequence, as an import does. */
    bool replaceSequence (int index, const EditedSequence& sequence);

    /** Replaces the sequences a file names, in its order. */
    bool replaceSequences (const std::vector<std::pair<int, EditedSequence>>& replacements);

    //==============================================================================
    // Step ranges and the sequence tools (SequenceEditorRanges.cpp). A range runs from an
    // anchor to the cursor; moving the cursor or choosing a sequence ends it.

    bool hasRange() const noexcept { return ! getRange().isEmpty(); }

    /** The steps of the range within the sequence, empty when there is none. */
    juce::Range<int> getRange() const noexcept;

    /** What an edit of "the selection" acts on: the range, or the whole sequence. */
    juce::Range<int> getEditRange() const noexcept;
    Steps getEditSteps() const;

    /** Shift+arrow and Shift+click: the range grows or shrinks from the anchor to the cursor. */
    void extendRangeBy (int delta);
    void extendRangeTo (int step);
    void selectRange (int first, int last);

    /** Delete: removes the range's steps, or the step at the cursor when there is none. */
    bool deleteRange();
    bool cutRange();

    /** Writes the steps over those from the cursor on, lengthening the sequence where they run
        past its end (at most 64 steps); the pasted steps become the range.
    */
    bool pasteSteps (const Steps& steps);

    /** A note dragged: `origin` is the sequence as the drag began; the note leaves `fromStep`
        (a rest now) for `toStep` with the pitch `note`, lengthening the sequence if needed.
    */
    bool moveNote (const EditedSequence& origin, int fromStep, int toStep, int note);

    /** Replaces the selected steps by what the tool makes of them, as one undoable edit; a
        tool may give more or fewer steps (the sequence is cut at 64).
    */
    bool applyToSelection (const std::function<Steps (Steps)>& tool);

    /** Generate: fills the selection with random notes (16 steps in an empty sequence). */
    bool generateIntoSelection (const SequenceTools::Generation& generation);

    /** The .tvseq file the set was last opened from, which names exported MIDI files. */
    const juce::File& getSetFile() const noexcept { return setFile; }
    void setSetFile (const juce::File& file) { setFile = file; }

    //==============================================================================
    // The instrument.

    /** The eight sequences just read: they become what the instrument holds and replace the
        editor's sequences. The read is a base that undo cannot cross.
    */
    void takeReadSequences (const SequenceSet& read);

    /** A fresh read of the instrument that keeps the user's work: the picture becomes what was
        read, the sequences the user had not changed follow the instrument, the changed ones
        stay as edited. Returns the sequences the instrument changed since it was last known;
        when any of the editor's sequences was replaced, undo cannot cross this point.
    */
    std::vector<int> refreshInstrumentPicture (const SequenceSet& read);

    /** The sequence has just been written to the instrument. */
    void markSent (int index);

    /** The sequence was written and then read back: the instrument holds what was read. */
    void confirmSent (int index, const StepBuffer& readBack);

    /** What the instrument was last known to hold; meaningful once isInstrumentKnown(). */
    const EditedSequence& getInstrumentSequence (int index) const noexcept
    {
        return instrumentSequences[(size_t) index];
    }

    /** True once the instrument has been read or written since the editor's set was made. */
    bool isInstrumentKnown() const noexcept { return instrumentKnown; }

    /** True when something other than the editor may have changed the instrument since it was
        last read (a reset, a load, a firmware update, a new connection).
    */
    bool isInstrumentStale() const noexcept { return instrumentStale || ! instrumentKnown; }
    void markInstrumentStale();

    /** Gives every changed sequence back what the instrument holds, as one undoable change. */
    bool revertChanges();

    /** Clears the undo history: undo stops at the present state. */
    void setUndoBase();

    //==============================================================================
    /** Everything the editor works on, as it is kept between runs. */
    struct WorkingSet
    {
        EditedSequenceSet sequences;
        EditedSequenceSet instrument;
        bool instrumentKnown = false;
        int selected = 0;
        int cursor = 0;

        bool hasUnsentChanges() const noexcept;
    };

    WorkingSet getWorkingSet() const;

    /** Takes a kept working set back as a base; the instrument counts as stale until read. */
    void restoreWorkingSet (const WorkingSet& kept);

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

    /** Selects the steps the redo changed again (the cursor goes to the step when there is
        one), so that the status names them.
    */
    bool redo();

    /** Between these two, changes undo as one: a drag's many pitches, a read's eight sequences. */
    void beginGesture();
    void endGesture() noexcept { inGesture = false; }

    /** Used by the undo actions: sets a sequence without recording anything. */
    void restoreSequence (int index, const EditedSequence& sequence);

private:
    bool perform (int index, const EditedSequence& after);
    bool refuse (const juce::String& reason);
    void clampCursor();
    void notifyListeners();
    void selectStepsChangedFrom (const EditedSequence& before);

    /** Runs a change of the undo manager and tells the listeners once it is complete, so that
        they see its undo and redo state as it is afterwards.
    */
    template <typename Change>
    bool afterUndoManager (Change&& change);

    EditedSequenceSet sequences;
    EditedSequenceSet instrumentSequences;
    std::optional<EditedSequence> clipboard;
    juce::File setFile;
    int selected = 0;
    int cursor = 0;
    int anchor = -1;
    int lastNote = firstLastNote;
    int stepSize = 16;
    int gateLength = 2;
    bool connected = false;
    bool inGesture = false;
    bool instrumentKnown = false;
    bool instrumentStale = false;
    int undoManagerDepth = 0;
    bool redoInProgress = false;
    juce::String notice;

    juce::UndoManager undoManager;
    std::vector<Listener*> listeners;

    JUCE_DECLARE_NON_COPYABLE_WITH_LEAK_DETECTOR (SequenceEditorModel)
};

} // namespace tarnovelle
