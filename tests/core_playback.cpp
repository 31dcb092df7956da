// Playback, preview and record in the sequence editor: the scheduler against a clock the test
// moves, then the whole of it through the hub against the emulated instrument.

#include "sequences/SequenceTransfer.h"
#include "tests/support/ApplicationRig.h"

#include <gtest/gtest.h>

#include <set>
#include <thread>

using namespace tarnovelle;
using namespace tarnovelle::test;

namespace
{
struct FakeClock final : public PlaybackClock
{
    double time = 0.0;
    double nowMs() const override { return time; }
};

/** What the player sent, with the clock's time, as "0 on 60", "62.5 off 60", "30 cc 123". */
struct RecordingOutput final : public MidiOutputPort
{
    explicit RecordingOutput (const FakeClock& c)
        : clock (c)
    {}

    void write (const juce::MidiMessage& m) override
    {
        juce::String kind = m.isNoteOn() ? "on " : m.isNoteOff() ? "off " : "cc ";
        // "62.5", "250": the time with the decimals it needs.
        const auto time = juce::String (clock.time, 3).trimCharactersAtEnd ("0").trimCharactersAtEnd (".");
        sent.add (time + " " + kind + juce::String (m.isController() ? m.getControllerNumber() : m.getNoteNumber()));
        channels.insert (m.getChannel());
    }

    juce::String getName() const override { return "recording"; }

    juce::String take()
    {
        auto text = sent.joinIntoString (", ");
        sent.clear();
        return text;
    }

    const FakeClock& clock;
    juce::StringArray sent;
    std::set<int> channels;
};

EditedSequence sequenceOf (const std::vector<uint8>& steps) { return EditedSequence::fromSteps (steps); }

PlaybackTiming timingOf (int stepSize, int gateLength, double tempo = 120.0)
{
    PlaybackTiming timing;
    timing.channel = 3;
    timing.stepSize = stepSize;
    timing.gateLength = gateLength;
    timing.tempo = tempo;
    return timing;
}

/** A player on a clock the test moves, sending to a recording output. */
struct SequencePlayerTest : public ::testing::Test
{
    FakeClock clock;
    RecordingOutput out{ clock };
    SequencePlayer player{ clock };

    /** Moves the clock from event to event up to the end, as the player's thread would. */
    void runUntil (double end)
    {
        for (auto next = player.processDueEvents(); next <= end; next = player.processDueEvents())
            clock.time = next;

        clock.time = end;
    }
};
} // namespace

//==============================================================================
TEST_F (SequencePlayerTest, PlaysStepsWithTheExportsGatesSkipsRestsAndTakesANewTempoFromTheNextStep)
{
    // A sixteenth at 120 BPM lasts 125 ms; gate length 2 sounds half of it.
    player.start (out, 0, sequenceOf ({ 60, restStep, 62 }), timingOf (16, 2));
    runUntil (440.0);
    EXPECT_EQ (out.take(), "0 on 60, 62.5 off 60, 250 on 62, 312.5 off 62, 375 on 60, 437.5 off 60");
    EXPECT_EQ (player.getPlayingStep(), 0);

    // At 60 BPM the step under way keeps its 125 ms, the next ones last 250; gate 3 is 3/4.
    player.setTiming (timingOf (16, 3, 60.0));
    runUntil (1100.0);
    EXPECT_EQ (out.take(), "875 on 62, 1062.5 off 62");
    EXPECT_EQ (out.channels, std::set<int> ({ 3 }));
}

TEST_F (SequencePlayerTest, EditsAreHeardFromTheNextStepAndAnotherSequenceFromTheNextBar)
{
    // Quarter-note steps at 120 BPM: 500 ms each, four to the bar.
    player.start (out, 0, sequenceOf ({ 60, 60, 60, 60, 60, 60 }), timingOf (4, 1));
    runUntil (10.0);
    player.updateSequence (0, sequenceOf ({ 60, 61, 60, 60, 60, 60 }));
    runUntil (600.0);
    player.changeSequence (1, sequenceOf ({ 70, 71 }));
    runUntil (2600.0);

    EXPECT_EQ (out.take(), "0 on 60, 125 off 60, 500 on 61, 625 off 61, 1000 on 60, 1125 off 60, 1500 on 60, "
                           "1625 off 60, 2000 on 70, 2125 off 70, 2500 on 71");
    EXPECT_EQ (player.getPlayingSequence(), 1);
}

