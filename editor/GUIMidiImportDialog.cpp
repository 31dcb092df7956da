#include "editor/GUIMidiImportDialog.h"

#include "editor/GUISequenceGrid.h"
#include "editor/SequenceEditorFiles.h"
#include "platform/QuitRequest.h"

namespace tarnovelle
{

namespace Look = SequenceEditorLook;

namespace
{
    constexpr int numChannels = 16;
    constexpr int trackRowHeight = 24;
    constexpr int rowHeight = 26;
    constexpr int margin = 12;
    const juce::String middleDot (juce::CharPointer_UTF8 ("  \xc2\xb7  "));

    juce::String describeTrack (const MidiTrackSummary& track)
    {
        juce::String text;
        text << track.number << "  " << (track.name.isEmpty() ? juce::String ("(no name)") : track.name);

        if (track.noteCount == 0)
            return text + middleDot + "no notes";

        return text << middleDot << (track.channels.size() == 1 ? "channel " : "channels ")
                    << describeChannels (track.channels) << middleDot << track.noteCount
                    << (track.noteCount == 1 ? " note" : " notes");
    }

    std::unique_ptr<juce::ToggleButton> makeToggle (const juce::String& text, bool ticked)
    {
        auto toggle = std::make_unique<juce::ToggleButton> (text);
        toggle->setToggleState (ticked, juce::dontSendNotification);
        toggle->setColour (juce::ToggleButton::textColourId, Look::text);
        toggle->setColour (juce::ToggleButton::tickColourId, Look::note);
        // Return and Escape belong to OK and Cancel, whatever was clicked last.
        toggle->setWantsKeyboardFocus (false);
        return toggle;
    }

    bool isChosen (const std::optional<std::set<int>>& chosen, int number)
    {
        return ! chosen.has_value() || chosen->count (number) != 0;
    }

    /** The window around the panel; its close button cancels. */
    class ImportWindow final : public juce::DialogWindow
    {
    public:
        ImportWindow (GUIMidiImportPanel& panelToShow, std::function<void()> cancelled)
            : juce::DialogWindow (GUIMidiImportChooser::windowTitle, Look::panel, false, true)
            , panel (panelToShow)
            , onCancel (std::move (cancelled))
        {
            setUsingNativeTitleBar (true);
            setContentNonOwned (&panel, true);
            setResizable (false, false);
            centreWithSize (getWidth(), getHeight());
            setVisible (true);
        }

        ~ImportWindow() override { clearContentComponent(); }

        void closeButtonPressed() override { onCancel(); }

        // Without a window manager the window itself may hold the keyboard, not the panel.
        bool keyPressed (const juce::KeyPress& key) override
        {
            return panel.keyPressed (key) || juce::DialogWindow::keyPressed (key);
        }

    private:
        GUIMidiImportPanel& panel;
        std::function<void()> onCancel;

