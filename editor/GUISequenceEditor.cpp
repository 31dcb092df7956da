#include "editor/GUISequenceEditor.h"

#include "editor/EditorCommands.h"
#include "editor/SequenceEditorTransfer.h"
#include "platform/Platform.h"
#include "protocol/ActionVocabulary.h"

namespace tarnovelle
{

namespace Look = SequenceEditorLook;

namespace
{
    // The editor's questions carry titles of their own, not the editor window's.
    const char* const notConnectedTitle = "Not Connected";

    constexpr int toolbarPadding = 8;
    constexpr int statusHeight = 26;
    constexpr int listWidth = 200;
    constexpr int gap = 6;
} // namespace

GUISequenceEditor::GUISequenceEditor (SequenceEditorModel& modelToEdit, SequencePlayback* playback)
    : model (modelToEdit)
{
    mToolbar = std::make_unique<GUIEditorToolbar>();
    addAndMakeVisible (mToolbar.get());

    mList = std::make_unique<GUISequenceList> (model);
    addAndMakeVisible (mList.get());
    mRuler = std::make_unique<GUIStepRuler> (model);
    addAndMakeVisible (mRuler.get());

    mGrid = std::make_unique<GUIStepGrid> (model);
    mGrid->onEditStarted = [this] { grabKeyboardFocus(); };
    mViewport = std::make_unique<juce::Viewport>();
    mViewport->setViewedComponent (mGrid.get(), false);
    mViewport->setScrollBarsShown (true, false);
    mViewport->setWantsKeyboardFocus (false);
    addAndMakeVisible (mViewport.get());

    mStatus = std::make_unique<juce::Label>();
    mHint = std::make_unique<juce::Label>();
    mHint->setJustificationType (juce::Justification::centredRight);

    for (auto* label : { mStatus.get(), mHint.get() })
    {
        label->setColour (juce::Label::textColourId, label == mHint.get() ? Look::dimText : Look::text);
        label->setFont (juce::Font (13.0f));
        addAndMakeVisible (label);
    }

    if (playback != nullptr)
    {
        mPlayback = std::make_unique<GUIPlaybackControls> (
            *playback, model, *mGrid, [this] (const juce::String& message) { sendActionMessage (message); });
        addAndMakeVisible (mPlayback->getStatus());
        // The status bar gives the playback's messages the room they need as they change.
        mPlayback->getStatus().getTextValue().addListener (this);
    }

    addCommands();
    addButtons();
    addStepSize();
    mTooltips = std::make_unique<juce::TooltipWindow> (this);

    setWantsKeyboardFocus (true);
    model.addListener (this);
    sequenceEditorModelChanged();
    setSize (1180, 720);
    mViewport->setViewPosition (0, (int) mGrid->yOf (SequenceEditorModel::firstLastNote + 18));
    showSequenceNotes();
}

GUISequenceEditor::~GUISequenceEditor()
{
    model.removeListener (this);

    if (mPlayback != nullptr)
        mPlayback->getStatus().getTextValue().removeListener (this);
}

void GUISequenceEditor::addCommands()
{
    mCommands = std::make_unique<CommandTable> (EditorCommand::getMenuNames());
    EditorCommand::declare (*mCommands, *this);
    mCommands->onRefused = [this] (const Command& command) { refused (command); };
    mCommands->onMenuOpening = [this] { lookAtClipboard(); };

    // The hint reminds of the keys most needed, and of where to find the others.
    std::vector<juce::CommandID> hinted{ EditorCommand::send, EditorCommand::undo };

    if (mPlayback != nullptr)
        hinted.push_back (EditorCommand::playStop);

    hinted.push_back (EditorCommand::keyboardShortcuts);
    mHint->setText (mCommands->describeKeys (hinted), juce::dontSendNotification);
}

void GUISequenceEditor::addButtons()
{
    using namespace EditorCommand;
    // Groups: instrument, files, MIDI files, transposition, clipboard, tools, history.
    const std::vector<std::vector<juce::CommandID>> groups{
        { read, send },
        { open, save },
        { importMidi, exportMidi },
        { transposeOctaveDown, transposeDown, transposeUp, transposeOctaveUp },
        { clear, cut, copy, paste },
        { rotateLeft, rotateRight, reverse, invert, fitToScale, doubleSteps, halveSteps, generate },
        { undo, redo },
        { history },
    };

    for (const auto& group : groups)
    {
        mToolbar->startGroup();

        for (auto id : group)
            mCommands->attach (mToolbar->addButton (mCommands->getButtonText (id), {}, {}), id);
    }
}

void GUISequenceEditor::addStepSize()
{
    mStepLabel = std::make_unique<juce::Label> (juce::String(), "Step");
    mStepLabel->setColour (juce::Label::textColourId, Look::dimText);
    mStepLabel->setJustificationType (juce::Justification::centredRight);
    mToolbar->startGroup();
    mToolbar->addControl (*mStepLabel, 40);

    mStepSize = std::make_unique<juce::ComboBox>();
    for (int size : { 4, 8, 16, 32 })
        mStepSize->addItem ("1/" + juce::String (size), size);
    mStepSize->setTooltip ("The step size MIDI files are imported and exported at; Tarnovelle's own while connected");
    mStepSize->setWantsKeyboardFocus (false);
    mStepSize->onChange = [this] { model.setStepSize (mStepSize->getSelectedId()); };
    mToolbar->addControl (*mStepSize, 76);

    if (mPlayback == nullptr)
        return;

    using namespace EditorCommand;
    mPlayback->addTo (*mToolbar);
    mCommands->attach (mPlayback->getPlayButton(), playStop);
    mCommands->attach (mPlayback->getPreviewButton(), preview);
    mCommands->attach (mPlayback->getRecordButton(), record);
    mPlayback->getTempoField().setTooltip ("Tempo, 20 to 300 BPM (" + mCommands->getKeysText (tempoDown) + " and "
                                           + mCommands->getKeysText (tempoUp) + " by 1, "
                                           + mCommands->getKeysText (tempoDownByTen) + " and "
                                           + mCommands->getKeysText (tempoUpByTen) + " by 10)");
    mPlayback->onPlaybackChanged = [this] { mCommands->refresh(); };
}

void GUISequenceEditor::refused (const Command& command)
{
    if (command.menu == "Play" && mPlayback != nullptr)
        mPlayback->showNotice (command.whyDisabled);
    else
        model.setNotice (command.whyDisabled);
}

void GUISequenceEditor::showKeyboardShortcuts()
{
    GUIKeyboardShortcutsWindow::show (mShortcutsWindow, "Keyboard Shortcuts", *mCommands);
}

void GUISequenceEditor::lookAtClipboard()
{
    clipboardHoldsSteps = parseStepText (juce::SystemClipboard::getTextFromClipboard()).has_value();
    mCommands->refresh();
}

juce::TextButton& GUISequenceEditor::getButton (const juce::String& text)
{
    auto* button = mToolbar->findButton (text);
    jassert (button != nullptr);
    return *button;
}

void GUISequenceEditor::showNotesAfter (const std::function<void()>& command)
{
    // What the command brings in is shown where its notes are.
    command();
    showSequenceNotes();
}

//==============================================================================
void GUISequenceEditor::paint (juce::Graphics& g)
{
    g.fillAll (Look::background);
    g.setColour (Look::panel);
    g.fillRect (getLocalBounds().removeFromTop (getToolbarHeight (getWidth())));
    g.fillRect (getLocalBounds().removeFromBottom (statusHeight));
}

int GUISequenceEditor::getToolbarHeight (int width) const
{
    return mToolbar->getHeightForWidth (width - 2 * gap) + 2 * toolbarPadding;
}

void GUISequenceEditor::resized()
{
    auto area = getLocalBounds();
    mToolbar->setBounds (area.removeFromTop (getToolbarHeight (getWidth())).reduced (gap, toolbarPadding));

    area.removeFromBottom (statusHeight);
    layoutStatusBar();

    area.reduce (gap, gap);
    mList->setBounds (area.removeFromLeft (listWidth));
    area.removeFromLeft (gap);

    const int scrollBar = mViewport->getScrollBarThickness();
    const StepColumns columns{ Look::keyboardWidth, area.getWidth() - Look::keyboardWidth - scrollBar };
    mRuler->columns = columns;
    mRuler->setBounds (area.removeFromTop (Look::rulerHeight));
    mViewport->setBounds (area);
    mGrid->columns = columns;
    mGrid->setSize (area.getWidth() - scrollBar, GUIStepGrid::numRows * Look::rowHeight);
}

void GUISequenceEditor::layoutStatusBar()
{
    const auto widthFor = [] (const juce::Label& label) {
        return label.getText().isEmpty()
                   ? 0
                   : label.getFont().getStringWidth (label.getText()) + label.getBorderSize().getLeftAndRight() + 2;
    };

    // The editor's status keeps at least a third of the bar and takes as much more as its whole
    // message needs, up to the playback's; the key hint makes do with what is left.
    auto bar = getLocalBounds().removeFromBottom (statusHeight).reduced (gap, 0);
    const int playbackWidth =
        mPlayback != nullptr ? juce::jmin (widthFor (mPlayback->getStatus()), bar.getWidth() / 3) : 0;
    const int statusWidth = juce::jlimit (bar.getWidth() / 3, bar.getWidth() - playbackWidth, widthFor (*mStatus));
    mStatus->setBounds (bar.removeFromLeft (statusWidth));

    if (mPlayback != nullptr)
        mPlayback->getStatus().setBounds (bar.removeFromLeft (juce::jmax (playbackWidth, bar.getWidth() / 2)));

    mHint->setBounds (bar);
}

//==============================================================================
void GUISequenceEditor::sequenceEditorModelChanged()
{
    mStepSize->setSelectedId (model.getStepSize(), juce::dontSendNotification);
    mStepSize->setEnabled (! model.isConnected());
    mCommands->refresh();

    const auto& sequence = model.getSelected();
    juce::String text (model.isConnected() ? "Connected" : "NOT connected: Read and Send need Tarnovelle");
    text << "   |   Sequence " << (model.getSelectedIndex() + 1);

    if (sequence.length > 0)
    {
        const int step = model.getCursor();
        text << ", step " << (step + 1) << " of " << sequence.length << ": "
             << (sequence.isRest (step) ? juce::String ("rest") : Look::noteLabel (sequence.steps[(size_t) step]));
    }
    else
    {
        text << ", empty";
    }

    if (const auto range = model.getRange(); ! range.isEmpty())
        text << juce::String (juce::CharPointer_UTF8 (", steps ")) << (range.getStart() + 1)
             << juce::String (juce::CharPointer_UTF8 ("\xe2\x80\x93")) << range.getEnd() << " selected";
    if (model.getNotice().isNotEmpty())
        text << "   |   " << model.getNotice();

    mStatus->setText (text, juce::dontSendNotification);
    mStatus->setTooltip (text); // the whole of it, also when the bar is too narrow for it
    layoutStatusBar();
    mStatus->setColour (juce::Label::textColourId, model.isConnected() ? Look::text : Look::changed);

    // Another sequence is centred on its notes; new content (a read, a paste) only when none
    // of its notes would be seen, so that the view does not jump while the user edits.
    const bool otherSequence = mShownSequence != model.getSelectedIndex();
    mShownSequence = model.getSelectedIndex();
    showSequenceNotes (! otherSequence);
}

void GUISequenceEditor::showSequenceNotes (bool onlyWhenNoneInView)
{
    const auto& sequence = model.getSelected();
    int lowest = SequenceEditorModel::highestNote, highest = SequenceEditorModel::lowestNote;

    for (int i = 0; i < sequence.length; ++i)
    {
        if (! sequence.isRest (i))
        {
            lowest = juce::jmin (lowest, (int) sequence.steps[(size_t) i]);
            highest = juce::jmax (highest, (int) sequence.steps[(size_t) i]);
        }
    }

    const auto visible = mViewport->getViewArea();

    if (lowest > highest
        || (onlyWhenNoneInView && mGrid->yOf (lowest) + (float) Look::rowHeight > (float) visible.getY()
            && mGrid->yOf (highest) < (float) visible.getBottom()))
        return;

    const float middle = (mGrid->yOf (highest) + mGrid->yOf (lowest) + (float) Look::rowHeight) / 2.0f;
    mViewport->setViewPosition (0, (int) middle - mViewport->getViewHeight() / 2);
}

void GUISequenceEditor::showCursorNote()
{
    const auto& sequence = model.getSelected();
    const int step = model.getCursor();

    if (step >= sequence.length || sequence.isRest (step))
        return;

    const int y = (int) mGrid->yOf (sequence.steps[(size_t) step]);
    const auto visible = mViewport->getViewArea();

    if (y < visible.getY() + Look::rowHeight || y > visible.getBottom() - 2 * Look::rowHeight)
        mViewport->setViewPosition (0, y - visible.getHeight() / 2);
}

//==============================================================================
void GUISequenceEditor::copySteps()
{
    model.copySelected();
    juce::SystemClipboard::copyTextToClipboard (formatStepText (model.getCopiedSteps()));
    lookAtClipboard();
}

void GUISequenceEditor::cutSteps()
{
    model.cutRange();
    juce::SystemClipboard::copyTextToClipboard (formatStepText (model.getCopiedSteps()));
    lookAtClipboard();
}

void GUISequenceEditor::pasteSteps()
{
    // Step text from the desktop's clipboard first: it is what was copied last, here or in
    // another program.
    if (const auto steps = parseStepText (juce::SystemClipboard::getTextFromClipboard()))
        model.pasteSteps (*steps);
    else
        model.pasteIntoSelected();
}

//==============================================================================
void GUISequenceEditor::editorOpened()
{
    grabKeyboardFocus();

    // The opening read keeps every unsent change: only unchanged sequences follow the instrument.
    if (model.isConnected())
        sendActionMessage (getActionPrefix (Action::readEditorSequences));
}

bool GUISequenceEditor::saysNotConnected()
{
    if (model.isConnected())
        return false;

    Platform::dialogs().showMessageBox (DialogIcon::info, notConnectedTitle,
                                        "Tarnovelle is not connected: the sequences can be neither read nor sent.");
    return true;
}

void GUISequenceEditor::readFromInstrument()
{
    if (saysNotConnected())
        return;

    // The read keeps changed sequences; a Read the user asks for replaces them, once agreed,
    // by an undoable revert first.
    const auto changed = model.getChangedIndices();

    if (! changed.empty())
    {
        if (! confirmReplacingUnsentChanges ("Reading replaces the unsent changes to " + describeSequences (changed)
                                             + " with what Tarnovelle holds.\nRead anyway?"))
            return;

        model.revertChanges();
    }

    sendActionMessage (getActionPrefix (Action::readEditorSequences));
}

void GUISequenceEditor::sendToInstrument()
{
    if (! saysNotConnected())
        sendActionMessage (getActionPrefix (Action::sendEditorSequences));
}

bool GUISequenceEditor::confirmClose()
{
    const auto changed = model.getChangedIndices();

    if (changed.empty())
        return true;

    juce::StringArray numbers;

    for (auto index : changed)
        numbers.add (juce::String (index + 1));

    return Platform::dialogs().showOkCancelBox (
        DialogIcon::warning, unsentChangesTitle,
        "These sequences have changed and have not been sent to Tarnovelle: " + numbers.joinIntoString (", ")
            + ".\nClose the editor anyway? The editor keeps them until it is opened again.");
}

//==============================================================================
void GUISequenceEditor::editorClosed()
{
    if (mPlayback != nullptr)
        mPlayback->editorClosing();
}

//==============================================================================
bool GUISequenceEditor::keyPressed (const juce::KeyPress& key) { return mCommands->keyPressed (key, this); }

} // namespace tarnovelle
