#include "emulator/EmulatedInstrument.h"
#include "emulator/EmulatedMidiBackend.h"
#include "platform/Platform.h"
#include "platform/ScriptedDialogs.h"
#include "protocol/Transactions.h"
#include "sequences/MidiExport.h"
#include "sequences/SequenceFile.h"
#include "sequences/SequenceFileIO.h"
#include "sequences/SequenceFileOperations.h"
#include "sequences/SequenceTransfer.h"
#include "tests/support/SequenceTestHelpers.h"

#include <gtest/gtest.h>
#include <juce_events/juce_events.h>

#include <functional>
#include <optional>

using namespace tarnovelle;
using tarnovelle::test::NoteEvent;
using tarnovelle::test::readNoteEvents;
using Bytes = std::vector<uint8>;

namespace
{
/** An output that records what is sent and may answer at once, from inside the send. */
class ScriptedOutput final : public MidiOutputPort
{
public:
    std::vector<Bytes> sent;
    std::function<std::optional<Bytes> (const Bytes& request, int requestNumber)> answer;

    void sendMessageNow (const juce::MidiMessage& m) override
    {
        sent.emplace_back (m.getRawData(), m.getRawData() + m.getRawDataSize());

        if (answer)
            if (auto reply = answer (sent.back(), (int) sent.size()))
                handleSysexReply (juce::MidiMessage (reply->data(), (int) reply->size()));
    }

    juce::String getName() const override { return "scripted"; }
};

Bytes frame (uint8 counter, uint8 command, const Bytes& payload)
{
    Bytes bytes{ 0xF0, 0x00, 0x5C, 0x3D, 0x05, 0x01, counter, (uint8) payload.size(), command };
    bytes.insert (bytes.end(), payload.begin(), payload.end());
    bytes.push_back (0xF7);
    return bytes;
}

/** A 0x3A reply naming sequence 7 whatever was asked, its steps first + 0 .. first + 31. */
Bytes replyFor (const Bytes& request)
{
    Bytes payload{ 7, 32, 5 };

    for (int i = 0; i < 32; ++i)
        payload.push_back ((uint8) (request[10] + i + 1));

    return frame (0, 0x3A, payload);
}

Bytes expectedChunk (uint8 counter, int index, int first, int count, const StepBuffer& steps)
{
    Bytes payload ((size_t) sequenceChunkSize, 0);
    payload[0] = (uint8) index;
    payload[1] = (uint8) first;
    payload[2] = (uint8) count;

    for (int i = 0; i < count; ++i)
        payload[(size_t) (3 + i)] = steps[(size_t) (first + i)];

    return frame (counter, 0x3A, payload);
}

StepBuffer countingSteps()
{
    StepBuffer steps;

    for (int i = 0; i < maxSequenceSteps; ++i)
        steps[(size_t) i] = (uint8) (i + 1);

    return steps;
}
} // namespace

TEST (SequenceTransfer, StepChunksToTheByte)
{
    const auto steps = countingSteps();
    const std::vector<std::pair<int, std::vector<std::pair<int, int>>>> cases{
        { 0, { { 0, 0 } } },
        { 16, { { 0, 16 } } },
        { 32, { { 0, 32 } } },
        { 33, { { 0, 32 }, { 32, 1 } } },
        { 64, { { 0, 32 }, { 32, 32 } } },
        { 100, { { 0, 32 }, { 32, 32 } } },
    };

    for (const auto& [length, chunks] : cases)
    {
        ScriptedOutput out;
        const auto counter = (uint8) getMessageCounter();
        sendSequence (&out, 5, length, steps.data());

        ASSERT_EQ (out.sent.size(), chunks.size()) << "length " << length;

        for (size_t i = 0; i < chunks.size(); ++i)
            EXPECT_EQ (out.sent[i],
                       expectedChunk ((uint8) ((counter + i) % 128), 5, chunks[i].first, chunks[i].second, steps))
                << "length " << length << ", chunk " << i;
    }
}

