#include "tests/soak/SoakActions.h"

#include "app/GUIEditorWindow.h"
#include "firmware/GUIFirmwareButtons.h"
#include "platform/QuitRequest.h"
#include "sequences/GUISequenceButtons.h"
#include "sequences/SequenceFile.h"
#include "settings/SwitchButton.h"
#include "tests/support/Wait.h"

namespace tarnovelle::soak
{

namespace
{
    using Kind = SoakAction::Kind;

    struct Weighted
    {
        Kind kind;
        int weight;
        const char* name;
    };

    // Edits dominate, as in a session; faults come and go; a firmware update is rare, since
    // it takes seconds of the instrument's restart. The History window's share is taken from
    // the keys, so that every other action of a seed is drawn as before.
    const Weighted kinds[] = {
        { Kind::editorKey, 322, "editor key" },
        { Kind::historyFiltered, 8, "History window filtered while snapshots arrive" },
        { Kind::editorUndoRedo, 60, "editor undo/redo key" },
        { Kind::editorRead, 25, "editor read" },
        { Kind::editorSend, 35, "editor send" },
        { Kind::editorButton, 80, "editor button" },
        { Kind::editorGridClick, 80, "editor grid click" },
        { Kind::editorFile, 30, "editor file" },
        { Kind::editorStepSize, 10, "editor step size" },
        { Kind::closeEditor, 10, "close the editor" },
        { Kind::openEditor, 25, "EDIT SEQUENCES" },
        { Kind::showTab, 20, "show tab" },
        { Kind::clickSetting, 120, "settings click" },
        { Kind::clickConnect, 25, "CONNECT" },
        { Kind::resetSequences, 15, "RESET ALL SEQUENCES" },
        { Kind::loadSequences, 15, "LOAD SEQUENCES" },
        { Kind::saveSequences, 15, "SAVE SEQUENCES" },
        { Kind::openWebPage, 5, "firmware tab web page" },
        { Kind::updateFirmware, 1, "firmware UPDATE" },
        { Kind::faultUnplug, 12, "fault: USB cable" },
        { Kind::faultSilence, 12, "fault: silence" },
        { Kind::faultActiveSensing, 10, "fault: Active Sensing" },
        { Kind::faultLatency, 10, "fault: latency" },
        { Kind::faultsCleared, 20, "faults cleared" },
        { Kind::instrumentKeys, 30, "instrument key" },
        { Kind::quitAtKeptChangesQuestion, 5, "restart, quit at the kept changes question" },
    };

    struct Key
    {
        int code;
        bool shift;
        const char* name;
    };

    const Key editKeys[] = {
        { '1', false, "1" },
        { '2', false, "2" },
        { '3', false, "3" },
        { '4', false, "4" },
        { '5', false, "5" },
        { '6', false, "6" },
        { '7', false, "7" },
        { '8', false, "8" },
        { juce::KeyPress::leftKey, false, "Left" },
        { juce::KeyPress::rightKey, false, "Right" },
        { juce::KeyPress::homeKey, false, "Home" },
        { juce::KeyPress::endKey, false, "End" },
        { juce::KeyPress::upKey, false, "Up" },
        { juce::KeyPress::downKey, false, "Down" },
        { juce::KeyPress::upKey, true, "Shift+Up" },
        { juce::KeyPress::downKey, true, "Shift+Down" },
        { 'x', false, "x" },
        { juce::KeyPress::deleteKey, false, "Delete" },
        { juce::KeyPress::insertKey, false, "Insert" },
        { 'r', false, "r (Record)" },
    };

    const char* const undoKeys[] = { "Ctrl+Z", "Ctrl+Shift+Z", "Ctrl+Y" };
    const char* const editButtons[] = { "-12", "-1", "+1", "+12", "Clear", "Copy", "Paste", "Undo", "Redo" };
    const char* const fileButtons[] = { "Open", "Save", "Import MIDI", "Export MIDI" };
    const int stepSizes[] = { 4, 8, 16, 32 };
    const int latencies[] = { EmulatedInstrument::defaultLatencyMs, 20, 60, 150 };
    const char* const tabNames[] = { "Configuration", "Firmware Update", "Sequences" };
    const char* const historyWords[] = { "", "read", "reset", "loaded" };
    const char* const historyCauses[] = { "Read at connection", "Before RESET ALL SEQUENCES", "Loaded set1.tvseq",
                                          "Sent from the editor: 1" };