TEST_F (SequencePlayerTest, StopEndsTheSoundingNoteThenAllNotesOffAndPreviewsEndOneAnother)
{
    player.start (out, 0, sequenceOf ({ 60 }), timingOf (16, 3));
    runUntil (30.0);
    player.stop();
    runUntil (10000.0);
    EXPECT_EQ (out.take(), "0 on 60, 30 off 60, 30 cc 123");
    EXPECT_FALSE (player.isPlaying());
    EXPECT_EQ (player.getPlayingStep(), -1);

    // Stopping what has stopped sends nothing.
    player.stop();
    EXPECT_EQ (out.take(), "");

    // A drag's previews: each new note ends the one before; the last sounds its gate.
    player.playNote (out, 60, timingOf (16, 2));
    runUntil (10020.0);
    player.playNote (out, 61, timingOf (16, 2));
    runUntil (10200.0);
    EXPECT_EQ (out.take(), "10000 on 60, 10020 off 60, 10020 on 61, 10082.5 off 61");

    // While a sequence plays, previews stay silent; the stop ends what the preview started.
    player.playNote (out, 64, timingOf (16, 2));
    player.start (out, 0, sequenceOf ({ 48 }), timingOf (16, 2));
    player.playNote (out, 65, timingOf (16, 2));
    runUntil (10210.0);
    EXPECT_EQ (out.take(), "10200 on 64, 10200 off 64, 10200 cc 123, 10200 on 48");
}

//==============================================================================
namespace
{
/** An output that takes a message a byte at a time, as JUCE's ALSA output feeds its encoder,
    leaving room for another thread between two bytes, and notes the most messages that were
    on their way at once: two would be bytes of one inside the other on the wire.
*/
struct ByteWireOutput final : public MidiOutputPort
{
    std::atomic<int> notesSent{ 0 };
    std::atomic<int> mostMessagesAtOnce{ 0 };

    juce::String getName() const override { return "byte wire"; }

private:
    void write (const juce::MidiMessage& message) override
    {
        const int messages = ++messagesOnTheirWay;

        for (int seen = mostMessagesAtOnce.load(); messages > seen;)
            mostMessagesAtOnce.compare_exchange_weak (seen, messages);

        for (int i = 0; i < message.getRawDataSize(); ++i)
            std::this_thread::yield();

        notesSent += message.isNoteOnOrOff() ? 1 : 0;
        --messagesOnTheirWay;
    }

    std::atomic<int> messagesOnTheirWay{ 0 };
};
} // namespace

TEST (SequencePlayerThread, ItsNotesNeverLandInsideTheRequestsOfTheMessageThread)
{
    ByteWireOutput out;
    SequencePlayerThread playerThread;
    auto& player = playerThread.getPlayer();
    const auto timing = timingOf (32, 1, 300.0); // a 25 ms step, 6.25 ms gates
    StepBuffer steps{};
    std::fill_n (steps.begin(), maxSequenceSteps, (uint8) 60);

    // While the player's thread ends previews and then plays a sequence, this thread sends
    // sequences and settings back to back, as Send and a knob do.
    const auto sendRequestsUntil = [&] (int notes, std::function<void()> between) {
        const auto deadline = juce::Time::getMillisecondCounter() + 5000;

        while (out.notesSent < notes && juce::Time::getMillisecondCounter() < deadline)
        {
            sendSequence (&out, 0, maxSequenceSteps, steps.data());
            setSetting (&out, DeviceSetting::BEND, 7);
            between();
        }

        return out.notesSent >= notes;
    };

    player.playNote (out, 60, timing);
    int sentWithPreview = out.notesSent;
    EXPECT_TRUE (sendRequestsUntil (24, [&] {
        if (out.notesSent == sentWithPreview + 1) // the player's thread has ended the preview
        {
            player.playNote (out, 60, timing);
            sentWithPreview = out.notesSent;
        }
    }));

    player.start (out, 0, sequenceOf ({ 60, 62 }), timing);
    EXPECT_TRUE (sendRequestsUntil (48, [] {}));
    player.stop();

    EXPECT_EQ (out.mostMessagesAtOnce, 1);
}

