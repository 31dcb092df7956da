#pragma once

#include "app/AboutProgram.h"
#include "app/CommandTable.h"
#include "app/GUIKeyboardShortcuts.h"
#include "editor/SequenceEditorModel.h"
#include "library/GUIHistoryComparison.h"
#include "library/GUIHistoryList.h"
#include "library/HistoryHost.h"
#include "library/InstrumentHistory.h"

namespace tarnovelle
{

/** The content of the "History" window: the snapshots with a text and a star filter, the
    comparison of the selected ones (or of one with the instrument or the editor now), and
    what can be done with a snapshot: restore it into the editor or to the instrument,
    export it, import files, rename, star and delete. These act on one selected snapshot
    only, and only rename, star and delete on one whose content cannot be read.

    What touches the instrument (reading it now, restoring to it) is an action message to
    the hub; the rest works on the library and the editor's model directly.
*/
class GUIHistory final : public juce::Component, public juce::ActionBroadcaster, private InstrumentHistory::Listener
{
public:
    GUIHistory (InstrumentHistory& history, SequenceEditorModel& model);
    ~GUIHistory() override;

    void paint (juce::Graphics& g) override;
    void resized() override;

    //==============================================================================
    // The actions, as the buttons call them.
    void compareWithInstrumentNow();
    void compareWithEditorNow();
    void restoreToEditor();
    void restoreToInstrument();
    void exportSnapshot();
    void importFiles();
    void toggleStar();
    void deleteSnapshot();
    void renameSnapshot (const juce::String& name);
    /** Takes the keyboard to the name field, its text selected. */
    void startNaming();

    /** The one snapshot shown selected; nothing while none or two are. */
    std::optional<Snapshot> getSelectedSnapshot();

    void setProgramFacts (const ProgramFacts& facts) { programFacts = facts; }
    void showAbout() { tarnovelle::showAbout (programFacts); }
    void showKeyboardShortcuts();

    /** The commands, their keys and the menu bar's model. */
    CommandTable& getCommands() noexcept { return *mCommands; }
    bool keyPressed (const juce::KeyPress& key) override { return mCommands->keyPressed (key, this); }

    /** The sequence the restores take, 0 to 7, or -1 for all eight. */
    int getRestoredSequence() const;

    GUIHistoryList& getList() noexcept { return *mList; }
    GUIHistoryComparison& getComparison() noexcept { return *mComparison; }
    juce::TextButton& getButton (const juce::String& text);
    juce::TextEditor& getFindField() noexcept { return *mFind; }
    juce::ComboBox& getSequenceChoice() noexcept { return *mWhich; }

private:
    void historyChanged (juce::int64 addedId) override;
    void selectionChanged();
    void applyFilter();
    void showComparison();
    std::optional<Snapshot> getSelectedReadable();
    void addButton (juce::CommandID id);

    InstrumentHistory& history;
    SequenceEditorModel& model;
    std::unique_ptr<GUIHistoryList> mList;
    std::unique_ptr<GUIHistoryComparison> mComparison;
    std::unique_ptr<juce::TextEditor> mFind;
    std::unique_ptr<juce::TextEditor> mName;
    std::unique_ptr<juce::ToggleButton> mStarredOnly;
    std::unique_ptr<juce::ComboBox> mWhich;
    std::unique_ptr<juce::Label> mStatus;
    juce::OwnedArray<juce::TextButton> mButtons;
    std::unique_ptr<CommandTable> mCommands;
    std::unique_ptr<GUIKeyboardShortcutsWindow> mShortcutsWindow;
    ProgramFacts programFacts;

    /** What the selected snapshot is compared with when only one is selected. */
    std::optional<Snapshot> mOther;
    bool mAwaitingInstrument = false;

    JUCE_DECLARE_NON_COPYABLE_WITH_LEAK_DETECTOR (GUIHistory)
};

/** The top-level "History" window; closing it only hides it. */
class GUIHistoryWindow final : public juce::DocumentWindow
{
public:
    GUIHistoryWindow (InstrumentHistory& history, SequenceEditorModel& model);
    ~GUIHistoryWindow() override;

    void closeButtonPressed() override { setVisible (false); }
    // A key typed while nothing in the window holds the keyboard is the History's.
    bool keyPressed (const juce::KeyPress& key) override { return mHistory->keyPressed (key); }

    GUIHistory& getHistory() noexcept { return *mHistory; }

private:
    std::unique_ptr<GUIHistory> mHistory;

    JUCE_DECLARE_NON_COPYABLE_WITH_LEAK_DETECTOR (GUIHistoryWindow)
};

/** Opens the one History window of the application, on the hub's "HIST ". */
class GUIHistoryLauncher final : public HistoryHost
{
public:
    GUIHistoryLauncher (InstrumentHistory& history, SequenceEditorModel& model, juce::ActionListener* hub);
    ~GUIHistoryLauncher() override;

    void openHistory() override;

    GUIHistoryWindow* getWindow() const noexcept { return mWindow.get(); }

    /** What the window's Help → About tells. */
    void setProgramFacts (const ProgramFacts& facts) { programFacts = facts; }

private:
    InstrumentHistory& history;
    SequenceEditorModel& model;
    juce::ActionListener* const hub;
    ProgramFacts programFacts;
    std::unique_ptr<GUIHistoryWindow> mWindow;

    JUCE_DECLARE_NON_COPYABLE_WITH_LEAK_DETECTOR (GUIHistoryLauncher)
};

} // namespace tarnovelle
