#include "editor/SequenceEditorTransfer.h"

#include "platform/Platform.h"
#include "protocol/DeviceSettings.h"
#include "sequences/SequenceTransfer.h"

namespace tarnovelle
{

namespace
{
    const char* const editorTitle = "Sequence Editor";

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

    /** The read under its progress window; tells the user when it did not finish. */
    bool readUnderProgressWindow (MidiOutputPort* output, EditorRead& read, const juce::String& whatIsKept)
    {
        ProgressWindowSpec spec;
        spec.title = "Reading Sequences";
        spec.statusMessage = "Reading the sequences from Tarnovelle...";
        spec.work = [output, &read] (ProgressReporter& progress) {
            read.complete =
                readEditorSequences (output, read.sequences, &progress) && readTimingSettings (output, read);
            read.cancelled = progress.threadShouldExit();
        };

        Platform::dialogs().runWithProgressWindow (spec);

        // The user who cancels the read knows it did not finish.
        if (! read.complete && ! read.cancelled)
            Platform::dialogs().showMessageBox (DialogIcon::warning, editorTitle,
                                                "Unable to read the sequences from Tarnovelle. " + whatIsKept);

        return read.complete;
    }

    juce::String sayInstrumentDiffers (const std::vector<int>& moved)
    {
        return "Tarnovelle's " + describeSequences (moved) + " changed outside the editor";
    }

    bool holdsNotes (const EditedSequence& sequence)
    {
        for (int i = 0; i < sequence.length; ++i)
            if (! sequence.isRest (i))
                return true;

        return false;
    }

    /** The changed sequences whose send would empty, or more than halve, what the instrument
        holds with notes.
    */
    std::vector<int> findDestructiveSends (const SequenceEditorModel& model)
    {
        std::vector<int> destructive;

        for (auto index : model.getChangedIndices())
        {
            const auto& held = model.getInstrumentSequence (index);
            const int newLength = model.getSequence (index).length;

            if (holdsNotes (held) && (newLength == 0 || newLength * 2 < held.length))
                destructive.push_back (index);
        }

        return destructive;
    }

    bool confirmDestructiveSends (const SequenceEditorModel& model)
    {
        const auto destructive = findDestructiveSends (model);

        if (destructive.empty())
            return true;

        enum
        {
            sendAnyway,
            cancel
        };

        return Platform::dialogs().ask ({ DialogIcon::warning,
                                          "Send Sequences",
                                          "Sending would empty, or cut to less than half its length, "
                                              + describeSequences (destructive)
                                              + " on Tarnovelle, which now holds notes there.\nSend anyway?",
                                          { "Send Anyway", "Cancel" },
                                          cancel,
                                          cancel })
               == sendAnyway;
    }

    /** Brings a stale picture of the instrument up to date; false when nothing may be sent. */
    bool refreshBeforeSending (MidiOutputPort* output, SequenceEditorModel& model)
    {
        if (! model.isInstrumentStale())
            return true;

        EditorRead read;

        if (! readUnderProgressWindow (output, read, "Nothing has been sent."))
        {
            model.setNotice ("Nothing sent: Tarnovelle's sequences could not be read first");
            return false;
        }

        const auto moved = model.refreshInstrumentPicture (read.sequences);

        if (moved.empty())
            return true;

        const auto what = sayInstrumentDiffers (moved);
        model.setNotice (what + ": nothing sent");
        Platform::dialogs().showMessageBox (
            DialogIcon::info, editorTitle,
            what
                + " since the editor last read them. Nothing has been sent: the editor now shows what "
                  "Tarnovelle holds, and marks changed every sequence that differs from it. Check them, then "
                  "send again.");
        return false;
    }
} // namespace

bool confirmReplacingUnsentChanges (const juce::String& question)
{
    const int replace = 0, cancel = 1;
    return Platform::dialogs().ask ({ DialogIcon::warning,
                                      unsentChangesTitle,
                                      question,
                                      { "Replace My Changes", "Cancel" },
                                      cancel,
                                      cancel })
           == replace;
}

juce::String describeSequences (const std::vector<int>& indices)
{
    juce::StringArray numbers;

    for (auto index : indices)
        numbers.add (juce::String (index + 1));

    if (numbers.size() == 1)
        return "sequence " + numbers[0];

    const auto last = numbers[numbers.size() - 1];
    numbers.remove (numbers.size() - 1);
    return "sequences " + numbers.joinIntoString (", ") + " and " + last;
}

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

    if (! readUnderProgressWindow (output, read, "The editor keeps the sequences it held."))
    {
        model.setNotice (read.cancelled ? "Read cancelled" : "Read failed: Tarnovelle did not answer");
        return false;
    }

    model.setStepSize (read.stepSize);
    model.setGateLength (read.gateLength);
    const auto moved = model.refreshInstrumentPicture (read.sequences);
    const auto changed = model.getChangedIndices();
    auto notice =
        moved.empty() ? juce::String ("Read the eight sequences from Tarnovelle") : sayInstrumentDiffers (moved);

    if (! changed.empty())
        notice << "; the editor keeps its unsent changes to " << describeSequences (changed);

    model.setNotice (notice);
    return true;
}

void sendChangedSequences (MidiOutputPort* output, SequenceEditorModel& model)
{
    if (! refreshBeforeSending (output, model))
        return;

    const auto changed = model.getChangedIndices();

    if (changed.empty())
    {
        model.setNotice ("Nothing to send: the editor holds what Tarnovelle holds");
        return;
    }

    if (! confirmDestructiveSends (model))
    {
        model.setNotice ("Nothing sent");
        return;
    }

    std::vector<int> sent;

    for (auto index : changed)
    {
        const auto& sequence = model.getSequence (index);
        const auto steps = sequence.toStepBuffer();
        sendSequence (output, index, sequence.length, steps.data());

        // Writes are not acknowledged: reading the sequence back is what shows it arrived.
        StepBuffer readBack;
        readBack.fill (endOfSequenceStep);

        if (! readSequence (output, index, readBack.data()))
        {
            model.markInstrumentStale();
            const auto done = sent.empty() ? juce::String ("Nothing confirmed") : "Sent " + describeSequences (sent);
            model.setNotice (done + "; Tarnovelle did not confirm " + describeSequences ({ index }));
            Platform::dialogs().showMessageBox (DialogIcon::warning, editorTitle,
                                                "Tarnovelle did not confirm " + describeSequences ({ index })
                                                    + ". The editor keeps it, and every sequence not yet "
                                                      "confirmed, marked changed.");
            return;
        }

        model.confirmSent (index, readBack);
        sent.push_back (index);
    }

    model.setNotice ("Sent " + describeSequences (sent));
}

} // namespace tarnovelle
