#pragma once

#include "editor/SequenceEditorModel.h"

#include <juce_events/juce_events.h>

namespace tarnovelle
{

/** Keeps the sequence editor's working set on disk as it changes: the eight sequences, the
    picture of the instrument that makes the changed marks, and the selection.

    A change is written within a second, atomically (a temporary file renamed over the kept
    one), so that a program ended by the system (logout, SIGTERM) loses nothing: the next
    start offers the unsent changes back. A write that fails (a full disk, a folder that cannot
    be written) is told once, in the editor's status bar and a box, and tried again until one
    succeeds; a failure after that is told again.
*/
class SequenceEditorKeeper final : private SequenceEditorModel::Listener, private juce::Timer
{
public:
    /** Keeps the model's working set in the file, from now on. */
    SequenceEditorKeeper (SequenceEditorModel& model, const juce::File& file);

    /** Writes what has not been written yet. */
    ~SequenceEditorKeeper() override;

    /** Where the real program keeps it: "Tarnovelle Connection/Sequence Editor.json" in the
        user's data folder ($XDG_DATA_HOME, or ~/.local/share when unset).
    */
    static juce::File getDefaultFile();

    /** At start-up: when the file holds unsent changes, asks whether to keep them; a yes
        gives them back to the editor, a no forgets them. Asks nothing otherwise. A quit is no
        answer: the file is left as it was, and the next start asks again.
    */
    void offerKeptChanges();

    /** Writes the working set now if it has changed since it was last written; nothing is
        written before the kept changes have been offered.
    */
    void flush();

    /** True from a failed write until the next one that succeeds. */
    bool isFailing() const noexcept { return failing; }

    /** The working set as kept in the file, and the time it was written. */
    struct Kept
    {
        SequenceEditorModel::WorkingSet workingSet;
        juce::Time savedAt;
    };

    static std::optional<Kept> read (const juce::File& file);
    static juce::String toJson (const SequenceEditorModel::WorkingSet& workingSet, juce::Time savedAt);

    /** How long after a change the working set is written. */
    static constexpr int writeDelayMs = 300;

    /** How long after a failed write it is tried again, changed or not. */
    static constexpr int retryDelayMs = 1000;

private:
    void sequenceEditorModelChanged() override;
    void timerCallback() override;

    /** Writes the working set if it differs from the file; fails with the reason. */
    juce::Result writeIfChanged();
    void tellCannotKeep (const juce::String& reason);

    SequenceEditorModel& model;
    const juce::File file;
    juce::String lastWritten;
    bool offered = false;
    bool failing = false;

    JUCE_DECLARE_NON_COPYABLE_WITH_LEAK_DETECTOR (SequenceEditorKeeper)
};

} // namespace tarnovelle
