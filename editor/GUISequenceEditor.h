#pragma once

#include "app/AboutProgram.h"
#include "app/CommandTable.h"
#include "app/GUIKeyboardShortcuts.h"
#include "editor/GUIEditorToolbar.h"
#include "editor/GUISequenceGrid.h"
#include "editor/GUISequenceList.h"
#include "playback/GUIPlaybackControls.h"

namespace tarnovelle
{

/** The content of the "Sequence Editor" window: the list of the eight sequences, the piano
    roll of the selected one, the buttons and a status line.

    Edits change the editor's model at once; reading from and sending to the instrument are
    action messages to the hub ("RDSQ ", "WRSQ "), so they need the connection as every
    device action does. Every command is declared once in the editor's command table
    (EditorCommands), which makes its menu entry, its key, its button and tooltip: the
    editor works without a mouse.
*/
class GUISequenceEditor final :
    public juce::Component,
    public juce::ActionBroadcaster,
    private SequenceEditorModel::Listener,
    private juce::Value::Listener
{
public:
    /** Without a playback the editor has no transport (Play, Preview, Record, tempo). */
    explicit GUISequenceEditor (SequenceEditorModel& model, SequencePlayback* playback = nullptr);
    ~GUISequenceEditor() override;

    void paint (juce::Graphics& g) override;
    void resized() override;
    bool keyPressed (const juce::KeyPress& key) override;

    /** The window has just been shown: connected, the sequences are read first. */
    void editorOpened();

    /** Asks before closing when sequences have changed since the last read or send; returns
        true when the window may close.
    */
    bool confirmClose();

    /** The window has just been closed: playback stops and Record ends. */
    void editorClosed();

    void readFromInstrument();
    void sendToInstrument();

    /** Help → About tells these. */
    void setProgramFacts (const ProgramFacts& facts) { programFacts = facts; }
    void showAbout() { tarnovelle::showAbout (programFacts); }
    void showKeyboardShortcuts();

    /** The commands, their keys and the menu bar's model. */
    CommandTable& getCommands() noexcept { return *mCommands; }
    GUIKeyboardShortcutsWindow* getKeyboardShortcutsWindow() noexcept { return mShortcutsWindow.get(); }
    juce::String getHintText() const { return mHint->getText(); }

    /** Runs a command that brings in notes, then shows them. */
    void showNotesAfter (const std::function<void()>& command);
    /** Scrolls the note at the step cursor into view. */
    void showCursorNote();

    /** Paste can act: steps were copied here, or the desktop's clipboard held step text when
        it was last looked at (on coming to the front, on opening a menu, on copying).
    */
    bool canPaste() const { return model.hasCopiedSequence() || clipboardHoldsSteps; }
    void lookAtClipboard();

    /** The buttons, by their labels: for tests and screenshots. */
    juce::TextButton& getButton (const juce::String& text);
    GUIEditorToolbar& getToolbar() noexcept { return *mToolbar; }
    juce::Viewport& getViewport() noexcept { return *mViewport; }

    /** The smallest size at which every control can still be reached. */
    static constexpr int minimumWidth = 760;
    static constexpr int minimumHeight = 560;

    /** Clipboard commands: the steps also go to and come from the desktop's clipboard as
        step text ("60 62 x 64"), so they can be pasted to and from a text editor.
    */
    void copySteps();
    void cutSteps();
    void pasteSteps();
    GUIStepGrid& getGrid() noexcept { return *mGrid; }
    GUIStepRuler& getRuler() noexcept { return *mRuler; }
    GUISequenceList& getList() noexcept { return *mList; }
    juce::String getStatusText() const { return mStatus->getText(); }
    GUIPlaybackControls* getPlaybackControls() noexcept { return mPlayback.get(); }
    SequenceEditorModel& getModel() noexcept { return model; }

private:
    void sequenceEditorModelChanged() override;
    void addCommands();
    void addButtons();
    void addStepSize();
    void refused (const Command& command);
    int getToolbarHeight (int width) const;
    void layoutStatusBar();
    void valueChanged (juce::Value&) override { layoutStatusBar(); }
    void showSequenceNotes (bool onlyWhenNoneInView = false);
    bool saysNotConnected();

    SequenceEditorModel& model;
    std::unique_ptr<GUIEditorToolbar> mToolbar;
    std::unique_ptr<juce::Label> mStepLabel;
    std::unique_ptr<juce::ComboBox> mStepSize;
    std::unique_ptr<GUISequenceList> mList;
    std::unique_ptr<GUIStepRuler> mRuler;
    std::unique_ptr<juce::Viewport> mViewport;
    std::unique_ptr<GUIStepGrid> mGrid;
    std::unique_ptr<juce::Label> mStatus;
    std::unique_ptr<juce::Label> mHint;
    int mShownSequence = -1;
    std::unique_ptr<GUIPlaybackControls> mPlayback; // after the grid, whose child its play-head is
    std::unique_ptr<CommandTable> mCommands;        // after what its commands act on
    std::unique_ptr<GUIKeyboardShortcutsWindow> mShortcutsWindow;
    ProgramFacts programFacts;
    bool clipboardHoldsSteps = false;
    std::unique_ptr<juce::TooltipWindow> mTooltips;

    JUCE_DECLARE_NON_COPYABLE_WITH_LEAK_DETECTOR (GUISequenceEditor)
};

} // namespace tarnovelle
