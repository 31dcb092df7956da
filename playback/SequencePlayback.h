// playback/: the sequences heard on the instrument: the player, its thread, playback with preview and record, the
// transport controls.
#pragma once

#include "playback/SequencePlayerThread.h"

#include <array>

namespace tarnovelle
{

/** What the sequence editor plays and records: its selected sequence in a loop on the
    instrument, a preview of every note an edit sets, and notes played on the instrument's keys
    entered at the cursor.

    The hub owns it beside the editor's model: it gives it the output towards the instrument
    while connected, starts and stops playback, and passes the instrument's channel settings
    and incoming messages on. Everything but handleIncomingMessage() runs on the message thread.
*/
class SequencePlayback final : private SequenceEditorModel::Listener, private juce::Timer
{
public:
    static constexpr int lowestTempo = 20;
    static constexpr int highestTempo = 300;
    static constexpr int defaultTempo = 120;

    /** Notes from the keys that arrive this close together are a chord: its highest note is
        entered.
    */
    static constexpr double chordWindowMs = 40.0;

    class Listener
    {
    public:
        virtual ~Listener() = default;

        /** Playing, tempo, preview or record have changed. */
        virtual void sequencePlaybackChanged() = 0;
    };

    explicit SequencePlayback (SequenceEditorModel& model);
    ~SequencePlayback() override;

    void addListener (Listener* listener);
    void removeListener (Listener* listener);

    //==============================================================================
    // The hub.

    /** The output towards the instrument, or nullptr when disconnected (playback stops first). */
    void setOutput (MidiOutputPort* newOutput);

    /** Plays the editor's selected sequence from its first step; false without an output. */
    bool play();

    /** Stops playback and ends every note it or a preview started, then All Notes Off. */
    void stop();

    /** Stops playback and ends Record: before anything else is exchanged with the instrument,
        when the connection ends and when the instrument goes silent.
    */
    void stopAndEndRecording();

    /** Asked while playing or recording: false when the instrument has gone (unplugged), which
        stops playback and ends Record.
    */
    std::function<bool()> isInstrumentPresent;

    /** The instrument's MIN setting (16 is All, played on channel 1) and MOUT setting. */
    void setReceiveChannelSetting (uint8 value) noexcept;
    void setTransmitChannelSetting (uint8 value) noexcept;

    /** On the MIDI input's thread: notes on the transmit channel are queued while recording. */
    void handleIncomingMessage (const juce::MidiMessage& message);

    //==============================================================================
    // The editor.

    bool isPlaying() const noexcept { return thread.getPlayer().isPlaying(); }
    bool canPlay() const noexcept { return output != nullptr; }

    /** The step of the selected sequence now sounding, or -1. */
    int getPlayingStep() const noexcept;

    int getTempo() const noexcept { return tempo; }
    void setTempo (int newTempo);

    bool isPreviewOn() const noexcept { return previewOn; }
    void setPreviewOn (bool shouldPreview);

    bool isRecording() const noexcept { return recording.load (std::memory_order_acquire); }

    /** Record on or off; on needs the instrument's output (false without it). */
    bool setRecording (bool shouldRecord);

    /** The editor closes: nothing may be written into a sequence the user cannot see. */
    void endRecording();

    /** While recording: the step the next note goes to. */
    int getRecordStep() const noexcept { return recordStep; }

    /** While recording: a rest at the record step, then on to the next; Backspace steps back. */
    void enterRest();
    void stepBack();

    /** Enters the notes that have arrived, as the timer does (tests call it directly). */
    void enterArrivedNotes (double nowMs);

private:
    struct ArrivedNote
    {
        int note;
        double timeMs;
    };

    void sequenceEditorModelChanged() override;
    void timerCallback() override;
    void updateTimer();
    PlaybackTiming makeTiming() const;
    void previewEdit (const EditedSequence& before, const EditedSequence& after);
    void enter (int value);
    void notifyListeners();

    SequenceEditorModel& model;
    mutable SequencePlayerThread thread;
    MidiOutputPort* output = nullptr;
    std::atomic<int> receiveChannel{ 1 };
    std::atomic<int> transmitChannel{ 1 };
    int tempo = defaultTempo;
    bool previewOn = true;
    std::atomic<bool> recording{ false };

    int shownIndex = 0;
    EditedSequence shownSequence;
    int shownStepSize = 0, shownGateLength = 0;

    int recordStep = 0;
    bool entering = false;
    juce::AbstractFifo arrivedFifo{ 64 };
    std::array<ArrivedNote, 64> arrived{};
    std::optional<ArrivedNote> chord;

    std::vector<Listener*> listeners;

    JUCE_DECLARE_NON_COPYABLE_WITH_LEAK_DETECTOR (SequencePlayback)
};

} // namespace tarnovelle
