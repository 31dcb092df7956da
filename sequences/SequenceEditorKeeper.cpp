#include "sequences/SequenceEditorKeeper.h"

#include "platform/Platform.h"

namespace tarnovelle
{

namespace
{
    juce::var sequenceToVar (const EditedSequence& sequence)
    {
        juce::Array<juce::var> steps;

        for (int i = 0; i < sequence.length; ++i)
            steps.add ((int) sequence.steps[(size_t) i]);

        return steps;
    }

    juce::var setToVar (const EditedSequenceSet& set)
    {
        juce::Array<juce::var> sequences;

        for (const auto& sequence : set)
            sequences.add (sequenceToVar (sequence));

        return sequences;
    }

    /** Eight lists of at most 64 steps from 1 to 127, or nothing. */
    std::optional<EditedSequenceSet> setFromVar (const juce::var& value)
    {
        const auto* lists = value.getArray();

        if (lists == nullptr || lists->size() != numSequences)
            return std::nullopt;

        EditedSequenceSet set;

        for (int i = 0; i < numSequences; ++i)
        {
            const auto* steps = lists->getReference (i).getArray();

            if (steps == nullptr || steps->size() > maxSequenceSteps)
                return std::nullopt;

            std::vector<uint8> read;

            for (const auto& step : *steps)
            {
                if (! step.isInt() || (int) step < 1 || (int) step > restStep)
                    return std::nullopt;

                read.push_back ((uint8) (int) step);
            }

            set[(size_t) i] = EditedSequence::fromSteps (read);
        }

        return set;
    }
} // namespace

SequenceEditorKeeper::SequenceEditorKeeper (SequenceEditorModel& modelToKeep, const juce::File& fileToUse)
    : model (modelToKeep)
    , file (fileToUse)
{
    model.addListener (this);
}

SequenceEditorKeeper::~SequenceEditorKeeper()
{
    model.removeListener (this);
    flush();
}

juce::File SequenceEditorKeeper::getDefaultFile()
{
    const auto dataHome = juce::SystemStats::getEnvironmentVariable ("XDG_DATA_HOME", {});
    const auto folder =
        dataHome.isNotEmpty() && juce::File::isAbsolutePath (dataHome)
            ? juce::File (dataHome)
            : juce::File::getSpecialLocation (juce::File::userHomeDirectory).getChildFile (".local/share");
    return folder.getChildFile ("Tarnovelle Connection").getChildFile ("Sequence Editor.json");
}

juce::String SequenceEditorKeeper::toJson (const SequenceEditorModel::WorkingSet& workingSet, juce::Time savedAt)
{
    auto* object = new juce::DynamicObject();
    object->setProperty ("savedAt", savedAt.toISO8601 (true));
    object->setProperty ("selected", workingSet.selected);
    object->setProperty ("cursor", workingSet.cursor);
    object->setProperty ("instrumentKnown", workingSet.instrumentKnown);
    object->setProperty ("sequences", setToVar (workingSet.sequences));
    object->setProperty ("instrument", setToVar (workingSet.instrument));
    return juce::JSON::toString (juce::var (object), true);
}

std::optional<SequenceEditorKeeper::Kept> SequenceEditorKeeper::read (const juce::File& fileToRead)
{
    const auto json = juce::JSON::parse (fileToRead.loadFileAsString());
    const auto sequences = setFromVar (json["sequences"]);
    const auto instrument = setFromVar (json["instrument"]);

    if (! json.isObject() || ! sequences || ! instrument)
        return std::nullopt;

    Kept kept;
    kept.workingSet.sequences = *sequences;
    kept.workingSet.instrument = *instrument;
    kept.workingSet.instrumentKnown = (bool) json["instrumentKnown"];
    kept.workingSet.selected = juce::jlimit (0, numSequences - 1, (int) json["selected"]);
    kept.workingSet.cursor = juce::jlimit (0, maxSequenceSteps - 1, (int) json["cursor"]);
    kept.savedAt = juce::Time::fromISO8601 (json["savedAt"].toString());
    return kept;
}

void SequenceEditorKeeper::offerKeptChanges()
{
    const auto kept = read (file);

    if (! kept || ! kept->workingSet.hasUnsentChanges())
    {
        offered = true;
        return;
    }

    const auto when = kept->savedAt.toString (true, true, false, true);

    const int keepThem = 0;

    if (Platform::dialogs().ask ({ DialogIcon::warning,
                                   "Sequence Editor",
                                   "The sequence editor holds unsent changes from " + when + ". Keep them?",
                                   { "Keep Them", "Discard Them" },
                                   keepThem })
        == keepThem)
        model.restoreWorkingSet (kept->workingSet);

    // Either way the file now keeps the editor's own set; a no forgets the old one.
    offered = true;
    flush();
}

void SequenceEditorKeeper::sequenceEditorModelChanged()
{
    if (! isTimerRunning())
        startTimer (writeDelayMs);
}

void SequenceEditorKeeper::timerCallback()
{
    stopTimer();
    flush();
}

void SequenceEditorKeeper::flush()
{
    stopTimer();

    // Until the kept changes have been offered, the file holds them: nothing overwrites it.
    if (! offered)
        return;

    // The time of writing is left out of the comparison: only a change is written.
    const auto workingSet = model.getWorkingSet();
    const auto content = toJson (workingSet, {});

    if (content == lastWritten && file.existsAsFile())
        return;

    file.getParentDirectory().createDirectory();
    juce::TemporaryFile temporary (file);

    if (temporary.getFile().replaceWithText (toJson (workingSet, juce::Time::getCurrentTime()))
        && temporary.overwriteTargetFileWithTemporary())
        lastWritten = content;
}

} // namespace tarnovelle
