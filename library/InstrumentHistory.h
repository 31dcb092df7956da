#pragma once

#include "library/SnapshotStore.h"
#include "sequences/SequenceOperationObserver.h"

namespace tarnovelle
{

/** The instrument's history as the application keeps it: takes the snapshots, guards every
    operation that overwrites the instrument's sequences with a copy taken first, and tells
    the user, through Platform's dialogs, when the library cannot keep them.

    Everything runs on the message thread, which is the only one that touches the store.
*/
class InstrumentHistory final : public SequenceOperationObserver
{
public:
    class Listener
    {
    public:
        virtual ~Listener() = default;

        /** A snapshot was added (its id), changed or deleted (0). */
        virtual void historyChanged (juce::int64 addedId) = 0;
    };

    /** Opens the library at this file, telling the user of a damaged, newer or unwritable one. */
    explicit InstrumentHistory (const juce::File& libraryFile);
    ~InstrumentHistory() override;

    /** `$XDG_DATA_HOME/Tarnovelle Connection/library.sqlite`, or ~/.local/share/... */
    static juce::File getDefaultLibraryFile();

    /** The library beside the emulated instrument's memory file. */
    static juce::File getLibraryFileBeside (const juce::File& instrumentStateFile);

    SnapshotStore& getStore() noexcept { return store; }

    void addListener (Listener* listener);
    void removeListener (Listener* listener);

    //==============================================================================
    // What the program learns about the instrument.
    void noteSetting (DeviceSetting setting, uint8 value);
    void noteConnected (const Snapshot::FirmwareVersion& firmware);

    /** Reads the eight sequences, without a window, and keeps them ("Read at connection"). */
    void readAndRecord (MidiOutputPort* output, const juce::String& cause);

    /** Keeps the sequences with what is known of the instrument; returns the id, 0 if none. */
    juce::int64 record (const SequenceSet& sequences, const juce::String& cause);

    /** Adds a snapshot as it is (an import); returns the id, 0 if it could not be kept. */
    juce::int64 add (Snapshot snapshot);

    /** Asks, then writes the snapshot's sequences (all, or the one of index 0 to 7) to the
        instrument, keeping a copy of what it held first.
    */
    void restoreToInstrument (MidiOutputPort* output, juce::int64 id, int sequenceIndex);

    /** The id of the last snapshot this program took, or 0. */
    juce::int64 getLastTakenId() const noexcept { return lastTakenId; }

    void notifyChanged (juce::int64 addedId = 0);

    //==============================================================================
    bool aboutToOverwrite (MidiOutputPort* output, const juce::String& cause) override;
    void overwritten (const juce::String& cause, const WrittenSequences& written) override;
    void sequencesRead (const SequenceSet& sequences, const juce::String& cause) override;

private:
    Snapshot makeSnapshot (const SequenceSet& sequences, const juce::String& cause) const;
    bool readUnderProgressWindow (MidiOutputPort* output, SequenceSet& read);
    void tellOnceCannotKeep();

    SnapshotStore store;
    Snapshot::Settings knownSettings{};
    std::optional<Snapshot::FirmwareVersion> firmware;

    /** The copy taken before the operation under way, to which its writes are applied. */
    std::optional<SequenceSet> copyBeforeOverwrite;

    juce::int64 lastTakenId = 0;
    bool toldCannotKeep = false;
    std::vector<Listener*> listeners;

    JUCE_DECLARE_NON_COPYABLE_WITH_LEAK_DETECTOR (InstrumentHistory)
};

} // namespace tarnovelle
