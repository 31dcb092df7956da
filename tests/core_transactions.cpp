// Request/reply waits: the reply slot shared between the waiting message thread and the MIDI
// input threads.

#include "protocol/DeviceSettings.h"
#include "protocol/Transactions.h"
#include "support/InstrumentRig.h"
#include "support/MakerFrames.h"
#include "support/ScriptedOutput.h"

#include <gtest/gtest.h>
#include <juce_events/juce_events.h>

#include <mutex>
#include <thread>

using namespace tarnovelle;
using namespace tarnovelle::test;

namespace
{
juce::MidiMessage toMidi (const SysexMessage& m) { return juce::MidiMessage (m.data(), m.size(), 0.0); }

juce::MidiMessage reply (uint8 command, uint8 value) { return toMidi (SysexMessage (command, &value, 1, 0x01, false)); }

const SysexMessage request() { return SysexMessage (0x2d, nullptr, 0, 0x01, false); }

/** Hands the instrument's replies to the reply slot, as the application's input does, but
    holds them back until released.
*/
struct HoldingForwarder final : public MidiPortCallback
{
    void handleIncomingMidiMessage (MidiInputPort*, const juce::MidiMessage& message) override
    {
        if (message.getRawDataSize() > 0 && message.getRawData()[0] == 0xfe)
            return;

        const std::lock_guard<std::mutex> lock (mutex);

        if (holding)
            held.push_back (message);
        else
            handleSysexReply (message);
    }

    /** Lets the held replies through, in order, from the calling thread. */
    void release()
    {
        const std::lock_guard<std::mutex> lock (mutex);
        holding = false;

        for (auto& m : held)
            handleSysexReply (m);

        held.clear();
    }

    size_t numHeld()
    {
        const std::lock_guard<std::mutex> lock (mutex);
        return held.size();
    }

    std::mutex mutex;
    bool holding = true;
    std::vector<juce::MidiMessage> held;
};

} // namespace

TEST (ReplyWait, AReplyArrivingBeforeTheSendReturnsIsStillMatched)
{
    ScriptedOutput out;
    out.answerWith ({ reply (0x2c, 7) });

    uint8 value = 0;
    const auto start = juce::Time::getMillisecondCounter();
    EXPECT_TRUE (sendAndWaitForValue (&out, request(), 0x2c, value));
    EXPECT_EQ (value, 7);
    // Answered within the first slice.
    EXPECT_LT (juce::Time::getMillisecondCounter() - start, 200u);
    EXPECT_FALSE (getReplySlot().waiting.load());
}

TEST (ReplyWait, OtherCommandsMalformedFramesNotesAndActiveSensingNeverEndAWait)
{
    // Frames over 48 bytes or under 10 carry the awaited command in byte 8 too: never taken.
    std::vector<uint8> overlong (60, 0x05);
    overlong.front() = 0xf0;
    overlong.back() = 0xf7;
    const auto truncated = test::MakerFrames::header (0x00, 0x01, 0x05); // no payload, no F7

    ScriptedOutput out;
    out.delayMs = 15;
    out.answerWith ({ reply (0x07, 3), juce::MidiMessage (overlong.data(), (int) overlong.size()),
                      juce::MidiMessage (truncated.data(), (int) truncated.size()),
                      juce::MidiMessage::noteOn (1, 60, (uint8) 100), juce::MidiMessage (0xfe), reply (0x05, 9) });

    SysexMessage answer;
    ASSERT_TRUE (sendAndWaitForMessage (&out, request(), 0x05, answer));
    EXPECT_EQ (answer.size(), 11);
    EXPECT_EQ (answer.byteAt (8), 0x05);
    EXPECT_EQ (answer.byteAt (9), 9);
}

TEST (ReplyWait, TimesOutAfterTwentyFiveSlicesLeavingTheValueAlone)
{
    ScriptedOutput out;
    uint8 value = 42;
    const auto start = juce::Time::getMillisecondCounter();
    EXPECT_FALSE (sendAndWaitForValue (&out, request(), 0x2c, value));
    const auto elapsed = juce::Time::getMillisecondCounter() - start;

    EXPECT_EQ (value, 42);
    EXPECT_GE (elapsed, (juce::uint32) (replyWaitSlices * replyWaitSliceMs) - 20);
    EXPECT_LT (elapsed, 1500u);
    EXPECT_FALSE (getReplySlot().waiting.load());

    // A reply arriving now finds the slot idle and is dropped.
    getReplySlot().value = 1;
    handleSysexReply (reply (0x2c, 99));
    EXPECT_EQ (getReplySlot().value, 1);
}

