#include "sequences/GUISequenceEditor.h"

#include "platform/Platform.h"
#include "protocol/ActionVocabulary.h"
#include "sequences/SequenceEditorFiles.h"

#include <set>

namespace tarnovelle
{

namespace Look = SequenceEditorLook;

namespace
{
    const juce::String ellipsis (juce::CharPointer_UTF8 ("\xe2\x80\xa6"));
    const char* const windowTitle = "Sequence Editor";

    constexpr int toolbarHeight = 44;
    constexpr int statusHeight = 26;
    constexpr int listWidth = 230;
    constexpr int gap = 6;

    /** Preferred widths; a narrower window shrinks them all alike. */
    int preferredWidth (const juce::String& text) { return juce::jmax (40, 18 + text.length() * 8); }

    bool isLetter (const juce::KeyPress& key, char upperCase)
    {
        return key.getKeyCode() == upperCase || key.getKeyCode() == upperCase + ('a' - 'A');
    }
} // namespace

GUISequenceEditor::GUISequenceEditor (SequenceEditorModel& modelToEdit, SequencePlayback* playback)
    : model (modelToEdit)
{
    addButton ("Read", "Read all eight sequences from Tarnovelle (Ctrl+R)", [this] { readFromInstrument(); });
    addButton ("Send", "Send the changed sequences to Tarnovelle (Ctrl+Return)", [this] { sendToInstrument(); });
    addButton ("Open" + ellipsis, "Open a .tvseq sequence file", [this] { openSequenceFileIntoEditor (model); });
    addButton ("Save" + ellipsis, "Save the eight sequences as a .tvseq file", [this] { saveEditorSequences (model); });
    addButton ("Import MIDI" + ellipsis, "Import a MIDI file into the selected sequence",
               [this] { importMidiIntoEditor (model); });
    addButton ("Export MIDI" + ellipsis, "Export the selected sequence as a MIDI file",
               [this] { exportMidiFromEditor (model); });
    addButton ("-12", "Transpose the sequence an octave down", [this] { model.transpose (-12); });
    addButton ("-1", "Transpose the sequence a semitone down", [this] { model.transpose (-1); });
    addButton ("+1", "Transpose the sequence a semitone up", [this] { model.transpose (1); });
    addButton ("+12", "Transpose the sequence an octave up", [this] { model.transpose (12); });
    addButton ("Clear", "Empty the selected sequence", [this] { model.clearSelected(); });
    addButton ("Copy", "Copy the selected sequence", [this] { model.copySelected(); });
    addButton ("Paste", "Paste the copied sequence into the selected one", [this] { model.pasteIntoSelected(); });
    addButton ("Undo", "Undo (Ctrl+Z)", [this] { model.undo(); });
    addButton ("Redo", "Redo (Ctrl+Shift+Z)", [this] { model.redo(); });

    mStepLabel = std::make_unique<juce::Label> (juce::String(), "Step");
    mStepLabel->setColour (juce::Label::textColourId, Look::dimText);
    mStepLabel->setJustificationType (juce::Justification::centredRight);
    addAndMakeVisible (mStepLabel.get());

    mStepSize = std::make_unique<juce::ComboBox>();
    for (int size : { 4, 8, 16, 32 })
        mStepSize->addItem ("1/" + juce::String (size), size);
    mStepSize->setTooltip ("The step size MIDI files are imported and exported at; Tarnovelle's own while connected");
    mStepSize->setWantsKeyboardFocus (false);
    mStepSize->onChange = [this] { model.setStepSize (mStepSize->getSelectedId()); };
    addAndMakeVisible (mStepSize.get());

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
    mHint->setText (
        juce::CharPointer_UTF8 ("1\xe2\x80\x93"
                                "8 sequence \xc2\xb7 \xe2\x86\x90 \xe2\x86\x92 Home End step "
                                "\xc2\xb7 \xe2\x86\x91 \xe2\x86\x93 note, with Shift octave \xc2\xb7 x rest "
                                "\xc2\xb7 Del Ins \xc2\xb7 Ctrl+Z undo \xc2\xb7 Ctrl+Return send \xc2\xb7 "
                                "Ctrl+R read"),
        juce::dontSendNotification);
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
        addAndMakeVisible (mPlayback.get());
        addAndMakeVisible (mPlayback->getStatus());
    }

