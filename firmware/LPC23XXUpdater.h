#pragma once

#include "platform/MidiPorts.h"
#include "protocol/SysexMessage.h"

#include <juce_core/juce_core.h>

#include <atomic>

namespace tarnovelle
{

/** Sends a firmware image to the instrument's bootloader, one chunk at a time.

    The image is cut into chunks of 28 bytes, each sent packed in one SysEx message; the
    bootloader acknowledges every message with command 0x04, repeating its counter byte.

        start_update (counter 0), ack, chunk 1 (counter 1), ack, ..., chunk k, ack, end_update

    A rejected message (status FF or FE) is sent again with the same counter byte. A message
    whose acknowledgement does not come in time is sent again a few times; if the bootloader
    still stays silent the transfer ends and counts as failed.

    The transfer runs on this thread; acknowledgements arrive through handleReply on a MIDI
    input thread. They meet only through atomics: handleReply writes the status and counter,
    then sets the reply flag (release) and wakes the thread, which reads the flag (acquire)
    before anything else.
*/
class LPC23XXUpdater final : public juce::Thread
{
public:
    enum class Outcome
    {
        idle,      // no transfer has run yet
        running,   // a transfer is under way
        succeeded, // every chunk was accepted and end_update was sent
        failed     // the bootloader stopped answering, or the transfer was stopped
    };

    /** The waits of the update. The product keeps the defaults; tests and the demo, which
        talk to an emulated instrument, may shorten them.
    */
    struct Timing
    {
        int updateRequestPauseMs = 5000;
        int replyTimeoutMs = 2000;
        int maxResends = 5;
    };

    static constexpr int chunkSize = 28;
    static constexpr int threadWaitMs = 200;

    /** A bootloader that rejects the same message this many times in a row will not take it. */
    static constexpr int maxRejectionsInARow = 100;

    static constexpr uint8 updateRequestCommand = 0x00;
    static constexpr uint8 startUpdateCommand = 0x01;
    static constexpr uint8 endUpdateCommand = 0x02;
    static constexpr uint8 chunkCommand = 0x03;
    static constexpr uint8 acknowledgementCommand = 0x04;

    LPC23XXUpdater();
    ~LPC23XXUpdater() override;

    /** The instance the application uses, alive for the whole run. */
    static LPC23XXUpdater& getInstance();

    /** Asks the instrument running its application firmware to restart into its bootloader,
        then waits while it does so, under a progress window of this title (the message loop
        runs meanwhile, and a quit ends the pause at once).
    */
    void requestUpdateMode (MidiOutputPort* output);
    static constexpr const char* restartWindowTitle = "Firmware update: restarting";

    /** Starts sending the rest of the source stream. Returns false, changing nothing, when a
        transfer is already running or there is no output or source.
    */
    bool startUpdate (MidiOutputPort* output, juce::InputStream* source);

    /** Ends a running transfer, which then counts as failed, and waits for the thread. */
    void stopUpdate();

    /** Waits until a running transfer has ended by itself, however it ends. */
    void waitUntilFinished();

    bool isUpdating() const noexcept { return mRunning.load (std::memory_order_acquire); }

    /** The share of chunks sent, 0 to 1; 1 when no transfer runs and for an empty image. */
    double getProgress() const noexcept;

    Outcome getOutcome() const noexcept { return mOutcome.load (std::memory_order_acquire); }
    bool wasSuccessful() const noexcept { return getOutcome() == Outcome::succeeded; }

    /** Takes an acknowledgement; called on a MIDI input thread. Anything else is ignored. */
    void handleReply (const juce::MidiMessage& message);

    void setTiming (const Timing& newTiming) noexcept;
    Timing getTiming() const noexcept;

private:
    void run() override;

    void handleAcknowledgement();
    void sendNextChunk();
    void sendEndUpdate();
    void sendLastMessageAgain();
    bool resendAfterSilence();
    void send (const SysexMessage& message);
    void finish (Outcome outcome);
    int millisecondsUntilTimeout() const noexcept;

    static constexpr juce::int8 statusAccepted = 0x00;
    static constexpr juce::int8 statusNoPayload = (juce::int8) 0xfd;
    static constexpr juce::int8 statusRejected = (juce::int8) 0xff;
    static constexpr juce::int8 statusRejectedAlso = (juce::int8) 0xfe;

    // Touched by the updater thread only once startUpdate has returned.
    MidiOutputPort* mOutput = nullptr;
    juce::InputStream* mSource = nullptr;
    SysexMessage mLastMessage; // start_update or the last chunk, kept for repetition
    juce::uint32 mLastSendTime = 0;
    int mResends = 0;
    int mRejections = 0;

    std::atomic<bool> mRunning{ false };
    std::atomic<bool> mReplyReceived{ false };
    std::atomic<juce::int8> mReplyStatus{ 0 };
    std::atomic<int> mReplyCounter{ -1 };
    std::atomic<int> mExpectedCounter{ 0 };
    std::atomic<juce::int64> mRemaining{ -1 };
    std::atomic<juce::int64> mTotal{ 0 };
    std::atomic<Outcome> mOutcome{ Outcome::idle };

    std::atomic<int> mUpdateRequestPauseMs;
    std::atomic<int> mReplyTimeoutMs;
    std::atomic<int> mMaxResends;

    JUCE_DECLARE_NON_COPYABLE_WITH_LEAK_DETECTOR (LPC23XXUpdater)
};

} // namespace tarnovelle
