#include "editor/SequenceEditorFiles.h"
#include "sequences/SequenceFile.h"
#include "sequences/SequenceFileIO.h"
#include "sequences/SequenceFileOperations.h"
#include "sequences/SequenceTransfer.h"
#include "tests/support/ApplicationRig.h"
#include "tests/support/MakerFrames.h"
#include "tests/support/ScratchFolder.h"
#include "tests/support/ScriptedOutput.h"

#include <gtest/gtest.h>
#include <juce_audio_basics/juce_audio_basics.h>
#include <juce_events/juce_events.h>
#include <numeric>

using namespace tarnovelle;
using tarnovelle::test::InstrumentRig;
using tarnovelle::test::ScriptedOutput;
using tarnovelle::test::waitFor;
using Bytes = std::vector<uint8>;

namespace
{
Bytes frame (uint8 counter, uint8 command, const Bytes& payload)
{
    return test::MakerFrames::frame (counter, (uint8) payload.size(), command, payload);
}

/** A chunk of sequence `index` from `first`: `count` steps numbered first + 1 on, then zeros. */
Bytes chunk (uint8 counter, int index, int first, int count)
{
    Bytes payload{ (uint8) index, (uint8) first, (uint8) count };
    payload.resize ((size_t) sequenceChunkSize);
    std::iota (payload.begin() + 3, payload.begin() + 3 + count, (uint8) (first + 1));
    return frame (counter, 0x3A, payload);
}

const StepBuffer numberedSteps = [] {
    StepBuffer steps;
    std::iota (steps.begin(), steps.end(), (uint8) 1);
    return steps;
}();
} // namespace

TEST (SequenceTransfer, StepChunksToTheByte)
{
    const std::vector<std::pair<int, std::vector<int>>> cases{
        { 0, { 0 } }, { 16, { 16 } }, { 32, { 32 } }, { 33, { 32, 1 } }, { 64, { 32, 32 } }, { 100, { 32, 32 } },
    };

    for (const auto& [length, counts] : cases)
    {
        ScriptedOutput out;
        const auto counter = getMessageCounter();
        sendSequence (&out, 5, length, numberedSteps.data());
        ASSERT_EQ (out.sent.size(), counts.size()) << "length " << length;

        for (size_t i = 0; i < counts.size(); ++i)
            EXPECT_EQ (out.sent[i], chunk ((uint8) ((counter + (int) i) % 128), 5, 32 * (int) i, counts[i]))
                << "length " << length << ", chunk " << i;
    }
}

TEST (SequenceTransfer, ReadTakesAChunkNamingAnotherSequenceAndKeepsAnUnansweredHalf)
{
    // Every reply names sequence 7 and a count of 5, whatever was asked.
    const auto reply = [] (const Bytes& request) {
        auto r = chunk (0, 7, request[10], 32);
        r[11] = 5;
        return std::vector<juce::MidiMessage>{ juce::MidiMessage (r.data(), (int) r.size()) };
    };

    ScriptedOutput out;
    out.answer = reply;
    StepBuffer steps{};
    EXPECT_TRUE (readSequence (&out, 2, steps.data()));
    EXPECT_EQ (steps, numberedSteps);
    ASSERT_EQ (out.sent.size(), 2u);
    EXPECT_EQ (out.sent[0], frame (out.sent[0][6], 0x3B, { 2, 0, 32 }));
    EXPECT_EQ (out.sent[1], frame (out.sent[1][6], 0x3B, { 2, 32, 32 }));

    // Only the first half answers: the buffer's second half keeps what it held.
    out.answer = [reply] (const Bytes& r) { return r[10] == 0 ? reply (r) : std::vector<juce::MidiMessage>(); };
    steps.fill (0x55);
    EXPECT_FALSE (readSequence (&out, 0, steps.data()));

    for (int i = 0; i < maxSequenceSteps; ++i)
        EXPECT_EQ (steps[(size_t) i], i < 32 ? i + 1 : 0x55) << "step " << i;
}

namespace
{
/** The emulated instrument connected as the application connects to it, and a fresh folder.
    (The cable pulled in the middle of a save or a load is a case of the fault tests.)
*/
class SequenceFiles : public ::testing::Test
{
protected:
    void SetUp() override
    {
        ASSERT_TRUE (output != nullptr && input != nullptr);
        input->start();
    }

    juce::File file (const juce::String& name) const { return folder.getChildFile (name); }

