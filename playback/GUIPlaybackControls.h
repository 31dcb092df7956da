#pragma once

#include "editor/GUIEditorToolbar.h"
#include "editor/GUISequenceGrid.h"
#include "playback/SequencePlayback.h"

namespace tarnovelle
{

/** The sequence editor's transport: the Play/Stop button, the Preview and Record toggles and
    the tempo field in the toolbar, the play-head over the grid and the playback part of the
    status bar. Its keys are the editor's commands.

    Play and Stop are action messages to the hub, as every device action is; tempo, preview
    and record are the session's choices and go straight to the playback.
*/
class GUIPlaybackControls final :
    private SequencePlayback::Listener,
    private SequenceEditorModel::Listener,
    private juce::Timer
{
public:
    GUIPlaybackControls (SequencePlayback& playback, SequenceEditorModel& model, GUIStepGrid& grid,
                         std::function<void (const juce::String&)> sendAction);
    ~GUIPlaybackControls() override;

    /** Puts the transport into the toolbar, as a group of its own. */
    void addTo (GUIEditorToolbar& toolbar);

    void togglePlay();
    void stop();
    void changeTempoBy (int beatsPerMinute);

    /** Shown in the playback's part of the status bar until playback starts. */
    void showNotice (const juce::String& text);

    /** The editor closes: playback stops and Record ends. */
    void editorClosing();

    juce::Label& getStatus() noexcept { return *mStatus; }
    juce::Component& getPlayHead() noexcept { return *mPlayHead; }
    juce::TextButton& getPlayButton() noexcept { return *mPlay; }
    juce::TextButton& getPreviewButton() noexcept { return *mPreview; }
    juce::TextButton& getRecordButton() noexcept { return *mRecord; }
    juce::Slider& getTempoField() noexcept { return *mTempo; }
    SequencePlayback& getPlayback() noexcept { return playback; }

    /** Called after the playback has changed (playing, preview, record). */
    std::function<void()> onPlaybackChanged;

private:
    void sequencePlaybackChanged() override;
    void sequenceEditorModelChanged() override { showPlayingStep(); }
    void timerCallback() override { showPlayingStep(); }
    void showPlayingStep();

    SequencePlayback& playback;
    SequenceEditorModel& model;
    GUIStepGrid& grid;
    std::function<void (const juce::String&)> sendAction;

    std::unique_ptr<juce::TextButton> mPlay, mPreview, mRecord;
    std::unique_ptr<juce::Slider> mTempo;
    std::unique_ptr<juce::Label> mStatus;
    std::unique_ptr<juce::Component> mPlayHead;
    juce::String notice;

    JUCE_DECLARE_NON_COPYABLE_WITH_LEAK_DETECTOR (GUIPlaybackControls)
};

} // namespace tarnovelle