TEST (SequenceTransfer, ReadAcceptsAnyChunkReplyAndKeepsUnansweredHalves)
{
    ScriptedOutput out;
    out.answer = [] (const Bytes& request, int) { return replyFor (request); };

    StepBuffer steps{};
    EXPECT_TRUE (readSequence (&out, 2, steps.data()));
    EXPECT_EQ (steps, countingSteps()) << "replies naming sequence 7, second half, count 5 are still taken";

    EXPECT_TRUE (readSequence (&out, 2, steps.data()));
    ASSERT_EQ (out.sent.size(), 4u);
    EXPECT_EQ (out.sent[0], frame (out.sent[0][6], 0x3B, { 2, 0, 32 }));
    EXPECT_EQ (out.sent[1], frame (out.sent[1][6], 0x3B, { 2, 32, 32 }));
    EXPECT_EQ (out.sent[2], frame (out.sent[2][6], 0x3B, { 2, 0, 32 }));
    EXPECT_NE (out.sent[0][6], out.sent[2][6]);

    // Only the first half answers: the second half of the buffer keeps what it held.
    out.sent.clear();
    out.answer = [] (const Bytes& request, int) -> std::optional<Bytes>
    { return request[10] == 0 ? std::optional<Bytes> (replyFor (request)) : std::nullopt; };
    steps.fill (0x55);
    EXPECT_FALSE (readSequence (&out, 0, steps.data()));
    EXPECT_EQ (out.sent.size(), 2u);

    for (int i = 0; i < maxSequenceSteps; ++i)
        EXPECT_EQ (steps[(size_t) i], i < 32 ? i + 1 : 0x55) << "step " << i;

    // A missing first half does not stop the second; a reply too short for 32 steps counts as none.
    out.answer = [] (const Bytes& request, int) -> std::optional<Bytes> {
        return request[10] == 32 ? replyFor (request) : frame (0, 0x3A, { 0, 0, 32, 60 });
    };
    steps.fill (0x55);
    EXPECT_FALSE (readSequence (&out, 0, steps.data()));

    for (int i = 0; i < maxSequenceSteps; ++i)
        EXPECT_EQ (steps[(size_t) i], i < 32 ? 0x55 : i + 1) << "step " << i;
}

TEST (SequenceTransfer, FactoryResetAsksThenSendsTenChunks)
{
    ScriptedDialogs dialogs;
    Platform::setDialogs (&dialogs);
    ScriptedOutput out;

    dialogs.answerOkCancel (false);
    sendFactorySequences (&out);
    EXPECT_TRUE (out.sent.empty());
    ASSERT_EQ (dialogs.count (ScriptedDialogs::Kind::okCancelBox), 1);
    const auto box = dialogs.getRecords()[0];
    EXPECT_EQ (box.icon, DialogIcon::warning);
    EXPECT_EQ (box.title, "Reset All Sequences");
    EXPECT_EQ (box.message, "You are about to reset all the sequences to factory default.\nAre you sure?");

    dialogs.answerOkCancel (true);
    sendFactorySequences (&out);
    ASSERT_EQ (out.sent.size(), 10u);

    // Rebuild the sequences from the chunks and hold them against the emulator's own table.
    std::array<Bytes, numSequences> sequences;

    for (const auto& chunk : out.sent)
    {
        ASSERT_EQ (chunk.size(), 45u);
        sequences[chunk[9]].insert (sequences[chunk[9]].end(), chunk.begin() + 12, chunk.begin() + 12 + chunk[11]);
    }

    for (int i = 0; i < numSequences; ++i)
        EXPECT_EQ (sequences[(size_t) i], EmulatedInstrument::getFactorySequence (i)) << "sequence " << i + 1;

    Platform::setDialogs (nullptr);
}

namespace
{
/** The emulated instrument connected as the application connects it, scripted dialogs
    installed, and a fresh folder for the files.
*/
class SequenceFiles : public ::testing::Test, protected MidiPortCallback
{
protected:
    void SetUp() override
    {
        Platform::setDialogs (&dialogs);
        backend.addInstrument (instrument);
        output = backend.openOutput (0);
        input = backend.openInput (0, this);
        ASSERT_TRUE (output != nullptr && input != nullptr);
        input->start();
        folder = juce::File::getSpecialLocation (juce::File::tempDirectory).getNonexistentChildFile ("seq", "");
        folder.createDirectory();
    }

    void TearDown() override
    {
        input->stop();
        input.reset();
        output.reset();
        Platform::setDialogs (nullptr);
        folder.deleteRecursively();
    }

    /** Runs the message loop until the condition holds, for at most two seconds. */
    bool eventually (const std::function<bool()>& condition)
    {
        for (int i = 0; i < 200 && !condition(); ++i)
            Platform::runMessageLoopFor (10);

        return condition();
    }

    juce::StringArray fileNames() const
    {
        juce::StringArray names;

        for (const auto& f : folder.findChildFiles (juce::File::findFiles, false, "*", juce::File::FollowSymlinks::no))
            names.add (f.getFileName());

        names.sort (false);
        return names;
    }

    void save (const juce::String& name, bool withMidiFiles)
    {
        dialogs.answerFile (folder.getChildFile (name));
        dialogs.answerOkCancel (withMidiFiles);
        saveSequenceFile (output.get());
    }

    void load (const juce::File& file)
    {
        dialogs.answerFile (file);
        loadSequenceFile (output.get());
    }

