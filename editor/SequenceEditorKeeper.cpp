#include "editor/SequenceEditorKeeper.h"

#include "platform/Platform.h"
#include "platform/QuitRequest.h"
#include "platform/WholeFile.h"

#include <cmath>

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

    /** True when the file keeps the working set whose JSON, without its time, is `content`. */
    bool isKeptIn (const juce::File& file, const juce::String& content)
    {
        const auto kept = SequenceEditorKeeper::read (file);
        return kept && SequenceEditorKeeper::toJson (kept->workingSet, {}) == content;
    }

    /** The keeper's own file is a few kilobytes of ASCII, nested three deep, its numbers short:
        anything else is refused before JUCE's JSON reader sees it, which recurses once per
        bracket (a file of brackets would overflow the stack at every start), overflows on runs
        of digits longer than nine (an exponent's, in an int) and wraps integers of 19 digits
        around into small ones, reads on past a 0 byte, and reads a stray byte of a multi-byte
        character as the ASCII character of its low bits (0xb7 as a 7).
    */
    bool isShapedLikeAKeptFile (const juce::MemoryBlock& bytes)
    {
        constexpr int maxDepth = 3, maxDigits = 9;
        int depth = 0, digits = 0;

        for (auto byte : bytes)
        {
            depth += (byte == '[' || byte == '{') ? 1 : (byte == ']' || byte == '}') ? -1 : 0;
            digits = (byte >= '0' && byte <= '9') ? digits + 1 : 0;

            if ((uint8) byte == 0 || (uint8) byte >= 0x80 || depth > maxDepth || digits > maxDigits)
                return false;
        }

        return true;
    }

    /** A number of the file held within lowest and highest, a number beyond int's range too
        (converting that to an int would be undefined).
    */
    int readWithin (const juce::var& value, int lowest, int highest)
    {
        const auto number = (double) value;
        return std::isnan (number) ? lowest : (int) juce::jlimit ((double) lowest, (double) highest, number);
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
    stopTimer();

    // The last chance: a failure can no longer be told.
    if (offered)
        writeIfChanged();
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
    constexpr size_t maxFileSize = 64 * 1024;
    const auto bytes = readFileWhole (fileToRead, maxFileSize);

    if (bytes.isEmpty() || ! isShapedLikeAKeptFile (bytes))
        return std::nullopt;

    const auto json = juce::JSON::parse (bytes.toString());
    const auto sequences = setFromVar (json["sequences"]);
    const auto instrument = setFromVar (json["instrument"]);

    if (! json.isObject() || ! sequences || ! instrument)
        return std::nullopt;

    Kept kept;
    kept.workingSet.sequences = *sequences;
    kept.workingSet.instrument = *instrument;
    kept.workingSet.instrumentKnown = (bool) json["instrumentKnown"];
    kept.workingSet.selected = readWithin (json["selected"], 0, numSequences - 1);
    kept.workingSet.cursor = readWithin (json["cursor"], 0, maxSequenceSteps - 1);
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
    const bool keep =
        Platform::dialogs().ask ({ DialogIcon::warning,
                                   "Sequence Editor",
                                   "The sequence editor holds unsent changes from " + when + ". Keep them?",
                                   { "Keep Them", "Discard Them" },
                                   keepThem })
        == keepThem;

    // A quit, before the question or while it is open, is no answer: the file keeps the
    // changes for the next start, which asks again.
    if (QuitRequest::isRaised())
        return;

    if (keep)
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

    const auto written = writeIfChanged();

    if (written.wasOk())
    {
        failing = false;
        return;
    }

    // Tried again, changed or not; told once until a write succeeds.
    startTimer (retryDelayMs);

    if (! failing)
    {
        failing = true;
        tellCannotKeep (written.getErrorMessage());
    }
}

juce::Result SequenceEditorKeeper::writeIfChanged()
{
    // The time of writing is left out of the comparison: only a change is written.
    const auto workingSet = model.getWorkingSet();
    const auto content = toJson (workingSet, {});

    // A second instance that does not see this one (started in a sandbox) may have replaced
    // the file since: it is left alone only while it still holds this working set.
    if (content == lastWritten && isKeptIn (file, content))
        return juce::Result::ok();

    const auto written = replaceFileWhole (file, toJson (workingSet, juce::Time::getCurrentTime()));

    if (written.wasOk())
        lastWritten = content;

    return written;
}

void SequenceEditorKeeper::tellCannotKeep (const juce::String& reason)
{
    model.setNotice ("Unsent changes cannot be kept on disk");
    Platform::dialogs().showMessageBox (DialogIcon::warning, "Sequence Editor",
                                        "The sequence editor's work cannot be written to\n" + file.getFullPathName()
                                            + "\n(" + reason
                                            + ")\nUnsent changes are not kept for the next start until it can be.");
}

} // namespace tarnovelle
