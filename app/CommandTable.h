#pragma once

#include <juce_gui_basics/juce_gui_basics.h>

#include <functional>
#include <vector>

namespace tarnovelle
{

/** One command of a window, declared once: its menu entry, its keys, its button's label and
    tooltip, and its line in the Keyboard Shortcuts window are all made from this.
*/
struct Command
{
    juce::CommandID id;
    juce::String name;        // the menu entry: "Import MIDI…"
    juce::String description; // the tooltip, before the key: "Import a MIDI file into the selected sequence"
    juce::String menu;        // the menu bar's menu it is in: "File"
    juce::Array<juce::KeyPress> keys;
    std::function<void()> perform;
    std::function<bool()> isEnabled = {};
    std::function<bool()> isTicked = {};
    juce::String buttonText = {}; // a toolbar button's shorter label, where it differs from the name
    juce::String submenu = {};    // a submenu of the menu that holds it
    bool startsGroup = false;     // a separator above it in its menu
    // Further keys that mean the same on other keyboard layouts ("{" for Shift+[): handled, not shown.
    juce::Array<juce::KeyPress> otherLayoutKeys = {};
    // Said when one of its keys is pressed while it cannot act.
    juce::String whyDisabled = {};

    // The optional parts, by name: Command{ ... }.enabledWhen (...).startingGroup().
    Command& enabledWhen (std::function<bool()> f) { return set (isEnabled, std::move (f)); }
    Command& tickedWhen (std::function<bool()> f) { return set (isTicked, std::move (f)); }
    Command& labelled (const juce::String& text) { return set (buttonText, text); }
    Command& inSubmenu (const juce::String& name) { return set (submenu, name); }
    Command& startingGroup() { return set (startsGroup, true); }
    Command& alsoOn (const juce::Array<juce::KeyPress>& layoutKeys) { return set (otherLayoutKeys, layoutKeys); }
    Command& refusedSaying (const juce::String& why) { return set (whyDisabled, why); }

private:
    template <typename Field, typename Value>
    Command& set (Field& field, Value&& value)
    {
        field = std::forward<Value> (value);
        return *this;
    }
};

/** "Ctrl+Shift+Z", "Return", "X", "Shift+[": a key as menus, tooltips and lists show it. */
juce::String describeKey (const juce::KeyPress& key);

/** The commands of one window, through a juce::ApplicationCommandManager of its own. The table
    is the window's only key handler, the model of its menu bar (one menu per category, in
    the order given) and what runs its buttons; whatever asks for a command's state asks the
    command itself, so menus, buttons and keys can never disagree.
*/
class CommandTable final : public juce::ApplicationCommandTarget, public juce::MenuBarModel
{
public:
    /** The menu bar's menus, left to right. */
    explicit CommandTable (const juce::StringArray& menuNames);
    ~CommandTable() override;

    static constexpr int menuBarHeight = 24;

    void add (Command command);

    /** Hands the commands added to the command manager; once, after the last add. */
    void registerCommands();

    /** Runs the command this key belongs to, or says why it cannot act; false for a key that
        is no command's.
    */
    bool keyPressed (const juce::KeyPress& key, juce::Component* originatingComponent);

    /** Runs the command as its menu entry does; false when it cannot act. */
    bool invoke (juce::CommandID id);

    /** The button runs the command and shows its tooltip and its enabled and ticked state. */
    void attach (juce::Button& button, juce::CommandID id);

    /** The commands' states may have changed: the attached buttons follow. */
    void refresh();

    const std::vector<Command>& getCommands() const noexcept { return commands; }
    const juce::StringArray& getMenuNames() const noexcept { return menuNames; }
    const Command& get (juce::CommandID id) const;
    bool isEnabled (const Command& command) const { return ! command.isEnabled || command.isEnabled(); }
    bool isTicked (const Command& command) const { return command.isTicked && command.isTicked(); }

    /** What a button of the command reads. */
    juce::String getButtonText (juce::CommandID id) const;
    /** Its shown keys, "Ctrl+Shift+Z, Ctrl+Y"; empty for a command without one. */
    juce::String getKeysText (juce::CommandID id) const;
    /** The description, with the first key in brackets where there is one. */
    juce::String getTooltip (juce::CommandID id) const;
    /** "Ctrl+Return Send · Ctrl+Z Undo": a status bar's reminder of these commands' keys. */
    juce::String describeKeys (const std::vector<juce::CommandID>& ids) const;

    /** A key of a command that cannot act was pressed; the command says why. */
    std::function<void (const Command&)> onRefused;
    /** A menu is about to open: states that are too costly to keep current are looked at. */
    std::function<void()> onMenuOpening;

    juce::ApplicationCommandManager& getCommandManager() noexcept { return manager; }

    //==============================================================================
    juce::ApplicationCommandTarget* getNextCommandTarget() override { return nullptr; }
    void getAllCommands (juce::Array<juce::CommandID>& ids) override;
    void getCommandInfo (juce::CommandID id, juce::ApplicationCommandInfo& info) override;
    bool perform (const InvocationInfo& info) override;

    juce::StringArray getMenuBarNames() override { return menuNames; }
    juce::PopupMenu getMenuForIndex (int index, const juce::String& menuName) override;
    void menuItemSelected (int, int) override {}

private:
    juce::PopupMenu::Item makeMenuItem (const Command& command);
    void refreshButton (juce::Button& button, const Command& command) const;

    const juce::StringArray menuNames;
    std::vector<Command> commands;
    juce::ApplicationCommandManager manager;
    std::vector<std::pair<juce::Component::SafePointer<juce::Button>, juce::CommandID>> buttons;

    JUCE_DECLARE_NON_COPYABLE_WITH_LEAK_DETECTOR (CommandTable)
};

} // namespace tarnovelle
