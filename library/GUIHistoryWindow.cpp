#include "library/GUIHistoryWindow.h"

#include "editor/GUISequenceGrid.h"
#include "library/HistoryCommands.h"
#include "platform/Platform.h"
#include "protocol/ActionVocabulary.h"
#include "sequences/SequenceFile.h"
#include "sequences/SequenceFileIO.h"
#include "sequences/SequenceFileOperations.h"

namespace tarnovelle
{

namespace Look = SequenceEditorLook;

namespace
{
    const char* const title = "History";
    constexpr int barHeight = 40;
    constexpr int statusHeight = 24;
    constexpr int listWidth = 440;
    constexpr int gap = 6;
} // namespace

GUIHistory::GUIHistory (InstrumentHistory& historyToShow, SequenceEditorModel& modelToUse)
    : history (historyToShow)
    , model (modelToUse)
{
    mList = std::make_unique<GUIHistoryList> (history.getStore());
    mList->onSelectionChanged = [this] { selectionChanged(); };
    addAndMakeVisible (mList.get());

    mComparison = std::make_unique<GUIHistoryComparison>();
    addAndMakeVisible (mComparison.get());

    mFind = std::make_unique<juce::TextEditor> ("Find");
    mFind->setTextToShowWhenEmpty ("Find in causes and names", Look::dimText);
    mFind->onTextChange = [this] { applyFilter(); };
    addAndMakeVisible (mFind.get());

    mStarredOnly = std::make_unique<juce::ToggleButton> ("Starred only");
    mStarredOnly->onClick = [this] { applyFilter(); };
    addAndMakeVisible (mStarredOnly.get());

    mName = std::make_unique<juce::TextEditor> ("Name");
    mName->setTextToShowWhenEmpty ("Name (Return keeps it)", Look::dimText);
    mName->onReturnKey = [this] { renameSnapshot (mName->getText()); };
    addAndMakeVisible (mName.get());

    mWhich = std::make_unique<juce::ComboBox> ("Sequences restored");
    mWhich->addItem ("All eight", 1);

    for (int number = 1; number <= numSequences; ++number)
        mWhich->addItem ("Sequence " + juce::String (number), number + 1);

    mWhich->setSelectedId (1, juce::dontSendNotification);
    addAndMakeVisible (mWhich.get());

    mCommands = std::make_unique<CommandTable> (HistoryCommand::getMenuNames());
    HistoryCommand::declare (*mCommands, *this);

    // The command names coincide with the actions': each is qualified.
    namespace C = HistoryCommand;

    for (juce::CommandID id : { C::importFiles, C::exportSnapshot, C::star, C::deleteSnapshot, C::compareWithInstrument,
                                C::compareWithEditor, C::restoreToEditor, C::restoreToInstrument })
        addButton (id);

    mStatus = std::make_unique<juce::Label>();
    mStatus->setColour (juce::Label::textColourId, Look::dimText);
    addAndMakeVisible (mStatus.get());

    history.addListener (this);
    setSize (1180, 720);
    selectionChanged();
}

GUIHistory::~GUIHistory() { history.removeListener (this); }

void GUIHistory::addButton (juce::CommandID id)
{
    auto* button = mButtons.add (new juce::TextButton (mCommands->getButtonText (id)));
    mCommands->attach (*button, id);
    button->setColour (juce::TextButton::buttonColourId, juce::Colour (0xff39404a));
    button->setColour (juce::TextButton::textColourOffId, Look::text);
    addAndMakeVisible (button);
}

void GUIHistory::startNaming()
{
    mName->grabKeyboardFocus();
    mName->selectAll();
}

void GUIHistory::showKeyboardShortcuts()
{
    GUIKeyboardShortcutsWindow::show (mShortcutsWindow, "Keyboard Shortcuts", *mCommands);
}

juce::TextButton& GUIHistory::getButton (const juce::String& text)
{
    for (auto* button : mButtons)
        if (button->getButtonText() == text)
            return *button;

    jassertfalse;
    return *mButtons.getFirst();
}

//==============================================================================
void GUIHistory::paint (juce::Graphics& g)
{
    g.fillAll (Look::background);
    g.setColour (Look::panel);
    g.fillRect (getLocalBounds().removeFromTop (barHeight));
    g.fillRect (getLocalBounds().removeFromBottom (statusHeight));
}

void GUIHistory::resized()
{
    auto area = getLocalBounds();
    auto bar = area.removeFromTop (barHeight).reduced (gap, 7);
    mFind->setBounds (bar.removeFromLeft (260));
    mStarredOnly->setBounds (bar.removeFromLeft (130).withTrimmedLeft (gap));
    getButton (mCommands->get (HistoryCommand::exportSnapshot).name).setBounds (bar.removeFromRight (90));
    getButton (mCommands->get (HistoryCommand::importFiles).name)
        .setBounds (bar.removeFromRight (96).withTrimmedRight (gap));

    mStatus->setBounds (area.removeFromBottom (statusHeight).reduced (gap, 0));
    area.reduce (gap, gap);

    auto left = area.removeFromLeft (listWidth);
    auto nameRow = left.removeFromBottom (30);
    left.removeFromBottom (gap);
    mList->setBounds (left);
    getButton ("Delete").setBounds (nameRow.removeFromRight (70));
    getButton ("Star").setBounds (nameRow.removeFromRight (64).withTrimmedRight (gap));
    mName->setBounds (nameRow.withTrimmedRight (gap));

    area.removeFromLeft (gap);
    auto actions = area.removeFromBottom (30);
    area.removeFromBottom (gap);
    mComparison->setBounds (area);

    getButton ("Compare with Tarnovelle").setBounds (actions.removeFromLeft (172).withTrimmedRight (gap));
    getButton ("Compare with the editor").setBounds (actions.removeFromLeft (160).withTrimmedRight (gap));
    getButton ("Restore to Tarnovelle").setBounds (actions.removeFromRight (150));
    getButton ("Restore to editor").setBounds (actions.removeFromRight (136).withTrimmedRight (gap));
    mWhich->setBounds (actions.withTrimmedRight (gap));
}

//==============================================================================
void GUIHistory::historyChanged (juce::int64 addedId)
{
    // The snapshot the instrument was just read into is what the selected one is compared with.
    if (mAwaitingInstrument && addedId != 0)
    {
        mAwaitingInstrument = false;
        mOther = history.getStore().get (addedId);
    }

    // The selection stays on its snapshots wherever the change moved their rows; one that
    // went away takes its comparison with it (selectionChanged).
    mList->refresh();
    showComparison();
}

void GUIHistory::selectionChanged()
{
    mOther.reset();
    const auto selected = getSelectedSnapshot();
    mName->setText (selected.has_value() ? selected->name : juce::String(), false);
    showComparison();
}

void GUIHistory::applyFilter()
{
    mList->setFilter ({ mStarredOnly->getToggleState(), mFind->getText().trim() });
    showComparison();
}

std::optional<Snapshot> GUIHistory::getSelectedSnapshot()
{
    // What acts on one snapshot acts on nothing while two are shown selected.
    const auto& ids = mList->getSelectedIds();
    return ids.size() == 1 ? history.getStore().get (ids.front()) : std::nullopt;
}

std::optional<Snapshot> GUIHistory::getSelectedReadable()
{
    auto snapshot = getSelectedSnapshot();

    if (snapshot.has_value() && ! snapshot->isReadable())
    {
        mStatus->setText ("Snapshot " + juce::String (snapshot->id)
                              + " cannot be read: " + snapshot->describeContentProblem() + ".",
                          juce::dontSendNotification);
        return std::nullopt;
    }

    return snapshot;
}

void GUIHistory::showComparison()
{
    const auto selected = mList->getSelectedSnapshots();

    if (selected.size() == 2)
        mComparison->show (selected[0], selected[1]);
    else if (selected.size() == 1 && mOther.has_value())
        mComparison->show (selected[0], mOther);
    else
        mComparison->show (std::nullopt, selected.empty() ? std::nullopt : std::optional<Snapshot> (selected[0]));

    mCommands->refresh();
    mStatus->setText (juce::String (mList->getNumSnapshots()) + " snapshots"
                          + (history.getStore().isWritable() ? juce::String() : "   |   the library is read-only"),
                      juce::dontSendNotification);
}

//==============================================================================
void GUIHistory::compareWithInstrumentNow()
{
    if (! getSelectedReadable().has_value())
        return;

    if (! model.isConnected())
    {
        Platform::dialogs().showMessageBox (DialogIcon::info, title, "Tarnovelle is not connected.");
        return;
    }

    mAwaitingInstrument = true;
    sendActionMessage (getActionPrefix (Action::readForComparison));
}

void GUIHistory::compareWithEditorNow()
{
    if (! getSelectedReadable().has_value())
        return;

    Snapshot editor;

    for (int index = 0; index < numSequences; ++index)
        editor.setSequence (index, model.getSequence (index).toStepBuffer().data());

    editor.cause = "The editor now";
    editor.time = juce::Time::currentTimeMillis();
    mOther = editor;
    showComparison();
}

int GUIHistory::getRestoredSequence() const { return mWhich->getSelectedId() - 2; }

void GUIHistory::restoreToEditor()
{
    const auto snapshot = getSelectedReadable();

    if (! snapshot.has_value())
        return;

    std::vector<std::pair<int, EditedSequence>> replacements;

    for (int index = 0; index < numSequences; ++index)
        if (getRestoredSequence() < 0 || getRestoredSequence() == index)
            replacements.emplace_back (index, EditedSequence::fromStepBuffer (snapshot->sequences[(size_t) index]));

    model.replaceSequences (replacements);
    mStatus->setText ("Snapshot " + juce::String (snapshot->id) + " is in the editor: Send writes it to Tarnovelle.",
                      juce::dontSendNotification);
}

void GUIHistory::restoreToInstrument()
{
    const auto snapshot = getSelectedReadable();

    if (! snapshot.has_value())
        return;

    if (! model.isConnected())
    {
        Platform::dialogs().showMessageBox (DialogIcon::info, title, "Tarnovelle is not connected.");
        return;
    }

    const int which = getRestoredSequence();
    sendActionMessage (getActionPrefix (Action::restoreSnapshot) + juce::String (snapshot->id)
                       + (which >= 0 ? " " + juce::String (which + 1) : juce::String()));
}

void GUIHistory::exportSnapshot()
{
    const auto snapshot = getSelectedReadable();

    if (! snapshot.has_value())
        return;

    const auto chosen = Platform::dialogs().browseForFileToSave ("Export Snapshot", "*.tvseq");

    if (chosen == juce::File())
        return;

    // MIDI files take the step size and gate length the snapshot knows, else the editor's.
    const auto& settings = snapshot->settings;
    const auto stepSize = settings[(size_t) DeviceSetting::STEP].value_or ((uint8) model.getStepSize());
    const auto gateLength = settings[(size_t) DeviceSetting::GLEN].value_or ((uint8) model.getGateLength());
    const auto file = sequenceFileToSave (chosen);

    if (file == juce::File())
        return;

    writeSequenceSet (file, snapshot->sequences, stepSize, gateLength, askForMidiFiles (file));
}

void GUIHistory::importFiles()
{
    const auto file = Platform::dialogs().browseForFileToOpen ("Import Sequences", "*.tvseq");

    if (file == juce::File())
        return;

    const auto content = readSequenceFileForUser (file, title, "Nothing has been imported.");

    if (! content.has_value())
        return;

    Snapshot imported;

    for (const auto& sequence : content->sequences)
    {
        auto steps = sequence.steps;
        steps.push_back (endOfSequenceStep);
        imported.setSequence (sequence.number - 1, steps.data());
    }

    imported.time = juce::Time::currentTimeMillis();
    imported.cause = "Imported from " + file.getFileName();
    history.add (imported);
}

void GUIHistory::toggleStar()
{
    if (const auto snapshot = getSelectedSnapshot(); snapshot.has_value())
        if (history.getStore().setStarred (snapshot->id, ! snapshot->starred))
            history.notifyChanged();
}

void GUIHistory::renameSnapshot (const juce::String& name)
{
    if (const auto snapshot = getSelectedSnapshot(); snapshot.has_value())
        if (history.getStore().rename (snapshot->id, name.trim()))
            history.notifyChanged();
}

void GUIHistory::deleteSnapshot()
{
    const auto snapshot = getSelectedSnapshot();

    if (! snapshot.has_value()
        || ! Platform::dialogs().showOkCancelBox (DialogIcon::warning, "Delete Snapshot",
                                                  "Delete snapshot " + juce::String (snapshot->id) + " ("
                                                      + snapshot->cause + ")?\nThis cannot be undone."))
        return;

    if (history.getStore().remove (snapshot->id))
        history.notifyChanged();
}

//==============================================================================
GUIHistoryWindow::GUIHistoryWindow (InstrumentHistory& history, SequenceEditorModel& model)
    : juce::DocumentWindow (title, Look::background, juce::DocumentWindow::allButtons, true)
{
    setUsingNativeTitleBar (true);
    mHistory = std::make_unique<GUIHistory> (history, model);
    setMenuBar (&mHistory->getCommands(), CommandTable::menuBarHeight);
    setContentNonOwned (mHistory.get(), true);
    setResizable (true, false);
    setResizeLimits (980, 560 + getContentComponentBorder().getTopAndBottom(), 8192, 8192);
    centreWithSize (getWidth(), getHeight());
}

GUIHistoryWindow::~GUIHistoryWindow()
{
    // The menu bar's model is the History's command table.
    setMenuBar (nullptr);
    clearContentComponent();
}

//==============================================================================
GUIHistoryLauncher::GUIHistoryLauncher (InstrumentHistory& historyToShow, SequenceEditorModel& modelToUse,
                                        juce::ActionListener* hubToUse)
    : history (historyToShow)
    , model (modelToUse)
    , hub (hubToUse)
{}

GUIHistoryLauncher::~GUIHistoryLauncher() = default;

void GUIHistoryLauncher::openHistory()
{
    if (mWindow == nullptr)
    {
        mWindow = std::make_unique<GUIHistoryWindow> (history, model);
        mWindow->getHistory().setProgramFacts (programFacts);

        if (hub != nullptr)
            mWindow->getHistory().addActionListener (hub);
    }

    mWindow->setVisible (true);
    mWindow->toFront (true);
}

} // namespace tarnovelle
