#pragma once

#include "editor/SequenceEditorKeeper.h"
#include "library/GUIHistoryWindow.h"
#include "tests/soak/SoakApplication.h"
#include "tests/soak/SoakOracle.h"

#include <random>

namespace tarnovelle::soak
{

/** One random user action (or instrument fault), drawn from the seed alone, whatever the
    program's state: the same seed gives the same list, so any prefix or subset replays.
*/
struct SoakAction
{
    enum class Kind
    {
        editorKey,
        editorUndoRedo,
        editorRead,
        editorSend,
        editorButton,
        editorGridClick,
        editorFile,
        editorStepSize,
        closeEditor,
        openEditor,
        showTab,
        clickSetting,
        clickConnect,
        resetSequences,
        loadSequences,
        saveSequences,
        openWebPage,
        updateFirmware,
        historyFiltered,
        faultUnplug,
        faultSilence,
        faultActiveSensing,
        faultLatency,
        faultsCleared,
        instrumentKeys,
        quitAtKeptChangesQuestion
    };

    Kind kind;
    int a = 0; // which key, button, step, tab, file or value
    int b = 0; // a second choice: the note of a click, a modifier

    juce::String describe() const;

    /** Draws the index-th action of a seed. */
    static SoakAction draw (std::uint64_t seed, int index);

    /** The longest time the program may take to answer this action. An instrument slowed by a
        latency fault answers each request that much later, and an action may wait for as many
        as 64 replies (a copy of the eight sequences kept, then each sent and read back).
    */
    int timeLimitMs (int instrumentLatencyMs) const noexcept
    {
        constexpr int mostRepliesOfAnAction = 64;
        return (kind == Kind::updateFirmware ? 60000 : 5000) + mostRepliesOfAnAction * instrumentLatencyMs;
    }
};

/** Carries out actions on the in-process application: clicks and keys as the user makes them,
    answers to the dialogs drawn from the seed, files in a scratch folder, the instrument's
    faults through its switches.
*/
class SoakDriver final
{
public:
    SoakDriver (SoakApplication& app, const juce::File& scratchFolder, std::uint64_t seed);

    /** Performs the action and waits until the program has answered it and everything it sent
        has reached the instrument. Fills in what the oracle needs to know of it.
    */
    void perform (const SoakAction& action, int index, ActionRecord& record);

    const FaultState& getFaults() const noexcept { return faults; }

private:
    void performOnMainWindow (const SoakAction& action);
    void performInEditor (const SoakAction& action);
    void performFault (const SoakAction& action);
    void playKey (const SoakAction& action);
    void quitAtKeptChangesQuestion (const SoakAction& action, ActionRecord& record);
    void filterHistoryWhileSnapshotsArrive (const SoakAction& action);
    void answerDialog (const ScriptedDialogs::Record& dialog);
    void scriptFile (bool forSaving, const juce::String& extension, int choice);
    void clickPushButton (juce::Component* pushButton);
    juce::Array<juce::File> filesWith (const juce::String& extension) const;
    void writeStartingFiles();

    SoakApplication& app;
    const juce::File folder;
    const std::uint64_t seed;
    std::mt19937_64 answers;
    FaultState faults;
    ActionRecord* current = nullptr;
    juce::File lastScriptedFile;
    std::unique_ptr<juce::Timer> importWindowAnswerer;
    std::unique_ptr<InstrumentHistory> history;
    std::unique_ptr<GUIHistory> historyWindow;
    int retriesAnswered = 0;
    bool quitAtNextQuestion = false;
    std::unique_ptr<SequenceEditorKeeper> keeper;
};

} // namespace tarnovelle::soak
