#include "emulator/EmulatedInstrument.h"
#include "emulator/EmulatedMidiBackend.h"
#include "platform/Platform.h"
#include "platform/ScriptedDialogs.h"
#include "protocol/Transactions.h"
#include "sequences/SequenceFile.h"
#include "sequences/SequenceFileIO.h"
#include "sequences/SequenceFileOperations.h"
#include "sequences/SequenceTransfer.h"
#include "tests/support/SequenceTestHelpers.h"

#include <gtest/gtest.h>
#include <juce_events/juce_events.h>

using namespace tarnovelle;
using tarnovelle::test::NoteEvent;
using tarnovelle::test::readNoteEvents;
using Bytes = std::vector<uint8>;
using Kind = ScriptedDialogs::Kind;

namespace
{
/** An output that records what is sent and may answer at once, from inside the send. */
class ScriptedOutput final : public MidiOutputPort
{
public:
    std::vector<Bytes> sent;
    std::function<std::optional<Bytes> (const Bytes& request)> answer;

    void sendMessageNow (const juce::MidiMessage& m) override
    {
        sent.emplace_back (m.getRawData(), m.getRawData() + m.getRawDataSize());

        if (auto reply = answer ? answer (sent.back()) : std::nullopt)
            handleSysexReply (juce::MidiMessage (reply->data(), (int) reply->size()));
    }

    juce::String getName() const override { return "scripted"; }
};

Bytes frame (uint8 counter, uint8 command, Bytes payload)
{
    payload.insert (payload.begin(), { 0xF0, 0x00, 0x5C, 0x3D, 0x05, 0x01, counter, (uint8) payload.size(), command });
    payload.push_back (0xF7);
    return payload;
}

/** A chunk of sequence `index` from `first`: `count` steps numbered first + 1 on, then zeros. */
Bytes chunk (uint8 counter, int index, int first, int count)
{
    Bytes payload ((size_t) sequenceChunkSize, 0);
    payload[0] = (uint8) index;
    payload[1] = (uint8) first;
    payload[2] = (uint8) count;

    for (int i = 0; i < count; ++i)
        payload[(size_t) (3 + i)] = (uint8) (first + i + 1);

    return frame (counter, 0x3A, payload);
}

/** The reply to a request, naming sequence 7 and a count of 5 whatever was asked. */
std::optional<Bytes> replyTo (const Bytes& request)
{
    auto reply = chunk (0, request[10], request[10], 32);
    reply[9] = 7;
    reply[11] = 5;
    return reply;
}
} // namespace

TEST (SequenceTransfer, StepChunksToTheByte)
{
    StepBuffer steps;

    for (int i = 0; i < maxSequenceSteps; ++i)
        steps[(size_t) i] = (uint8) (i + 1);

    const std::vector<std::pair<int, std::vector<int>>> cases{
        { 0, { 0 } }, { 16, { 16 } }, { 32, { 32 } }, { 33, { 32, 1 } }, { 64, { 32, 32 } }, { 100, { 32, 32 } },
    };

    for (const auto& [length, counts] : cases)
    {
        ScriptedOutput out;
        const auto counter = getMessageCounter();
        sendSequence (&out, 5, length, steps.data());
        ASSERT_EQ (out.sent.size(), counts.size()) << "length " << length;

        for (size_t i = 0; i < counts.size(); ++i)
            EXPECT_EQ (out.sent[i], chunk ((uint8) ((counter + (int) i) % 128), 5, 32 * (int) i, counts[i]))
                << "length " << length << ", chunk " << i;
    }
}

