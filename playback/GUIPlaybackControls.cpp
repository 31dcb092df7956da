#include "playback/GUIPlaybackControls.h"

#include "protocol/ActionVocabulary.h"

namespace tarnovelle
{

namespace Look = SequenceEditorLook;

namespace
{
    constexpr int playHeadFramesPerSecond = 30;
    const juce::Colour playHeadColour (0xff7ee0a1);
    const juce::Colour recordColour (0xffd9443b);

    /** The column of the step sounding, drawn over the grid; clicks go through it. */
    class PlayHead final : public juce::Component
    {
    public:
        PlayHead() { setInterceptsMouseClicks (false, false); }

        void paint (juce::Graphics& g) override
        {
            g.fillAll (playHeadColour.withAlpha (0.18f));
            g.setColour (playHeadColour);
            g.fillRect (getLocalBounds().removeFromLeft (2));
        }
    };

    std::unique_ptr<juce::TextButton> makeButton (const juce::String& text)
    {
        auto button = std::make_unique<juce::TextButton> (text);
        button->setWantsKeyboardFocus (false);
        button->setColour (juce::TextButton::buttonColourId, juce::Colour (0xff39404a));
        button->setColour (juce::TextButton::buttonOnColourId, juce::Colour (0xff2f6f4a));
        button->setColour (juce::TextButton::textColourOffId, Look::text);
        button->setColour (juce::TextButton::textColourOnId, Look::text);
        return button;
    }
} // namespace

GUIPlaybackControls::GUIPlaybackControls (SequencePlayback& playbackToShow, SequenceEditorModel& modelToShow,
                                          GUIStepGrid& gridToPlayOn,
                                          std::function<void (const juce::String&)> actionSender)
    : playback (playbackToShow)
    , model (modelToShow)
    , grid (gridToPlayOn)
    , sendAction (std::move (actionSender))
{
    // The buttons' actions, tooltips and states are the editor's commands.
    mPlay = makeButton ("Play");
    mPreview = makeButton ("Preview");
    mRecord = makeButton ("Record");
    mRecord->setColour (juce::TextButton::buttonOnColourId, recordColour);

    mTempo = std::make_unique<juce::Slider> (juce::Slider::IncDecButtons, juce::Slider::TextBoxLeft);
    mTempo->setRange (SequencePlayback::lowestTempo, SequencePlayback::highestTempo, 1.0);
    mTempo->setTextValueSuffix (" BPM");
    mTempo->setTextBoxStyle (juce::Slider::TextBoxLeft, false, 74, 24);
    mTempo->setWantsKeyboardFocus (false);
    mTempo->onValueChange = [this] { playback.setTempo ((int) mTempo->getValue()); };

    mStatus = std::make_unique<juce::Label>();
    mStatus->setColour (juce::Label::textColourId, Look::text);
    mStatus->setFont (juce::Font (13.0f));

    mPlayHead = std::make_unique<PlayHead>();
    grid.addChildComponent (mPlayHead.get());

    playback.addListener (this);
    model.addListener (this);
    sequencePlaybackChanged();
}

GUIPlaybackControls::~GUIPlaybackControls()
{
    model.removeListener (this);
    playback.removeListener (this);
}

void GUIPlaybackControls::addTo (GUIEditorToolbar& toolbar)
{
    toolbar.startGroup();
    toolbar.addControl (*mPlay, 58);
    toolbar.addControl (*mPreview, 70);
    toolbar.addControl (*mRecord, 66);
    toolbar.addControl (*mTempo, 120);
}

//==============================================================================
void GUIPlaybackControls::togglePlay()
{
    if (playback.isPlaying())
        stop();
    else
        sendAction (getActionPrefix (Action::playSequence));
}

void GUIPlaybackControls::stop() { sendAction (getActionPrefix (Action::stopPlaying)); }

void GUIPlaybackControls::editorClosing()
{
    stop();
    playback.endRecording();
}

void GUIPlaybackControls::changeTempoBy (int beatsPerMinute)
{
    mTempo->setValue (mTempo->getValue() + beatsPerMinute, juce::sendNotificationSync);
}

void GUIPlaybackControls::showNotice (const juce::String& text)
{
    notice = text;
    showPlayingStep();
}

//==============================================================================
void GUIPlaybackControls::sequencePlaybackChanged()
{
    mPlay->setButtonText (playback.isPlaying() ? "Stop" : "Play");
    mPreview->setToggleState (playback.isPreviewOn(), juce::dontSendNotification);
    mRecord->setToggleState (playback.isRecording(), juce::dontSendNotification);
    mTempo->setValue (playback.getTempo(), juce::dontSendNotification);

    if (playback.isPlaying())
    {
        notice.clear();
        startTimerHz (playHeadFramesPerSecond);
    }
    else
    {
        stopTimer();
    }

    showPlayingStep();

    if (onPlaybackChanged)
        onPlaybackChanged();
}

void GUIPlaybackControls::showPlayingStep()
{
    const int step = playback.getPlayingStep();
    juce::String text (notice);

    if (playback.isPlaying())
    {
        text = "Playing at " + juce::String (playback.getTempo()) + " BPM";

        if (step >= 0)
            text << ", step " << (step + 1) << " of " << model.getSelected().length;
    }

    if (playback.isRecording())
        text << (text.isEmpty() ? "" : "   |   ") << "Record: next note at step " << (playback.getRecordStep() + 1);

    mStatus->setText (text, juce::dontSendNotification);
    mStatus->setColour (juce::Label::textColourId, notice.isNotEmpty() ? Look::changed : Look::text);

    mPlayHead->setVisible (step >= 0);

    if (step >= 0)
    {
        const auto& columns = grid.columns;
        mPlayHead->setBounds ((int) columns.xOf (step), 0, juce::jmax (2, (int) columns.columnWidth()),
                              grid.getHeight());
    }
}

} // namespace tarnovelle
