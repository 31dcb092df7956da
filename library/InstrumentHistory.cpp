#include "library/InstrumentHistory.h"

#include "editor/SequenceEditorTransfer.h"
#include "platform/Platform.h"
#include "sequences/SequenceTransfer.h"

namespace tarnovelle
{

namespace
{
    const char* const title = "History";
    const juce::String ellipsis (juce::CharPointer_UTF8 ("\xe2\x80\xa6"));

    bool askToGoOnWithoutCopy (const juce::String& reason)
    {
        return Platform::dialogs().showOkCancelBox (DialogIcon::warning, title, reason + "\nGo on without a copy?");
    }
} // namespace

InstrumentHistory::InstrumentHistory (const juce::File& libraryFile)
{
    const auto opened = store.open (libraryFile);
    auto problem = opened.problem;

    if (opened.access == SnapshotStore::Access::unavailable)
        problem = "The history library cannot be opened or created:\n" + libraryFile.getFullPathName() + "\n("
                  + opened.problem + ")\nNo snapshots of Tarnovelle's sequences are kept in this run.";

    if (problem.isNotEmpty())
        Platform::dialogs().showMessageBox (DialogIcon::warning, title, problem);

    // The user is told once: the question before each overwriting operation says the rest.
    toldCannotKeep = opened.access != SnapshotStore::Access::writable;
}

InstrumentHistory::~InstrumentHistory() = default;

juce::File InstrumentHistory::getDefaultLibraryFile()
{
    auto dataHome = juce::SystemStats::getEnvironmentVariable ("XDG_DATA_HOME", {});
    const auto folder = dataHome.isNotEmpty() && juce::File::isAbsolutePath (dataHome) ? juce::File (dataHome)
                                                                                       : juce::File ("~/.local/share");
    return folder.getChildFile ("Tarnovelle Connection").getChildFile ("library.sqlite");
}

juce::File InstrumentHistory::getLibraryFileBeside (const juce::File& instrumentStateFile)
{
    return instrumentStateFile.getSiblingFile ("library.sqlite");
}

void InstrumentHistory::addListener (Listener* listener) { listeners.push_back (listener); }

void InstrumentHistory::removeListener (Listener* listener)
{
    listeners.erase (std::remove (listeners.begin(), listeners.end(), listener), listeners.end());
}

void InstrumentHistory::notifyChanged (juce::int64 addedId)
{
    for (auto* listener : std::vector<Listener*> (listeners))
        listener->historyChanged (addedId);
}

//==============================================================================
void InstrumentHistory::noteSetting (DeviceSetting setting, uint8 value) { knownSettings[(size_t) setting] = value; }

void InstrumentHistory::noteConnected (const Snapshot::FirmwareVersion& version)
{
    // Another instrument may be on the other end now: what was known is known no longer.
    knownSettings = {};
    firmware = version;
}

Snapshot InstrumentHistory::makeSnapshot (const SequenceSet& sequences, const juce::String& cause) const
{
    Snapshot snapshot;

    for (int index = 0; index < numSequences; ++index)
        snapshot.setSequence (index, sequences[(size_t) index].data());

    snapshot.settings = knownSettings;
    snapshot.firmware = firmware;
    snapshot.time = juce::Time::currentTimeMillis();
    snapshot.cause = cause;
    return snapshot;
}

juce::int64 InstrumentHistory::record (const SequenceSet& sequences, const juce::String& cause)
{
    return add (makeSnapshot (sequences, cause));
}

juce::int64 InstrumentHistory::add (Snapshot snapshot)
{
    const auto id = store.add (snapshot);

    if (id == 0)
    {
        tellOnceCannotKeep();
        return 0;
    }

    lastTakenId = id;
    notifyChanged (id);
    return id;
}

void InstrumentHistory::tellOnceCannotKeep()
{
    if (toldCannotKeep)
        return;

    toldCannotKeep = true;
    Platform::dialogs().showMessageBox (DialogIcon::warning, title,
                                        "The history library cannot be written:\n" + store.getLastError()
                                            + "\nNo snapshots of Tarnovelle's sequences are kept until it can be.");
}

void InstrumentHistory::readAndRecord (MidiOutputPort* output, const juce::String& cause)
{
    SequenceSet read{};

    if (store.isWritable() && readEditorSequences (output, read))
        record (read, cause);
}

bool InstrumentHistory::readUnderProgressWindow (MidiOutputPort* output, SequenceSet& read)
{
    bool complete = false;
    ProgressWindowSpec spec;
    spec.title = "Reading Sequences";
    spec.statusMessage = "Keeping a copy of the sequences" + ellipsis;
    spec.work = [output, &read, &complete] (ProgressReporter& progress) {
        complete = readEditorSequences (output, read, &progress);
    };

    Platform::dialogs().runWithProgressWindow (spec);
    return complete;
}

//==============================================================================
bool InstrumentHistory::aboutToOverwrite (MidiOutputPort* output, const juce::String& cause)
{
    copyBeforeOverwrite.reset();

    if (! store.isWritable())
        return askToGoOnWithoutCopy ("The history library cannot be written, so no copy of Tarnovelle's "
                                     "sequences can be kept.");

    SequenceSet read{};

    // The instrument's own keys may have changed its sequences since the last read.
    if (output == nullptr || ! readUnderProgressWindow (output, read))
        return askToGoOnWithoutCopy ("Tarnovelle's sequences could not be read, so no copy of them can be kept.");

    if (record (read, cause) == 0)
        return askToGoOnWithoutCopy ("The copy of Tarnovelle's sequences could not be kept.");

    copyBeforeOverwrite = read;
    return true;
}

void InstrumentHistory::overwritten (const juce::String& cause, const WrittenSequences& written)
{
    // What the instrument holds now is the copy with these sequences replaced; without a copy
    // it is known only when all eight were written.
    const auto copy = copyBeforeOverwrite;
    copyBeforeOverwrite.reset();

    if (! store.isWritable() || (! copy.has_value() && written.size() < (size_t) numSequences))
        return;

    auto now = copy.value_or (SequenceSet{});

    for (const auto& [index, steps] : written)
        now[(size_t) index] = steps;

    record (now, cause);
}

void InstrumentHistory::sequencesRead (const SequenceSet& sequences, const juce::String& cause)
{
    record (sequences, cause);
}

//==============================================================================
void InstrumentHistory::restoreToInstrument (MidiOutputPort* output, juce::int64 id, int sequenceIndex)
{
    const auto snapshot = store.get (id);

    if (! snapshot.has_value())
        return;

    if (! snapshot->isReadable())
    {
        Platform::dialogs().showMessageBox (DialogIcon::warning, "Restore Snapshot",
                                            "Snapshot " + juce::String (id) + " cannot be read: "
                                                + snapshot->describeContentProblem() + ".\nNothing has been restored.");
        return;
    }

    const bool all = sequenceIndex < 0 || sequenceIndex >= numSequences;
    const juce::String what = all ? "all eight sequences" : "sequence " + juce::String (sequenceIndex + 1);

    enum
    {
        restore,
        cancel
    };

    if (Platform::dialogs().ask ({ DialogIcon::warning,
                                   "Restore Snapshot",
                                   "Restore " + what + " of snapshot " + juce::String (id)
                                       + " to Tarnovelle?\nThis replaces what Tarnovelle holds; a copy of it is kept "
                                         "first.",
                                   { "Restore", "Cancel" },
                                   cancel,
                                   cancel })
        != restore)
        return;

    if (! aboutToOverwrite (output, "Before restoring snapshot " + juce::String (id)))
        return;

    WrittenSequences written;

    for (int index = 0; index < numSequences; ++index)
    {
        if (! all && index != sequenceIndex)
            continue;

        const auto& steps = snapshot->sequences[(size_t) index];
        sendSequence (output, index, getSequenceLength (steps), steps.data());
        written.emplace_back (index, steps);
    }

    overwritten ((all ? juce::String ("Restored from snapshot ")
                      : "Restored sequence " + juce::String (sequenceIndex + 1) + " from snapshot ")
                     + juce::String (id),
                 written);
}

} // namespace tarnovelle