    std::array<Bytes, numSequences> memory() const
    {
        std::array<Bytes, numSequences> sequences;

        for (int i = 0; i < numSequences; ++i)
            sequences[(size_t) i] = instrument.getSequence (i);

        return sequences;
    }

    EmulatedInstrument instrument;
    EmulatedMidiBackend backend;
    std::unique_ptr<MidiOutputPort> output;
    std::unique_ptr<MidiInputPort> input;
    ScriptedDialogs dialogs;
    juce::File folder;
    std::atomic<int> chunkReplies{ 0 };
    int unplugAfterChunkReplies = -1;

private:
    void handleIncomingMidiMessage (MidiInputPort*, const juce::MidiMessage& message) override
    {
        if (message.isActiveSense())
            return;

        handleSysexReply (message);

        if (message.getRawDataSize() > 8 && message.getRawData()[8] == 0x3A
            && ++chunkReplies == unplugAfterChunkReplies)
            juce::MessageManager::callAsync ([this] { instrument.setUnplugged (true); });
    }
};

const std::vector<NoteEvent> noteAndRestAt16th{ { 0x90, 60, 64, 0 }, { 0x80, 60, 64, 24 }, { 0x80, 127, 64, 72 } };
} // namespace

TEST_F (SequenceFiles, SaveWritesTheSetAndItsMidiFiles)
{
    instrument.setSetting (DeviceSetting::STEP, 16);
    instrument.setSetting (DeviceSetting::GLEN, 2);
    instrument.setSequence (0, { 60, 127 });
    instrument.setSequence (7, {});
    Bytes long64 (64, 50);
    instrument.setSequence (5, long64);

    save ("live.txt", true);

    auto expected = getFactorySequences();
    expected[0] = { 60, 127 };
    expected[5].fill (50);
    expected[7] = {};
    const auto text = folder.getChildFile ("live.tvseq").loadFileAsString();
    EXPECT_EQ (text, formatSequenceFile (expected));
    EXPECT_TRUE (text.startsWith ("1:60 x\n2:60 60 60 48 ")
                 && text.endsWith (" 50 50\n7:60 72 48 60 60 x x 48 60 72 x 60 "
                                   "60 x x 73 48 72 60 61 60 x 72 84 72 48 79 "
                                   "82 48 77 81 70\n8:"));

    EXPECT_EQ (readNoteEvents (folder.getChildFile ("live.tvseq_1.mid")), noteAndRestAt16th);
    EXPECT_TRUE (readNoteEvents (folder.getChildFile ("live.tvseq_8.mid")).empty());
    EXPECT_EQ (fileNames().joinIntoString (" "), "live.tvseq live.tvseq_1.mid live.tvseq_2.mid live.tvseq_3.mid "
                                                 "live.tvseq_4.mid live.tvseq_5.mid live.tvseq_6.mid live.tvseq_7.mid "
                                                 "live.tvseq_8.mid");

    const auto records = dialogs.getRecords();
    ASSERT_EQ (records.size(), 2u) << "nothing is shown once the save succeeded";
    EXPECT_EQ (records[0].title, "Save Sequences");
    EXPECT_EQ (records[0].message, "*.tvseq");
    EXPECT_EQ (records[1].title, "Generate MidiFiles?");
    EXPECT_EQ (records[1].message, "You are about to save your sequences as a .tvseq file.\n"
                                   "Would you like to generate separate MidiFiles too?");

    // Without MIDI files only the set is rewritten; with them, at s 32 / g 3, old ones are replaced.
    instrument.setSequence (0, { 61 });
    instrument.setSetting (DeviceSetting::STEP, 32);
    instrument.setSetting (DeviceSetting::GLEN, 3);
    save ("live.tvseq", false);
    EXPECT_TRUE (folder.getChildFile ("live.tvseq").loadFileAsString().startsWith ("1:61\n"));
    EXPECT_EQ (readNoteEvents (folder.getChildFile ("live.tvseq_1.mid")), noteAndRestAt16th);

    save ("live.tvseq", true);
    EXPECT_EQ (readNoteEvents (folder.getChildFile ("live.tvseq_1.mid")),
               (std::vector<NoteEvent>{ { 0x90, 61, 64, 0 }, { 0x80, 61, 64, 18 } }));
    EXPECT_EQ (readNoteEvents (folder.getChildFile ("live.tvseq_6.mid")).back(),
               (NoteEvent{ 0x80, 50, 64, 63 * 24 + 18 }));
    EXPECT_EQ (fileNames().size(), 9);
}

