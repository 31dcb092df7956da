#include "editor/SequenceEditorModel.h"

#include "sequences/MidiImport.h"

#include <algorithm>
#include <utility>

namespace tarnovelle
{

namespace
{
    /** One change of one sequence, kept whole before and after: undoing it restores the
        steps beyond the length too.
    */
    class SequenceChange final : public juce::UndoableAction
    {
    public:
        SequenceChange (SequenceEditorModel& modelToChange, int sequenceIndex, const EditedSequence& before,
                        const EditedSequence& after)
            : model (modelToChange)
            , index (sequenceIndex)
            , oldSequence (before)
            , newSequence (after)
        {}

        bool perform() override
        {
            model.restoreSequence (index, newSequence);
            return true;
        }

        bool undo() override
        {
            model.restoreSequence (index, oldSequence);
            return true;
        }

        int getSizeInUnits() override { return (int) sizeof (*this); }

    private:
        SequenceEditorModel& model;
        const int index;
        const EditedSequence oldSequence, newSequence;

        JUCE_DECLARE_NON_COPYABLE (SequenceChange)
    };

    bool isNote (int value) noexcept
    {
        return value >= SequenceEditorModel::lowestNote && value <= SequenceEditorModel::highestNote;
    }

    const juce::String outOfRange ("would leave " + juce::String (SequenceEditorModel::lowestNote) + " to "
                                   + juce::String (SequenceEditorModel::highestNote));
} // namespace

//==============================================================================
StepBuffer EditedSequence::makeRests() noexcept
{
    StepBuffer rests;
    rests.fill (restStep);
    return rests;
}

EditedSequence EditedSequence::fromStepBuffer (const StepBuffer& buffer)
{
    EditedSequence sequence;
    sequence.length = getSequenceLength (buffer);

    // Kept as the instrument holds them, 126 included: a sequence the user does not touch
    // must go back exactly as it came.
    std::copy_n (buffer.begin(), sequence.length, sequence.steps.begin());

    return sequence;
}

EditedSequence EditedSequence::fromSteps (const std::vector<uint8>& steps)
{
    EditedSequence sequence;
    sequence.length = (int) juce::jmin (steps.size(), (size_t) maxSequenceSteps);
    std::copy_n (steps.begin(), sequence.length, sequence.steps.begin());
    return sequence;
}

StepBuffer EditedSequence::toStepBuffer() const noexcept
{
    StepBuffer buffer{};
    std::copy_n (steps.begin(), length, buffer.begin());
    return buffer;
}

bool EditedSequence::operator== (const EditedSequence& other) const noexcept
{
    return length == other.length && std::equal (steps.begin(), steps.begin() + length, other.steps.begin());
}

//==============================================================================
SequenceEditorModel::SequenceEditorModel() = default;
SequenceEditorModel::~SequenceEditorModel() = default;

void SequenceEditorModel::addListener (Listener* listener)
{
    if (std::find (listeners.begin(), listeners.end(), listener) == listeners.end())
        listeners.push_back (listener);
}

void SequenceEditorModel::removeListener (Listener* listener)
{
    listeners.erase (std::remove (listeners.begin(), listeners.end(), listener), listeners.end());
}

bool SequenceEditorModel::isChanged (int index) const noexcept
{
    return sequences[(size_t) index] != instrumentSequences[(size_t) index];
}

bool SequenceEditorModel::hasUnsentChanges() const noexcept { return ! getChangedIndices().empty(); }

void SequenceEditorModel::setNotice (const juce::String& newNotice)
{
    notice = newNotice;
    notifyListeners();
}

bool SequenceEditorModel::refuse (const juce::String& reason)
{
    setNotice (reason);
    return false;
}

std::vector<int> SequenceEditorModel::getChangedIndices() const
{
    std::vector<int> changed;

    for (int i = 0; i < numSequences; ++i)
        if (isChanged (i))
            changed.push_back (i);

    return changed;
}

//==============================================================================
void SequenceEditorModel::selectSequence (int index)
{
    selected = juce::jlimit (0, numSequences - 1, index);
    anchor = -1;
    clampCursor();
    notifyListeners();
}

void SequenceEditorModel::moveCursorBy (int delta) { moveCursorTo (cursor + delta); }

void SequenceEditorModel::moveCursorTo (int step)
{
    cursor = step;
    anchor = -1;
    clampCursor();
    notifyListeners();
}

void SequenceEditorModel::moveCursorToEnd() { moveCursorTo (getSelected().length - 1); }

void SequenceEditorModel::clampCursor() { cursor = juce::jlimit (0, juce::jmax (0, getSelected().length - 1), cursor); }

//==============================================================================
bool SequenceEditorModel::changeNoteBy (int semitones)
{
    const auto& sequence = getSelected();

    if (cursor >= sequence.length)
        return false;

    const int current = sequence.steps[(size_t) cursor];
    const int note = current == restStep ? lastNote : current + semitones;

    if (! isNote (note))
        return refuse ("Step " + juce::String (cursor + 1) + ": " + juce::String (current) + " "
                       + (semitones < 0 ? "-" : "+") + " " + juce::String (std::abs (semitones)) + " " + outOfRange);

    return setNote (cursor, note);
}

bool SequenceEditorModel::makeRest()
{
    auto sequence = getSelected();

    if (cursor >= sequence.length)
        return false;

    sequence.steps[(size_t) cursor] = restStep;
    return perform (selected, sequence);
}

bool SequenceEditorModel::deleteStep()
{
    auto sequence = getSelected();

    if (cursor >= sequence.length)
        return false;

    std::move (sequence.steps.begin() + cursor + 1, sequence.steps.end(), sequence.steps.begin() + cursor);
    sequence.steps.back() = restStep;
    --sequence.length;
    return perform (selected, sequence);
}

bool SequenceEditorModel::insertStep()
{
    auto sequence = getSelected();

    if (sequence.length >= maxSequenceSteps)
        return refuse ("Sequence " + juce::String (selected + 1) + " is full: " + juce::String (maxSequenceSteps)
                       + " steps");

    // An empty sequence starts with a rest; otherwise the step at the cursor is doubled and
    // the cursor moves onto the copy.
    if (sequence.length == 0)
    {
        sequence.steps[0] = restStep;
        sequence.length = 1;
        return perform (selected, sequence);
    }

    std::move_backward (sequence.steps.begin() + cursor, sequence.steps.end() - 1, sequence.steps.end());
    ++sequence.length;

    if (! perform (selected, sequence))
        return false;

    moveCursorBy (1);
    return true;
}

bool SequenceEditorModel::toggleNote (int step, int note)
{
    if (step < 0 || step >= maxSequenceSteps || ! isNote (note))
        return false;

    auto sequence = getSelected();

    for (int i = sequence.length; i <= step; ++i)
        sequence.steps[(size_t) i] = restStep;

    sequence.length = juce::jmax (sequence.length, step + 1);
    const bool holdsThatNote = sequence.steps[(size_t) step] == note;
    sequence.steps[(size_t) step] = holdsThatNote ? restStep : (uint8) note;

    if (! holdsThatNote)
        lastNote = note;

    cursor = step;
    return perform (selected, sequence);
}

bool SequenceEditorModel::enterStep (int step, int value)
{
    if (step < 0 || step >= maxSequenceSteps || (value != restStep && ! isNote (value)))
        return false;

    auto sequence = getSelected();

    for (int i = sequence.length; i <= step; ++i)
        sequence.steps[(size_t) i] = restStep;

    sequence.length = juce::jmax (sequence.length, step + 1);
    sequence.steps[(size_t) step] = (uint8) value;
    cursor = step;

    if (value != restStep)
        lastNote = value;

    return perform (selected, sequence);
}

bool SequenceEditorModel::setNote (int step, int note)
{
    auto sequence = getSelected();

    if (step < 0 || step >= sequence.length || ! isNote (note))
        return false;

    sequence.steps[(size_t) step] = (uint8) note;
    lastNote = note;
    cursor = step;
    return perform (selected, sequence);
}

bool SequenceEditorModel::setLength (int newLength)
{
    auto sequence = getSelected();
    sequence.length = juce::jlimit (0, maxSequenceSteps, newLength);
    return perform (selected, sequence);
}

bool SequenceEditorModel::transpose (int semitones)
{
    auto sequence = getSelected();
    const auto range = getEditRange();

    // A transposition that would push any note out of range is refused whole, so that the
    // melody keeps its intervals.
    for (int i = range.getStart(); i < range.getEnd(); ++i)
    {
        if (sequence.isRest (i))
            continue;

        const int note = sequence.steps[(size_t) i] + semitones;

        if (! isNote (note))
            return refuse ("Transpose " + outOfRange);

        sequence.steps[(size_t) i] = (uint8) note;
    }

    return perform (selected, sequence);
}

bool SequenceEditorModel::clearSelected()
{
    auto sequence = getSelected();
    sequence.length = 0;
    return perform (selected, sequence);
}

void SequenceEditorModel::copySelected()
{
    clipboard = EditedSequence::fromSteps (getEditSteps());
    notifyListeners();
}

Steps SequenceEditorModel::getCopiedSteps() const { return clipboard ? clipboard->toSteps() : Steps(); }

bool SequenceEditorModel::pasteIntoSelected() { return clipboard.has_value() && pasteSteps (getCopiedSteps()); }

bool SequenceEditorModel::replaceSequence (int index, const EditedSequence& sequence)
{
    return perform (index, sequence);
}

bool SequenceEditorModel::replaceSequences (const std::vector<std::pair<int, EditedSequence>>& replacements)
{
    bool anyChanged = false;

    for (const auto& [index, sequence] : replacements)
        anyChanged = perform (index, sequence) || anyChanged;

    return anyChanged;
}

//==============================================================================
void SequenceEditorModel::takeReadSequences (const SequenceSet& read)
{
    for (int i = 0; i < numSequences; ++i)
        instrumentSequences[(size_t) i] = EditedSequence::fromStepBuffer (read[(size_t) i]);

    sequences = instrumentSequences;
    instrumentKnown = true;
    instrumentStale = false;
    setUndoBase();
}

std::vector<int> SequenceEditorModel::refreshInstrumentPicture (const SequenceSet& read)
{
    std::vector<int> changedOnInstrument;
    bool replacedAny = false;

    for (int i = 0; i < numSequences; ++i)
    {
        const auto fresh = EditedSequence::fromStepBuffer (read[(size_t) i]);

        // Before any read, every sequence that holds steps is the user's own work.
        const bool userWork = instrumentKnown ? isChanged (i) : sequences[(size_t) i].length > 0;

        if (instrumentKnown && fresh != instrumentSequences[(size_t) i])
            changedOnInstrument.push_back (i);

        if (! userWork && sequences[(size_t) i] != fresh)
        {
            sequences[(size_t) i] = fresh;
            replacedAny = true;
        }

        instrumentSequences[(size_t) i] = fresh;
    }

    instrumentKnown = true;
    instrumentStale = false;

    if (replacedAny)
        setUndoBase();
    else
        notifyListeners();

    return changedOnInstrument;
}

void SequenceEditorModel::markSent (int index)
{
    instrumentSequences[(size_t) index] = sequences[(size_t) index];
    notifyListeners();
}

void SequenceEditorModel::confirmSent (int index, const StepBuffer& readBack)
{
    instrumentSequences[(size_t) index] = EditedSequence::fromStepBuffer (readBack);
    notifyListeners();
}

void SequenceEditorModel::markInstrumentStale()
{
    instrumentStale = true;
    notifyListeners();
}

bool SequenceEditorModel::revertChanges()
{
    std::vector<std::pair<int, EditedSequence>> reverted;

    for (auto index : getChangedIndices())
        reverted.emplace_back (index, instrumentSequences[(size_t) index]);

    beginGesture();
    const bool anyChanged = replaceSequences (reverted);
    endGesture();
    return anyChanged;
}

void SequenceEditorModel::setUndoBase()
{
    undoManager.clearUndoHistory();
    clampCursor();
    notifyListeners();
}

//==============================================================================
bool SequenceEditorModel::WorkingSet::hasUnsentChanges() const noexcept
{
    // Before the instrument has been read, every sequence that holds steps is the user's work.
    for (int i = 0; i < numSequences; ++i)
        if (instrumentKnown ? sequences[(size_t) i] != instrument[(size_t) i] : sequences[(size_t) i].length > 0)
            return true;

    return false;
}

SequenceEditorModel::WorkingSet SequenceEditorModel::getWorkingSet() const
{
    return { sequences, instrumentSequences, instrumentKnown, selected, cursor };
}

void SequenceEditorModel::restoreWorkingSet (const WorkingSet& kept)
{
    sequences = kept.sequences;
    instrumentSequences = kept.instrument;
    instrumentKnown = kept.instrumentKnown;
    instrumentStale = true;
    selected = juce::jlimit (0, numSequences - 1, kept.selected);
    cursor = kept.cursor;
    setUndoBase();
}

void SequenceEditorModel::setConnected (bool isNowConnected)
{
    connected = isNowConnected;
    notifyListeners();
}

void SequenceEditorModel::setStepSize (int newStepSize)
{
    if (isValidStepSize (newStepSize))
        stepSize = newStepSize;

    notifyListeners();
}

void SequenceEditorModel::setGateLength (int newGateLength)
{
    if (newGateLength >= 1 && newGateLength <= 3)
        gateLength = newGateLength;

    notifyListeners();
}

//==============================================================================
template <typename Change>
bool SequenceEditorModel::afterUndoManager (Change&& change)
{
    ++undoManagerDepth;
    const bool result = change();
    --undoManagerDepth;
    notifyListeners();
    return result;
}

bool SequenceEditorModel::undo()
{
    return afterUndoManager ([this] { return undoManager.undo(); });
}

void SequenceEditorModel::beginGesture()
{
    undoManager.beginNewTransaction();
    inGesture = true;
}
bool SequenceEditorModel::redo()
{
    const juce::ScopedValueSetter<bool> redoing (redoInProgress, true);
    return afterUndoManager ([this] { return undoManager.redo(); });
}

void SequenceEditorModel::restoreSequence (int index, const EditedSequence& sequence)
{
    const auto before = std::exchange (sequences[(size_t) index], sequence);

    if (index != selected)
        anchor = -1;

    selected = index;
    clampCursor();

    if (redoInProgress)
        selectStepsChangedFrom (before);

    if (undoManagerDepth == 0)
        notifyListeners();
}

bool SequenceEditorModel::perform (int index, const EditedSequence& after)
{
    const auto& before = sequences[(size_t) index];

    // Steps past the length count too, so that a length drag that brings them back is undone.
    if (before.length == after.length && before.steps == after.steps)
    {
        notifyListeners();
        return false;
    }

    if (! inGesture)
        undoManager.beginNewTransaction();

    notice.clear();
    auto* change = new SequenceChange (*this, index, before, after);
    return afterUndoManager ([this, change] { return undoManager.perform (change); });
}

void SequenceEditorModel::notifyListeners()
{
    // A copy, so that a listener may remove itself while it is told.
    const auto toTell = listeners;

    for (auto* listener : toTell)
        listener->sequenceEditorModelChanged();
}

} // namespace tarnovelle
