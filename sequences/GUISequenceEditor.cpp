#include "sequences/GUISequenceEditor.h"

#include "platform/Platform.h"
#include "protocol/ActionVocabulary.h"
#include "sequences/GUIMidiImportDialog.h"
#include "sequences/SequenceEditorFiles.h"
#include "sequences/SequenceEditorTransfer.h"
#include "sequences/SequenceToolCommands.h"

namespace tarnovelle
{

namespace Look = SequenceEditorLook;

namespace
{
    const juce::String ellipsis (juce::CharPointer_UTF8 ("\xe2\x80\xa6"));
    // The editor's questions carry titles of their own, not the editor window's.
    const char* const notConnectedTitle = "Not Connected";
    const char* const unsentChangesTitle = "Unsent Changes";

    constexpr int toolbarPadding = 8;
    constexpr int statusHeight = 26;
    constexpr int listWidth = 200;
    constexpr int gap = 6;

    bool isLetter (const juce::KeyPress& key, char upperCase)
    {
        return key.getKeyCode() == upperCase || key.getKeyCode() == upperCase + ('a' - 'A');
    }
} // namespace

GUISequenceEditor::GUISequenceEditor (SequenceEditorModel& modelToEdit, SequencePlayback* playback)
    : model (modelToEdit)
{
    mToolbar = std::make_unique<GUIEditorToolbar>();
    addAndMakeVisible (mToolbar.get());
    addButtons();

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
                                "8 sequence \xc2\xb7 \xe2\x86\x90 \xe2\x86\x92 step, with Shift select \xc2\xb7 "
                                "\xe2\x86\x91 \xe2\x86\x93 note \xc2\xb7 x rest \xc2\xb7 Ctrl+C X V \xc2\xb7 "
                                "Ctrl+Z undo \xc2\xb7 Ctrl+Return send"),
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
        mPlayback->addTo (*mToolbar);
        addAndMakeVisible (mPlayback->getStatus());
        // The status bar gives the playback's messages the room they need as they change.
        mPlayback->getStatus().getTextValue().addListener (this);
    }

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

void GUISequenceEditor::addButtons()
{
    // Groups: instrument, files, MIDI files, transposition, clipboard, tools, history.
    addButton ("Read", "Read all eight sequences from Tarnovelle (Ctrl+R)", [this] { readFromInstrument(); });
    addButton ("Send", "Send the changed sequences to Tarnovelle (Ctrl+Return)", [this] { sendToInstrument(); });
    mToolbar->startGroup();
    addButton ("Open" + ellipsis, "Open a .tvseq sequence file",
               [this] { runFileCommand ([this] { openSequenceFileIntoEditor (model); }); });
    addButton ("Save" + ellipsis, "Save the eight sequences as a .tvseq file", [this] { saveEditorSequences (model); });
    mToolbar->startGroup();
    addButton ("Import MIDI" + ellipsis, "Import a MIDI file into the selected sequence (Ctrl+I)",
               [this] { runFileCommand ([this] { importMidiThroughWindow (model); }); });
    addButton ("Export MIDI" + ellipsis, "Export the selected sequence as a MIDI file",
               [this] { exportMidiFromEditor (model); });
    mToolbar->startGroup();
    addButton ("-12", "Transpose the selected steps (or the sequence) an octave down",
               [this] { model.transpose (-12); });
    addButton ("-1", "Transpose the selected steps (or the sequence) a semitone down",
               [this] { model.transpose (-1); });
    addButton ("+1", "Transpose the selected steps (or the sequence) a semitone up", [this] { model.transpose (1); });
    addButton ("+12", "Transpose the selected steps (or the sequence) an octave up", [this] { model.transpose (12); });
    mToolbar->startGroup();
    addButton ("Clear", "Empty the selected sequence", [this] { model.clearSelected(); });
    addButton ("Cut", "Cut the selected steps (Ctrl+X)", [this] { cutSteps(); });
    addButton ("Copy", "Copy the selected steps, or the sequence (Ctrl+C)", [this] { copySteps(); });
    addButton ("Paste", "Paste steps at the cursor (Ctrl+V)", [this] { pasteSteps(); });
    mToolbar->startGroup();
    addTools();
    mToolbar->startGroup();
    addButton ("Undo", "Undo (Ctrl+Z)", [this] { model.undo(); });
    addButton ("Redo", "Redo (Ctrl+Shift+Z)", [this] { model.redo(); });
    mToolbar->startGroup();
    addButton ("History", "Every state Tarnovelle held, compared and restored (Ctrl+H)",
               [this] { sendActionMessage (getActionPrefix (Action::openHistory)); });
}

