#include "editor/SequenceToolCommands.h"

#include "platform/Platform.h"

namespace tarnovelle
{

namespace
{
    const char* const invertTitle = "Invert";
    const char* const scaleTitle = "Fit to Scale";
    const char* const generateTitle = "Generate";

    DialogField rootField (int root) { return { "Root", getPitchClassNames(), getPitchClassNames()[root] }; }
    DialogField scaleField (Scale scale) { return { "Scale", getScaleNames(), getScaleNames()[(int) scale] }; }
    DialogField textField (const juce::String& label, const juce::String& value) { return { label, {}, value }; }

    int rootOf (const DialogField& field) { return juce::jmax (0, getPitchClassNames().indexOf (field.value)); }
    Scale scaleOf (const DialogField& field) { return (Scale) juce::jmax (0, getScaleNames().indexOf (field.value)); }

    /** The note at the cursor, or the last note used when the cursor is on a rest. */
    int cursorNote (const SequenceEditorModel& model)
    {
        const auto& sequence = model.getSelected();
        const int cursor = model.getCursor();
        return cursor < sequence.length && ! sequence.isRest (cursor) ? sequence.steps[(size_t) cursor]
                                                                      : model.getLastNote();
    }

    /** What a tool acts on: the range, or the whole sequence when there is none. */
    juce::String describeNotesActedOn (const SequenceEditorModel& model)
    {
        return model.hasRange() ? juce::String ("every selected note")
                                : "every note of sequence " + juce::String (model.getSelectedIndex() + 1);
    }

    void refuse (const juce::String& title, const juce::String& message)
    {
        Platform::dialogs().showMessageBox (DialogIcon::warning, title, message + "\nNothing has been changed.");
    }
} // namespace

int SequenceToolCommands::parseNote (const juce::String& text)
{
    const auto trimmed = text.trim().toUpperCase();

    if (trimmed.containsOnly ("0123456789") && trimmed.isNotEmpty() && trimmed.length() <= 3)
        return juce::isPositiveAndNotGreaterThan (trimmed.getIntValue() - 1, 124) ? trimmed.getIntValue() : -1;

    // A name: the pitch class with its sharp, then the octave, C4 being 60.
    const bool sharp = trimmed[1] == '#';
    const int pitchClass = getPitchClassNames().indexOf (trimmed.substring (0, sharp ? 2 : 1));
    const auto octave = trimmed.substring (sharp ? 2 : 1);

    if (pitchClass < 0 || octave.isEmpty() || ! octave.substring (octave[0] == '-' ? 1 : 0).containsOnly ("0123456789"))
        return -1;

    const int note = (octave.getIntValue() + 1) * 12 + pitchClass;
    return note >= SequenceEditorModel::lowestNote && note <= SequenceEditorModel::highestNote ? note : -1;
}

void SequenceToolCommands::invert (SequenceEditorModel& model)
{
    std::vector<DialogField> fields{ textField ("Around the note", juce::String (cursorNote (model))) };

    if (! Platform::dialogs().showForm (
            invertTitle, "Mirror " + describeNotesActedOn (model) + " around a note (a number or a name such as C4).",
            fields))
        return;

    const int centre = parseNote (fields[0].value);

    if (centre < 0)
        return refuse (invertTitle, "\"" + fields[0].value + "\" is not a note from 1 to 125.");

    model.applyToSelection ([centre] (Steps steps) { return SequenceTools::invert (std::move (steps), centre); });
}

void SequenceToolCommands::fitToScale (SequenceEditorModel& model)
{
    std::vector<DialogField> fields{ rootField (0), scaleField (Scale::major) };

    if (! Platform::dialogs().showForm (
            scaleTitle, "Move " + describeNotesActedOn (model) + " to the nearest note of the scale.", fields))
        return;

    const int root = rootOf (fields[0]);
    const auto scale = scaleOf (fields[1]);
    model.applyToSelection ([=] (Steps steps) { return SequenceTools::fitToScale (std::move (steps), root, scale); });
}

void SequenceToolCommands::generate (SequenceEditorModel& model)
{
    SequenceTools::Generation generation;
    generation.seed = juce::Random::getSystemRandom().nextInt (100000);
    std::vector<DialogField> fields{ rootField (generation.root),
                                     scaleField (generation.scale),
                                     textField ("Lowest note", juce::String (generation.lowestNote)),
                                     textField ("Highest note", juce::String (generation.highestNote)),
                                     textField ("Rests (%)", juce::String (generation.restPercent)),
                                     textField ("Seed", juce::String (generation.seed)) };

    if (! Platform::dialogs().showForm (generateTitle,
                                        "Fill the selection with random notes of a scale; the same seed gives the "
                                        "same notes.",
                                        fields))
        return;

    generation.root = rootOf (fields[0]);
    generation.scale = scaleOf (fields[1]);
    generation.lowestNote = parseNote (fields[2].value);
    generation.highestNote = parseNote (fields[3].value);
    generation.restPercent = juce::jlimit (0, 100, fields[4].value.getIntValue());
    generation.seed = fields[5].value.getLargeIntValue();

    if (generation.lowestNote < 0 || generation.highestNote < 0)
        return refuse (generateTitle, "The lowest and highest notes must be notes from 1 to 125.");

    model.generateIntoSelection (generation);
}

} // namespace tarnovelle
