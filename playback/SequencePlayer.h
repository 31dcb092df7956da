#pragma once

#include "editor/SequenceEditorModel.h"
#include "platform/MidiPorts.h"

#include <atomic>
#include <functional>
#include <limits>
#include <mutex>
#include <vector>

namespace tarnovelle
{

/** The time playback is scheduled against, in milliseconds from a fixed origin. */
class PlaybackClock
{
public:
    virtual ~PlaybackClock() = default;
    virtual double nowMs() const = 0;
};

/** The system's monotonic high-resolution clock. */
class SteadyPlaybackClock final : public PlaybackClock
{
public:
    double nowMs() const override;
};

/** How a sequence is played: the instrument's receive channel, its step size and gate
    length, and the tempo.
*/
struct PlaybackTiming
{
    int channel = 1;      // 1 to 16
    int stepSize = 16;    // the note value of a step: 4, 8, 16 or 32
    int gateLength = 2;   // in quarters of a step: 1, 2 or 3
    double tempo = 120.0; // quarter notes per minute

    double getStepMs() const noexcept;

    /** The part of the step a note sounds, as long as the exported MIDI files make it. */
    double getGateMs() const noexcept;

    /** Steps in a 4/4 bar. */
    int getStepsPerBar() const noexcept { return stepSize; }
};

/** Plays a sequence in a loop, and single notes, on an output port.

    The player does not run by itself: processDueEvents() sends whatever is due at the clock's
    time and says when the next event falls, so a thread (SequencePlayerThread) or a test with
    a clock of its own drives it. All functions may be called from any thread.

    It keeps every note it has started until its note-off has gone out, so that stop() can
    end each of them and then send All Notes Off on the channel: nothing is left sounding,
    whenever and however playback ends.
*/
class SequencePlayer final
{
public:
    static constexpr int velocity = 64;
    static constexpr int allNotesOffController = 123;
    static constexpr double never = std::numeric_limits<double>::infinity();

    explicit SequencePlayer (const PlaybackClock& clock);
    ~SequencePlayer();

    /** Starts the sequence (the editor's sequence number 0 to 7) from its first step at once,
        ending whatever played before.
    */
    void start (MidiOutputPort& output, int index, const EditedSequence& sequence, const PlaybackTiming& timing);

    /** Ends every note started, then sends All Notes Off; forgets the output. Does nothing
        when nothing has been sent since the last stop.
    */
    void stop();

    bool isPlaying() const noexcept { return playing.load (std::memory_order_acquire); }

    /** An edit of the sequence playing, heard from the next step on. */
    void updateSequence (int index, const EditedSequence& sequence);

    /** Another sequence, played from its first step at the next bar. */
    void changeSequence (int index, const EditedSequence& sequence);

    /** The new tempo (and gate) apply from the next step on. */
    void setTiming (const PlaybackTiming& timing);

    /** Plays one note for one gate at once, ending the previous single note; ignored while
        a sequence plays.
    */
    void playNote (MidiOutputPort& output, int note, const PlaybackTiming& timing);

    /** The step of the sequence playing that sounds now, or -1. */
    int getPlayingStep() const noexcept { return playingStep.load (std::memory_order_acquire); }
    int getPlayingSequence() const noexcept { return playingSequence.load (std::memory_order_acquire); }

    /** Sends every event due by now; returns the time of the next event, or never. */
    double processDueEvents();

    /** Called whenever an event may now fall earlier than processDueEvents last said. */
    std::function<void()> onScheduleChanged;

private:
    struct SoundingNote
    {
        int note;
        double offTime;
    };

    void playStep (double now);
    void endNote (size_t index);
    void endAllNotes();
    double nextEventTime() const;
    void scheduleChanged();

    const PlaybackClock& clock;
    mutable std::mutex lock;
    MidiOutputPort* output = nullptr;
    PlaybackTiming timing;
    std::vector<SoundingNote> sounding;

    EditedSequence sequence;
    EditedSequence nextSequence;
    int nextIndex = -1;
    bool sequenceWaiting = false;
    int position = 0;
    long long stepCount = 0;
    double lastStepTime = 0.0;
    double nextStepTime = 0.0;

    std::atomic<bool> playing{ false };
    std::atomic<int> playingStep{ -1 };
    std::atomic<int> playingSequence{ -1 };

    JUCE_DECLARE_NON_COPYABLE_WITH_LEAK_DETECTOR (SequencePlayer)
};

} // namespace tarnovelle