TEST (SequenceTransfer, ReadTakesAnyChunkReplyAndKeepsUnansweredHalves)
{
    ScriptedOutput out;
    out.answer = replyTo;
    StepBuffer steps{}, expected;

    for (int i = 0; i < maxSequenceSteps; ++i)
        expected[(size_t) i] = (uint8) (i + 1);

    EXPECT_TRUE (readSequence (&out, 2, steps.data()));
    EXPECT_TRUE (readSequence (&out, 2, steps.data()));
    EXPECT_EQ (steps, expected);
    ASSERT_EQ (out.sent.size(), 4u);
    EXPECT_EQ (out.sent[0], frame (out.sent[0][6], 0x3B, { 2, 0, 32 }));
    EXPECT_EQ (out.sent[1], frame (out.sent[1][6], 0x3B, { 2, 32, 32 }));
    EXPECT_EQ (out.sent[2], frame (out.sent[2][6], 0x3B, { 2, 0, 32 }));
    EXPECT_NE (out.sent[0][6], out.sent[2][6]) << "two reads of one sequence differ in their counters";

    // Only the first half answers: the buffer's second half keeps what it held.
    out.answer = [] (const Bytes& r) { return r[10] == 0 ? replyTo (r) : std::nullopt; };
    steps.fill (0x55);
    EXPECT_FALSE (readSequence (&out, 0, steps.data()));
    std::fill (expected.begin() + 32, expected.end(), 0x55);
    EXPECT_EQ (steps, expected);

    // A first half that brings no whole chunk does not stop the second.
    out.sent.clear();
    out.answer = [] (const Bytes& r) { return r[10] == 32 ? replyTo (r) : frame (0, 0x3A, { 0, 0, 32, 60 }); };
    steps.fill (0x55);
    EXPECT_FALSE (readSequence (&out, 0, steps.data()));
    EXPECT_EQ (out.sent.size(), 2u);

    for (int i = 0; i < maxSequenceSteps; ++i)
        EXPECT_EQ (steps[(size_t) i], i < 32 ? 0x55 : i + 1) << "step " << i;
}

namespace
{
/** The emulated instrument, connected as the application connects to it, scripted dialogs,
    and a fresh folder for the files.
*/
class SequenceFiles : public ::testing::Test, protected MidiPortCallback
{
protected:
    void SetUp() override
    {
        Platform::setDialogs (&dialogs);
        backend.addInstrument (instrument);
        connect();
        folder = juce::File::getSpecialLocation (juce::File::tempDirectory).getNonexistentChildFile ("seq", "");
        folder.createDirectory();
    }

    void TearDown() override
    {
        input.reset();
        Platform::setDialogs (nullptr);
        folder.deleteRecursively();
    }

    void connect()
    {
        output = backend.openOutput (0);
        input = backend.openInput (0, this);
        ASSERT_TRUE (output != nullptr && input != nullptr);
        input->start();
    }

    /** Runs the message loop until the condition holds, for at most two seconds. */
    static bool eventually (const std::function<bool()>& condition)
    {
        for (int i = 0; i < 200 && !condition(); ++i)
            Platform::runMessageLoopFor (10);

        return condition();
    }

    int numFiles() const { return folder.getNumberOfChildFiles (juce::File::findFilesAndDirectories); }
    juce::File file (const juce::String& name) const { return folder.getChildFile (name); }

    void save (const juce::String& name, bool withMidiFiles)
    {
        dialogs.answerFile (file (name));
        dialogs.answerOkCancel (withMidiFiles);
        saveSequenceFile (output.get());
    }

    void load (const juce::File& f)
    {
        dialogs.answerFile (f);
        loadSequenceFile (output.get());
    }

    std::array<Bytes, numSequences> memory() const
    {
        std::array<Bytes, numSequences> sequences;

        for (int i = 0; i < numSequences; ++i)
            sequences[(size_t) i] = instrument.getSequence (i);

        return sequences;
    }

    std::vector<ScriptedDialogs::Record> boxes() const { return dialogs.getRecords (Kind::messageBox); }

    EmulatedInstrument instrument;
    EmulatedMidiBackend backend;
    std::unique_ptr<MidiOutputPort> output;
    std::unique_ptr<MidiInputPort> input;
    ScriptedDialogs dialogs;
    juce::File folder;
    int unplugAfterChunkReplies = -1;

private:
    void handleIncomingMidiMessage (MidiInputPort*, const juce::MidiMessage& message) override
    {
        if (message.isActiveSense())
            return;

        handleSysexReply (message);

        // Pull the cable from the message thread, in the middle of the save's waits.
        if (message.getRawDataSize() > 8 && message.getRawData()[8] == 0x3A && --unplugAfterChunkReplies == 0)
            juce::MessageManager::callAsync ([this] { instrument.setUnplugged (true); });
    }
};
} // namespace

