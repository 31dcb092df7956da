#include "tests/soak/SoakOracle.h"

#include "protocol/ActionVocabulary.h"
#include "sequences/SequenceFile.h"

namespace tarnovelle::soak
{

namespace
{
    juce::String describe (const Steps& steps)
    {
        juce::StringArray parts;

        for (auto step : steps)
            parts.add (step == restStep ? juce::String ("x") : juce::String (step));

        return juce::String ((int) steps.size()) + " steps [" + parts.joinIntoString (" ") + "]";
    }

    Steps stepsOnInstrument (const EmulatedInstrument& instrument, int index) { return instrument.getSequence (index); }
} // namespace

Steps stepsOf (const EditedSequence& sequence)
{
    return Steps (sequence.steps.begin(), sequence.steps.begin() + sequence.length);
}

SoakOracle::SoakOracle (const EmulatedInstrument& instrument)
{
    for (int i = 0; i < numSequences; ++i)
        allowedSequences[(size_t) i].insert (stepsOnInstrument (instrument, i));

    for (auto& info : getDeviceSettingTable())
        allowedSettings[(size_t) info.setting].insert (instrument.getSetting (info.setting));
}

std::vector<Finding> SoakOracle::afterAction (const ActionRecord& action, const SequenceEditorModel& model,
                                              bool editorShowing, bool connected, const EmulatedInstrument& instrument)
{
    auto findings = action.findings;
    takeHubMessages (action, connected);
    checkInstrument (instrument, findings);

    if (opened && editorShowing)
        editorEverOpened = true;

    checkEditorHistory (action, model, findings);
    checkEditsKept (action, model, editorShowing, findings);
    checkHiddenEditor (action, model, editorShowing, findings);

    if (action.keptFileChanged)
        findings.push_back (
            { "kept-changes-lost", "a start ended at its first question changed the kept working set" });

    if (instrumentChangedElsewhere)
    {
        pictureCurrent = false;
        changedElsewhereSinceRead = true;
    }
    else if (sent && action.faults.losesWrites())
    {
        pictureCurrent = false;
    }
    else if ((sent || read) && connected && ! action.faults.any())
    {
        pictureCurrent = true;
    }

    if (read && connected && ! action.faults.any())
        changedElsewhereSinceRead = false;

    if (pictureCurrent)
        checkChangedMarks (model, instrument, findings);

    return findings;
}

void SoakOracle::takeHubMessages (const ActionRecord& action, bool connected)
{
    sent = read = opened = instrumentChangedElsewhere = false;

    for (auto& message : action.hubMessages)
    {
        const auto* info = findAction (message);

        if (info == nullptr)
            continue;

        switch (info->action)
        {
            case Action::setSetting: allowedSettings[(size_t) *info->setting].insert (getActionValue (message)); break;

            case Action::factorySequences:
                if (action.okAnswers > 0)
                {
                    for (int i = 0; i < numSequences; ++i)
                        allowedSequences[(size_t) i].insert (EmulatedInstrument::getFactorySequence (i));

                    instrumentChangedElsewhere = true;
                }
                break;

            case Action::loadSequences:
                if (action.chosenFileToLoad.existsAsFile())
                {
                    const auto content = parseSequenceFile (action.chosenFileToLoad.loadFileAsString().toStdString());

                    if (content.isValid())
                        for (auto& sequence : content.sequences)
                            allowedSequences[(size_t) sequence.number - 1].insert (sequence.steps);

                    instrumentChangedElsewhere = true;
                }
                break;

            case Action::firmwareUpdate: instrumentChangedElsewhere = true; break;

            case Action::sendEditorSequences:
                // What the editor showed when the user pressed Send is what the user sent.
                for (int i = 0; i < numSequences; ++i)
                    allowedSequences[(size_t) i].insert (stepsOf (action.editorBefore[(size_t) i]));
                sent = true;
                break;

            case Action::readEditorSequences: read = true; break;
            case Action::openSequenceEditor: opened = true; break;
            default: break;
        }
    }

    juce::ignoreUnused (connected);
}

void SoakOracle::checkInstrument (const EmulatedInstrument& instrument, std::vector<Finding>& findings) const
{
    for (int i = 0; i < numSequences; ++i)
    {
        const auto steps = stepsOnInstrument (instrument, i);

        if (allowedSequences[(size_t) i].count (steps) == 0)
            findings.push_back ({ "instrument-sequence", "the instrument holds sequence " + juce::String (i + 1)
                                                             + " as " + describe (steps)
                                                             + ", which the user never sent, loaded or reset to" });
    }

    for (auto& info : getDeviceSettingTable())
    {
        const auto value = instrument.getSetting (info.setting);

        if (allowedSettings[(size_t) info.setting].count (value) == 0)
            findings.push_back ({ "instrument-setting", juce::String ("the instrument holds ") + info.code + " = "
                                                            + juce::String (value) + ", which the user never sent" });
    }
}

void SoakOracle::checkEditorHistory (const ActionRecord& action, const SequenceEditorModel& model,
                                     std::vector<Finding>& findings)
{
    if (! editorEverOpened)
        return;

    for (int i = 0; i < numSequences; ++i)
    {
        const auto steps = stepsOf (model.getSequence (i));
        auto& made = madeInEditor[(size_t) i];

        if (! action.isUndoOrRedo)
            made.insert (steps);
        else if (made.count (steps) == 0)
            findings.push_back ({ "undo-past-base", "undo or redo brought sequence " + juce::String (i + 1) + " to "
                                                        + describe (steps) + ", a state the user never made" });
    }
}

void SoakOracle::checkEditsKept (const ActionRecord& action, const SequenceEditorModel& model, bool editorShowing,
                                 std::vector<Finding>& findings) const
{
    // Only an answered question may replace unsent edits.
    const bool reopened = opened && ! action.editorWasShowing && editorShowing;

    if (! (read || reopened || action.openedFileInEditor) || action.okAnswers > 0)
        return;

    const char* check = reopened ? "reopen-drops-edits" : (read ? "read-replaces-edits" : "open-replaces-edits");

    for (auto index : action.changedBefore)
    {
        if (model.getSequence (index) != action.editorBefore[(size_t) index])
            findings.push_back ({ check, "the unsent edits of sequence " + juce::String (index + 1)
                                             + " were replaced without a question (now "
                                             + describe (stepsOf (model.getSequence (index))) + ")" });
    }
}

void SoakOracle::checkHiddenEditor (const ActionRecord& action, const SequenceEditorModel& model, bool editorShowing,
                                    std::vector<Finding>& findings) const
{
    if (action.editorWasShowing || editorShowing)
        return;

    for (int i = 0; i < numSequences; ++i)
        if (model.getSequence (i) != action.editorBefore[(size_t) i])
            findings.push_back ({ "hidden-editor-changed", "sequence " + juce::String (i + 1)
                                                               + " changed while the editor was not shown (now "
                                                               + describe (stepsOf (model.getSequence (i))) + ")" });
}

void SoakOracle::checkChangedMarks (const SequenceEditorModel& model, const EmulatedInstrument& instrument,
                                    std::vector<Finding>& findings) const
{
    for (int i = 0; i < numSequences; ++i)
    {
        const auto editor = stepsOf (model.getSequence (i));
        const auto held = stepsOnInstrument (instrument, i);
        const bool differs = editor != held;

        if (model.isChanged (i) == differs)
            continue;

        // Named apart, so that each can be told and tolerated on its own: a note 126 the
        // editor took in as another note, and a send over a set the instrument no longer held.
        bool folded126 = false;

        for (size_t step = 0; step < held.size(); ++step)
            folded126 = folded126 || (held[step] == 126 && (step >= editor.size() || editor[step] != 126));

        const char* check = folded126 ? "note-126" : (changedElsewhereSinceRead ? "stale-editor" : "changed-marks");

        findings.push_back ({ check, "sequence " + juce::String (i + 1) + " is "
                                         + (model.isChanged (i) ? "marked" : "not marked")
                                         + " changed, but the editor holds " + describe (editor)
                                         + " and the instrument " + describe (held) });
    }
}

void SoakOracle::acceptCurrentState (const SequenceEditorModel& model, const EmulatedInstrument& instrument)
{
    for (int i = 0; i < numSequences; ++i)
    {
        allowedSequences[(size_t) i].insert (stepsOnInstrument (instrument, i));

        if (editorEverOpened)
            madeInEditor[(size_t) i].insert (stepsOf (model.getSequence (i)));
    }

    for (auto& info : getDeviceSettingTable())
        allowedSettings[(size_t) info.setting].insert (instrument.getSetting (info.setting));

    pictureCurrent = false;
}

} // namespace tarnovelle::soak
