#pragma once

#include "app/CommandTable.h"

namespace tarnovelle
{

class GUISequenceEditor;

/** The sequence editor's commands, each with its menu entry and keys. */
namespace EditorCommand
{
    enum : juce::CommandID
    {
        open = 1,
        save,
        importMidi,
        exportMidi,

        undo,
        redo,
        cut,
        copy,
        paste,
        selectAll,
        clear,
        noteUp,
        noteDown,
        octaveUp,
        octaveDown,
        rest,
        deleteSteps,
        insertStep,
        previousStep,
        nextStep,
        firstStep,
        lastStep,
        extendLeft,
        extendRight,
        deselect,

        read,
        send,
        firstSequence, // and the seven after it
        transposeOctaveDown = firstSequence + 8,
        transposeDown,
        transposeUp,
        transposeOctaveUp,
        rotateLeft,
        rotateRight,
        reverse,
        invert,
        fitToScale,
        doubleSteps,
        halveSteps,
        generate,

        playStop,
        stop,
        tempoDown,
        tempoUp,
        tempoDownByTen,
        tempoUpByTen,
        preview,
        record,
        stepBack,

        history,
        keyboardShortcuts,
        about
    };

    /** The menu bar's menus, left to right. */
    juce::StringArray getMenuNames();

    /** Declares every command of the editor in its table. Without a transport there are no
        Play commands; Escape then ends a range and Backspace deletes, as Delete does.
    */
    void declare (CommandTable& table, GUISequenceEditor& editor);
} // namespace EditorCommand

} // namespace tarnovelle
