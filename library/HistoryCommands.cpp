#include "library/HistoryCommands.h"

#include "library/GUIHistoryWindow.h"

namespace tarnovelle
{

namespace
{
    using Key = juce::KeyPress;
    using namespace HistoryCommand;

    const juce::String ellipsis (juce::CharPointer_UTF8 ("\xe2\x80\xa6"));
    const juce::ModifierKeys ctrl (juce::ModifierKeys::ctrlModifier);

    juce::Array<Key> key (int code, juce::ModifierKeys mods = {}) { return { Key (code, mods, 0) }; }
} // namespace

juce::StringArray HistoryCommand::getMenuNames() { return { "File", "Snapshot", "Help" }; }

void HistoryCommand::declare (CommandTable& table, GUIHistory& history)
{
    // Naming, starring and deleting need only the row; the rest needs content that can be read.
    const auto selected = [&h = history] { return h.getSelectedSnapshot().has_value(); };
    const auto readable = [&h = history] {
        const auto snapshot = h.getSelectedSnapshot();
        return snapshot.has_value() && snapshot->isReadable();
    };
    const auto forSelected = [&table, &selected] (Command command) { table.add (command.enabledWhen (selected)); };
    const auto forReadable = [&table, &readable] (Command command) { table.add (command.enabledWhen (readable)); };

    table.add ({ importFiles, "Import" + ellipsis, "Import a .tvseq file into the library", "File", key ('i', ctrl),
                 [&h = history] { h.importFiles(); } });
    forReadable ({ exportSnapshot, "Export" + ellipsis, "Export the snapshot as a .tvseq file", "File", key ('e', ctrl),
                   [&h = history] { h.exportSnapshot(); } });

    table.add ({ find, "Find", "Find snapshots by cause or name", "Snapshot", key ('f', ctrl),
                 [&h = history] { h.getFindField().grabKeyboardFocus(); } });
    forSelected ({ rename, "Name", "Name the snapshot (Return keeps the name)", "Snapshot", key (Key::F2Key),
                   [&h = history] { h.startNaming(); } });
    forSelected (Command{
        star, "Star", "Star the snapshot, or take its star away", "Snapshot", key ('d', ctrl), [&h = history] {
            h.toggleStar();
        } }.tickedWhen ([&h = history] { return h.getSelectedSnapshot().value_or (Snapshot()).starred; }));
    forSelected ({ deleteSnapshot, "Delete", "Delete the snapshot", "Snapshot", key (Key::deleteKey),
                   [&h = history] { h.deleteSnapshot(); } });

    forReadable (Command{
        compareWithInstrument,
        "Compare with Tarnovelle",
        "Read Tarnovelle and compare",
        "Snapshot",
        {},
        [&h = history] {
            h.compareWithInstrumentNow();
        } }.startingGroup());
    forReadable ({ compareWithEditor,
                   "Compare with the editor",
                   "Compare with the sequence editor",
                   "Snapshot",
                   {},
                   [&h = history] { h.compareWithEditorNow(); } });
    forReadable (Command{
        restoreToEditor,
        "Restore to editor",
        "Put the sequences into the editor; Send writes them",
        "Snapshot",
        {},
        [&h = history] {
            h.restoreToEditor();
        } }.startingGroup());
    forReadable ({ restoreToInstrument,
                   "Restore to Tarnovelle",
                   "Write the sequences to Tarnovelle",
                   "Snapshot",
                   {},
                   [&h = history] { h.restoreToInstrument(); } });

    table.add ({ keyboardShortcuts, "Keyboard Shortcuts", "Every command of the History window with its key", "Help",
                 key (Key::F1Key), [&h = history] { h.showKeyboardShortcuts(); } });
    table.add ({ about, "About", "The program's version and where it keeps its files", "Help", {}, [&h = history] {
                    h.showAbout();
                } });
    table.registerCommands();
}

} // namespace tarnovelle
