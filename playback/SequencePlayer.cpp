#include "playback/SequencePlayer.h"

#include "sequences/MidiExport.h"

#include <chrono>

namespace tarnovelle
{

double SteadyPlaybackClock::nowMs() const
{
    using Milliseconds = std::chrono::duration<double, std::milli>;
    return std::chrono::duration_cast<Milliseconds> (std::chrono::steady_clock::now().time_since_epoch()).count();
}

//==============================================================================
double PlaybackTiming::getStepMs() const noexcept
{
    // A whole note lasts four quarter notes; a step is 1/stepSize of it.
    return 4.0 * 60000.0 / (tempo * (double) stepSize);
}

double PlaybackTiming::getGateMs() const noexcept
{
    const auto ticks = MidiExportTiming::fromSettings ((uint8) stepSize, (uint8) gateLength);
    return getStepMs() * (double) ticks.noteTicks / (double) ticks.stepTicks;
}

//==============================================================================
SequencePlayer::SequencePlayer (const PlaybackClock& clockToUse)
    : clock (clockToUse)
{}

SequencePlayer::~SequencePlayer() { stop(); }

void SequencePlayer::start (MidiOutputPort& outputToUse, int index, const EditedSequence& newSequence,
                            const PlaybackTiming& newTiming)
{
    stop();

    {
        const std::lock_guard<std::mutex> sl (lock);
        output = &outputToUse;
        timing = newTiming;
        sequence = newSequence;
        sequenceWaiting = false;
        position = 0;
        stepCount = 0;
        nextStepTime = lastStepTime = clock.nowMs();
        playingSequence.store (index, std::memory_order_release);
        playing.store (true, std::memory_order_release);
    }

    scheduleChanged();
}

void SequencePlayer::stop()
{
    const std::lock_guard<std::mutex> sl (lock);
    playing.store (false, std::memory_order_release);
    playingStep.store (-1, std::memory_order_release);
    playingSequence.store (-1, std::memory_order_release);

    if (output == nullptr)
        return;

    endAllNotes();
    output->sendMessageNow (juce::MidiMessage::controllerEvent (timing.channel, allNotesOffController, 0));
    output = nullptr;
}

void SequencePlayer::updateSequence (int index, const EditedSequence& newSequence)
{
    const std::lock_guard<std::mutex> sl (lock);

    if (! playing.load (std::memory_order_acquire))
        return;

    if (sequenceWaiting)
    {
        nextIndex = index;
        nextSequence = newSequence;
        return;
    }

    if (index == playingSequence.load (std::memory_order_acquire))
        sequence = newSequence;
}

void SequencePlayer::changeSequence (int index, const EditedSequence& newSequence)
{
    const std::lock_guard<std::mutex> sl (lock);

    if (! playing.load (std::memory_order_acquire))
        return;

    nextIndex = index;
    nextSequence = newSequence;
    sequenceWaiting = index != playingSequence.load (std::memory_order_acquire);

    if (! sequenceWaiting)
        sequence = newSequence;
}

void SequencePlayer::setTiming (const PlaybackTiming& newTiming)
{
    {
        const std::lock_guard<std::mutex> sl (lock);
        timing.tempo = newTiming.tempo;
        timing.stepSize = newTiming.stepSize;
        timing.gateLength = newTiming.gateLength;

        // The step under way keeps its length; the next one starts at the new tempo.
        if (playing.load (std::memory_order_acquire))
            nextStepTime = juce::jmax (clock.nowMs(), lastStepTime + timing.getStepMs());
    }

    scheduleChanged();
}

void SequencePlayer::playNote (MidiOutputPort& outputToUse, int note, const PlaybackTiming& noteTiming)
{
    {
        const std::lock_guard<std::mutex> sl (lock);

        if (playing.load (std::memory_order_acquire))
            return;

        // Notes already started went out on the old channel and end there first.
        if (output != nullptr && (output != &outputToUse || timing.channel != noteTiming.channel))
            endAllNotes();

        output = &outputToUse;
        timing = noteTiming;
        endAllNotes();
        output->sendMessageNow (juce::MidiMessage::noteOn (timing.channel, note, (juce::uint8) velocity));
        sounding.push_back ({ note, clock.nowMs() + timing.getGateMs() });
    }

    scheduleChanged();
}

double SequencePlayer::processDueEvents()
{
    const std::lock_guard<std::mutex> sl (lock);
    const double now = clock.nowMs();

    for (;;)
    {
        // Each note ends before the next step starts, so an event late by more than a step
        // still goes out in its order.
        size_t first = sounding.size();

        for (size_t i = 0; i < sounding.size(); ++i)
            if (sounding[i].offTime <= now
                && (first == sounding.size() || sounding[i].offTime < sounding[first].offTime))
                first = i;

        const bool stepDue = playing.load (std::memory_order_acquire) && nextStepTime <= now;

        if (first < sounding.size() && (! stepDue || sounding[first].offTime <= nextStepTime))
            endNote (first);
        else if (stepDue)
            playStep (nextStepTime);
        else
            return nextEventTime();
    }
}

void SequencePlayer::playStep (double stepTime)
{
    if (sequenceWaiting && stepCount % timing.getStepsPerBar() == 0)
    {
        sequence = nextSequence;
        playingSequence.store (nextIndex, std::memory_order_release);
        sequenceWaiting = false;
        position = 0;
    }

    if (position >= sequence.length)
        position = 0;

    if (sequence.length > 0)
    {
        const int step = sequence.steps[(size_t) position];
        playingStep.store (position, std::memory_order_release);

        if (step != restStep)
        {
            endAllNotes();
            output->sendMessageNow (juce::MidiMessage::noteOn (timing.channel, step, (juce::uint8) velocity));
            sounding.push_back ({ step, stepTime + timing.getGateMs() });
        }

        ++position;
    }
    else
    {
        playingStep.store (-1, std::memory_order_release);
    }

    ++stepCount;
    lastStepTime = stepTime;
    nextStepTime = stepTime + timing.getStepMs();
}

void SequencePlayer::endNote (size_t index)
{
    output->sendMessageNow (juce::MidiMessage::noteOff (timing.channel, sounding[index].note, (juce::uint8) velocity));
    sounding.erase (sounding.begin() + (std::ptrdiff_t) index);
}

void SequencePlayer::endAllNotes()
{
    while (! sounding.empty())
        endNote (0);
}

double SequencePlayer::nextEventTime() const
{
    double next = playing.load (std::memory_order_acquire) ? nextStepTime : never;

    for (const auto& note : sounding)
        next = juce::jmin (next, note.offTime);

    return next;
}

void SequencePlayer::scheduleChanged()
{
    if (onScheduleChanged != nullptr)
        onScheduleChanged();
}

} // namespace tarnovelle
