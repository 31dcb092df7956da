#pragma once

#include "editor/MidiImportChooser.h"
#include "editor/SequenceEditorModel.h"
#include "editor/SequenceTools.h"
#include "platform/Platform.h"
#include "platform/ScriptedDialogs.h"
#include "tests/support/DialogsShown.h"

#include <functional>
#include <vector>

#include <gtest/gtest.h>

namespace tarnovelle::test
{

/** A test of the sequence editor's model whose boxes and file choosers answer from a script:
    the process's dialogs for the test's lifetime.
*/
struct EditorModelTest : public ::testing::Test
{
    ScriptedDialogs dialogs;
    SequenceEditorModel model;

    EditorModelTest() { Platform::setDialogs (&dialogs); }
    ~EditorModelTest() override { Platform::setDialogs (nullptr); }

    /** Selects sequence `index` and gives it these steps, as an import would. */
    void give (int index, const Steps& steps)
    {
        model.replaceSequence (index, EditedSequence::fromSteps (steps));
        model.selectSequence (index);
    }

    Steps selected() const { return model.getSelected().toSteps(); }
};

/** Answers the import window from a script: OK with the offered choice as `change` leaves
    it, or Cancel. Remembers every choice offered.
*/
struct ScriptedImportChooser final : public MidiImportChooser
{
    bool answerOk = true;
    std::function<void (MidiImportChoice&)> change = [] (MidiImportChoice&) {};
    std::vector<MidiImportChoice> offered;

    bool chooseImport (const juce::String&, const juce::MidiFile&, MidiImportChoice& choice) override
    {
        offered.push_back (choice);
        change (choice);
        return answerOk;
    }
};

} // namespace tarnovelle::test
