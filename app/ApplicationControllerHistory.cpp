// The action hub's part in keeping the instrument's history: every read is kept, and every
// operation that overwrites the instrument's sequences is preceded by a copy.

#include "app/ApplicationController.h"

#include "editor/SequenceEditorTransfer.h"
#include "firmware/FirmwareFile.h"

#include <algorithm>

namespace tarnovelle
{

namespace
{
    juce::String listNumbers (const std::vector<int>& indices)
    {
        juce::StringArray numbers;

        for (auto index : indices)
            numbers.add (juce::String (index + 1));

        return numbers.joinIntoString (", ");
    }
} // namespace

bool ApplicationController::keepCopyBeforeFirmwareUpdate()
{
    if (history == nullptr)
        return true;

    using FirmwareFile::version;
    const auto cause =
        "Before firmware update to " + Snapshot::formatFirmware ({ version[0], version[1], version[2], version[3] });
    return history->aboutToOverwrite (connected ? output.get() : nullptr, cause);
}

void ApplicationController::readEditorSequencesKeepingHistory()
{
    if (readSequencesIntoEditor (output.get(), sequenceEditorModel) && history != nullptr)
    {
        SequenceSet read{};

        for (int index = 0; index < numSequences; ++index)
            read[(size_t) index] = sequenceEditorModel.getSequence (index).toStepBuffer();

        history->record (read, "Read by the editor");
    }
}

void ApplicationController::sendEditorSequencesKeepingHistory()
{
    const auto changed = sequenceEditorModel.getChangedIndices();

    if (history == nullptr || changed.empty())
        return sendEditorSequences();

    const auto numbers = listNumbers (changed);

    if (! history->aboutToOverwrite (output.get(), "Before sending from the editor: " + numbers))
        return;

    sendEditorSequences();

    // What the instrument confirmed has lost its changed mark: that is what was written.
    const auto stillChanged = sequenceEditorModel.getChangedIndices();
    std::vector<int> sent;
    WrittenSequences written;

    for (auto index : changed)
    {
        if (std::find (stillChanged.begin(), stillChanged.end(), index) != stillChanged.end())
            continue;

        sent.push_back (index);
        written.emplace_back (index, sequenceEditorModel.getSequence (index).toStepBuffer());
    }

    if (! written.empty())
        history->overwritten ("Sent from the editor: " + listNumbers (sent), written);
}

void ApplicationController::carryOutHistoryAction (Action action, const juce::String& message)
{
    if (action == Action::openHistory)
    {
        if (historyHost != nullptr)
            historyHost->openHistory();

        return;
    }

    if (history == nullptr)
        return;

    if (action == Action::readForComparison)
    {
        history->readAndRecord (output.get(), "Read for comparison");
        return;
    }

    // "RSTR 12" restores all eight sequences of snapshot 12, "RSTR 12 3" its sequence 3.
    const auto words = juce::StringArray::fromTokens (message.substring (5), " ", "");
    const int sequenceIndex = words.size() > 1 ? words[1].getIntValue() - 1 : -1;
    history->restoreToInstrument (output.get(), words[0].getLargeIntValue(), sequenceIndex);
}

} // namespace tarnovelle