    setWantsKeyboardFocus (true);
    model.addListener (this);
    sequenceEditorModelChanged();
    mViewport->setViewPosition (0, (int) mGrid->yOf (SequenceEditorModel::firstLastNote + 18));
    setSize (1180, 720);
}

GUISequenceEditor::~GUISequenceEditor() { model.removeListener (this); }

void GUISequenceEditor::addButton (const juce::String& text, const juce::String& tooltip, std::function<void()> action)
{
    auto* button = mButtons.add (new juce::TextButton (text, tooltip));
    button->setWantsKeyboardFocus (false);
    button->onClick = std::move (action);
    button->setColour (juce::TextButton::buttonColourId, juce::Colour (0xff39404a));
    button->setColour (juce::TextButton::textColourOffId, Look::text);
    addAndMakeVisible (button);
}

juce::TextButton& GUISequenceEditor::getButton (const juce::String& text)
{
    for (auto* button : mButtons)
        if (button->getButtonText() == text)
            return *button;

    jassertfalse;
    return *mButtons.getFirst();
}

//==============================================================================
void GUISequenceEditor::paint (juce::Graphics& g)
{
    g.fillAll (Look::background);
    g.setColour (Look::panel);
    g.fillRect (getLocalBounds().removeFromTop (toolbarHeight));
    g.fillRect (getLocalBounds().removeFromBottom (statusHeight));
}

void GUISequenceEditor::resized()
{
    auto area = getLocalBounds();
    layOutToolbar (area.removeFromTop (toolbarHeight).reduced (gap, 8));

    auto status = area.removeFromBottom (statusHeight).reduced (gap, 0);
    mStatus->setBounds (status.removeFromLeft (status.getWidth() / 3));

    if (mPlayback != nullptr)
        mPlayback->getStatus().setBounds (status.removeFromLeft (status.getWidth() / 3));
    mHint->setBounds (status);

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

    if (mPlayback != nullptr)
        mPlayback->resized();
}

void GUISequenceEditor::layOutToolbar (juce::Rectangle<int> area)
{
    // Groups: instrument, files, MIDI files, transposition, sequence, history.
    const std::set<int> groupStarts{ 2, 4, 6, 10, 13 };
    juce::FlexBox box;
    box.alignItems = juce::FlexBox::AlignItems::stretch;

    for (int i = 0; i < mButtons.size(); ++i)
    {
        const float leading = groupStarts.count (i) != 0 ? 14.0f : 3.0f;
        box.items.add (juce::FlexItem (*mButtons[i])
                           .withWidth ((float) preferredWidth (mButtons[i]->getButtonText()))
                           .withFlex (0.0f, 1.0f)
                           .withMargin ({ 0.0f, 0.0f, 0.0f, i == 0 ? 0.0f : leading }));
    }

    if (mPlayback != nullptr)
        box.items.add (juce::FlexItem (*mPlayback)
                           .withWidth ((float) GUIPlaybackControls::preferredWidth)
                           .withFlex (0.0f, 1.0f)
                           .withMargin ({ 0.0f, 0.0f, 0.0f, 14.0f }));

    box.items.add (juce::FlexItem().withFlex (1.0f));
    box.items.add (juce::FlexItem (*mStepLabel).withWidth (44.0f));
    box.items.add (juce::FlexItem (*mStepSize).withWidth (76.0f).withMargin ({ 0.0f, 0.0f, 0.0f, 4.0f }));
    box.performLayout (area);
}