    /** Saves through the chooser, answering the boxes that follow in turn. */
    void save (const juce::String& name, std::initializer_list<bool> answers)
    {
        rig.dialogs.answerFile (file (name));

        for (auto answer : answers)
            rig.dialogs.answerOkCancel (answer);

        saveSequenceFile (output.get());
    }

    void load (const juce::String& name)
    {
        rig.dialogs.answerFile (file (name));
        loadSequenceFile (output.get());
    }

    SequenceSet memory() const { return test::sequencesIn (rig.instrument); }

    /** Writes a setting through the output and waits until the instrument has stored it: it
        handles what it receives in order, so whatever went out before has been handled by then.
    */
    bool everythingSentHasBeenHandled()
    {
        const auto tap = (uint8) (rig.instrument.getSetting (DeviceSetting::TAP) == 0 ? 1 : 0);
        setSetting (output.get(), DeviceSetting::TAP, tap);
        return waitFor ([&] { return rig.instrument.getSetting (DeviceSetting::TAP) == tap; });
    }

    /** The message boxes shown, as "title|message". */
    juce::StringArray boxes() const
    {
        juce::StringArray shown;

        for (auto& r : rig.dialogs.getRecords (ScriptedDialogs::Kind::messageBox))
            shown.add (r.title + "|" + r.message);

        return shown;
    }

    /** The note events {status, key, velocity, tick} of a MIDI file's one track (its header layout
        is a case of the export's own tests).
    */
    static std::vector<std::array<int, 4>> noteEventsIn (const juce::File& f)
    {
        juce::FileInputStream in (f);
        juce::MidiFile midi;
        EXPECT_TRUE (in.openedOk() && midi.readFrom (in) && midi.getNumTracks() == 1) << f.getFullPathName();
        std::vector<std::array<int, 4>> events;

        for (auto* e : midi.getNumTracks() == 1 ? *midi.getTrack (0) : juce::MidiMessageSequence())
            if (! e->message.isEndOfTrackMetaEvent())
                events.push_back ({ e->message.getRawData()[0], e->message.getNoteNumber(), e->message.getVelocity(),
                                    (int) e->message.getTimeStamp() });

        return events;
    }

    InstrumentRig rig;
    test::ReplyForwarder callback;
    std::unique_ptr<MidiOutputPort> output = rig.midi.openOutput (0);
    std::unique_ptr<MidiInputPort> input = rig.midi.openInput (0, &callback);
    test::ScratchFolder scratch{ "seq" };
    const juce::File& folder = scratch.folder;
};
} // namespace

TEST_F (SequenceFiles, FactoryResetSaveWithMidiFilesAndLoadRoundTrip)
{
    rig.dialogs.answerOkCancel (false);
    sendFactorySequences (output.get());
    ASSERT_TRUE (everythingSentHasBeenHandled());
    EXPECT_EQ (rig.instrument.countReceived (0x3A), 0) << "a cancelled reset sends nothing";

    // Checked against the emulator's own copy of the factory table, over a changed sequence.
    rig.instrument.setSequence (0, { 1, 127 });
    const auto factory = test::setOf (&EmulatedInstrument::getFactorySequence);
    rig.dialogs.answerOkCancel (true);
    sendFactorySequences (output.get());
    ASSERT_TRUE (waitFor ([&] { return memory() == factory; }));
    ASSERT_TRUE (everythingSentHasBeenHandled()); // the other sequences' chunks may still be queued
    EXPECT_EQ (rig.instrument.countReceived (0x3A), 10);

    // Then a note and a rest, 64 steps and an empty sequence, exported at two settings.
    rig.instrument.setSequence (0, { 60, 127 });
    rig.instrument.setSequence (5, Bytes (64, 50));
    rig.instrument.setSequence (7, {});
    using Events = std::vector<std::array<int, 4>>;
    const std::vector<std::tuple<uint8, uint8, Events, int>> exports{
        { 16, 2, { { 0x90, 60, 64, 0 }, { 0x80, 60, 64, 24 }, { 0x80, 127, 64, 72 } }, 63 * 48 + 24 },
        { 32, 3, { { 0x90, 60, 64, 0 }, { 0x80, 60, 64, 18 }, { 0x80, 127, 64, 42 } }, 63 * 24 + 18 },
    };

    for (const auto& [step, gate, noteAndRest, lastNoteOff] : exports)
    {
        rig.instrument.setSetting (DeviceSetting::STEP, step);
        rig.instrument.setSetting (DeviceSetting::GLEN, gate);

        // The second time the MIDI files exist: replacing them is asked for, and agreed to.
        if (file ("live.tvseq").exists())
            save ("live.tvseq", { true, true });
        else
            save ("live.txt", { true });

        EXPECT_EQ (file ("live.tvseq").loadFileAsString(), formatSequenceFile (memory()));
        EXPECT_EQ (noteEventsIn (file ("live.tvseq_1.mid")), noteAndRest);
        const auto full = noteEventsIn (file ("live.tvseq_6.mid"));
        ASSERT_EQ (full.size(), 128u);
        EXPECT_EQ (full.back(), (std::array<int, 4>{ 0x80, 50, 64, lastNoteOff }));
        EXPECT_EQ (folder.getNumberOfChildFiles (juce::File::findFiles), 9) << "no temporary file is left";
    }

    // Without MIDI files only the set is rewritten.
    rig.instrument.setSequence (0, { 61 });
    save ("live.tvseq", { false });
    EXPECT_EQ (noteEventsIn (file ("live.tvseq_1.mid")), std::get<2> (exports.back()));

    // Loaded into a cleared instrument, the file gives back the memory it was saved from.
    const auto saved = memory();

    for (int i = 0; i < numSequences; ++i)
        rig.instrument.setSequence (i, {});

    load ("live.tvseq");
    EXPECT_TRUE (waitFor ([&] { return memory() == saved; }));
    EXPECT_TRUE (boxes().isEmpty());

    save ("missing/live.tvseq", { true });
    ASSERT_EQ (boxes().size(), 1);
    EXPECT_TRUE (boxes()[0].startsWith ("Save error|Unable to write the sequence file:")) << boxes()[0];
}

