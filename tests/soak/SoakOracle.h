#pragma once

#include "editor/SequenceEditorModel.h"
#include "emulator/EmulatedInstrument.h"

#include <set>
#include <unordered_set>
#include <vector>

namespace tarnovelle::soak
{

using Steps = std::vector<uint8>;

/** A set of sequences that keeps a 64-bit fingerprint of each, not its steps: a long run meets
    a new sequence at nearly every edit, and the soak's own records must not weigh in its
    measure of the program's memory.
*/
class SequenceFingerprints final
{
public:
    void insert (const Steps& steps) { fingerprints.insert (fingerprint (steps)); }
    size_t count (const Steps& steps) const { return fingerprints.count (fingerprint (steps)); }

private:
    static std::uint64_t fingerprint (const Steps& steps) noexcept
    {
        // FNV-1a over the length and the steps.
        std::uint64_t hash = 0xcbf29ce484222325ull;

        const auto add = [&hash] (std::uint64_t byte) { hash = (hash ^ byte) * 0x100000001b3ull; };
        add (steps.size());

        for (auto step : steps)
            add (step);

        return hash;
    }

    std::unordered_set<std::uint64_t> fingerprints;
};

/** The steps of an edited sequence within its length. */
Steps stepsOf (const EditedSequence& sequence);

/** One check that did not hold after an action. */
struct Finding
{
    juce::String check; // a short name, as --tolerate takes it
    juce::String detail;
};

/** The instrument's fault switches as the soak has set them. */
struct FaultState
{
    bool silent = false;
    bool unplugged = false;
    bool activeSensingLost = false;
    int latencyMs = EmulatedInstrument::defaultLatencyMs;

    /** Writes may go out without reaching the instrument's memory. */
    bool losesWrites() const noexcept { return silent || unplugged; }
    bool any() const noexcept { return silent || unplugged || activeSensingLost; }
};

/** What one action did, as the soak saw it from outside the program. */
struct ActionRecord
{
    bool isUndoOrRedo = false;
    juce::StringArray hubMessages;    // every action message the hub received
    int okAnswers = 0;                // OK/Cancel boxes answered OK
    juce::File chosenFileToLoad;      // the file given to a "Load Sequences" chooser, if one opened
    FaultState faults;                // during the action
    bool editorWasShowing = false;    // before the action
    EditedSequenceSet editorBefore{}; // the editor's sequences before the action
    std::vector<int> changedBefore;   // the editor's changed marks before the action
    bool openedFileInEditor = false;  // the editor's Open... was clicked
    bool keptFileChanged = false;     // a start ended at its first question changed the kept set
    std::vector<Finding> findings;    // what the action's own checks found
};

/** Follows the soak along and says, after every action, what the program got wrong:

    - the instrument holds only sequences and settings the user sent, loaded or reset to;
    - undo and redo bring back only editor states the user made (a read, an opening, a file
      or an edit made them; the empty set the editor starts with does not count);
    - while the editor's picture of the instrument is current, its changed marks are exactly
      the sequences in which the editor and the instrument differ;
    - a read, an opening of a file and a reopening of the editor never replace unsent edits
      without a question;
    - nothing changes the sequences of an editor that is not shown (Record ends as it closes);
    - a quit while the start-up offers the kept changes back leaves them on disk.

    The picture is current after a read or a send made while the instrument answered; it is
    stale after anything else changed the instrument's sequences (a reset, a load, an update)
    or after writes that may have been lost. The editor must re-read before it sends, so a
    send made while the instrument answers leaves the picture current.
*/
class SoakOracle final
{
public:
    explicit SoakOracle (const EmulatedInstrument& instrument);

    std::vector<Finding> afterAction (const ActionRecord& action, const SequenceEditorModel& model, bool editorShowing,
                                      bool connected, const EmulatedInstrument& instrument);

    /** After a tolerated finding: whatever the program now shows and holds is taken as made. */
    void acceptCurrentState (const SequenceEditorModel& model, const EmulatedInstrument& instrument);

private:
    void takeHubMessages (const ActionRecord& action, bool connected);
    void checkInstrument (const EmulatedInstrument& instrument, std::vector<Finding>& findings) const;
    void checkEditorHistory (const ActionRecord& action, const SequenceEditorModel& model,
                             std::vector<Finding>& findings);
    void checkEditsKept (const ActionRecord& action, const SequenceEditorModel& model, bool editorShowing,
                         std::vector<Finding>& findings) const;
    void checkHiddenEditor (const ActionRecord& action, const SequenceEditorModel& model, bool editorShowing,
                            std::vector<Finding>& findings) const;
    void checkChangedMarks (const SequenceEditorModel& model, const EmulatedInstrument& instrument,
                            std::vector<Finding>& findings) const;

    std::array<SequenceFingerprints, numSequences> allowedSequences;
    std::array<std::set<uint8>, numDeviceSettings> allowedSettings;
    std::array<SequenceFingerprints, numSequences> madeInEditor;
    bool editorEverOpened = false;
    bool pictureCurrent = false;
    bool changedElsewhereSinceRead = false;

    // Of the action being checked.
    bool sent = false, read = false, opened = false, instrumentChangedElsewhere = false;
};

} // namespace tarnovelle::soak