//==============================================================================
namespace
{
/** The application connected to the emulated instrument, with sequence 1 in the editor. */
struct PlaybackTest : public ::testing::Test, public ApplicationRig
{
    SequenceEditorModel& model = controller.getSequenceEditorModel();
    SequencePlayback& playback = controller.getSequencePlayback();

    static constexpr int receiveChannel = 5;

    void SetUp() override
    {
        rig.instrument.setSetting (DeviceSetting::MIN, receiveChannel - 1);
        rig.instrument.setSetting (DeviceSetting::GLEN, 3);
        ASSERT_TRUE (startConnected());
        model.replaceSequence (0, EditedSequence::fromSteps ({ 60, 62, restStep, 64 }));
        rig.instrument.clearReceived();
    }

    std::vector<EmulatedInstrument::Bytes> channelMessages() const
    {
        std::vector<EmulatedInstrument::Bytes> messages;

        for (auto& m : rig.instrument.getReceivedChannelMessages())
            messages.push_back (m.bytes);

        return messages;
    }

    int countNoteOns() const
    {
        int n = 0;

        for (auto& m : channelMessages())
            n += (m[0] & 0xf0) == 0x90 && m[2] > 0 ? 1 : 0;

        return n;
    }

    /** Every note-on is followed by its note-off before anything else starts, all on the
        receive channel, and the last message is All Notes Off.
    */
    ::testing::AssertionResult noNoteLeftOn() const
    {
        const auto messages = channelMessages();
        int sounding = -1;

        for (auto& m : messages)
        {
            if ((m[0] & 0x0f) != receiveChannel - 1)
                return ::testing::AssertionFailure() << "a message on another channel";

            if ((m[0] & 0xf0) == 0x90 && sounding >= 0)
                return ::testing::AssertionFailure() << "note " << (int) m[1] << " while " << sounding << " sounds";

            if ((m[0] & 0xf0) == 0x90)
                sounding = m[1];
            else if ((m[0] & 0xf0) == 0x80 && m[1] == sounding)
                sounding = -1;
        }

        if (sounding >= 0)
            return ::testing::AssertionFailure() << "note " << sounding << " left on";

        const EmulatedInstrument::Bytes allNotesOff{ (uint8) (0xb0 + receiveChannel - 1), 123, 0 };

        if (messages.empty() || messages.back() != allNotesOff)
            return ::testing::AssertionFailure() << "no All Notes Off at the end";

        return ::testing::AssertionSuccess();
    }
};
} // namespace

TEST_F (PlaybackTest, EveryWayPlaybackEndsLeavesNoNoteOn)
{
    const std::vector<std::pair<const char*, std::function<void()>>> endings{
        { "Stop", [&] { controller.handleActionMessage ("STPL "); } },
        { "a setting change", [&] { controller.handleActionMessage ("BEND 3"); } },
        { "a send", [&] { controller.handleActionMessage ("WRSQ "); } },
        { "a read", [&] { controller.handleActionMessage ("RDSQ "); } },
        { "CONNECT", [&] { controller.handleActionMessage ("COMI "); } },
        { "a disconnection (and quit)", [&] { controller.disconnect(); } },
        { "the instrument gone silent", [&] { rig.instrument.setActiveSensingEnabled (false); } },
    };

    for (auto& [name, end] : endings)
    {
        SCOPED_TRACE (name);

        if (! controller.isConnected())
            controller.connect();

        rig.instrument.clearFaults();
        model.replaceSequence (0, EditedSequence::fromSteps ({ 60, 62, restStep, 64 }));
        rig.instrument.clearReceived();

        controller.handleActionMessage ("PLSQ ");
        ASSERT_TRUE (playback.isPlaying());
        ASSERT_TRUE (waitFor ([&] { return countNoteOns() >= 3; }));

        end();
        ASSERT_TRUE (waitFor ([&] { return ! playback.isPlaying(); }));
        EXPECT_TRUE (noNoteLeftOn());
    }

    // Unplugged, the ports are dead; playback still stops.
    rig.instrument.clearFaults();
    controller.connect();
    controller.handleActionMessage ("PLSQ ");
    ASSERT_TRUE (playback.isPlaying());
    rig.instrument.setUnplugged (true);
    EXPECT_TRUE (waitFor ([&] { return ! playback.isPlaying(); }));
}

