// The sequence editor's and the History window's commands, each declared once: every one has
// its menu entry with its key, its line in the Keyboard Shortcuts window, its button's tooltip,
// and no key belongs to two; the menus say which cannot act, and the hint line is made of them.

#include "editor/EditorCommands.h"
#include "editor/GUISequenceEditorWindow.h"
#include "library/GUIHistoryWindow.h"
#include "library/HistoryCommands.h"
#include "sequences/SequenceTransfer.h"
#include "tests/support/EditorModelTest.h"
#include "tests/support/GuiTestSupport.h"
#include "tests/support/ScratchFolder.h"

#include <map>

namespace tarnovelle
{
namespace
{
    using namespace test;

    struct MenuEntry
    {
        juce::String name, key;
        bool enabled = false;
    };

    /** Every entry of the menu bar, by command, walked as a user opens the menus. */
    std::map<juce::CommandID, MenuEntry> menuEntries (CommandTable& table)
    {
        std::map<juce::CommandID, MenuEntry> entries;
        const auto names = table.getMenuBarNames();

        for (int index = 0; index < names.size(); ++index)
        {
            const auto menu = table.getMenuForIndex (index, names[index]);

            for (juce::PopupMenu::MenuItemIterator item (menu, true); item.next();)
            {
                const auto& i = item.getItem();

                if (i.itemID != 0)
                {
                    EXPECT_EQ (entries.count (i.itemID), 0u) << i.text << " is in the menus twice";
                    entries[i.itemID] = { i.text, i.shortcutKeyDescription, i.isEnabled };
                }
            }
        }

        return entries;
    }

    /** The table's promises, checked where the user meets them. */
    void expectDeclaredOnce (CommandTable& table, const GUIKeyboardShortcuts& shortcuts, juce::Component& buttonsIn)
    {
        const auto entries = menuEntries (table);
        std::map<juce::String, juce::CommandID> ownerOfKey;

        for (const auto& command : table.getCommands())
        {
            const auto key = command.keys.isEmpty() ? juce::String() : describeKey (command.keys.getFirst());
            ASSERT_EQ (entries.count (command.id), 1u) << command.name << " has no menu entry";
            EXPECT_EQ (entries.at (command.id).name, command.name);
            EXPECT_EQ (entries.at (command.id).key, key) << command.name;

            const auto& rows = shortcuts.getRows();
            const auto row = std::find_if (rows.begin(), rows.end(), [&] (auto& r) {
                return r.name == command.name
                       || r.name
                              == command.submenu + juce::String (juce::CharPointer_UTF8 (" \xe2\x80\xba "))
                                     + command.name;
            });
            ASSERT_NE (row, rows.end()) << command.name << " is not in the Keyboard Shortcuts window";
            EXPECT_TRUE (key.isEmpty() || row->keys.startsWith (key)) << command.name << ": " << row->keys;

            for (const auto& k : command.keys)
            {
                const auto [owner, isNew] = ownerOfKey.emplace (describeKey (k), command.id);
                EXPECT_TRUE (isNew) << describeKey (k) << " belongs to two commands";
                EXPECT_EQ (table.getCommandManager().getKeyMappings()->findCommandForKeyPress (k), command.id);
            }
        }

        // Every button names its command's key in its tooltip.
        int buttons = 0;

        for (auto* button : buttonsIn.getChildren())
        {
            if (auto* b = dynamic_cast<juce::TextButton*> (button))
            {
                const auto& commands = table.getCommands();
                const auto command = std::find_if (commands.begin(), commands.end(), [b, &table] (auto& c) {
                    return b->getButtonText() == table.getButtonText (c.id)
                           || (c.buttonText == "Play" && b->getButtonText() == "Stop");
                });
                ASSERT_NE (command, commands.end()) << b->getButtonText() << " runs no command";
                ++buttons;
                EXPECT_TRUE (b->getTooltip().startsWith (command->description)) << b->getTooltip();

                if (! command->keys.isEmpty())
                {
                    EXPECT_TRUE (b->getTooltip().endsWith ("(" + describeKey (command->keys.getFirst()) + ")"))
                        << b->getTooltip();
                }
            }
        }

        EXPECT_GT (buttons, 0);
    }

    struct CommandsFixture : public EditorModelTest
    {
        SequencePlayback playback{ model };
        MessageRecorder hub;
        GUISequenceEditorLauncher launcher{ model, &hub, &playback };

        CommandsFixture() { launcher.openSequenceEditor(); }
        ~CommandsFixture() override { playback.stop(); }