void GUISequenceEditor::addTools()
{
    using namespace SequenceTools;
    const auto apply = [this] (std::function<Steps (Steps)> tool) {
        return [this, tool] { model.applyToSelection (tool); };
    };

    addButton (juce::CharPointer_UTF8 ("\xe2\x86\x90 Rotate"), "Rotate the selected steps left by one step",
               apply ([] (Steps s) { return rotateLeft (std::move (s)); }));
    addButton (juce::CharPointer_UTF8 ("Rotate \xe2\x86\x92"), "Rotate the selected steps right by one step",
               apply ([] (Steps s) { return rotateRight (std::move (s)); }));
    addButton ("Reverse", "Play the selected steps backwards",
               apply ([] (Steps s) { return reverse (std::move (s)); }));
    addButton ("Invert" + ellipsis, "Mirror the selected notes around a note",
               [this] { SequenceToolCommands::invert (model); });
    addButton ("Scale" + ellipsis, "Move the selected notes into a scale",
               [this] { SequenceToolCommands::fitToScale (model); });
    addButton ("Double", "Repeat the selected steps (up to 64)", apply ([] (Steps s) { return doubled (s); }));
    addButton ("Halve", "Keep the first half of the selected steps", apply ([] (Steps s) { return halved (s); }));
    addButton ("Generate" + ellipsis, "Fill the selection with random notes of a scale",
               [this] { runFileCommand ([this] { SequenceToolCommands::generate (model); }); });
}

void GUISequenceEditor::addButton (const juce::String& text, const juce::String& tooltip, std::function<void()> action)
{
    mToolbar->addButton (text, tooltip, std::move (action));
}

juce::TextButton& GUISequenceEditor::getButton (const juce::String& text)
{
    auto* button = mToolbar->findButton (text);
    jassert (button != nullptr);
    return *button;
}

void GUISequenceEditor::runFileCommand (const std::function<void()>& command)
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
}

void GUISequenceEditor::cutSteps()
{
    model.cutRange();
    juce::SystemClipboard::copyTextToClipboard (formatStepText (model.getCopiedSteps()));
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
        if (! Platform::dialogs().showOkCancelBox (DialogIcon::warning, unsentChangesTitle,
                                                   "Reading replaces the unsent changes to "
                                                       + describeSequences (changed)
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
    else if (isLetter (key, 'I'))
        importMidiThroughWindow (model);
    else if (isLetter (key, 'Z') && mods.isShiftDown())
        model.redo();
    else if (isLetter (key, 'Z'))
        model.undo();
    else if (isLetter (key, 'Y'))
        model.redo();
    else if (isLetter (key, 'H'))
        sendActionMessage (getActionPrefix (Action::openHistory));
    else if (isLetter (key, 'C'))
        copySteps();
    else if (isLetter (key, 'X'))
        cutSteps();
    else if (isLetter (key, 'V'))
        pasteSteps();
    else if (isLetter (key, 'A'))
        model.selectRange (0, model.getSelected().length - 1);
    else
        return false;

    return true;
}

void GUISequenceEditor::moveOrExtend (int delta, bool extend)
{
    if (extend)
        model.extendRangeBy (delta);
    else
        model.moveCursorBy (delta);
}

bool GUISequenceEditor::handleEditKey (const juce::KeyPress& key)
{
    const int code = key.getKeyCode();
    const bool shift = key.getModifiers().isShiftDown();

    if (key.getModifiers().isCtrlDown() || key.getModifiers().isAltDown())
        return false;

    if (code >= '1' && code <= '8')
        model.selectSequence (code - '1');
    else if (code == juce::KeyPress::leftKey || code == juce::KeyPress::rightKey)
        moveOrExtend (code == juce::KeyPress::leftKey ? -1 : 1, shift);
    else if (code == juce::KeyPress::escapeKey)
        model.moveCursorBy (0);
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
    else if (code == juce::KeyPress::deleteKey || code == juce::KeyPress::backspaceKey)
        model.deleteRange();
    else if (code == juce::KeyPress::insertKey)
        model.insertStep();
    else
        return false;

    return true;
}

} // namespace tarnovelle
