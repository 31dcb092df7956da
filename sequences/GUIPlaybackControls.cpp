#include "sequences/GUIPlaybackControls.h"

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

    std::unique_ptr<juce::TextButton> makeButton (const juce::String& text, const juce::String& tooltip, bool toggles)
    {
        auto button = std::make_unique<juce::TextButton> (text, tooltip);
        button->setWantsKeyboardFocus (false);
        button->setClickingTogglesState (toggles);
        button->setColour (juce::TextButton::buttonColourId, juce::Colour (0xff39404a));
        button->setColour (juce::TextButton::buttonOnColourId, juce::Colour (0xff2f6f4a));
        button->setColour (juce::TextButton::textColourOffId, Look::text);
        button->setColour (juce::TextButton::textColourOnId, Look::text);
        return button;
    }

    bool isLetter (const juce::KeyPress& key, char upperCase)
    {
        return key.getKeyCode() == upperCase || key.getKeyCode() == upperCase + ('a' - 'A');
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
    mPlay = makeButton ("Play", "Play the sequence on Tarnovelle, looping (Space; Escape stops)", false);
    mPlay->onClick = [this] { togglePlay(); };
    mPreview = makeButton ("Preview", "Play each note an edit sets (P)", true);
    mPreview->onClick = [this] { playback.setPreviewOn (mPreview->getToggleState()); };
    mRecord = makeButton ("Record", "Enter the notes played on Tarnovelle's keys at the cursor (R)", true);
    mRecord->setColour (juce::TextButton::buttonOnColourId, recordColour);
    mRecord->onClick = [this] { setRecording (mRecord->getToggleState()); };

    mTempo = std::make_unique<juce::Slider> (juce::Slider::IncDecButtons, juce::Slider::TextBoxLeft);
    mTempo->setRange (SequencePlayback::lowestTempo, SequencePlayback::highestTempo, 1.0);
    mTempo->setTextValueSuffix (" BPM");
    mTempo->setTextBoxStyle (juce::Slider::TextBoxLeft, false, 74, 24);
    mTempo->setTooltip ("Tempo, 20 to 300 BPM ([ and ] by 1, with Shift by 10)");
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
bool GUIPlaybackControls::handleKey (const juce::KeyPress& key)
{
    const auto mods = key.getModifiers();
    const int code = key.getKeyCode();

    if (mods.isCtrlDown() || mods.isAltDown())
        return false;

    // With Shift the brackets may arrive as braces, depending on the keyboard layout.
    const int tempoStep = (mods.isShiftDown() || code == '{' || code == '}') ? 10 : 1;

    if (code == juce::KeyPress::spaceKey)
        togglePlay();
    else if (code == juce::KeyPress::escapeKey)
        stop();
    else if (code == '[' || code == '{')
        mTempo->setValue (mTempo->getValue() - tempoStep, juce::sendNotificationSync);
    else if (code == ']' || code == '}')
        mTempo->setValue (mTempo->getValue() + tempoStep, juce::sendNotificationSync);
    else if (isLetter (key, 'P'))
        playback.setPreviewOn (! playback.isPreviewOn());
    else if (isLetter (key, 'R'))
        setRecording (! playback.isRecording());
    else if (isLetter (key, 'X') && playback.isRecording())
        playback.enterRest();
    else if (code == juce::KeyPress::backspaceKey && playback.isRecording())
        playback.stepBack();
    else
        return false;

    return true;
}

void GUIPlaybackControls::togglePlay()
{
    if (playback.isPlaying())
    {
        stop();
        return;
    }

    if (! model.isConnected())
    {
        notice = "Play needs Tarnovelle: NOT connected";
        showPlayingStep();
        return;
    }

    notice.clear();
    sendAction (getActionPrefix (Action::playSequence));
}

void GUIPlaybackControls::setRecording (bool shouldRecord)
{
    notice = playback.setRecording (shouldRecord) ? juce::String() : "Record needs Tarnovelle: NOT connected";
    showPlayingStep();
}

void GUIPlaybackControls::stop() { sendAction (getActionPrefix (Action::stopPlaying)); }

void GUIPlaybackControls::editorClosing()
{
    stop();
    playback.endRecording();
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