        GUISequenceEditor& editor() { return launcher.getWindow()->getEditor(); }
    };
} // namespace

TEST_F (CommandsFixture, EveryCommandHasItsMenuEntryKeyTooltipAndShortcutLineFromTheOneTable)
{
    auto& table = editor().getCommands();
    editor().keyPressed (juce::KeyPress (juce::KeyPress::F1Key));
    ASSERT_NE (editor().getKeyboardShortcutsWindow(), nullptr);
    EXPECT_TRUE (editor().getKeyboardShortcutsWindow()->isVisible());
    auto* menuBar = dynamic_cast<juce::MenuBarComponent*> (launcher.getWindow()->getMenuBarComponent());
    ASSERT_NE (menuBar, nullptr);
    EXPECT_EQ (menuBar->getModel(), &table);

    expectDeclaredOnce (table, editor().getKeyboardShortcutsWindow()->getShortcuts(), editor().getToolbar());
    EXPECT_EQ (menuEntries (table).size(), table.getCommands().size());

    // The hint line names commands by their menu entries and keys.
    const auto entries = menuEntries (table);
    const auto hinted = juce::StringArray::fromTokens (editor().getHintText(), juce::CharPointer_UTF8 ("\xc2\xb7"), {});
    EXPECT_GE (hinted.size(), 3);

    for (const auto& hint : hinted)
    {
        const auto found = std::find_if (entries.begin(), entries.end(), [&hint] (auto& entry) {
            return hint.trim() == entry.second.key + " " + entry.second.name;
        });
        EXPECT_NE (found, entries.end()) << hint;
    }

    // What cannot act is disabled in the menus: Send with nothing changed, Paste with nothing
    // to paste, Play and Record while disconnected, Undo at the base.
    juce::SystemClipboard::copyTextToClipboard ("not steps");
    using namespace EditorCommand;
    const auto enabled = [&table] (juce::CommandID id) { return menuEntries (table).at (id).enabled; };

    for (auto id : { send, paste, playStop, record, undo })
        EXPECT_FALSE (enabled (id)) << table.get (id).name;

    model.setConnected (true);
    editor().keyPressed (juce::KeyPress (juce::KeyPress::insertKey));
    editor().keyPressed (juce::KeyPress ('c', juce::ModifierKeys::ctrlModifier, 0));

    for (auto id : { send, paste, playStop, record, undo })
        EXPECT_TRUE (enabled (id)) << table.get (id).name;

    EXPECT_TRUE (editor().getButton ("Send").isEnabled());

    // Help → About tells the version, the firmware shipped and where the files are kept.
    table.invoke (about);
    const auto aboutBox = dialogs.getRecords (ScriptedDialogs::Kind::messageBox).back();
    EXPECT_EQ (aboutBox.title, "About Tarnovelle Connection");
    EXPECT_TRUE (aboutBox.message.contains ("Tarnovelle Connection 1.0.3")) << aboutBox.message;
    EXPECT_TRUE (aboutBox.message.contains ("firmware 1.0.3.2")) << aboutBox.message;
    EXPECT_TRUE (aboutBox.message.contains (juce::SystemStats::getJUCEVersion())) << aboutBox.message;
}

TEST_F (CommandsFixture, TheHistoryWindowsCommandsComeFromItsTableToo)
{
    ScratchFolder scratch{ "gui-commands" };
    InstrumentHistory history (scratch.folder.getChildFile ("library.sqlite"));
    history.record (getFactorySequences(), "Read at connection");
    GUIHistoryLauncher historyLauncher (history, model, &hub);
    historyLauncher.setProgramFacts ({ "Tarnovelle Connection", history.getStore().getFile(), {} });
    historyLauncher.openHistory();
    auto& window = historyLauncher.getWindow()->getHistory();
    auto& table = window.getCommands();

    GUIKeyboardShortcuts shortcuts (table);
    expectDeclaredOnce (table, shortcuts, window);

    // A snapshot's commands wait for one to be selected.
    EXPECT_FALSE (menuEntries (table).at (HistoryCommand::deleteSnapshot).enabled);
    window.getList().getListBox().selectRow (0);
    EXPECT_TRUE (menuEntries (table).at (HistoryCommand::deleteSnapshot).enabled);
    EXPECT_TRUE (window.getButton ("Restore to Tarnovelle").isEnabled());

    table.invoke (HistoryCommand::about);
    EXPECT_TRUE (dialogs.getRecords (ScriptedDialogs::Kind::messageBox)
                     .back()
                     .message.contains ("History library: " + history.getStore().getFile().getFullPathName()));
}

} // namespace tarnovelle
