#pragma once

#include "sequences/GUIEditorToolbar.h"
#include "sequences/GUIPlaybackControls.h"
#include "sequences/GUISequenceGrid.h"
#include "sequences/GUISequenceList.h"

namespace tarnovelle
{

/** The content of the "Sequence Editor" window: the list of the eight sequences, the piano
    roll of the selected one, the buttons and a status line.

    Edits change the editor's model at once; reading from and sending to the instrument are
    action messages to the hub ("RDSQ ", "WRSQ "), so they need the connection as every
    device action does. Every command has a key, so the editor works without a mouse.
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

    /** The window has just been closed: playback stops. */
    void editorClosed();

    void readFromInstrument();
    void sendToInstrument();

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

private:
    void sequenceEditorModelChanged() override;
    void addButtons();
    void addTools();
    void addButton (const juce::String& text, const juce::String& tooltip, std::function<void()> action);
    void runFileCommand (const std::function<void()>& command);
    int getToolbarHeight (int width) const;
    void layoutStatusBar();
    void valueChanged (juce::Value&) override { layoutStatusBar(); }
    bool handleCommandKey (const juce::KeyPress& key);
    bool handleEditKey (const juce::KeyPress& key);
    void moveOrExtend (int delta, bool extend);
    void showCursorNote();
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
    std::unique_ptr<juce::TooltipWindow> mTooltips;

    JUCE_DECLARE_NON_COPYABLE_WITH_LEAK_DETECTOR (GUISequenceEditor)
};

} // namespace tarnovelle
