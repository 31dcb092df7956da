// The editor model's step ranges, clipboard edits, note moves and sequence tools.

#include "editor/SequenceEditorModel.h"

namespace tarnovelle
{

namespace
{
    Steps stepsWithin (const EditedSequence& sequence, juce::Range<int> range)
    {
        return Steps (sequence.steps.begin() + range.getStart(), sequence.steps.begin() + range.getEnd());
    }

    /** The sequence with the steps of `range` replaced by `replacement`, cut at 64 steps. */
    EditedSequence splice (const EditedSequence& sequence, juce::Range<int> range, const Steps& replacement)
    {
        auto all = sequence.toSteps();
        all.erase (all.begin() + range.getStart(), all.begin() + range.getEnd());
        all.insert (all.begin() + range.getStart(), replacement.begin(), replacement.end());

        // Steps past the end keep what they held, so that lengthening brings them back.
        auto result = sequence;
        result.length = juce::jmin ((int) all.size(), maxSequenceSteps);
        std::copy_n (all.begin(), result.length, result.steps.begin());
        return result;
    }
} // namespace

juce::Range<int> SequenceEditorModel::getRange() const noexcept
{
    if (anchor < 0)
        return {};

    const auto range = juce::Range<int>::between (anchor, cursor).withEnd (juce::jmax (anchor, cursor) + 1);
    return range.getIntersectionWith ({ 0, getSelected().length });
}

juce::Range<int> SequenceEditorModel::getEditRange() const noexcept
{
    return hasRange() ? getRange() : juce::Range<int> (0, getSelected().length);
}

Steps SequenceEditorModel::getEditSteps() const { return stepsWithin (getSelected(), getEditRange()); }

void SequenceEditorModel::extendRangeBy (int delta) { extendRangeTo (cursor + delta); }

void SequenceEditorModel::extendRangeTo (int step)
{
    const int keptAnchor = anchor < 0 ? cursor : anchor;
    cursor = step;
    clampCursor();
    anchor = keptAnchor;
    notifyListeners();
}

void SequenceEditorModel::selectStepsChangedFrom (const EditedSequence& before)
{
    const auto& after = getSelected();
    int first = -1, last = -1;

    // Only the steps the sequence still has can be selected: a step that went away with a
    // shorter length leaves the cursor at the new end.
    for (int i = 0; i < after.length; ++i)
    {
        if (i >= before.length || before.steps[(size_t) i] != after.steps[(size_t) i])
        {
            first = first < 0 ? i : first;
            last = i;
        }
    }

    // The cursor on the first of them, where the edit began.
    anchor = first < last ? last : -1;
    cursor = first < 0 ? (int) juce::jmin (before.length, after.length) : first;
    clampCursor();
}

void SequenceEditorModel::selectRange (int first, int last)
{
    cursor = first;
    clampCursor();
    anchor = cursor;
    cursor = last;
    clampCursor();
    notifyListeners();
}

bool SequenceEditorModel::deleteRange()
{
    if (! hasRange())
        return deleteStep();

    const auto range = getRange();
    anchor = -1;
    cursor = range.getStart();

    if (! perform (selected, splice (getSelected(), range, {})))
        return false;

    clampCursor();
    notifyListeners();
    return true;
}

bool SequenceEditorModel::cutRange()
{
    copySelected();
    return hasRange() ? deleteRange() : clearSelected();
}

bool SequenceEditorModel::pasteSteps (const Steps& steps)
{
    if (steps.empty())
        return false;

    const auto& sequence = getSelected();
    const int start = juce::jmin (cursor, sequence.length);
    const int end = juce::jmin (start + (int) steps.size(), maxSequenceSteps);
    const auto overwritten = juce::Range<int> (start, juce::jmin (end, sequence.length));
    const auto pasted = Steps (steps.begin(), steps.begin() + (end - start));

    if (! perform (selected, splice (sequence, overwritten, pasted)))
        return false;

    selectRange (start, end - 1);
    return true;
}

bool SequenceEditorModel::moveNote (const EditedSequence& origin, int fromStep, int toStep, int note)
{
    if (toStep < 0 || toStep >= maxSequenceSteps || note < lowestNote || note > highestNote)
        return false;

    auto sequence = origin;

    for (int i = sequence.length; i <= toStep; ++i)
        sequence.steps[(size_t) i] = restStep;

    sequence.length = juce::jmax (sequence.length, toStep + 1);

    if (fromStep >= 0 && fromStep < sequence.length)
        sequence.steps[(size_t) fromStep] = restStep;

    sequence.steps[(size_t) toStep] = (uint8) note;
    lastNote = note;
    cursor = toStep;
    anchor = -1;
    return perform (selected, sequence);
}

bool SequenceEditorModel::applyToSelection (const std::function<Steps (Steps)>& tool)
{
    const bool hadRange = hasRange();
    const auto range = getEditRange();
    const auto result = tool (stepsWithin (getSelected(), range));

    if (! perform (selected, splice (getSelected(), range, result)))
        return false;

    if (hadRange && ! result.empty())
        selectRange (range.getStart(), range.getStart() + (int) result.size() - 1);

    return true;
}

bool SequenceEditorModel::generateIntoSelection (const SequenceTools::Generation& generation)
{
    return applyToSelection ([&generation] (const Steps& steps) {
        return SequenceTools::generate (steps.empty() ? 16 : (int) steps.size(), generation);
    });
}

} // namespace tarnovelle
