#include "sequences/SequenceFileOperations.h"

#include "platform/Platform.h"
#include "protocol/DeviceSettings.h"
#include "sequences/MidiExport.h"
#include "sequences/SaveTarget.h"
#include "sequences/SequenceFileIO.h"
#include "sequences/SequenceTransfer.h"

namespace tarnovelle
{

namespace
{
    const char* const filePattern = "*.tvseq";
    const char* const saveErrorTitle = "Save error";
    const char* const loadErrorTitle = "Load error";

    /** Everything a save takes from the instrument. */
    struct InstrumentSequences
    {
        SequenceSet sequences{};
        uint8 gateLength = 0;
        uint8 stepSize = 0;
    };

    /** Reads the timing settings and all eight sequences, each into a cleared buffer, and
        stops at the first request that is not answered.
    */
    bool readFromInstrument (MidiOutputPort* output, InstrumentSequences& read)
    {
        if (! getSetting (output, DeviceSetting::GLEN, read.gateLength))
            return false;

        if (! getSetting (output, DeviceSetting::STEP, read.stepSize))
            return false;

        for (int index = 0; index < numSequences; ++index)
        {
            auto& steps = read.sequences[(size_t) index];
            steps.fill (0);

            if (! readSequence (output, index, steps.data()))
                return false;
        }

        return true;
    }

    bool writeSequenceFile (const juce::File& file, const SequenceSet& sequences)
    {
        const auto text = formatSequenceFile (sequences).toStdString();
        return replaceFileWithData (file, text.data(), text.size());
    }

    /** Returns the MIDI files that could not be written. */
    juce::StringArray writeMidiFiles (const juce::File& sequenceFile, const SequenceSet& sequences,
                                      const MidiExportTiming& timing)
    {
        juce::StringArray failed;

        for (int index = 0; index < numSequences; ++index)
        {
            const auto target = getSequenceMidiFile (sequenceFile, index + 1);

            if (! writeSequenceMidiFile (target, sequences[(size_t) index].data(), timing))
                failed.add (target.getFullPathName());
        }

        return failed;
    }

    void showSaveError (const juce::String& message)
    {
        Platform::dialogs().showMessageBox (DialogIcon::warning, saveErrorTitle, message);
    }
} // namespace

juce::File sequenceFileToSave (const juce::File& chosen) { return confirmSaveTarget (chosen, { "tvseq" }); }

bool askForMidiFiles (const juce::File& sequenceFile)
{
    if (! Platform::dialogs().showOkCancelBox (DialogIcon::warning, "Generate MidiFiles?",
                                               "You are about to save your sequences as a .tvseq file.\n"
                                               "Would you like to generate separate MidiFiles too?"))
        return false;

    juce::Array<juce::File> midiFiles;

    for (int number = 1; number <= numSequences; ++number)
        midiFiles.add (getSequenceMidiFile (sequenceFile, number));

    return confirmReplacingCompanions (midiFiles, "Replace MidiFiles?",
                                       "Cancel saves the sequence file without MidiFiles.");
}

bool writeSequenceSet (const juce::File& file, const SequenceSet& sequences, uint8 stepSize, uint8 gateLength,
                       bool withMidiFiles)
{
    if (! writeSequenceFile (file, sequences))
    {
        showSaveError ("Unable to write the sequence file:\n" + file.getFullPathName()
                       + "\nAny earlier file of that name has been left as it was.");
        return false;
    }

    if (! withMidiFiles)
        return true;

    const auto failed = writeMidiFiles (file, sequences, MidiExportTiming::fromSettings (stepSize, gateLength));

    if (! failed.isEmpty())
        showSaveError ("The sequence file has been saved, but these MidiFiles could not be written:\n"
                       + failed.joinIntoString ("\n"));

    return true;
}

void saveSequenceFile (MidiOutputPort* output, SequenceOperationObserver* observer)
{
    auto& dialogs = Platform::dialogs();
    const auto chosen = dialogs.browseForFileToSave ("Save Sequences", filePattern);

    const auto file = sequenceFileToSave (chosen);

    if (file == juce::File())
        return;

    const bool withMidiFiles = askForMidiFiles (file);

    InstrumentSequences read;

    if (! readFromInstrument (output, read))
    {
        showSaveError ("Unable to read the sequences from Tarnovelle. Nothing has been saved.");
        return;
    }

    if (observer != nullptr)
        observer->sequencesRead (read.sequences, "Read when saving " + file.getFileName());

    writeSequenceSet (file, read.sequences, read.stepSize, read.gateLength, withMidiFiles);
}

void loadSequenceFile (MidiOutputPort* output, SequenceOperationObserver* observer)
{
    auto& dialogs = Platform::dialogs();
    const auto file = dialogs.browseForFileToOpen ("Load Sequences", filePattern);

    if (file == juce::File())
        return;

    const auto content = readSequenceFileForUser (file, loadErrorTitle, "Nothing has been loaded.");

    if (! content.has_value())
        return;

    if (observer != nullptr && ! observer->aboutToOverwrite (output, "Before loading " + file.getFileName()))
        return;

    WrittenSequences written;

    for (const auto& sequence : content->sequences)
    {
        sendSequence (output, sequence.number - 1, (int) sequence.steps.size(), sequence.steps.data());
        StepBuffer steps{};
        std::copy (sequence.steps.begin(), sequence.steps.end(), steps.begin());
        written.emplace_back (sequence.number - 1, steps);
    }

    if (observer != nullptr)
        observer->overwritten ("Loaded " + file.getFileName(), written);
}

std::optional<SequenceFileContent> readSequenceFileForUser (const juce::File& file, const juce::String& readErrorTitle,
                                                            const juce::String& readErrorEnding)
{
    auto& dialogs = Platform::dialogs();
    std::string text;
    juce::String message;
    const auto read = readSequenceFileText (file, text, message);

    if (read == SequenceFileRead::unreadable)
    {
        dialogs.showMessageBox (DialogIcon::warning, readErrorTitle, message + "\n" + readErrorEnding);
        return std::nullopt;
    }

    auto content = read == SequenceFileRead::ok ? parseSequenceFile (text) : SequenceFileContent{ {}, message };

    if (! content.isValid())
    {
        dialogs.showMessageBox (DialogIcon::none, "Sequence file parsing error", content.error);
        return std::nullopt;
    }

    return content;
}

} // namespace tarnovelle