//==============================================================================
void GUISequenceEditor::sequenceEditorModelChanged()
{
    mStepSize->setSelectedId (model.getStepSize(), juce::dontSendNotification);
    mStepSize->setEnabled (! model.isConnected());
    getButton ("Paste").setEnabled (model.hasCopiedSequence());
    getButton ("Undo").setEnabled (model.getUndoManager().canUndo());
    getButton ("Redo").setEnabled (model.getUndoManager().canRedo());

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

    mStatus->setText (text, juce::dontSendNotification);
    mStatus->setColour (juce::Label::textColourId, model.isConnected() ? Look::text : Look::changed);

    if (mShownSequence != model.getSelectedIndex())
    {
        mShownSequence = model.getSelectedIndex();
        showSequenceNotes();
    }
}

void GUISequenceEditor::showSequenceNotes()
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
        || (mGrid->yOf (highest) >= (float) visible.getY()
            && mGrid->yOf (lowest) + (float) Look::rowHeight <= (float) visible.getBottom()))
        return;

    const float middle = (mGrid->yOf (highest) + mGrid->yOf (lowest)) / 2.0f;
    mViewport->setViewPosition (0, (int) middle - visible.getHeight() / 2);
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
void GUISequenceEditor::editorOpened()
{
    grabKeyboardFocus();

    if (model.isConnected())
        readFromInstrument();
}

bool GUISequenceEditor::saysNotConnected()
{
    if (model.isConnected())
        return false;

    Platform::dialogs().showMessageBox (DialogIcon::info, windowTitle,
                                        "Tarnovelle is not connected: the sequences can be neither read nor sent.");
    return true;
}

void GUISequenceEditor::readFromInstrument()
{
    if (! saysNotConnected())
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
        DialogIcon::warning, windowTitle,
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
bool GUISequenceEditor::keyPressed (const juce::KeyPress& key)
{
    if (mPlayback != nullptr && mPlayback->handleKey (key))
        return true;

    if (handleCommandKey (key))
        return true;

    if (! handleEditKey (key))
        return false;

    showCursorNote();
    return true;
}

bool GUISequenceEditor::handleCommandKey (const juce::KeyPress& key)
{
    const auto mods = key.getModifiers();

    if (! mods.isCtrlDown())
        return false;

    if (key.getKeyCode() == juce::KeyPress::returnKey)
        sendToInstrument();
    else if (isLetter (key, 'R'))
        readFromInstrument();
    else if (isLetter (key, 'Z') && mods.isShiftDown())
        model.redo();
    else if (isLetter (key, 'Z'))
        model.undo();
    else if (isLetter (key, 'Y'))
        model.redo();
    else
        return false;

    return true;
}

bool GUISequenceEditor::handleEditKey (const juce::KeyPress& key)
{
    const int code = key.getKeyCode();
    const bool shift = key.getModifiers().isShiftDown();

    if (key.getModifiers().isCtrlDown() || key.getModifiers().isAltDown())
        return false;

    if (code >= '1' && code <= '8')
        model.selectSequence (code - '1');
    else if (code == juce::KeyPress::leftKey)
        model.moveCursorBy (-1);
    else if (code == juce::KeyPress::rightKey)
        model.moveCursorBy (1);
    else if (code == juce::KeyPress::homeKey)
        model.moveCursorTo (0);
    else if (code == juce::KeyPress::endKey)
        model.moveCursorToEnd();
    else if (code == juce::KeyPress::upKey)
        model.changeNoteBy (shift ? 12 : 1);
    else if (code == juce::KeyPress::downKey)
        model.changeNoteBy (shift ? -12 : -1);
    else if (isLetter (key, 'X'))
        model.makeRest();
    else if (code == juce::KeyPress::deleteKey)
        model.deleteStep();
    else if (code == juce::KeyPress::insertKey)
        model.insertStep();
    else
        return false;

    return true;
}

} // namespace tarnovelle