    template <typename Array>
    constexpr int sizeOf (const Array& array) noexcept
    {
        return (int) (sizeof (array) / sizeof (array[0]));
    }

    std::uint64_t mix (std::uint64_t seed, std::uint64_t index) noexcept
    {
        return seed * 0x9e3779b97f4a7c15ull + index * 0xbf58476d1ce4e5b9ull + 1;
    }

    template <typename Type>
    Type* findDescendant (juce::Component& parent)
    {
        for (auto* child : parent.getChildren())
        {
            if (auto* typed = dynamic_cast<Type*> (child))
                return typed;

            if (auto* found = findDescendant<Type> (*child))
                return found;
        }

        return nullptr;
    }

    void collectButtons (juce::Component& parent, juce::Array<juce::Button*>& buttons)
    {
        for (auto* child : parent.getChildren())
        {
            if (auto* button = dynamic_cast<juce::Button*> (child))
                buttons.add (button);

            collectButtons (*child, buttons);
        }
    }

    /** The import window runs a loop of its own, as a person meets it: it is answered from that
        loop as soon as it shows, with OK or Cancel.
    */
    class ImportWindowAnswerer final : public juce::Timer
    {
    public:
        explicit ImportWindowAnswerer (bool answerOk)
            : ok (answerOk)
        {
            startTimer (5);
        }

    private:
        void timerCallback() override
        {
            auto* modal = juce::Component::getCurrentlyModalComponent();

            if (modal == nullptr || modal->getName() != "Import MIDI Tracks")
                return;

            juce::Array<juce::Button*> buttons;
            collectButtons (*modal, buttons);

            for (auto* button : buttons)
            {
                if (button->getButtonText() == (ok ? "OK" : "Cancel"))
                {
                    stopTimer();
                    button->triggerClick();
                    return;
                }
            }
        }

        const bool ok;
    };

    juce::String ellipsised (const char* text)
    {
        return juce::String (text) + juce::String (juce::CharPointer_UTF8 ("\xe2\x80\xa6"));
    }