        JUCE_DECLARE_NON_COPYABLE (ImportWindow)
    };
} // namespace

GUIMidiImportPanel::GUIMidiImportPanel (const juce::String& fileName, const juce::MidiFile& file,
                                        const MidiImportChoice& initial)
    : midiFile (file)
{
    addLabel (fileName + ": the notes of the ticked tracks and channels become the selected sequence.");
    const auto tracks = summariseMidiTracks (file);
    addLabel ("Tracks");
    addTrackToggles (tracks, initial);
    addLabel ("Channels (10 is General MIDI's drums)");
    addChannelToggles (tracks, initial);

    addLabel ("From bar");
    mFromBar = std::make_unique<juce::Slider> (juce::Slider::IncDecButtons, juce::Slider::TextBoxLeft);
    // A slider's range must not be empty: a song of one bar offers bar 1 alone, greyed.
    const int lastBar = juce::jmax (countBars (file), initial.fromBar);
    mFromBar->setRange (1.0, (double) juce::jmax (2, lastBar), 1.0);
    mFromBar->setEnabled (lastBar > 1);
    mFromBar->setValue ((double) initial.fromBar, juce::dontSendNotification);
    mFromBar->setTextBoxStyle (juce::Slider::TextBoxLeft, false, 56, rowHeight);
    mFromBar->onValueChange = [this] { choiceChanged(); };
    addAndMakeVisible (mFromBar.get());

    addLabel ("Step");
    mStepSize = std::make_unique<juce::ComboBox>();
    for (int size : { 4, 8, 16, 32 })
        mStepSize->addItem ("1/" + juce::String (size), size);
    mStepSize->setSelectedId (initial.stepSize, juce::dontSendNotification);
    mStepSize->setWantsKeyboardFocus (false);
    mStepSize->onChange = [this] { choiceChanged(); };
    addAndMakeVisible (mStepSize.get());

    mPreview = std::make_unique<GUIMidiImportPreview>();
    addAndMakeVisible (mPreview.get());
    mSummary = std::make_unique<juce::Label>();
    mSummary->setColour (juce::Label::textColourId, Look::dimText);
    addAndMakeVisible (mSummary.get());

    mOk = std::make_unique<juce::TextButton> ("OK");
    mOk->onClick = [this] { onClose (true); };
    mCancel = std::make_unique<juce::TextButton> ("Cancel");
    mCancel->onClick = [this] { onClose (false); };

    for (auto* button : { mOk.get(), mCancel.get() })
    {
        button->setWantsKeyboardFocus (false);
        addAndMakeVisible (button);
    }

    onClose = [] (bool) {};
    setWantsKeyboardFocus (true);
    choiceChanged();
    setSize (640, 470);
}

GUIMidiImportPanel::~GUIMidiImportPanel() = default;

juce::Label& GUIMidiImportPanel::addLabel (const juce::String& text)
{
    auto& label = *mLabels.emplace_back (std::make_unique<juce::Label> (juce::String(), text));
    label.setColour (juce::Label::textColourId, Look::text);
    addAndMakeVisible (label);
    return label;
}

void GUIMidiImportPanel::addTrackToggles (const std::vector<MidiTrackSummary>& tracks, const MidiImportChoice& initial)
{
    mTrackList = std::make_unique<juce::Component>();

    for (const auto& track : tracks)
    {
        auto& toggle =
            *mTrackToggles.emplace_back (makeToggle (describeTrack (track), isChosen (initial.tracks, track.number)));
        toggle.onClick = [this] { choiceChanged(); };
        toggle.setBounds (0, trackRowHeight * (track.number - 1), 560, trackRowHeight);
        mTrackList->addAndMakeVisible (toggle);
    }

    mTrackList->setSize (560, trackRowHeight * (int) mTrackToggles.size());
    mTrackView = std::make_unique<juce::Viewport>();
    mTrackView->setViewedComponent (mTrackList.get(), false);
    mTrackView->setScrollBarsShown (true, false);
    mTrackView->setWantsKeyboardFocus (false);
    addAndMakeVisible (mTrackView.get());
}

void GUIMidiImportPanel::addChannelToggles (const std::vector<MidiTrackSummary>& tracks,
                                            const MidiImportChoice& initial)
{
    std::set<int> used;

    for (const auto& track : tracks)
        used.insert (track.channels.begin(), track.channels.end());

    for (int channel = 1; channel <= numChannels; ++channel)
    {
        auto& toggle =
            *mChannelToggles.emplace_back (makeToggle (juce::String (channel), isChosen (initial.channels, channel)));
        toggle.setEnabled (used.count (channel) != 0);
        toggle.onClick = [this] { choiceChanged(); };
        addAndMakeVisible (toggle);
    }
}

MidiImportChoice GUIMidiImportPanel::getChoice() const
{
    MidiImportChoice choice;
    choice.tracks = std::set<int>();
    choice.channels = std::set<int>();

    for (size_t i = 0; i < mTrackToggles.size(); ++i)
        if (mTrackToggles[i]->getToggleState())
            choice.tracks->insert ((int) i + 1);

    for (size_t i = 0; i < mChannelToggles.size(); ++i)
        if (mChannelToggles[i]->getToggleState())
            choice.channels->insert ((int) i + 1);

    choice.fromBar = (int) mFromBar->getValue();
    choice.stepSize = mStepSize->getSelectedId();
    return choice;
}

void GUIMidiImportPanel::choiceChanged()
{
    mResult = importMidiSequence (midiFile, getChoice());
    mPreview->setSteps (mResult.steps);
    mOk->setEnabled (mResult.isValid());

    if (! mResult.isValid())
    {
        mSummary->setText (mResult.error, juce::dontSendNotification);
        return;
    }

    const auto length = (int) mResult.steps.size();
    juce::String text;
    text << length << (length == 1 ? " step." : " steps.");

    if (mResult.droppedNotes > 0)
        text << " " << mResult.getWarning();

    mSummary->setText (text, juce::dontSendNotification);
}

bool GUIMidiImportPanel::keyPressed (const juce::KeyPress& key)
{
    if (key == juce::KeyPress::returnKey && mOk->isEnabled())
        onClose (true);
    else if (key == juce::KeyPress::escapeKey)
        onClose (false);
    else
        return false;

    return true;
}

void GUIMidiImportPanel::paint (juce::Graphics& g) { g.fillAll (Look::panel); }

void GUIMidiImportPanel::resized()
{
    auto area = getLocalBounds().reduced (margin);
    mLabels[0]->setBounds (area.removeFromTop (rowHeight));
    mLabels[1]->setBounds (area.removeFromTop (rowHeight));
    mTrackView->setBounds (area.removeFromTop (trackRowHeight * 5));
    mTrackList->setSize (mTrackView->getMaximumVisibleWidth(), mTrackList->getHeight());

    for (auto& toggle : mTrackToggles)
        toggle->setSize (mTrackList->getWidth(), trackRowHeight);

    // Two rows of eight, wide enough for two digits.
    mLabels[2]->setBounds (area.removeFromTop (rowHeight));
    const int channelWidth = area.getWidth() / (numChannels / 2);

    for (int i = 0; i < numChannels; ++i)
        mChannelToggles[(size_t) i]->setBounds (area.getX() + channelWidth * (i % 8), area.getY() + rowHeight * (i / 8),
                                                channelWidth, rowHeight);

    area.removeFromTop (2 * rowHeight);

    area.removeFromTop (6);
    auto timing = area.removeFromTop (rowHeight);
    mLabels[3]->setBounds (timing.removeFromLeft (70));
    mFromBar->setBounds (timing.removeFromLeft (130));
    timing.removeFromLeft (24);
    mLabels[4]->setBounds (timing.removeFromLeft (44));
    mStepSize->setBounds (timing.removeFromLeft (80));

    auto buttons = area.removeFromBottom (rowHeight + 4);
    mCancel->setBounds (buttons.removeFromRight (90));
    buttons.removeFromRight (8);
    mOk->setBounds (buttons.removeFromRight (90));

    mSummary->setBounds (area.removeFromBottom (rowHeight));
    area.removeFromTop (8);
    mPreview->setBounds (area);
}

//==============================================================================
bool GUIMidiImportChooser::chooseImport (const juce::String& fileName, const juce::MidiFile& file,
                                         MidiImportChoice& choice)
{
    if (QuitRequest::isRaised())
        return false;

    std::optional<bool> answer;
    GUIMidiImportPanel panel (fileName, file, choice);
    panel.onClose = [&answer] (bool ok) { answer = ok; };

    {
        ImportWindow window (panel, [&answer] { answer = false; });

        // A loop of its own rather than JUCE's modal loop: it ends too when the program is
        // asked to end, as the other dialogs do.
        window.enterModalState (true);
        panel.grabKeyboardFocus();

        while (! answer.has_value() && ! QuitRequest::isRaised())
            juce::MessageManager::getInstance()->runDispatchLoopUntil (5);

        window.exitModalState (0);
    }

    // Without a compositing window manager the closed window's pixels stay on the windows
    // below it until they are painted again.
    auto& desktop = juce::Desktop::getInstance();

    for (int i = desktop.getNumComponents(); --i >= 0;)
        desktop.getComponent (i)->repaint();

    if (! answer.value_or (false))
        return false;

    choice = panel.getChoice();
    return true;
}

void importMidiThroughWindow (SequenceEditorModel& model)
{
    GUIMidiImportChooser chooser;
    importMidiIntoEditor (model, chooser);
}

} // namespace tarnovelle