TEST_F (SequenceFiles, SaveThatCannotReadOrWriteLeavesOldFilesAlone)
{
    const auto old = folder.getChildFile ("live.tvseq");
    old.replaceWithText ("1:60");
    folder.getChildFile ("live.tvseq_1.mid").replaceWithText ("old");

    unplugAfterChunkReplies = 5;
    save ("live.tvseq", true);

    EXPECT_EQ (old.loadFileAsString(), "1:60");
    EXPECT_EQ (folder.getChildFile ("live.tvseq_1.mid").loadFileAsString(), "old");
    EXPECT_EQ (fileNames().size(), 2) << "no temporary file is left behind";
    auto boxes = dialogs.getRecords (ScriptedDialogs::Kind::messageBox);
    ASSERT_EQ (boxes.size(), 1u);
    EXPECT_EQ (boxes[0].icon, DialogIcon::warning);
    EXPECT_EQ (boxes[0].title, "Save error");
    EXPECT_EQ (boxes[0].message, "Unable to read the sequences from Tarnovelle. Nothing has been saved.");

    // A folder that does not exist: the instrument answers, the write fails and is reported.
    dialogs.clear();
    instrument.setUnplugged (false);
    EXPECT_TRUE (eventually ([this] { return backend.getOutputNames().size() == 1; }));
    output = backend.openOutput (0);
    input = backend.openInput (0, this);
    input->start();
    save ("missing/live.tvseq", true);
    boxes = dialogs.getRecords (ScriptedDialogs::Kind::messageBox);
    ASSERT_EQ (boxes.size(), 1u);
    EXPECT_TRUE (boxes[0].message.startsWith ("Unable to write the sequence file:")) << boxes[0].message;
    EXPECT_FALSE (folder.getChildFile ("missing").exists());

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
    const auto file = folder.getChildFile ("set.tvseq");

    file.replaceWithText ("3:61 62\n1:60\n2:63 x 64\n4:200\n", false, false, "\n");
    load (file);
    auto boxes = dialogs.getRecords (ScriptedDialogs::Kind::messageBox);
    ASSERT_EQ (boxes.size(), 1u);
    EXPECT_EQ (boxes[0].icon, DialogIcon::none);
    EXPECT_EQ (boxes[0].title, "Sequence file parsing error");
    EXPECT_EQ (boxes[0].message, "Bad file format on line: 4 token: 1");

    juce::MemoryBlock huge (maxSequenceFileSize + 1, false);
    huge.fillWith ('x');
    folder.getChildFile ("huge.tvseq").replaceWithData (huge.getData(), huge.getSize());
    load (folder.getChildFile ("huge.tvseq"));
    load (folder.getChildFile ("absent.tvseq"));
    load (folder);
    load ({});

    boxes = dialogs.getRecords (ScriptedDialogs::Kind::messageBox);
    ASSERT_EQ (boxes.size(), 4u);
    EXPECT_TRUE (boxes[1].message.startsWith ("The file is larger than 1 MiB")) << boxes[1].message;
    EXPECT_TRUE (boxes[2].message.startsWith ("Unable to read the file:")) << boxes[2].message;
    EXPECT_TRUE (boxes[3].message.startsWith ("Unable to read the file:")) << boxes[3].message;
    EXPECT_EQ (boxes[3].icon, DialogIcon::warning);
    Platform::runMessageLoopFor (50);
    EXPECT_EQ (instrument.countReceived (0x3A), 0);
    EXPECT_EQ (memory(), before);

    // A good file is sent line by line, up to a line without a number from 1 to 8.
    file.replaceWithText ("3:61 62\n1:60\n3:63\n2:\n9:70\n4:71", false, false, "\n");
    load (file);
    auto expected = before;
    expected[0] = { 60 };
    expected[1] = {};
    expected[2] = { 63 };
    EXPECT_TRUE (eventually ([&] { return memory() == expected; }));
    EXPECT_EQ (instrument.countReceived (0x3A), 4);
    EXPECT_EQ (dialogs.getRecords (ScriptedDialogs::Kind::openChooser).back().title, "Load Sequences");
}

TEST_F (SequenceFiles, FactoryResetSaveAndLoadRoundTrip)
{
    for (int i = 0; i < numSequences; ++i)
        instrument.setSequence (i, { (uint8) (i + 1), 127 });

    dialogs.answerOkCancel (true);
    sendFactorySequences (output.get());
    std::array<Bytes, numSequences> factory;

    for (int i = 0; i < numSequences; ++i)
        factory[(size_t) i] = EmulatedInstrument::getFactorySequence (i);

    ASSERT_TRUE (eventually ([&] { return memory() == factory; }));

    save ("round.tvseq", false);

    for (int i = 0; i < numSequences; ++i)
        instrument.setSequence (i, {});

    load (folder.getChildFile ("round.tvseq"));
    EXPECT_TRUE (eventually ([&] { return memory() == factory; }));
    EXPECT_EQ (dialogs.count (ScriptedDialogs::Kind::messageBox), 0);
}
