#include "emulator/EmulatedInstrument.h"

#include "EmulatedInstrumentWire.h"

namespace tarnovelle
{

using namespace emulated;

//==============================================================================
EmulatedInstrument::EmulatedInstrument()
    : EmulatedInstrument (juce::File())
{}

EmulatedInstrument::EmulatedInstrument (const juce::File& file)
    : juce::Thread ("Emulated Tarnovelle")
    , stateFile (file)
    , createdAt (now())
{
    memory = makeFactoryMemory();

    if (stateFile.getFullPathName().isNotEmpty())
        loadOrStartFresh();

    nextActiveSensing = now() + activeSensingIntervalMs;
    startThread();
}

EmulatedInstrument::~EmulatedInstrument() { stopThread (2000); }

//==============================================================================
void EmulatedInstrument::receiveMidi (const juce::MidiMessage& message)
{
    receiveBytes (message.getRawData(), message.getRawDataSize());
}

int EmulatedInstrument::countQueued()
{
    const juce::ScopedLock sl (queueLock);
    return (int) incoming.size() + messagesInHand.load();
}

void EmulatedInstrument::receiveBytes (const uint8* bytes, int count)
{
    if (! presence.isPresent())
        return;

    Bytes message;

    if (bytes != nullptr && count > 0)
        message.assign (bytes, bytes + count);

    logReceived (message);
    logChannelMessage (message);

    {
        const juce::ScopedLock sl (queueLock);
        incoming.push_back ({ std::move (message), now() + latencyMs.load (std::memory_order_acquire) });
    }

    notify();
}

void EmulatedInstrument::setOutputSink (OutputSink sink)
{
    const juce::ScopedLock sl (sinkLock);
    outputSink = std::move (sink);
}

//==============================================================================
void EmulatedInstrument::run()
{
    while (! threadShouldExit())
    {
        const auto t = now();
        handleDueMessages (t);
        finishReenumerationIfDue (t);
        sendActiveSensingIfDue (t);

        wait ((int) std::ceil (millisecondsUntilNextEvent (now())));
    }
}

double EmulatedInstrument::millisecondsUntilNextEvent (double t) const
{
    double next = t + longestIdleWaitMs;

    {
        const juce::ScopedLock sl (queueLock);

        if (! incoming.empty())
            next = juce::jmin (next, incoming.front().due);
    }

    if (reenumerating.load (std::memory_order_acquire))
        next = juce::jmin (next, reenumerationDue.load());

    next = juce::jmin (next, nextActiveSensing.load());

    return juce::jlimit (1.0, (double) longestIdleWaitMs, next - t);
}

void EmulatedInstrument::handleDueMessages (double t)
{
    while (! threadShouldExit())
    {
        Bytes message;

        {
            const juce::ScopedLock sl (queueLock);

            if (incoming.empty() || incoming.front().due > t)
                return;

            message = std::move (incoming.front().bytes);
            incoming.pop_front();
            ++messagesInHand;
        }

        handleMessage (message);
        --messagesInHand;
    }
}

void EmulatedInstrument::finishReenumerationIfDue (double t)
{
    if (reenumerating.load (std::memory_order_acquire) && t >= reenumerationDue.load())
    {
        reenumerating.store (false, std::memory_order_release);
        updatePresence();
        nextActiveSensing = t + activeSensingIntervalMs;
    }
}

void EmulatedInstrument::sendActiveSensingIfDue (double t)
{
    if (t < nextActiveSensing.load())
        return;

    nextActiveSensing = juce::jmax (nextActiveSensing.load() + activeSensingIntervalMs, t + 1.0);
    activeSensingTicks.fetch_add (1, std::memory_order_acq_rel);

    if (presence.isPresent() && ! silent.load (std::memory_order_acquire)
        && activeSensingEnabled.load (std::memory_order_acquire) && ! stalled.load (std::memory_order_acquire)
        && getMode() == Mode::application)
        send ({ activeSensing });
}

//==============================================================================
void EmulatedInstrument::handleMessage (const Bytes& bytes)
{
    if (! presence.isPresent() || silent.load (std::memory_order_acquire) || stalled.load (std::memory_order_acquire))
        return;

    if (isIdentityRequestFor (bytes, getDeviceId()))
    {
        handleIdentityRequest();
        return;
    }

    // Everything else the instrument understands is in the maker's frame; notes, clock and
    // foreign SysEx are of no concern to it.
    if (! isMakerFrame (bytes))
        return;

    if (getMode() == Mode::application)
        handleApplicationFrame (bytes);
    else
        handleBootloaderFrame (bytes);
}

//==============================================================================
bool EmulatedInstrument::mayAnswer()
{
    auto left = answersLeft.load (std::memory_order_acquire);

    while (left >= 0)
    {
        if (left == 0)
            return false;

        if (answersLeft.compare_exchange_weak (left, left - 1, std::memory_order_acq_rel))
            return true;
    }

    return true;
}

void EmulatedInstrument::send (const Bytes& bytes)
{
    const juce::ScopedLock sl (sinkLock);

    if (outputSink != nullptr && ! bytes.empty())
        outputSink (juce::MidiMessage (bytes.data(), (int) bytes.size()));
}

EmulatedInstrument::Bytes EmulatedInstrument::makeFrame (uint8 command, const Bytes& rawPayload)
{
    // Built here rather than with SysexMessage: the message counter belongs to the
    // application's process, and the instrument has a counter of its own.
    Bytes frame{ sysexStart,  manufacturerId[0], manufacturerId[1], manufacturerId[2],
                 productByte, headerByte5,       replyCounter,      (uint8) rawPayload.size(),
                 command };
    frame.reserve (frame.size() + rawPayload.size() + 1);
    frame.insert (frame.end(), rawPayload.begin(), rawPayload.end());
    frame.push_back (sysexEnd);

    replyCounter = (uint8) ((replyCounter + 1) & 0x7f);
    return frame;
}

void EmulatedInstrument::restart (Mode newMode)
{
    {
        const juce::ScopedLock sl (memoryLock);
        memory.mode = newMode;
        transfer = Transfer();
    }

    restarts.fetch_add (1, std::memory_order_acq_rel);

    // The USB device re-enumerates: its ports vanish for a moment and come back as new ones.
    reenumerationDue = now() + reenumerationMs;
    reenumerating.store (true, std::memory_order_release);
    updatePresence();

    const juce::ScopedLock sl (queueLock);
    incoming.clear();
}

void EmulatedInstrument::losePower()
{
    poweredOff.store (true, std::memory_order_release);
    unplugged.store (true, std::memory_order_release);
    updatePresence();

    {
        const juce::ScopedLock sl (memoryLock);
        transfer = Transfer();
    }

    const juce::ScopedLock sl (queueLock);
    incoming.clear();
}

void EmulatedInstrument::updatePresence()
{
    const juce::ScopedLock sl (presenceLock);
    const auto before = presence.getState();
    presence.setPresent (! unplugged.load (std::memory_order_acquire) && ! switchedOff.load (std::memory_order_acquire)
                         && ! reenumerating.load (std::memory_order_acquire));

    if (presence.getState() != before && presenceListener != nullptr)
        presenceListener();
}

void EmulatedInstrument::setPresenceListener (std::function<void()> listener)
{
    const juce::ScopedLock sl (presenceLock);
    presenceListener = std::move (listener);
}

//==============================================================================
void EmulatedInstrument::logReceived (const Bytes& bytes)
{
    const juce::ScopedLock sl (logLock);
    ++allReceived;

    if (isIdentityRequest (bytes))
        ++identityRequests;
    else if (isMakerFrame (bytes))
        ++receivedByCommand[bytes[8]];

    receivedLog.push_back (bytes);

    while (receivedLog.size() > (size_t) logCapacity)
        receivedLog.pop_front();
}

int EmulatedInstrument::countReceived (uint8 command) const
{
    const juce::ScopedLock sl (logLock);
    auto found = receivedByCommand.find (command);
    return found != receivedByCommand.end() ? found->second : 0;
}

int EmulatedInstrument::countIdentityRequests() const
{
    const juce::ScopedLock sl (logLock);
    return identityRequests;
}

int EmulatedInstrument::countAllReceived() const
{
    const juce::ScopedLock sl (logLock);
    return allReceived;
}

std::vector<EmulatedInstrument::Bytes> EmulatedInstrument::getLastReceived (int maxMessages) const
{
    const juce::ScopedLock sl (logLock);
    const auto count = (size_t) juce::jlimit (0, (int) receivedLog.size(), maxMessages);
    return { receivedLog.end() - (std::ptrdiff_t) count, receivedLog.end() };
}

std::vector<EmulatedInstrument::Bytes> EmulatedInstrument::getReceivedFrames (uint8 command) const
{
    const juce::ScopedLock sl (logLock);
    std::vector<Bytes> frames;

    for (auto& message : receivedLog)
        if (isMakerFrame (message) && message[8] == command)
            frames.push_back (message);

    return frames;
}

void EmulatedInstrument::clearReceived()
{
    const juce::ScopedLock sl (logLock);
    receivedLog.clear();
    channelMessages.clear();
    receivedByCommand.clear();
    identityRequests = 0;
    allReceived = 0;
}

int EmulatedInstrument::getAcceptedChunkCount() const { return acceptedChunkCount.load (std::memory_order_acquire); }

} // namespace tarnovelle
