#include "playback/SequencePlayback.h"

#include <algorithm>

namespace tarnovelle
{

namespace
{
    // Arrived notes are entered soon after they come; while only playing, the timer merely
    // watches for an instrument that went away, and wakes the message thread less often.
    constexpr int recordIntervalMs = 10;
    constexpr int playIntervalMs = 50;
    constexpr int allChannels = 16;

    double arrivalTimeNow() { return juce::Time::getMillisecondCounterHiRes(); }
} // namespace

SequencePlayback::SequencePlayback (SequenceEditorModel& modelToPlay)
    : model (modelToPlay)
{
    shownIndex = model.getSelectedIndex();
    shownSequence = model.getSelected();
    model.addListener (this);
}

SequencePlayback::~SequencePlayback()
{
    model.removeListener (this);
    stop();
}

void SequencePlayback::addListener (Listener* listener) { listeners.push_back (listener); }

void SequencePlayback::removeListener (Listener* listener)
{
    listeners.erase (std::remove (listeners.begin(), listeners.end(), listener), listeners.end());
}

void SequencePlayback::notifyListeners()
{
    for (auto* listener : std::vector<Listener*> (listeners))
        listener->sequencePlaybackChanged();
}

//==============================================================================
void SequencePlayback::setOutput (MidiOutputPort* newOutput)
{
    if (newOutput != output)
        stopAndEndRecording();

    output = newOutput;
}

bool SequencePlayback::play()
{
    if (output == nullptr)
        return false;

    thread.getPlayer().start (*output, model.getSelectedIndex(), model.getSelected(), makeTiming());
    updateTimer();
    notifyListeners();
    return true;
}

void SequencePlayback::stop()
{
    const bool wasPlaying = isPlaying();
    thread.getPlayer().stop();
    updateTimer();

    if (wasPlaying)
        notifyListeners();
}

void SequencePlayback::stopAndEndRecording()
{
    stop();
    endRecording();
}

void SequencePlayback::setReceiveChannelSetting (uint8 value) noexcept
{
    receiveChannel.store (value >= allChannels ? 1 : value + 1, std::memory_order_release);
}

void SequencePlayback::setTransmitChannelSetting (uint8 value) noexcept
{
    transmitChannel.store ((value & 0x0f) + 1, std::memory_order_release);
}

PlaybackTiming SequencePlayback::makeTiming() const
{
    PlaybackTiming timing;
    timing.channel = receiveChannel.load (std::memory_order_acquire);
    timing.stepSize = model.getStepSize();
    timing.gateLength = model.getGateLength();
    timing.tempo = tempo;
    return timing;
}

int SequencePlayback::getPlayingStep() const noexcept
{
    const auto& player = thread.getPlayer();
    return player.getPlayingSequence() == model.getSelectedIndex() ? player.getPlayingStep() : -1;
}

//==============================================================================
void SequencePlayback::setTempo (int newTempo)
{
    tempo = juce::jlimit (lowestTempo, highestTempo, newTempo);
    thread.getPlayer().setTiming (makeTiming());
    notifyListeners();
}

void SequencePlayback::setPreviewOn (bool shouldPreview)
{
    previewOn = shouldPreview;
    notifyListeners();
}

bool SequencePlayback::setRecording (bool shouldRecord)
{
    // The keys' notes come only from a connected instrument.
    if (shouldRecord && output == nullptr)
    {
        notifyListeners();
        return false;
    }

    // Off first, so that the input thread has stopped queueing when the queue is emptied:
    // notes played before Record was pressed, or after it ended, are not entered.
    recording.store (false, std::memory_order_release);
    recordStep = model.getCursor();
    chord.reset();
    arrivedFifo.reset();
    recording.store (shouldRecord, std::memory_order_release);
    updateTimer();
    notifyListeners();
    return true;
}

void SequencePlayback::endRecording()
{
    if (isRecording())
        setRecording (false);
}

void SequencePlayback::updateTimer()
{
    if (isRecording())
        startTimer (recordIntervalMs);
    else if (isPlaying())
        startTimer (playIntervalMs);
    else
        stopTimer();
}

void SequencePlayback::timerCallback()
{
    if ((isPlaying() || isRecording()) && isInstrumentPresent != nullptr && ! isInstrumentPresent())
        stopAndEndRecording();

    if (isRecording())
        enterArrivedNotes (arrivalTimeNow());

    updateTimer();
}

//==============================================================================
void SequencePlayback::sequenceEditorModelChanged()
{
    const int index = model.getSelectedIndex();
    const auto& sequence = model.getSelected();
    auto& player = thread.getPlayer();

    if (index != shownIndex)
        player.changeSequence (index, sequence);
    else if (sequence.length != shownSequence.length || sequence.steps != shownSequence.steps)
        previewEdit (shownSequence, sequence);

    player.updateSequence (index, sequence);

    if (model.getStepSize() != shownStepSize || model.getGateLength() != shownGateLength)
    {
        shownStepSize = model.getStepSize();
        shownGateLength = model.getGateLength();
        player.setTiming (makeTiming());
    }

    // The user moved the cursor while recording: the next note goes there.
    if (isRecording() && ! entering && index == shownIndex && model.getCursor() != recordStep
        && model.getCursor() != juce::jmin (recordStep, sequence.length - 1))
        recordStep = model.getCursor();

    shownIndex = index;
    shownSequence = sequence;
}

void SequencePlayback::previewEdit (const EditedSequence& before, const EditedSequence& after)
{
    if (! previewOn || isRecording() || isPlaying() || output == nullptr || ! model.isConnected())
        return;

    // An edit that sets one note: exactly one step within the sequence now holds another
    // note than before (steps that were past the end count as rests).
    int changedNote = -1, changes = 0;

    for (int i = 0; i < after.length; ++i)
    {
        const auto old = i < before.length ? before.steps[(size_t) i] : restStep;

        if (after.steps[(size_t) i] != old)
        {
            ++changes;
            changedNote = after.steps[(size_t) i];
        }
    }

    if (changes == 1 && changedNote != restStep)
        thread.getPlayer().playNote (*output, changedNote, makeTiming());
}

//==============================================================================
void SequencePlayback::handleIncomingMessage (const juce::MidiMessage& message)
{
    if (! recording.load (std::memory_order_acquire) || ! message.isNoteOn()
        || message.getChannel() != transmitChannel.load (std::memory_order_acquire))
        return;

    // The one writer of the queue: a full queue drops the note.
    const auto scope = arrivedFifo.write (1);

    if (scope.blockSize1 > 0)
        arrived[(size_t) scope.startIndex1] = { message.getNoteNumber(), arrivalTimeNow() };
}

void SequencePlayback::enterArrivedNotes (double nowMs)
{
    for (;;)
    {
        std::optional<ArrivedNote> next;

        {
            const auto scope = arrivedFifo.read (1);

            if (scope.blockSize1 > 0)
                next = arrived[(size_t) scope.startIndex1];
        }

        if (! next)
            break;

        if (chord && next->timeMs - chord->timeMs < chordWindowMs)
        {
            chord->note = juce::jmax (chord->note, next->note);
            continue;
        }

        if (chord)
            enter (chord->note);

        chord = next;
    }

    if (chord && nowMs - chord->timeMs >= chordWindowMs)
    {
        enter (chord->note);
        chord.reset();
    }
}

void SequencePlayback::enterRest() { enter (restStep); }

void SequencePlayback::stepBack()
{
    recordStep = juce::jmax (0, recordStep - 1);
    model.moveCursorTo (recordStep);
}

void SequencePlayback::enter (int value)
{
    const juce::ScopedValueSetter<bool> whileEntering (entering, true);

    // A note the editor cannot hold (126, 127) is not entered; the same note again is, and
    // the cursor moves on.
    if (value != restStep && (value < SequenceEditorModel::lowestNote || value > SequenceEditorModel::highestNote))
        return;

    model.enterStep (recordStep, value);
    recordStep = juce::jmin (recordStep + 1, maxSequenceSteps - 1);
    model.moveCursorTo (recordStep);
}

} // namespace tarnovelle
