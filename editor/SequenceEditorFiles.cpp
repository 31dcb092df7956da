#include "editor/SequenceEditorFiles.h"

#include "editor/SequenceEditorTransfer.h"
#include "platform/Platform.h"
#include "sequences/MidiExport.h"
#include "sequences/MidiImport.h"
#include "sequences/MidiTracks.h"
#include "sequences/SaveTarget.h"
#include "sequences/SequenceFile.h"
#include "sequences/SequenceFileIO.h"
#include "sequences/SequenceFileOperations.h"

namespace tarnovelle
{

namespace
{
    const char* const sequenceFilePattern = "*.tvseq";
    const char* const midiFilePattern = "*.mid;*.midi";

    SequenceSet toSequenceSet (const SequenceEditorModel& model)
    {
        SequenceSet set{};

        for (int i = 0; i < numSequences; ++i)
            set[(size_t) i] = model.getSequence (i).toStepBuffer();

        return set;
    }

    MidiExportTiming exportTiming (const SequenceEditorModel& model)
    {
        return MidiExportTiming::fromSettings ((uint8) model.getStepSize(), (uint8) model.getGateLength());
    }

    /** Asks before the file's sequences replace unsent changes; true when they may. */
    bool confirmOpeningOverEdits (const SequenceEditorModel& model, const juce::File& file,
                                  const std::vector<std::pair<int, EditedSequence>>& replacements)
    {
        std::vector<int> replacedEdits;

        for (const auto& [index, sequence] : replacements)
            if (model.isChanged (index) && model.getSequence (index) != sequence)
                replacedEdits.push_back (index);

        return replacedEdits.empty()
               || confirmReplacingUnsentChanges ("Opening " + file.getFileName() + " replaces the unsent changes to "
                                                 + describeSequences (replacedEdits)
                                                 + " with what the file holds.\nOpen anyway?");
    }
} // namespace

juce::File proposedMidiFile (const SequenceEditorModel& model)
{
    // "Sequence 3.mid" in the documents, or "live 3.mid" next to the set opened from live.tvseq.
    const auto& set = model.getSetFile();
    const auto number = juce::String (model.getSelectedIndex() + 1);

    if (set == juce::File())
        return juce::File::getSpecialLocation (juce::File::userDocumentsDirectory)
            .getChildFile ("Sequence " + number + ".mid");

    return set.getSiblingFile (set.getFileNameWithoutExtension() + " " + number + ".mid");
}

void openSequenceFileIntoEditor (SequenceEditorModel& model)
{
    const auto file = Platform::dialogs().browseForFileToOpen ("Open Sequences", sequenceFilePattern);

    if (file == juce::File())
        return;

    const auto content = readSequenceFileForUser (file, "Open error", "The editor has been left as it was.");

    if (! content)
        return;

    std::vector<std::pair<int, EditedSequence>> replacements;

    for (const auto& sequence : content->sequences)
        replacements.emplace_back (sequence.number - 1, EditedSequence::fromSteps (sequence.steps));

    if (! confirmOpeningOverEdits (model, file, replacements))
        return;

    // One undoable change, as an import is: undo gives back what the editor held before.
    model.beginGesture();
    model.replaceSequences (replacements);
    model.endGesture();
    model.setSetFile (file);
}

void saveEditorSequences (const SequenceEditorModel& model)
{
    const auto chosen = Platform::dialogs().browseForFileToSave ("Save Sequences", sequenceFilePattern);

    const auto file = sequenceFileToSave (chosen);

    if (file == juce::File())
        return;

    const bool withMidiFiles = askForMidiFiles (file);
    writeSequenceSet (file, toSequenceSet (model), (uint8) model.getStepSize(), (uint8) model.getGateLength(),
                      withMidiFiles);
}

void importMidiIntoEditor (SequenceEditorModel& model, MidiImportChooser& chooser)
{
    auto& dialogs = Platform::dialogs();
    const auto file = dialogs.browseForFileToOpen ("Import MIDI File", midiFilePattern);

    if (file == juce::File())
        return;

    juce::MidiFile midi;
    MidiImportResult result;
    result.error = readMidiFile (file, midi);

    if (result.isValid())
    {
        auto choice = chooseFirstMelodicTrack (summariseMidiTracks (midi), model.getStepSize());

        if (! chooser.chooseImport (file.getFileName(), midi, choice))
            return;

        result = importMidiSequence (midi, choice);
    }

    if (! result.isValid())
    {
        dialogs.showMessageBox (DialogIcon::warning, "Import error",
                                file.getFileName() + ": " + result.error + "\nNothing has been imported.");
        return;
    }

    model.replaceSequence (model.getSelectedIndex(), EditedSequence::fromSteps (result.steps));

    if (result.droppedNotes > 0)
        dialogs.showMessageBox (DialogIcon::info, "Import MIDI File", result.getWarning());
}

void exportMidiFromEditor (const SequenceEditorModel& model)
{
    auto& dialogs = Platform::dialogs();
    const auto chosen = dialogs.browseForFileToSave ("Export MIDI File", midiFilePattern, proposedMidiFile (model));
    const auto target = confirmSaveTarget (chosen, { "mid", "midi" });

    if (target == juce::File())
        return;

    const auto steps = model.getSelected().toStepBuffer();

    if (! writeSequenceMidiFile (target, steps.data(), exportTiming (model)))
        dialogs.showMessageBox (DialogIcon::warning, "Export error",
                                "Unable to write the MIDI file:\n" + target.getFullPathName());
}

} // namespace tarnovelle
