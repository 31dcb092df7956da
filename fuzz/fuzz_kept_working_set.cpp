// The sequence editor's kept working set, as the next start reads it from its file: any file
// gives eight sequences and a picture of the instrument that the editor can hold, or nothing,
// and what is read is written and read back unchanged.

#include "editor/SequenceEditorKeeper.h"
#include "fuzz/FuzzTarget.h"

namespace tarnovelle::fuzz
{
bool isEditable (const EditedSequenceSet& set)
{
    for (const auto& sequence : set)
    {
        if (sequence.length < 0 || sequence.length > maxSequenceSteps)
            return false;

        for (int i = 0; i < sequence.length; ++i)
            if (sequence.steps[(size_t) i] < 1 || sequence.steps[(size_t) i] > restStep)
                return false;
    }

    return true;
}

bool isSame (const SequenceEditorModel::WorkingSet& a, const SequenceEditorModel::WorkingSet& b)
{
    return a.sequences == b.sequences && a.instrument == b.instrument && a.instrumentKnown == b.instrumentKnown
           && a.selected == b.selected && a.cursor == b.cursor;
}
} // namespace tarnovelle::fuzz

TARNOVELLE_FUZZ_TARGET (fuzzKeptWorkingSet, 0, 0)
{
    static const juce::TemporaryFile file (".json");
    TARNOVELLE_FUZZ_CHECK (file.getFile().replaceWithData (bytes, (size_t) count));

    const auto kept = SequenceEditorKeeper::read (file.getFile());

    if (! kept)
        return;

    const auto& set = kept->workingSet;
    TARNOVELLE_FUZZ_CHECK (isEditable (set.sequences) && isEditable (set.instrument));
    TARNOVELLE_FUZZ_CHECK (set.selected >= 0 && set.selected < numSequences);
    TARNOVELLE_FUZZ_CHECK (set.cursor >= 0 && set.cursor < maxSequenceSteps);
    (void) set.hasUnsentChanges();

    TARNOVELLE_FUZZ_CHECK (file.getFile().replaceWithText (SequenceEditorKeeper::toJson (set, kept->savedAt)));
    const auto again = SequenceEditorKeeper::read (file.getFile());
    TARNOVELLE_FUZZ_CHECK (again.has_value() && isSame (again->workingSet, set));
}