TEST_F (PlaybackTest, RecordEndsBeforeEveryExchangeAndWithTheConnection)
{
    const std::vector<std::pair<const char*, std::function<void()>>> endings{
        { "a setting change", [&] { controller.handleActionMessage ("BEND 3"); } },
        { "a read", [&] { controller.handleActionMessage ("RDSQ "); } },
        { "a disconnection", [&] { controller.disconnect(); } },
        { "the instrument gone silent", [&] { rig.instrument.setActiveSensingEnabled (false); } },
    };
    model.selectSequence (1);
    int note = 70;

    for (auto& [name, end] : endings)
    {
        SCOPED_TRACE (name);

        if (! controller.isConnected())
            controller.connect();

        ASSERT_TRUE (playback.setRecording (true));
        const auto before = model.getSelected();
        rig.instrument.playKey (++note, 100);
        ASSERT_TRUE (waitFor ([&] { return model.getSelected() != before; }));

        end();
        EXPECT_TRUE (waitFor ([&] { return ! playback.isRecording(); }));
    }

    // Without the instrument there is nothing to record.
    controller.disconnect();
    EXPECT_FALSE (playback.setRecording (true));
    EXPECT_FALSE (playback.isRecording());
}

TEST_F (PlaybackTest, PreviewSoundsEachNoteAnEditSetsUnlessItIsOff)
{
    model.selectSequence (0);
    model.moveCursorTo (1);
    model.changeNoteBy (1); // 62 to 63
    ASSERT_TRUE (waitFor ([&] { return channelMessages().size() >= 2; }));

    // Edits that set no single note, and every edit while preview is off, stay silent.
    model.transpose (12);
    playback.setPreviewOn (false);
    model.setNote (0, 50);
    playback.setPreviewOn (true);
    model.toggleNote (6, 55); // past the end: lengthened with rests
    ASSERT_TRUE (waitFor ([&] { return channelMessages().size() >= 4; }));

    const auto n = [] (uint8 status, uint8 note) {
        return EmulatedInstrument::Bytes{ (uint8) (status + receiveChannel - 1), note, 64 };
    };
    EXPECT_EQ (channelMessages(),
               (std::vector<EmulatedInstrument::Bytes>{ n (0x90, 63), n (0x80, 63), n (0x90, 55), n (0x80, 55) }));
}

TEST_F (PlaybackTest, RecordEntersTheHighestNoteOfAChordRestsAndEachNoteUndoesAlone)
{
    model.selectSequence (1);
    model.moveCursorTo (0);
    playback.setRecording (true);

    const auto steps = [&] {
        std::vector<int> s;
        const auto& sequence = model.getSelected();

        for (int i = 0; i < sequence.length; ++i)
            s.push_back (sequence.steps[(size_t) i]);

        return s;
    };

    for (int note : { 60, 67, 64 })
        rig.instrument.playKey (note, 100);

    ASSERT_TRUE (waitFor ([&] { return model.getSelected().length == 1; }));
    rig.instrument.playKey (67, 0);
    rig.instrument.playKey (62, 90);
    ASSERT_TRUE (waitFor ([&] { return model.getSelected().length == 2; }));
    playback.enterRest();

    // Notes on another channel than the transmit channel are not the instrument's keys.
    rig.instrument.setSetting (DeviceSetting::MOUT, 9);
    rig.instrument.playKey (50, 100);
    rig.instrument.setSetting (DeviceSetting::MOUT, EmulatedInstrument::getFactorySetting (DeviceSetting::MOUT));
    rig.instrument.playKey (52, 100);
    ASSERT_TRUE (waitFor ([&] { return model.getSelected().length == 4; }));
    EXPECT_EQ (steps(), (std::vector<int>{ 67, 62, restStep, 52 }));

    // Backspace steps back: the next note replaces the last.
    playback.stepBack();
    rig.instrument.playKey (53, 100);
    ASSERT_TRUE (waitFor ([&] { return model.getSelected().steps[3] == 53; }));

    model.undo();
    EXPECT_EQ (steps(), (std::vector<int>{ 67, 62, restStep, 52 }));
    model.undo();
    model.undo();
    EXPECT_EQ (steps(), (std::vector<int>{ 67, 62 }));

    // Record off: the keys enter nothing, and the connection lives on.
    playback.setRecording (false);
    rig.instrument.playKey (70, 100);
    EXPECT_TRUE (controller.isConnected());
    EXPECT_EQ (steps(), (std::vector<int>{ 67, 62 }));
}
