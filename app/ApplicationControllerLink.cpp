// The action hub's part in the link: what a plug-in asks of the instrument, carried out as one
// operation like any other, with the history's copy taken before a write.

#include "app/ApplicationController.h"

#include "editor/SequenceEditorTransfer.h"
#include "library/SnapshotComparison.h"
#include "sequences/SequenceTransfer.h"

namespace tarnovelle
{

namespace
{
    const juce::String linkCause ("Tarnovelle Recall");

    /** Passes the progress of a transfer on as counts of sequences. */
    class LinkProgress final : public ProgressReporter
    {
    public:
        explicit LinkProgress (const ApplicationController::LinkProgressCallback& callbackToUse)
            : callback (callbackToUse)
        {}

        void setProgress (double newProgress) override
        {
            if (callback && ! callback (juce::roundToInt (newProgress * numSequences), numSequences))
                stopped = true;
        }

        void setStatusMessage (const juce::String&) override {}
        bool threadShouldExit() const override { return stopped; }

    private:
        const ApplicationController::LinkProgressCallback& callback;
        bool stopped = false;
    };

    LinkMessage makeResult (juce::uint32 requestId, const juce::String& text)
    {
        LinkMessage result;
        result.type = LinkMessage::Type::result;
        result.requestId = requestId;
        result.text = text;
        return result;
    }

    const juce::String noAnswer ("Tarnovelle did not answer.");
} // namespace

bool ApplicationController::readKeptSet (KeptSet& read, const LinkProgressCallback& progress)
{
    LinkProgress reporter (progress);

    if (! readEditorSequences (output.get(), read.sequences, &reporter))
        return false;

    for (auto setting : getSettingReadOrder())
    {
        uint8 value = 0;

        if (! getSetting (output.get(), setting, value))
            return false;

        read.settings[(size_t) setting] = value;
        showSetting (setting, value);
        takeSettingForPlayback (setting, value);

        if (history != nullptr)
            history->noteSetting (setting, value);
    }

    return true;
}

LinkMessage ApplicationController::takeForLink (juce::uint32 requestId, const LinkProgressCallback& progress)
{
    KeptSet read;

    if (! readKeptSet (read, progress))
        return LinkMessage::makeError (requestId, LinkMessage::Error::failed, noAnswer);

    if (history != nullptr)
        history->record (read.sequences, "Taken by " + linkCause);

    auto result = makeResult (requestId, "Taken from Tarnovelle.");
    result.set = read;
    return result;
}

LinkMessage ApplicationController::sendForLink (juce::uint32 requestId, const KeptSet& set,
                                                const LinkProgressCallback& progress)
{
    if (history != nullptr && ! history->aboutToOverwrite (output.get(), "Before sending from " + linkCause))
        return LinkMessage::makeError (requestId, LinkMessage::Error::failed,
                                       "Nothing was sent: no copy of Tarnovelle's sequences could be kept.");

    WrittenSequences written;

    const auto stop = [&] (const juce::String& why) {
        if (history != nullptr && ! written.empty())
            history->overwritten ("Sent in part from " + linkCause, written);

        instrumentSequencesChanged();
        const auto sent = written.empty() ? juce::String ("No sequence was sent.")
                                          : "Sequences 1 to " + juce::String (written.size()) + " were sent.";
        return LinkMessage::makeError (requestId, LinkMessage::Error::interrupted, why + " " + sent);
    };

    // Each sequence is read back after it is written: the set counts as sent only when the
    // instrument holds it, and a cable pulled halfway says where the send stopped.
    for (int index = 0; index < numSequences; ++index)
    {
        const auto& steps = set.sequences[(size_t) index];
        sendSequence (output.get(), index, getSequenceLength (steps), steps.data());
        StepBuffer check{};

        if (! readSequence (output.get(), index, check.data()) || check != steps)
            return stop ("Tarnovelle did not confirm sequence " + juce::String (index + 1) + ".");

        written.emplace_back (index, steps);

        if (progress && ! progress (index + 1, numSequences) && index + 1 < numSequences)
            return stop ("The send was stopped.");
    }

    for (auto& info : getDeviceSettingTable())
    {
        if (const auto value = set.settings[(size_t) info.setting])
        {
            setSetting (output.get(), info.setting, *value);
            showSetting (info.setting, *value);
            takeSettingForPlayback (info.setting, *value);

            if (history != nullptr)
                history->noteSetting (info.setting, *value);
        }
    }

    if (history != nullptr)
        history->overwritten ("Sent from " + linkCause, written);

    instrumentSequencesChanged();
    return makeResult (requestId, "Sent to Tarnovelle.");
}

LinkMessage ApplicationController::compareForLink (juce::uint32 requestId, const KeptSet& set,
                                                   const LinkProgressCallback& progress)
{
    KeptSet held;

    if (! readKeptSet (held, progress))
        return LinkMessage::makeError (requestId, LinkMessage::Error::failed, noAnswer);

    Snapshot kept, instrument;
    kept.sequences = set.sequences;
    kept.settings = set.settings;
    instrument.sequences = held.sequences;
    instrument.settings = held.settings;
    const auto comparison = SnapshotComparison::compare (kept, instrument);

    auto result = makeResult (requestId, comparison.isEmpty() ? "Tarnovelle holds the kept set."
                                                              : "Tarnovelle differs from the kept set.");
    result.differs = ! comparison.isEmpty();
    result.lines = comparison.describe();
    return result;
}

LinkMessage ApplicationController::openForLink (juce::uint32 requestId, const KeptSet& set)
{
    // The set's sequences count as changes where they differ from what the instrument holds,
    // so the editor learns that first when it can.
    if (connected && sequenceEditorModel.isInstrumentStale() && ! instrumentStaysSilent())
        runAlone ([this] { readSequencesIntoEditor (output.get(), sequenceEditorModel); });

    std::vector<std::pair<int, EditedSequence>> replacements;

    for (int index = 0; index < numSequences; ++index)
        replacements.emplace_back (index, EditedSequence::fromStepBuffer (set.sequences[(size_t) index]));

    sequenceEditorModel.replaceSequences (replacements);

    if (sequenceEditorHost != nullptr)
        sequenceEditorHost->openSequenceEditor();

    return makeResult (requestId, "Opened in the sequence editor.");
}

LinkMessage ApplicationController::carryOutLinkRequest (const LinkMessage& request,
                                                        const LinkProgressCallback& progress)
{
    using Type = LinkMessage::Type;

    if (operationDepth > 0)
        return LinkMessage::makeError (request.requestId, LinkMessage::Error::busy,
                                       "Tarnovelle Connection is busy with another operation; try again when it ends.");

    // The editor takes a set whether or not the instrument is there.
    if (request.type == Type::openInEditor)
        return openForLink (request.requestId, *request.set);

    if (! connected || instrumentStaysSilent())
        return LinkMessage::makeError (request.requestId, LinkMessage::Error::absent,
                                       "Tarnovelle is not connected to Tarnovelle Connection.");

    LinkMessage answer;
    stopPlayback();

    runAlone ([&] {
        if (request.type == Type::take)
            answer = takeForLink (request.requestId, progress);
        else if (request.type == Type::send)
            answer = sendForLink (request.requestId, *request.set, progress);
        else
            answer = compareForLink (request.requestId, *request.set, progress);
    });

    return answer;
}

} // namespace tarnovelle
