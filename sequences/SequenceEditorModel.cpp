#include "sequences/SequenceEditorModel.h"

#include "sequences/MidiImport.h"

#include <algorithm>

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

    // A 126 is the one note the instrument holds that a sequence file refuses.
    for (int i = 0; i < sequence.length; ++i)
        sequence.steps[(size_t) i] = buffer[(size_t) i] == restStep ? restStep : foldNoteIntoRange (buffer[(size_t) i]);

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
    clampCursor();
    notifyListeners();
}

void SequenceEditorModel::moveCursorBy (int delta) { moveCursorTo (cursor + delta); }

void SequenceEditorModel::moveCursorTo (int step)
{
    cursor = step;
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
    const int note = current == restStep ? lastNote : juce::jlimit (lowestNote, highestNote, current + semitones);
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
        return false;

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

    // A transposition that would push any note out of range is refused whole, so that the
    // melody keeps its intervals.
    for (int i = 0; i < sequence.length; ++i)
    {
        if (sequence.isRest (i))
            continue;

        const int note = sequence.steps[(size_t) i] + semitones;

        if (! isNote (note))
            return false;

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
    clipboard = getSelected();
    notifyListeners();
}

bool SequenceEditorModel::pasteIntoSelected() { return clipboard.has_value() && perform (selected, *clipboard); }

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

    const int keptSelection = selected;
    beginGesture();

    for (int i = 0; i < numSequences; ++i)
        perform (i, instrumentSequences[(size_t) i]);

    endGesture();
    selected = keptSelection;
    clampCursor();
    notifyListeners();
}

void SequenceEditorModel::markSent (int index)
{
    instrumentSequences[(size_t) index] = sequences[(size_t) index];
    notifyListeners();
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
bool SequenceEditorModel::undo() { return undoManager.undo(); }

void SequenceEditorModel::beginGesture()
{
    undoManager.beginNewTransaction();
    inGesture = true;
}
bool SequenceEditorModel::redo() { return undoManager.redo(); }

void SequenceEditorModel::restoreSequence (int index, const EditedSequence& sequence)
{
    sequences[(size_t) index] = sequence;
    selected = index;
    clampCursor();
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

    return undoManager.perform (new SequenceChange (*this, index, before, after));
}

void SequenceEditorModel::notifyListeners()
{
    // A copy, so that a listener may remove itself while it is told.
    const auto toTell = listeners;

    for (auto* listener : toTell)
        listener->sequenceEditorModelChanged();
}

} // namespace tarnovelle