TEST (ReplyWait, TheLateReplyOfATimedOutRequestAnswersTheNextOne)
{
    InstrumentRig rig;
    HoldingForwarder forwarder;
    auto input = rig.midi.openInput (0, &forwarder);
    auto output = rig.midi.openOutput (0);
    input->start();

    // The instrument answers the first request only; its answer is held back until the first
    // wait has timed out and the second request has reached the instrument, however long the
    // waits take on a busy machine.
    rig.instrument.setSetting (DeviceSetting::BEND, 4);
    rig.instrument.setStopAnsweringAfter (1);

    uint8 value = 0;
    EXPECT_FALSE (getSetting (output.get(), DeviceSetting::BEND, value));
    EXPECT_EQ (forwarder.numHeld(), 1u);

    // The first one's answer arrives during the second wait and is taken for its own, since
    // counters are not compared.
    std::thread lateReply ([&] {
        // Off the message thread no message loop can run, so the wait for the second request
        // polls the instrument's count.
        for (const auto end = juce::Time::getMillisecondCounter() + 5000;
             rig.instrument.countReceived (0x2d) < 2 && juce::Time::getMillisecondCounter() < end;)
            std::this_thread::sleep_for (std::chrono::milliseconds (1));

        forwarder.release();
    });
    EXPECT_TRUE (getSetting (output.get(), DeviceSetting::BEND, value));
    lateReply.join();
    EXPECT_EQ (value, 4);
    EXPECT_EQ (rig.instrument.countReceived (0x2d), 2);
}

TEST (ReplyWait, AReplyMatchedAsItsWaitGivesUpNeverAnswersTheNextRequest)
{
    auto& slot = getReplySlot();
    uint8 payload = 16;
    const SysexMessage stepAnswer (getDeviceSettingInfo (DeviceSetting::STEP).setCommand, &payload, 1, 0x01, false);
    const auto glenCommand = getDeviceSettingInfo (DeviceSetting::GLEN).setCommand;

    // The input thread has matched the STEP reply when the wait gives up, and the message
    // thread asks for GLEN before the input thread stores it: the stale reply is dropped.
    const auto stepRequest = slot.arm (stepAnswer.byteAt (8));
    const auto seenWaiting = slot.findWaitingFor (stepAnswer.byteAt (8));
    EXPECT_EQ (seenWaiting, stepRequest);
    EXPECT_TRUE (slot.giveUp (stepRequest));
    const auto glenRequest = slot.arm (glenCommand);
    EXPECT_FALSE (slot.answer (seenWaiting, stepAnswer));
    EXPECT_TRUE (slot.waiting.load());
    EXPECT_EQ (slot.findWaitingFor (stepAnswer.byteAt (8)), 0u);
    EXPECT_TRUE (slot.giveUp (glenRequest));

    // Stored the moment before the wait gives up, the same reply answers its own request.
    const auto again = slot.arm (stepAnswer.byteAt (8));
    EXPECT_TRUE (slot.answer (slot.findWaitingFor (stepAnswer.byteAt (8)), stepAnswer));
    EXPECT_FALSE (slot.giveUp (again));
    EXPECT_EQ (slot.value, 16);

    // Both sides at once, many times over: whichever wins, a later GLEN wait never ends with
    // STEP's value.
    for (int round = 0; round < 2000; ++round)
    {
        const auto request = slot.arm (stepAnswer.byteAt (8));
        std::thread input ([&] { handleSysexReply (toMidi (stepAnswer)); });
        slot.giveUp (request);
        const auto next = slot.arm (glenCommand);
        input.join();
        ASSERT_TRUE (slot.waiting.load()) << round;
        ASSERT_TRUE (slot.giveUp (next));
    }
}

TEST (ReplyWait, AWaitStartedInsideAnotherWaitIsRefused)
{
    // From inside the outer wait's message loop: a second wait is refused at once, sending
    // nothing, and the outer wait still takes its own reply after that.
    ScriptedOutput outer, inner;
    inner.answerWith ({ reply (0x07, 1) });
    bool innerResult = true;

    juce::Timer::callAfterDelay (5, [&] {
        uint8 v = 0;
        innerResult = sendAndWaitForValue (&inner, request(), 0x07, v);
        handleSysexReply (reply (0x05, 11));
    });

    uint8 value = 0;
    EXPECT_TRUE (sendAndWaitForValue (&outer, request(), 0x05, value));
    EXPECT_EQ (value, 11);
    EXPECT_FALSE (innerResult);
    EXPECT_TRUE (inner.sent.empty());
}