    void clickCell (juce::Component& grid, juce::Point<int> at)
    {
        const auto source = juce::Desktop::getInstance().getMainMouseSource();
        const auto now = juce::Time::getCurrentTime();
        const juce::MouseEvent event (source, at.toFloat(), juce::ModifierKeys::leftButtonModifier, 1.0f, 0.0f, 0.0f,
                                      0.0f, 0.0f, &grid, &grid, now, at.toFloat(), now, 1, false);
        grid.mouseDown (event);
        grid.mouseUp (event);
    }
} // namespace

//==============================================================================
SoakAction SoakAction::draw (std::uint64_t seed, int index)
{
    std::mt19937_64 random (mix (seed, (std::uint64_t) index));
    int total = 0;

    for (auto& k : kinds)
        total += k.weight;

    auto pick = (int) (random() % (std::uint64_t) total);
    SoakAction action{ kinds[0].kind };

    for (auto& k : kinds)
    {
        if (pick < k.weight)
        {
            action.kind = k.kind;
            break;
        }

        pick -= k.weight;
    }

    action.a = (int) (random() % 100000);
    action.b = (int) (random() % 100000);
    return action;
}

juce::String SoakAction::describe() const
{
    juce::String text;

    for (auto& k : kinds)
        if (k.kind == kind)
            text = k.name;

    switch (kind)
    {
        case Kind::editorKey: return text + " " + editKeys[a % sizeOf (editKeys)].name;
        case Kind::editorUndoRedo: return text + " " + undoKeys[a % sizeOf (undoKeys)];
        case Kind::editorRead: return text + (b % 2 == 0 ? " (Ctrl+R)" : " (button)");
        case Kind::editorSend: return text + (b % 2 == 0 ? " (Ctrl+Return)" : " (button)");
        case Kind::editorButton: return text + " " + editButtons[a % sizeOf (editButtons)];
        case Kind::editorGridClick:
            return text + " (choice " + juce::String (a) + ", note " + juce::String (36 + b % 48) + ")";
        case Kind::editorFile:
            return text + " " + fileButtons[a % sizeOf (fileButtons)] + " (file choice " + juce::String (b) + ")";
        case Kind::editorStepSize: return text + " 1/" + juce::String (stepSizes[a % sizeOf (stepSizes)]);
        case Kind::showTab: return text + " " + tabNames[a % sizeOf (tabNames)];
        case Kind::clickSetting: return text + " (widget choice " + juce::String (a) + ")";
        case Kind::loadSequences:
        case Kind::saveSequences: return text + " (file choice " + juce::String (b) + ")";
        case Kind::faultLatency: return text + " " + juce::String (latencies[a % sizeOf (latencies)]) + " ms";
        case Kind::instrumentKeys: return text + " " + juce::String (36 + b % 48);
        case Kind::quitAtKeptChangesQuestion: return text + (b % 2 == 0 ? " (before it shows)" : " (while open)");
        case Kind::historyFiltered:
            return text + " (\"" + historyWords[a % sizeOf (historyWords)] + "\", " + juce::String (1 + b % 3) + ")";
        default: return text;
    }
}

//==============================================================================
SoakDriver::SoakDriver (SoakApplication& appToDrive, const juce::File& scratchFolder, std::uint64_t seedToUse)
    : app (appToDrive)
    , folder (scratchFolder)
    , seed (seedToUse)
{
    app.onActionMessage = [this] (const juce::String& message) {
        if (current != nullptr)
            current->hubMessages.add (message);
    };

    app.rig.dialogs.onDialog = [this] (const ScriptedDialogs::Record& dialog) { answerDialog (dialog); };
    writeStartingFiles();

    // The editor's working set kept on disk, as the application keeps it.
    keeper = std::make_unique<SequenceEditorKeeper> (app.model(), folder.getChildFile ("Sequence Editor.json"));
    keeper->offerKeptChanges();
}

void SoakDriver::writeStartingFiles()
{
    std::mt19937_64 random (mix (seed, 0xf11e5));

    for (int file = 0; file < 4; ++file)
    {
        SequenceSet set{};

        for (auto& steps : set)
        {
            const auto length = (int) (random() % (maxSequenceSteps + 1));

            for (int i = 0; i < length; ++i)
                steps[(size_t) i] = random() % 6 == 0 ? restStep : (uint8) (1 + random() % 125);
        }

        folder.getChildFile ("set" + juce::String (file) + ".tvseq").replaceWithText (formatSequenceFile (set));
    }
}

void SoakDriver::answerDialog (const ScriptedDialogs::Record& dialog)
{
    if (dialog.kind != ScriptedDialogs::Kind::okCancelBox && dialog.kind != ScriptedDialogs::Kind::question)
        return;

    if (std::exchange (quitAtNextQuestion, false))
        QuitRequest::raise();

    bool ok = answers() % 10 < 6;

    // The retry box while no instrument answers: twice at most, or the soak would wait on it.
    if (dialog.title == "No instrument found")
        ok = ok && retriesAnswered++ < 2;

    // A question's first choice is the one that acts ("Replace My Changes", "Send Anyway").
    if (dialog.kind == ScriptedDialogs::Kind::question)
        app.rig.dialogs.answerChoice (ok ? dialog.choices[0] : dialog.choices[dialog.escapeChoice]);
    else
        app.rig.dialogs.answerOkCancel (ok);

    const bool asksAboutSequences = dialog.title != "No instrument found" && dialog.title != "Generate MidiFiles?";

    if (ok && asksAboutSequences && current != nullptr)
        ++current->okAnswers;
}

juce::Array<juce::File> SoakDriver::filesWith (const juce::String& extension) const
{
    auto files = folder.findChildFiles (juce::File::findFiles, false, "*" + extension);
    files.sort();
    return files;
}

void SoakDriver::scriptFile (bool forSaving, const juce::String& extension, int choice)
{
    // One choice in eight cancels the chooser.
    if (choice % 8 == 0)
        return;

    if (forSaving)
    {
        // Now and then a name typed without its extension.
        const auto name = (extension == ".mid" ? "seq" : "set") + juce::String ((choice / 8) % 6);
        lastScriptedFile = folder.getChildFile (choice % 8 == 1 ? name : name + extension);
        app.rig.dialogs.answerFile (lastScriptedFile);
        return;
    }

    const auto files = filesWith (extension);

    if (! files.isEmpty())
    {
        lastScriptedFile = files[(choice / 8) % files.size()];
        app.rig.dialogs.answerFile (lastScriptedFile);
    }
}

void SoakDriver::clickPushButton (juce::Component* pushButton)
{
    if (pushButton == nullptr)
        return;

    for (auto* child : pushButton->getChildren())
        if (auto* button = dynamic_cast<juce::Button*> (child))
            button->triggerClick();
}

//==============================================================================
void SoakDriver::perform (const SoakAction& action, int index, ActionRecord& record)
{
    answers.seed (mix (seed ^ 0xa115e55ull, (std::uint64_t) index));
    retriesAnswered = 0;
    lastScriptedFile = juce::File();
    app.rig.dialogs.clear();

    auto& model = app.model();
    record.editorWasShowing = app.isEditorShowing();
    record.editorBefore = model.getSequences();
    record.changedBefore = model.getChangedIndices();
    record.isUndoOrRedo = action.kind == Kind::editorUndoRedo
                          || (action.kind == Kind::editorButton
                              && juce::String (editButtons[action.a % sizeOf (editButtons)]).endsWith ("do"));
    current = &record;

    if (action.kind == Kind::instrumentKeys)
        playKey (action);
    else if (action.kind == Kind::quitAtKeptChangesQuestion)
        quitAtKeptChangesQuestion (action, record);
    else if (action.kind >= Kind::faultUnplug)
        performFault (action);
    else if (action.kind <= Kind::closeEditor)
        performInEditor (action);
    else
        performOnMainWindow (action);

    record.faults = faults;
    test::deliverQueuedMessages (3);

    // Everything sent has taken effect before the oracle looks at the instrument.
    test::waitFor ([this] { return app.rig.instrument.countQueued() == 0; }, 5000);
    test::deliverQueuedMessages (3);

    if (action.kind == Kind::loadSequences && app.rig.dialogs.count (ScriptedDialogs::Kind::openChooser) > 0)
        record.chosenFileToLoad = lastScriptedFile;

    current = nullptr;
}

void SoakDriver::performOnMainWindow (const SoakAction& action)
{
    auto& window = app.mainWindow->getEditor();
    auto* tabs = findDescendant<TabbedComponentWarp> (window);

    // A tab that is not shown is not a child of the tabbed component: its buttons are looked
    // for in every tab's content (a click reaches them as the keyboard's would).
    const auto inTabs = [tabs] (auto* typeTag) -> juce::Component* {
        using Type = std::remove_pointer_t<decltype (typeTag)>;

        for (int i = 0; i < tabs->getNumTabs(); ++i)
            if (auto* found = findDescendant<Type> (*tabs->getTabContentComponent (i)))
                return found;

        return nullptr;
    };

    switch (action.kind)
    {
        case Kind::showTab: tabs->setCurrentTabIndex (action.a % sizeOf (tabNames)); break;

        case Kind::clickSetting:
        {
            juce::Array<juce::Button*> buttons;
            collectButtons (*tabs->getTabContentComponent (0), buttons);

            if (! buttons.isEmpty())
                buttons[action.a % buttons.size()]->triggerClick();
            break;
        }

        case Kind::clickConnect:
            for (auto* child : window.getChildren())
                if (auto* connect = dynamic_cast<SwitchButton*> (child))
                    connect->triggerClick();
            break;

        case Kind::resetSequences: clickPushButton (inTabs ((GUISeqFactory*) nullptr)); break;

        case Kind::loadSequences:
            scriptFile (false, ".tvseq", action.b);
            clickPushButton (inTabs ((GUISeqLoad*) nullptr));
            break;

        case Kind::saveSequences:
            scriptFile (true, ".tvseq", action.b);
            clickPushButton (inTabs ((GUISeqSave*) nullptr));
            break;

        case Kind::openEditor: clickPushButton (inTabs ((GUISeqEdit*) nullptr)); break;
        case Kind::openWebPage: clickPushButton (inTabs ((GUIWebLink*) nullptr)); break;
        case Kind::updateFirmware: clickPushButton (inTabs ((GUIUpdater*) nullptr)); break;
        case Kind::historyFiltered: filterHistoryWhileSnapshotsArrive (action); break;
        default: break;
    }
}

void SoakDriver::performInEditor (const SoakAction& action)
{
    if (! app.isEditorShowing())
        return;

    auto& editor = app.editorWindow()->getEditor();
    const auto ctrl = juce::ModifierKeys::ctrlModifier;

    switch (action.kind)
    {
        case Kind::editorKey:
        {
            const auto& key = editKeys[action.a % sizeOf (editKeys)];
            const auto text = key.code < 128 ? (juce::juce_wchar) key.code : 0;
            editor.keyPressed (juce::KeyPress (key.code, key.shift ? juce::ModifierKeys::shiftModifier : 0, text));
            break;
        }

        case Kind::editorUndoRedo:
        {
            const int choice = action.a % sizeOf (undoKeys);
            const auto mods = choice == 1 ? ctrl | juce::ModifierKeys::shiftModifier : ctrl;
            editor.keyPressed (juce::KeyPress (choice == 2 ? 'y' : 'z', mods, 0));
            break;
        }

        case Kind::editorRead:
            if (action.b % 2 == 0)
                editor.keyPressed (juce::KeyPress ('r', ctrl, 0));
            else
                editor.getButton ("Read").triggerClick();
            break;

        case Kind::editorSend:
            if (action.b % 2 == 0)
                editor.keyPressed (juce::KeyPress (juce::KeyPress::returnKey, ctrl, 0));
            else
                editor.getButton ("Send").triggerClick();
            break;

        case Kind::editorButton: editor.getButton (editButtons[action.a % sizeOf (editButtons)]).triggerClick(); break;

        case Kind::editorGridClick:
        {
            const auto& selected = app.model().getSelected();
            // Half the clicks within the sequence or just past its end, half anywhere.
            const int step =
                action.a % 2 == 0 ? (action.a / 2) % (selected.length + 2) : (action.a / 2) % maxSequenceSteps;
            auto& grid = editor.getGrid();
            clickCell (grid, grid.getCellCentre (juce::jmin (step, maxSequenceSteps - 1), 36 + action.b % 48));
            break;
        }

        case Kind::editorFile:
        {
            const int choice = action.a % sizeOf (fileButtons);
            current->openedFileInEditor = choice == 0;
            const bool saving = choice == 1 || choice == 3;
            scriptFile (saving, choice >= 2 ? ".mid" : ".tvseq", action.b);

            if (choice == 2)
                importWindowAnswerer = std::make_unique<ImportWindowAnswerer> (action.b % 4 != 0);

            editor.getButton (ellipsised (fileButtons[choice])).triggerClick();
            break;
        }

        case Kind::editorStepSize:
            if (auto* sizes = findDescendant<juce::ComboBox> (editor); sizes != nullptr && sizes->isEnabled())
                sizes->setSelectedId (stepSizes[action.a % sizeOf (stepSizes)]);
            break;

        case Kind::closeEditor: app.editorWindow()->closeButtonPressed(); break;
        default: break;
    }
}

void SoakDriver::filterHistoryWhileSnapshotsArrive (const SoakAction& action)
{
    // A window on a library of its own, filtered by a word, one or two rows selected; then one
    // to three snapshots come, listed or not. None is lost, and the selection stays on its own.
    if (history == nullptr)
    {
        history = std::make_unique<InstrumentHistory> (folder.getChildFile ("library.sqlite"));
        historyWindow = std::make_unique<GUIHistory> (*history, app.model());
    }

    auto& list = historyWindow->getList();
    const auto& store = history->getStore();
    const juce::String word = historyWords[action.a % sizeOf (historyWords)];
    historyWindow->getFindField().setText (word, true);
    test::deliverQueuedMessages (3); // a text editor tells of its change asynchronously

    for (int n = 0; n < 2 && list.getNumSnapshots() > 0; ++n)
        list.getListBox().selectRow ((action.a / 4 + n * action.b) % list.getNumSnapshots(), false, n == 0);

    const auto selected = list.getSelectedIds();
    const int before = store.count();
    SequenceSet sequences{};

    for (int index = 0; index < numSequences; ++index)
        sequences[(size_t) index] = app.model().getSequence (index).toStepBuffer();

    for (int n = 0; n <= action.b % 3; ++n)
        history->record (sequences, historyCauses[(action.b / 3 + n) % sizeOf (historyCauses)]);

    if (store.count() != before + 1 + action.b % 3 || list.getNumSnapshots() != store.count ({ false, word }))
        current->findings.push_back ({ "history-lost", "a snapshot is missing from the library or its list" });

    const auto rows = list.getListBox().getSelectedRows();
    bool onItsOwn = rows.size() == (int) selected.size() && list.getSelectedIds() == selected;

    for (int i = 0; onItsOwn && i < rows.size(); ++i)
        onItsOwn = list.getRow (rows[i]) != nullptr && list.getRow (rows[i])->id == selected[(size_t) i];

    if (! onItsOwn)
        current->findings.push_back ({ "history-selection", "the selection left its snapshots as new ones came" });
}

void SoakDriver::performFault (const SoakAction& action)
{
    auto& instrument = app.rig.instrument;

    switch (action.kind)
    {
        case Kind::faultUnplug:
            faults.unplugged = ! faults.unplugged;
            instrument.setUnplugged (faults.unplugged);
            break;

        case Kind::faultSilence:
            faults.silent = ! faults.silent;
            instrument.setSilent (faults.silent);
            break;

        case Kind::faultActiveSensing:
            faults.activeSensingLost = ! faults.activeSensingLost;
            instrument.setActiveSensingEnabled (! faults.activeSensingLost);
            break;

        case Kind::faultLatency:
            faults.latencyMs = latencies[action.a % sizeOf (latencies)];
            instrument.setLatencyMs (faults.latencyMs);
            break;

        case Kind::faultsCleared:
            faults = {};
            instrument.clearFaults();
            instrument.setUnplugged (false);
            break;

        default: break;
    }
}

void SoakDriver::playKey (const SoakAction& action)
{
    auto& playback = app.controller->getSequencePlayback();
    const auto before = app.model().getSequences();
    app.rig.instrument.playKey (36 + action.b % 48, 100);
    app.rig.instrument.playKey (36 + action.b % 48, 0);

    // While Record is on, the note is entered within its chord's window: waited for, so that it
    // lands in this action and not in a later one.
    if (playback.isRecording())
        test::waitFor ([&] { return ! playback.isRecording() || app.model().getSequences() != before; }, 1000);
}

void SoakDriver::quitAtKeptChangesQuestion (const SoakAction& action, ActionRecord& record)
{
    // The file as a program ended now leaves it; then a second start, ended while it offers the
    // kept changes back or before it could ask, must leave what it keeps as it was.
    keeper->flush();
    const auto file = folder.getChildFile ("Sequence Editor.json");

    // What the file keeps, without the time it was written.
    const auto keptSet = [&file] {
        const auto kept = SequenceEditorKeeper::read (file);
        return kept ? SequenceEditorKeeper::toJson (kept->workingSet, {}) : juce::String();
    };
    const auto before = keptSet();

    {
        SequenceEditorModel nextModel;
        SequenceEditorKeeper nextStart (nextModel, file);

        if (action.b % 2 == 0)
            QuitRequest::raise();
        else
            quitAtNextQuestion = true;

        nextStart.offerKeptChanges();
        nextStart.flush();
    }

    quitAtNextQuestion = false;
    QuitRequest::reset();
    record.keptFileChanged = keptSet() != before;
}

} // namespace tarnovelle::soak
