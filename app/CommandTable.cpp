#include "app/CommandTable.h"

namespace tarnovelle
{

juce::String describeKey (const juce::KeyPress& key)
{
    const auto mods = key.getModifiers();
    juce::String text;

    if (mods.isCtrlDown())
        text << "Ctrl+";
    if (mods.isAltDown())
        text << "Alt+";
    if (mods.isShiftDown())
        text << "Shift+";

    const std::pair<int, const char*> names[] = {
        { juce::KeyPress::returnKey, "Return" },
        { juce::KeyPress::escapeKey, "Escape" },
        { juce::KeyPress::spaceKey, "Space" },
        { juce::KeyPress::deleteKey, "Delete" },
        { juce::KeyPress::backspaceKey, "Backspace" },
        { juce::KeyPress::insertKey, "Insert" },
        { juce::KeyPress::homeKey, "Home" },
        { juce::KeyPress::endKey, "End" },
        { juce::KeyPress::leftKey, "Left" },
        { juce::KeyPress::rightKey, "Right" },
        { juce::KeyPress::upKey, "Up" },
        { juce::KeyPress::downKey, "Down" },
        { juce::KeyPress::tabKey, "Tab" },
        { juce::KeyPress::F1Key, "F1" },
        { juce::KeyPress::F2Key, "F2" },
    };

    for (const auto& [code, name] : names)
        if (key.getKeyCode() == code)
            return text + name;

    return text + juce::String::charToString ((juce::juce_wchar) key.getKeyCode()).toUpperCase();
}

//==============================================================================
CommandTable::CommandTable (const juce::StringArray& menus)
    : menuNames (menus)
{
    manager.setFirstCommandTarget (this);
}

CommandTable::~CommandTable() { manager.setFirstCommandTarget (nullptr); }

void CommandTable::add (Command command)
{
    jassert (menuNames.contains (command.menu) && command.perform != nullptr);
    commands.push_back (std::move (command));
}

void CommandTable::registerCommands() { manager.registerAllCommandsForTarget (this); }

const Command& CommandTable::get (juce::CommandID id) const
{
    const auto found = std::find_if (commands.begin(), commands.end(), [id] (auto& c) { return c.id == id; });
    jassert (found != commands.end());
    return *found;
}

//==============================================================================
bool CommandTable::keyPressed (const juce::KeyPress& key, juce::Component* originatingComponent)
{
    // Looked up rather than handed to the key mappings, which would beep on stdout for a key
    // whose command cannot act.
    const auto id = manager.getKeyMappings()->findCommandForKeyPress (key);

    if (id == 0)
        return false;

    const auto& command = get (id);

    if (! isEnabled (command))
    {
        if (onRefused && command.whyDisabled.isNotEmpty())
            onRefused (command);

        return true;
    }

    InvocationInfo info (id);
    info.invocationMethod = InvocationInfo::fromKeyPress;
    info.keyPress = key;
    info.originatingComponent = originatingComponent;
    manager.invoke (info, false);
    return true;
}

bool CommandTable::invoke (juce::CommandID id) { return manager.invokeDirectly (id, false); }

//==============================================================================
void CommandTable::attach (juce::Button& button, juce::CommandID id)
{
    const auto& command = get (id);
    button.setTooltip (getTooltip (id));
    button.setClickingTogglesState (false);
    button.onClick = [this, id] { invoke (id); };
    buttons.emplace_back (&button, id);
    refreshButton (button, command);
}

void CommandTable::refresh()
{
    for (auto& [button, id] : buttons)
        if (button != nullptr)
            refreshButton (*button, get (id));

    manager.commandStatusChanged();
}

void CommandTable::refreshButton (juce::Button& button, const Command& command) const
{
    button.setEnabled (isEnabled (command));

    if (command.isTicked)
        button.setToggleState (isTicked (command), juce::dontSendNotification);
}

//==============================================================================
juce::String CommandTable::getButtonText (juce::CommandID id) const
{
    const auto& command = get (id);
    return command.buttonText.isNotEmpty() ? command.buttonText : command.name;
}

juce::String CommandTable::getKeysText (juce::CommandID id) const
{
    juce::StringArray texts;

    for (const auto& key : get (id).keys)
        texts.add (describeKey (key));

    return texts.joinIntoString (", ");
}

juce::String CommandTable::getTooltip (juce::CommandID id) const
{
    const auto& command = get (id);
    return command.keys.isEmpty() ? command.description
                                  : command.description + " (" + describeKey (command.keys.getFirst()) + ")";
}

juce::String CommandTable::describeKeys (const std::vector<juce::CommandID>& ids) const
{
    juce::StringArray parts;

    for (auto id : ids)
        parts.add (describeKey (get (id).keys.getFirst()) + " " + get (id).name);

    return parts.joinIntoString (juce::CharPointer_UTF8 ("  \xc2\xb7  "));
}

//==============================================================================
void CommandTable::getAllCommands (juce::Array<juce::CommandID>& ids)
{
    for (const auto& command : commands)
        ids.add (command.id);
}

void CommandTable::getCommandInfo (juce::CommandID id, juce::ApplicationCommandInfo& info)
{
    const auto& command = get (id);
    info.setInfo (command.name, command.description, command.menu, 0);
    info.setActive (isEnabled (command));
    info.setTicked (isTicked (command));
    info.defaultKeypresses = command.keys;
    info.defaultKeypresses.addArray (command.otherLayoutKeys);
}

bool CommandTable::perform (const InvocationInfo& info)
{
    get (info.commandID).perform();
    refresh();
    return true;
}

//==============================================================================
juce::PopupMenu::Item CommandTable::makeMenuItem (const Command& command)
{
    juce::PopupMenu::Item item (command.name);
    item.itemID = command.id;
    item.commandManager = &manager;
    item.isEnabled = isEnabled (command);
    item.isTicked = isTicked (command);
    item.shortcutKeyDescription = command.keys.isEmpty() ? juce::String() : describeKey (command.keys.getFirst());
    return item;
}

juce::PopupMenu CommandTable::getMenuForIndex (int index, const juce::String&)
{
    if (onMenuOpening)
        onMenuOpening();

    juce::PopupMenu menu, submenu;
    juce::String submenuName;

    const auto closeSubmenu = [&] {
        if (submenuName.isNotEmpty())
            menu.addSubMenu (submenuName, submenu);

        submenu = {};
        submenuName.clear();
    };

    for (const auto& command : commands)
    {
        if (command.menu != menuNames[index])
            continue;

        if (command.submenu != submenuName)
            closeSubmenu();

        if (command.startsGroup && submenuName.isEmpty() && menu.getNumItems() > 0)
            menu.addSeparator();

        submenuName = command.submenu;
        (submenuName.isEmpty() ? menu : submenu).addItem (makeMenuItem (command));
    }

    closeSubmenu();
    return menu;
}

} // namespace tarnovelle