TEST_F (SequenceFiles, SaveWritesTheSetAndItsMidiFiles)
{
    instrument.setSetting (DeviceSetting::STEP, 16);
    instrument.setSetting (DeviceSetting::GLEN, 2);
    instrument.setSequence (0, { 60, 127 });
    instrument.setSequence (5, Bytes (64, 50));
    instrument.setSequence (7, {});

    save ("live.txt", true);

    const auto text = file ("live.tvseq").loadFileAsString();
    EXPECT_TRUE (text.startsWith ("1:60 x\n2:60 60 60 48 60 60 60 72 60 60 60 48 60 60 72 48\n3:48 60 "));
    EXPECT_TRUE (text.endsWith (" 50 50\n7:60 72 48 60 60 x x 48 60 72 x 60 60 x x 73 48 72 60 61 60 x 72 84 72 48 79 "
                                "82 48 77 81 70\n8:"));
    EXPECT_EQ (parseSequenceFile (text.toStdString()).sequences[5].steps, Bytes (64, 50));

    const std::vector<NoteEvent> noteAndRest{ { 0x90, 60, 64, 0 }, { 0x80, 60, 64, 24 }, { 0x80, 127, 64, 72 } };
    EXPECT_EQ (readNoteEvents (file ("live.tvseq_1.mid")), noteAndRest);
    EXPECT_TRUE (readNoteEvents (file ("live.tvseq_8.mid")).empty());
    EXPECT_EQ (numFiles(), 9) << "the set, eight MIDI files and no temporary file";

    const auto records = dialogs.getRecords();
    ASSERT_EQ (records.size(), 2u) << "nothing is shown once the save succeeded";
    EXPECT_EQ (records[0].title + " " + records[0].message, "Save Sequences *.tvseq");
    EXPECT_EQ (records[1].icon, DialogIcon::warning);
    EXPECT_EQ (records[1].title, "Generate MidiFiles?");
    EXPECT_EQ (records[1].message, "You are about to save your sequences as a .tvseq file.\n"
                                   "Would you like to generate separate MidiFiles too?");

    // Without MIDI files only the set is rewritten; with them, at s 32 / g 3, they are replaced.
    instrument.setSequence (0, { 61 });
    instrument.setSetting (DeviceSetting::STEP, 32);
    instrument.setSetting (DeviceSetting::GLEN, 3);
    save ("live.tvseq", false);
    EXPECT_TRUE (file ("live.tvseq").loadFileAsString().startsWith ("1:61\n"));
    EXPECT_EQ (readNoteEvents (file ("live.tvseq_1.mid")), noteAndRest);

    save ("live.tvseq", true);
    EXPECT_EQ (readNoteEvents (file ("live.tvseq_1.mid")),
               (std::vector<NoteEvent>{ { 0x90, 61, 64, 0 }, { 0x80, 61, 64, 18 } }));
    EXPECT_EQ (readNoteEvents (file ("live.tvseq_6.mid")).back(), (NoteEvent{ 0x80, 50, 64, 63 * 24 + 18 }));
    EXPECT_EQ (numFiles(), 9);
}

TEST_F (SequenceFiles, SaveThatCannotReadOrWriteLeavesOldFilesAlone)
{
    file ("live.tvseq").replaceWithText ("1:60");
    file ("live.tvseq_1.mid").replaceWithText ("old");

    unplugAfterChunkReplies = 5;
    save ("live.tvseq", true);

    EXPECT_EQ (file ("live.tvseq").loadFileAsString(), "1:60");
    EXPECT_EQ (file ("live.tvseq_1.mid").loadFileAsString(), "old");
    EXPECT_EQ (numFiles(), 2) << "no temporary file is left behind";
    ASSERT_EQ (boxes().size(), 1u);
    EXPECT_EQ (boxes()[0].icon, DialogIcon::warning);
    EXPECT_EQ (boxes()[0].title, "Save error");
    EXPECT_EQ (boxes()[0].message, "Unable to read the sequences from Tarnovelle. Nothing has been saved.");

    // Plugged in again, into a folder that does not exist: the failed write is reported.
    dialogs.clear();
    instrument.setUnplugged (false);
    ASSERT_TRUE (eventually ([this] { return backend.getOutputNames().size() == 1; }));
    connect();
    save ("missing/live.tvseq", true);
    ASSERT_EQ (boxes().size(), 1u);
    EXPECT_TRUE (boxes()[0].message.startsWith ("Unable to write the sequence file:")) << boxes()[0].message;

    // A cancelled chooser asks nothing more and sends nothing.
    dialogs.clear();
    instrument.clearReceived();
    saveSequenceFile (output.get());
    EXPECT_EQ (dialogs.getRecords().size(), 1u);
    EXPECT_EQ (instrument.countAllReceived(), 0);
}

