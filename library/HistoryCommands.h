#pragma once

#include "app/CommandTable.h"

namespace tarnovelle
{

class GUIHistory;

/** The History window's commands, each with its menu entry and keys. */
namespace HistoryCommand
{
    enum : juce::CommandID
    {
        importFiles = 1,
        exportSnapshot,
        find,
        rename,
        star,
        deleteSnapshot,
        compareWithInstrument,
        compareWithEditor,
        restoreToEditor,
        restoreToInstrument,
        keyboardShortcuts,
        about
    };

    /** The menu bar's menus, left to right. */
    juce::StringArray getMenuNames();

    /** Declares every command of the window in its table. */
    void declare (CommandTable& table, GUIHistory& history);
} // namespace HistoryCommand

} // namespace tarnovelle
