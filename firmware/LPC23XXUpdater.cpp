#include "firmware/LPC23XXUpdater.h"

#include "platform/Platform.h"
#include "platform/QuitRequest.h"

namespace tarnovelle
{

namespace
{
    constexpr uint8 headerByte5 = 0x01;

    SysexMessage makeCommand (uint8 command) { return SysexMessage (command, nullptr, 0, headerByte5, false); }

    /** Waits out the instrument's restart under a progress window that fills as the time
        passes: the pause is long, and nothing else would show that the update is under way.
    */
    void waitForRestart (int pauseMs)
    {
        ProgressWindowSpec spec;
        spec.title = LPC23XXUpdater::restartWindowTitle;
        spec.statusMessage = "Tarnovelle is restarting into its update mode, do not unplug or power it off...";
        spec.work = [pauseMs] (ProgressReporter& window) {
            constexpr int pollIntervalMs = 20;
            const auto start = juce::Time::getMillisecondCounter();

            for (;;)
            {
                const auto elapsed = (int) (juce::Time::getMillisecondCounter() - start);
                window.setProgress (pauseMs > 0 ? juce::jmin (1.0, elapsed / (double) pauseMs) : 1.0);

                if (elapsed >= pauseMs || window.threadShouldExit() || QuitRequest::isRaised())
                    return;

                juce::Thread::sleep (juce::jmin (pollIntervalMs, pauseMs - elapsed));
            }
        };

        Platform::dialogs().runWithProgressWindow (spec);
    }
} // namespace

LPC23XXUpdater::LPC23XXUpdater()
    : juce::Thread ("LPC23XX updater")
{
    setTiming (Timing{});
}

LPC23XXUpdater::~LPC23XXUpdater() { stopUpdate(); }

LPC23XXUpdater& LPC23XXUpdater::getInstance()
{
    static LPC23XXUpdater instance;
    return instance;
}

void LPC23XXUpdater::setTiming (const Timing& newTiming) noexcept
{
    mUpdateRequestPauseMs.store (juce::jmax (0, newTiming.updateRequestPauseMs));
    mReplyTimeoutMs.store (juce::jmax (1, newTiming.replyTimeoutMs));
    mMaxResends.store (juce::jmax (0, newTiming.maxResends));
}

LPC23XXUpdater::Timing LPC23XXUpdater::getTiming() const noexcept
{
    return { mUpdateRequestPauseMs.load(), mReplyTimeoutMs.load(), mMaxResends.load() };
}

void LPC23XXUpdater::requestUpdateMode (MidiOutputPort* output)
{
    if (output == nullptr)
        return;

    setMessageCounter (0);
    const auto request = makeCommand (updateRequestCommand);
    output->sendMessageNow (juce::MidiMessage (request.data(), request.size()));

    // The instrument restarts into its bootloader meanwhile; its ports come back after that.
    // The progress window runs the message loop, so that a close of the main window is
    // noticed in it; the pause then ends at once.
    waitForRestart (mUpdateRequestPauseMs.load());
}

void LPC23XXUpdater::waitUntilFinished()
{
    // Every transfer ends on its own: accepted, or given up after its resends.
    waitForThreadToExit (-1);
}

bool LPC23XXUpdater::startUpdate (MidiOutputPort* output, juce::InputStream* source)
{
    if (isUpdating() || output == nullptr || source == nullptr)
        return false;

    // The previous transfer's thread has cleared the running flag as its last act.
    waitForThreadToExit (-1);

    mOutput = output;
    mSource = source;

    const auto rest = juce::jmax ((juce::int64) 0, source->getTotalLength() - source->getPosition());
    const auto chunks = rest / chunkSize + (rest % chunkSize != 0 ? 1 : 0);
    mTotal.store (chunks);
    mRemaining.store (chunks);

    mExpectedCounter.store (0, std::memory_order_release);
    mReplyStatus.store (0);
    mReplyCounter.store (-1);
    mReplyReceived.store (false, std::memory_order_release);
    mResends = 0;
    mRejections = 0;
    mOutcome.store (Outcome::running, std::memory_order_release);

    setMessageCounter (0);
    mLastMessage = makeCommand (startUpdateCommand);

    // Running before start_update goes out: a quick acknowledgement must not be dropped.
    mRunning.store (true, std::memory_order_release);
    send (mLastMessage);

    if (! startThread())
    {
        finish (Outcome::failed);
        return false;
    }

    return true;
}

void LPC23XXUpdater::stopUpdate() { stopThread (10000); }

double LPC23XXUpdater::getProgress() const noexcept
{
    if (! isUpdating())
        return 1.0;

    const auto total = mTotal.load();

    if (total <= 0)
        return 1.0;

    return juce::jlimit (0.0, 1.0, (double) (total - mRemaining.load()) / (double) total);
}

void LPC23XXUpdater::handleReply (const juce::MidiMessage& message)
{
    if (! isUpdating())
        return;

    const SysexMessage sysex_data (message.getRawData(), message.getRawDataSize());

    if (sysex_data.size() <= SysexMessage::headerSize || sysex_data.byteAt (8) != acknowledgementCommand)
        return;

    const int counter = sysex_data.byteAt (6);

    if (counter != mExpectedCounter.load (std::memory_order_acquire))
        return;

    const int data_len = sysex_data.byteAt (7);
    auto status = statusNoPayload;

    if (data_len != 0)
    {
        uint8 decoded_data[chunkSize]{};

        // A payload announced longer than decoded_data is read only as far as it fits: the
        // status is its first byte.
        auto length = juce::jmin (data_len, chunkSize);
        auto encodedLength = sysex_data.size() - 11;

        if (data_len > chunkSize)
        {
            length = juce::jmin (length, 7 * (encodedLength / 8));
            encodedLength = ((length + 6) / 7) * 8;
        }

        // An acknowledgement whose status cannot be read is no answer; the time-out repeats
        // the message. A wrong checksum alone still leaves a readable status.
        if (length <= 0 || sysex_data.decodePayload (decoded_data, length, 9, encodedLength, chunkSize) == -1)
            return;

        status = (juce::int8) decoded_data[0];
    }

    mReplyStatus.store (status, std::memory_order_relaxed);
    mReplyCounter.store (counter, std::memory_order_relaxed);
    mReplyReceived.store (true, std::memory_order_release);
    notify();
}

void LPC23XXUpdater::run()
{
    while (! threadShouldExit() && mRemaining.load() >= 0)
    {
        if (mReplyReceived.exchange (false, std::memory_order_acquire))
            handleAcknowledgement();
        else if (millisecondsUntilTimeout() <= 0)
        {
            if (! resendAfterSilence())
                break;
        }
        else
            wait (juce::jmin (threadWaitMs, millisecondsUntilTimeout()));
    }

    // end_update takes remaining to -1: only then was the whole image sent.
    finish (mRemaining.load() < 0 ? Outcome::succeeded : Outcome::failed);
}

void LPC23XXUpdater::handleAcknowledgement()
{
    // An acknowledgement of an earlier message may have passed the counter test just before
    // the next message went out.
    if (mReplyCounter.load (std::memory_order_relaxed) != mExpectedCounter.load())
        return;

    const auto status = mReplyStatus.load (std::memory_order_relaxed);

    if (status == statusAccepted || status == statusNoPayload)
    {
        mResends = 0;
        mRejections = 0;

        if (mRemaining.load() > 0)
            sendNextChunk();
        else
            sendEndUpdate();
    }
    else if (status == statusRejected || status == statusRejectedAlso)
    {
        mResends = 0;

        if (++mRejections > maxRejectionsInARow)
        {
            signalThreadShouldExit();
            return;
        }

        // start_update or the last chunk, with the same counter byte.
        sendLastMessageAgain();
    }
    // Any other status is no answer: the updater keeps waiting.
}

void LPC23XXUpdater::sendNextChunk()
{
    uint8 chunk[chunkSize];
    const auto n = mSource->read (chunk, chunkSize);

    // The image was measured at the start; a source that runs dry early cannot be finished.
    if (n <= 0)
    {
        signalThreadShouldExit();
        return;
    }

    mExpectedCounter.store (getMessageCounter(), std::memory_order_release);
    mLastMessage = SysexMessage (chunkCommand, chunk, (uint8) n, headerByte5, true);
    send (mLastMessage);
    mRemaining.fetch_sub (1);
}

void LPC23XXUpdater::sendEndUpdate()
{
    mExpectedCounter.store (getMessageCounter(), std::memory_order_release);
    mLastMessage = {};
    send (makeCommand (endUpdateCommand));

    // -1: the loop ends without waiting for an acknowledgement of end_update.
    mRemaining.fetch_sub (1);
}

void LPC23XXUpdater::sendLastMessageAgain() { send (mLastMessage); }

bool LPC23XXUpdater::resendAfterSilence()
{
    if (mResends >= mMaxResends.load())
        return false;

    ++mResends;
    sendLastMessageAgain();
    return true;
}

void LPC23XXUpdater::send (const SysexMessage& message)
{
    if (message.size() > 0 && mOutput != nullptr)
        mOutput->sendMessageNow (juce::MidiMessage (message.data(), message.size()));

    mLastSendTime = juce::Time::getMillisecondCounter();
}

int LPC23XXUpdater::millisecondsUntilTimeout() const noexcept
{
    const auto elapsed = (int) (juce::Time::getMillisecondCounter() - mLastSendTime);
    return mReplyTimeoutMs.load() - elapsed;
}

void LPC23XXUpdater::finish (Outcome outcome)
{
    mLastMessage = {};
    mSource = nullptr;
    mOutput = nullptr;
    mOutcome.store (outcome, std::memory_order_release);

    // Last: whoever sees the transfer ended may delete the output and the source.
    mRunning.store (false, std::memory_order_release);
}

} // namespace tarnovelle
