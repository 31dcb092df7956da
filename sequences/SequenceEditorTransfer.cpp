#include "sequences/SequenceEditorTransfer.h"

#include "platform/Platform.h"
#include "protocol/DeviceSettings.h"
#include "sequences/SequenceTransfer.h"

namespace tarnovelle
{

namespace
{
    struct EditorRead
    {
        SequenceSet sequences{};
        uint8 stepSize = 0;
        uint8 gateLength = 0;
        bool complete = false;
        bool cancelled = false;
    };

    bool readTimingSettings (MidiOutputPort* output, EditorRead& read)
    {
        return getSetting (output, DeviceSetting::STEP, read.stepSize)
               && getSetting (output, DeviceSetting::GLEN, read.gateLength);
    }
} // namespace

bool readEditorSequences (MidiOutputPort* output, SequenceSet& read, ProgressReporter* progress)
{
    for (int index = 0; index < numSequences; ++index)
    {
        if (progress != nullptr)
        {
            if (progress->threadShouldExit())
                return false;

            progress->setProgress ((double) index / numSequences);
        }

        auto& steps = read[(size_t) index];
        steps.fill (endOfSequenceStep);

        if (! readSequence (output, index, steps.data()))
            return false;
    }

    return true;
}

bool readSequencesIntoEditor (MidiOutputPort* output, SequenceEditorModel& model)
{
    EditorRead read;

    ProgressWindowSpec spec;
    spec.title = "Reading Sequences";
    spec.statusMessage = "Reading the sequences from Tarnovelle...";
    spec.work = [output, &read] (ProgressReporter& progress) {
        read.complete = readEditorSequences (output, read.sequences, &progress) && readTimingSettings (output, read);
        read.cancelled = progress.threadShouldExit();
    };

    Platform::dialogs().runWithProgressWindow (spec);

    // The user who cancels the read knows it did not finish.
    if (read.cancelled)
        return false;

    if (! read.complete)
    {
        Platform::dialogs().showMessageBox (DialogIcon::warning, "Sequence Editor",
                                            "Unable to read the sequences from Tarnovelle. The editor keeps the "
                                            "sequences it held.");
        return false;
    }

    model.setStepSize (read.stepSize);
    model.setGateLength (read.gateLength);
    model.takeReadSequences (read.sequences);
    return true;
}

void sendChangedSequences (MidiOutputPort* output, SequenceEditorModel& model)
{
    for (auto index : model.getChangedIndices())
    {
        const auto& sequence = model.getSequence (index);
        const auto steps = sequence.toStepBuffer();
        sendSequence (output, index, sequence.length, steps.data());
        model.markSent (index);
    }
}

} // namespace tarnovelle