TEST_F (SequenceFiles, LoadChecksTheWholeFileBeforeSending)
{
    file ("bad.tvseq").replaceWithText ("3:61 62\n1:60\n2:63 x 64\n4:200\n");
    file ("huge.tvseq").replaceWithText (juce::String::repeatedString ("x", (int) maxSequenceFileSize + 1));

    for (auto* name : { "bad.tvseq", "huge.tvseq", "absent.tvseq" })
        load (name);

    const auto shown = boxes();
    ASSERT_EQ (shown.size(), 3) << shown.joinIntoString ("\n");
    EXPECT_EQ (shown[0], "Sequence file parsing error|Bad file format on line: 4 token: 1");
    EXPECT_TRUE (shown[1].startsWith ("Load error|The file is larger than 1 MiB")) << shown[1];
    EXPECT_TRUE (shown[2].startsWith ("Load error|Unable to read the file:")) << shown[2];
    ASSERT_TRUE (everythingSentHasBeenHandled());
    EXPECT_EQ (rig.instrument.countReceived (0x3A), 0);
}

TEST_F (SequenceFiles, NoFileButTheOneConfirmedIsReplacedWithoutAQuestion)
{
    // The chooser confirmed "set" and "clip", never the files that saving them would write.
    for (auto* name : { "set.tvseq", "set.tvseq_3.mid", "clip.mid" })
        file (name).replaceWithText ("kept");

    const auto kept = [this] (const char* name) { return file (name).loadFileAsString() == "kept"; };
    const auto asked = [this] {
        const auto titles = test::boxTitles (rig.dialogs);
        rig.dialogs.clear();
        return titles;
    };

    save ("set", { false });
    EXPECT_EQ (asked(), "Replace file?");
    EXPECT_TRUE (kept ("set.tvseq"));

    save ("set", { true, true, false }); // the set is replaced, its MIDI files are not
    EXPECT_EQ (asked(), "Replace file?, Generate MidiFiles?, Replace MidiFiles?");
    EXPECT_EQ (file ("set.tvseq").loadFileAsString(), formatSequenceFile (memory()));
    EXPECT_TRUE (kept ("set.tvseq_3.mid"));
    EXPECT_FALSE (file ("set.tvseq_1.mid").exists());

    // The editor's export writes a chosen .midi as it is, and asks before adding .mid to a name.
    SequenceEditorModel model;
    rig.dialogs.answerFile (file ("clip.midi"));
    rig.dialogs.answerFile (file ("clip"));
    exportMidiFromEditor (model);
    exportMidiFromEditor (model);
    EXPECT_EQ (asked(), "Replace file?");
    EXPECT_TRUE (file ("clip.midi").existsAsFile() && ! kept ("clip.midi"));
    EXPECT_TRUE (kept ("clip.mid"));
}