TEST_F (SequenceFiles, LoadChecksTheWholeFileBeforeSending)
{
    const auto before = memory();
    file ("set.tvseq").replaceWithText ("3:61 62\n1:60\n2:63 x 64\n4:200\n", false, false, "\n");
    juce::MemoryBlock huge (maxSequenceFileSize + 1, false);
    huge.fillWith ('x');
    file ("huge.tvseq").replaceWithData (huge.getData(), huge.getSize());

    for (const auto& f : { file ("set.tvseq"), file ("huge.tvseq"), file ("absent.tvseq"), folder, juce::File() })
        load (f);

    ASSERT_EQ (boxes().size(), 4u);
    EXPECT_EQ (boxes()[0].icon, DialogIcon::none);
    EXPECT_EQ (boxes()[0].title, "Sequence file parsing error");
    EXPECT_EQ (boxes()[0].message, "Bad file format on line: 4 token: 1");
    EXPECT_TRUE (boxes()[1].message.startsWith ("The file is larger than 1 MiB")) << boxes()[1].message;
    EXPECT_TRUE (boxes()[2].message.startsWith ("Unable to read the file:")) << boxes()[2].message;
    EXPECT_TRUE (boxes()[3].message.startsWith ("Unable to read the file:")) << boxes()[3].message;
    EXPECT_EQ (boxes()[3].icon, DialogIcon::warning);
    Platform::runMessageLoopFor (50);
    EXPECT_EQ (instrument.countReceived (0x3A), 0);
    EXPECT_EQ (memory(), before);

    // A good file is sent line by line, up to a line without a number from 1 to 8.
    file ("set.tvseq").replaceWithText ("3:61 62\n1:60\n3:63\n2:\n9:70\n4:71", false, false, "\n");
    load (file ("set.tvseq"));
    auto expected = before;
    expected[0] = { 60 };
    expected[1] = {};
    expected[2] = { 63 };
    EXPECT_TRUE (eventually ([&] { return memory() == expected; }));
    EXPECT_EQ (instrument.countReceived (0x3A), 4);
    EXPECT_EQ (dialogs.getRecords (Kind::openChooser).back().title, "Load Sequences");
}

TEST_F (SequenceFiles, FactoryResetSaveAndLoadRoundTrip)
{
    for (int i = 0; i < numSequences; ++i)
        instrument.setSequence (i, { (uint8) (i + 1), 127 });

    const auto changed = memory();
    dialogs.answerOkCancel (false);
    sendFactorySequences (output.get());
    const auto box = dialogs.getRecords()[0];
    EXPECT_EQ (box.icon, DialogIcon::warning);
    EXPECT_EQ (box.title, "Reset All Sequences");
    EXPECT_EQ (box.message, "You are about to reset all the sequences to factory default.\nAre you sure?");
    Platform::runMessageLoopFor (50);
    EXPECT_EQ (memory(), changed) << "a cancelled reset sends nothing";

    // The emulator's own copy of the factory table.
    std::array<Bytes, numSequences> factory;

    for (int i = 0; i < numSequences; ++i)
        factory[(size_t) i] = EmulatedInstrument::getFactorySequence (i);

    dialogs.answerOkCancel (true);
    sendFactorySequences (output.get());
    ASSERT_TRUE (eventually ([&] { return memory() == factory; }));
    EXPECT_EQ (instrument.countReceived (0x3A), 10);

    save ("round.tvseq", false);

    for (int i = 0; i < numSequences; ++i)
        instrument.setSequence (i, {});

    load (file ("round.tvseq"));
    EXPECT_TRUE (eventually ([&] { return memory() == factory; }));
    EXPECT_EQ (boxes().size(), 0u);
}
