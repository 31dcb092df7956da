// Fault injection against the whole application logic: the cable pulled in the middle of every
// exchange, an instrument that answers garbage, and a flood of real-time messages and notes
// during every exchange. Whatever happens: no crash, no wait beyond its time-out, no failure
// reported as success, no file lost or half-written.

#include "app/ApplicationController.h"
#include "app/HWDetector.h"
#include "emulator/RecordingView.h"
#include "firmware/FirmwareFile.h"
#include "firmware/LPC23XXUpdater.h"
#include "sequences/SequenceFile.h"
#include "sequences/SequenceTransfer.h"
#include "support/ApplicationRig.h"
#include "support/MakerFrames.h"

#include <gtest/gtest.h>

#include "support/ScratchFolder.h"

#include <algorithm>
#include <atomic>
#include <functional>
#include <memory>

using namespace tarnovelle;
using namespace tarnovelle::test;

namespace
{
using Kind = ScriptedDialogs::Kind;
using Bytes = std::vector<uint8>;
using Mode = EmulatedInstrument::Mode;
using Matcher = std::function<bool (const juce::MidiMessage&)>;

constexpr uint8 sequenceRequest = 0x3b, sequenceChunk = 0x3a, startUpdate = 0x01, imageChunk = 0x03,
                acknowledgement = 0x04;
const auto latest = EmulatedInstrument::shippedFirmwareVersion;

// An unanswered request waits its 25 slices of message loop; each slice ends on a millisecond
// clock and so may end up to a millisecond early.
constexpr auto fullReplyWaitMs = (juce::uint32) (replyWaitSlices * replyWaitSliceMs - replyWaitSlices);

bool isFrame (const juce::MidiMessage& m, uint8 command)
{
    return test::MakerFrames::hasCommand (m.getRawData(), (size_t) m.getRawDataSize(), command);
}

Matcher frameOf (uint8 command)
{
    return [command] (const juce::MidiMessage& m) { return isFrame (m, command); };
}

bool isSettingGet (const juce::MidiMessage& m)
{
    return m.getRawDataSize() > 8 && findDeviceSettingByGetCommand (m.getRawData()[8]) != nullptr
           && isFrame (m, m.getRawData()[8]);
}

/** Where the cable is pulled: right after the n-th outgoing message that matches. */
struct Cut
{
    const char* where;
    Matcher matches;
    int n;
};

using test::MakerFrames::frame;

/** Whether JUCE's MIDI input could hand these bytes over as one message: JUCE's inputs only
    deliver messages it can represent (no empty message, no short message whose length does not
    match its status byte), and refuses to make any other.
*/
bool isMidiMessage (const Bytes& b)
{
    if (b.empty())
        return false;

    return b.size() > 3 || b[0] >= 0xf0
           || (b[0] >= 0x80 && juce::MidiMessage::getMessageLengthFromFirstByte (b[0]) == (int) b.size());
}

/** Messages no request may take as its answer: bytes and SysEx of every length from 0 to 64,
    frames with other commands and up to 32 payload bytes, and the awaited reply itself cut
    short (with and without an end byte right after the cut).
*/
std::vector<Bytes> garbageFor (uint8 awaited, const Bytes& realReply, juce::int64 seed)
{
    juce::Random random (seed);
    std::vector<Bytes> garbage;
    const auto randomBytes = [&random] (int length, int range) {
        Bytes bytes ((size_t) length);
        std::generate (bytes.begin(), bytes.end(), [&] { return (uint8) random.nextInt (range); });
        return bytes;
    };
    const auto notAwaited = [&random, awaited] { return (uint8) ((awaited + 1 + random.nextInt (127)) % 128); };

    for (int length = 0; length <= 64; ++length)
    {
        auto any = randomBytes (length, 256), sysex = randomBytes (length, 128),
             payload = randomBytes (length / 2, 128);

        if (length >= 2)
            sysex.front() = 0xf0, sysex.back() = 0xf7;

        for (auto* g : { &any, &sysex })
            if (length > 9 && (*g)[8] == awaited)
                (*g)[8] = notAwaited();

        const auto other = frame ((uint8) random.nextInt (128), (uint8) payload.size(), notAwaited(), payload);
        garbage.insert (garbage.end(), { any, sysex, other });
    }

    for (size_t cut = 1; cut < realReply.size(); ++cut)
    {
        Bytes truncated (realReply.begin(), realReply.begin() + (long) cut);
        garbage.push_back (truncated);
        truncated.push_back (0xf7);

        if (cut + 1 < realReply.size())
            garbage.push_back (truncated);
    }

    return garbage;
}

void setDistinctSettings (EmulatedInstrument& instrument)
{
    const uint8 values[numDeviceSettings] = { 3, 5, 2, 1, 1, 1, 2, 1, 1, 9, 32, 3, 1, 2 };

    for (auto& info : getDeviceSettingTable())
        instrument.setSetting (info.setting, values[(int) info.setting]);
}

/** Exactly the first settings of the read order were shown, each as the instrument holds it
    (the distinct settings keep the two switches at 1, so no value needs translating).
*/
void expectShownAsInMemory (const RecordingView& view, const EmulatedInstrument& instrument, size_t numShown)
{
    std::vector<int> shown, inMemory;

    for (auto& c : view.calls)
        if (c.name != "setConnected" && c.name != "showFirmwareVersion")
            shown.push_back (c.value);

    for (size_t i = 0; i < numShown; ++i)
        inMemory.push_back (instrument.getSetting (getSettingReadOrder()[i]));

    EXPECT_EQ (shown, inMemory);
}

Bytes stepsOf (int seed, int length)
{
    Bytes steps ((size_t) length);
    std::generate (steps.begin(), steps.end(),
                   [seed, i = 0]() mutable { return (uint8) ((i++ * 7 + seed * 13) % 125 + 1); });
    return steps;
}

//==============================================================================
/** The fixture is also the computer's MIDI ports: the emulated ones, with a tap that lets a test
    act right after a message has left.
*/
class Faults : public ::testing::Test, public MidiBackend
{
protected:
    using Tap = std::function<void (const juce::MidiMessage&)>;

    struct Output final : public MidiOutputPort
    {
        Output (std::unique_ptr<MidiOutputPort> portToWrap, Faults& owner)
            : port (std::move (portToWrap))
            , fixture (owner)
        {}

        juce::String getName() const override { return port->getName(); }

        void write (const juce::MidiMessage& message) override
        {
            port->sendMessageNow (message);

            if (const auto tap = std::atomic_load (&fixture.tap); tap != nullptr && *tap)
                (*tap) (message);
        }

        std::unique_ptr<MidiOutputPort> port;
        Faults& fixture;
    };

    juce::StringArray getInputNames() override { return rig.midi.getInputNames(); }
    juce::StringArray getOutputNames() override { return rig.midi.getOutputNames(); }
    std::unique_ptr<MidiInputPort> openInput (int i, MidiPortCallback* c) override { return rig.midi.openInput (i, c); }

    std::unique_ptr<MidiOutputPort> openOutput (int index) override
    {
        auto port = rig.midi.openOutput (index);
        return port == nullptr ? nullptr : std::make_unique<Output> (std::move (port), *this);
    }

    void setTap (Tap newTap) { std::atomic_store (&tap, std::make_shared<const Tap> (std::move (newTap))); }

    void SetUp() override
    {
        rig.instrument.setFirmwareVersion (latest);
        rig.instrument.setLatencyMs (1);
        Platform::setMidiBackend (this);
        LPC23XXUpdater::getInstance().setTiming ({ 200, 300, 3 });
        controller = std::make_unique<ApplicationController> (view);

        // The completion box asks the user to restart the instrument before pressing OK.
        rig.dialogs.onDialog = [this] (const ScriptedDialogs::Record& r) {
            if (r.title == "Firmware update: complete")
                waitFor ([this] { return rig.instrument.getMode() == Mode::application && isListed(); }, 3000);
        };
    }

    void TearDown() override
    {
        controller.reset();
        setTap ({});
        Platform::setMidiBackend (&rig.midi);
        LPC23XXUpdater::getInstance().setTiming ({});
    }

    bool isListed() { return rig.midi.getOutputNames().size() == 1; }

    /** Right after each outgoing message that matches, the instrument sends these. */
    void answerWith (Matcher matches, std::function<std::vector<Bytes> (const juce::MidiMessage&)> messagesFor)
    {
        setTap ([this, matches, messagesFor] (const juce::MidiMessage& m) {
            if (matches (m))
                for (auto& g : messagesFor (m))
                    if (isMidiMessage (g))
                        rig.midi.sendFromDevice (instrumentDevice, juce::MidiMessage (g.data(), (int) g.size()));
        });
    }

    void connectAndRead()
    {
        controller->disconnect();
        view.calls.clear();
        controller->handleActionMessage ("COMI ");
        ASSERT_TRUE (controller->isConnected());
        ASSERT_EQ (view.displayedSettings().size(), numDeviceSettings);
        rig.dialogs.clear();
        view.calls.clear();
    }

    juce::String titles() const { return boxTitles (rig.dialogs); }

    juce::String firstMessage() const { return rig.dialogs.getRecords (Kind::messageBox).at (0).message; }

    /** Runs the message loop until the instrument has been silent for longer than allowed. */
    bool waitForSilence() const
    {
        return waitFor (
            [this] { return now() - controller->getLastActiveSenseTime() > ApplicationController::maxSilenceMs; });
    }

    /** The next device action finds the instrument gone, its ports closed; these boxes were shown. */
    void expectTheNextActionToFindItGone (const juce::String& boxes)
    {
        ASSERT_TRUE (waitForSilence());
        controller->handleActionMessage ("BEND 3");
        EXPECT_FALSE (controller->isConnected());
        EXPECT_EQ (controller->getOutput(), nullptr);
        EXPECT_EQ (rig.midi.getNumOpenInputs() + rig.midi.getNumOpenOutputs(), 0);
        EXPECT_EQ (titles(), boxes);
    }

    /** Every file of the test's folder and the shipped firmware file, with a hash of its bytes. */
    juce::StringArray files() const
    {
        auto found = folder.findChildFiles (juce::File::findFilesAndDirectories, false);
        found.add (getShippedFirmwareFile());
        juce::StringArray names;

        for (auto& f : found)
        {
            juce::MemoryBlock bytes;
            EXPECT_TRUE (f.isDirectory() || f.loadFileAsData (bytes)) << f.getFullPathName();
            names.add (f.getFileName() + " " + juce::String (bytes.toBase64Encoding().hashCode64()));
        }

        names.sort (false);
        return names;
    }

    /** Pulls the cable right after the n-th outgoing message of the cut, once the instrument
        holds what it should have taken by then, and plugs it in again after the action, which
        must have left every file alone. Returns how long the action took, less the time the
        cut spent waiting for the instrument (which a busy machine may stretch).
    */
    juce::uint32 cutDuring (
        const Cut& cut, const char* action, const juce::String& boxes,
        std::function<bool()> taken = [] { return true; })
    {
        const auto before = files();
        auto left = std::make_shared<std::atomic<int>> (cut.n);
        auto waited = std::make_shared<std::atomic<juce::uint32>> (0);
        setTap ([this, cut, left, waited, taken] (const juce::MidiMessage& m) {
            if (! cut.matches (m) || left->fetch_sub (1) != 1)
                return;

            const auto waitStarted = now();

            for (const auto end = waitStarted + 5000; ! taken() && now() < end;)
                juce::Thread::sleep (1);

            waited->store (now() - waitStarted);
            rig.instrument.setUnplugged (true);
        });

        const auto started = now();
        controller->handleActionMessage (action);
        const auto took = now() - started - waited->load();
        expectTheNextActionToFindItGone (boxes);
        EXPECT_EQ (files(), before) << "no file replaced, none added, no temporary file left";

        // Plugged in again, as a fresh instrument.
        setTap ({});
        rig.instrument.clearFaults();
        rig.instrument.setLatencyMs (1);
        rig.instrument.setUnplugged (false);
        EXPECT_TRUE (waitFor ([this] { return isListed(); }));
        return took;
    }

    static juce::uint32 now() { return juce::Time::getMillisecondCounter(); }

    InstrumentRig rig{ false };
    const int instrumentDevice = rig.midi.addInstrument (rig.instrument);
    std::shared_ptr<const Tap> tap;
    RecordingView view;
    std::unique_ptr<ApplicationController> controller;
    test::ScratchFolder scratch{ "tarnovelle_faults" };
    const juce::File& folder = scratch.folder;
};
} // namespace

//==============================================================================
TEST_F (Faults, UnpluggedDuringTheSettingsRead)
{
    setDistinctSettings (rig.instrument);

    for (int n : { 1, numDeviceSettings })
    {
        SCOPED_TRACE ("cable pulled after get request " + juce::String (n));
        view.calls.clear();
        rig.dialogs.clear();
        const auto took = cutDuring ({ "", isSettingGet, n }, "COMI ", "Update error");

        // The request that went out as the cable was pulled is the first not answered: one
        // time-out of 25 slices of 20 ms, after the answered reads.
        expectShownAsInMemory (view, rig.instrument, (size_t) n - 1);
        EXPECT_EQ (view.lastValueOf ("setConnected"), 0);
        EXPECT_EQ (firstMessage(), "Unable to communicate with Tarnovelle. Closing connection !");
        EXPECT_GE (took, fullReplyWaitMs);
        EXPECT_LT (took, 1500u + 100u * (juce::uint32) n);
    }
}

TEST_F (Faults, UnpluggedDuringASequenceSave)
{
    const auto target = folder.getChildFile ("set.tvseq");
    ASSERT_TRUE (target.replaceWithText ("1:60 61 62"));
    ASSERT_TRUE (folder.getChildFile ("set.tvseq_3.mid").replaceWithText ("an earlier MIDI file"));

    for (auto& cut :
         { Cut{ "gate length read", isSettingGet, 1 }, Cut{ "first half of sequence 1", frameOf (sequenceRequest), 1 },
           Cut{ "first half of sequence 5", frameOf (sequenceRequest), 9 },
           Cut{ "last half of sequence 8", frameOf (sequenceRequest), 16 } })
    {
        SCOPED_TRACE (cut.where);
        connectAndRead();
        rig.dialogs.answerFile (target);
        rig.dialogs.answerOkCancel (true); // MIDI files too
        rig.dialogs.answerOkCancel (true); // in place of the earlier one

        // At most the two halves of one sequence time out.
        EXPECT_LT (cutDuring (cut, "SVSQ ", "Generate MidiFiles?, Replace MidiFiles?, Save error, Connection"),
                   2u * replyWaitSlices * replyWaitSliceMs + 1000u);
        EXPECT_EQ (firstMessage(), "Unable to read the sequences from Tarnovelle. Nothing has been saved.");
    }
}

TEST_F (Faults, UnpluggedDuringASequenceLoad)
{
    // Two chunks for every sequence: 40 steps.
    const auto file = folder.getChildFile ("load.tvseq");
    ASSERT_TRUE (file.replaceWithText (formatSequenceFile (setOf ([] (int i) { return stepsOf (i, 40); }))));
    const Bytes old{ 1, 2, 3 };

    for (int n : { 1, 2 * numSequences })
    {
        SCOPED_TRACE ("cable pulled after sequence chunk " + juce::String (n));

        for (int i = 0; i < numSequences; ++i)
            rig.instrument.setSequence (i, old);

        connectAndRead();
        rig.dialogs.answerFile (file);

        // The cable goes once the instrument has taken that chunk; nothing is awaited while loading.
        const auto taken = [this, index = (n - 1) / 2, size = (n % 2 == 0 ? 40 : stepsPerHalf)] {
            const auto held = rig.instrument.getSequence (index);
            return held.size() >= (size_t) size
                   && std::equal (held.begin(), held.begin() + size, stepsOf (index, 40).begin());
        };
        EXPECT_LT (cutDuring ({ "", frameOf (sequenceChunk), n }, "LDSQ ", "Connection", taken), 500u);

        // Writes are never acknowledged: the sequences sent whole up to the cut arrived, those
        // after it did not (the one cut in half may hold either).
        for (int i = 0; i < numSequences; ++i)
            EXPECT_TRUE (2 * i + 1 == n || rig.instrument.getSequence (i) == (2 * i < n ? stepsOf (i, 40) : old))
                << "sequence " << i + 1;
    }
}

TEST_F (Faults, UnpluggedDuringAFirmwareTransfer)
{
    // The last chunk is sent and repeated as any other: start_update and a middle chunk suffice.
    for (auto& cut :
         { Cut{ "start_update", frameOf (startUpdate), 1 }, Cut{ "chunk 1000", frameOf (imageChunk), 1000 } })
    {
        SCOPED_TRACE (cut.where);
        rig.instrument.setMode (Mode::application);
        rig.instrument.setFirmwareVersion ({ 1, 0, 2, 0 });
        connectAndRead();

        // The cable goes before the instrument has handled the message (1 ms). The transfer
        // stalls: the last message is sent three more times, 300 ms apart. Retrying to find
        // the instrument is cancelled.
        EXPECT_LT (cutDuring (cut, "FIRM ", "Update error, No instrument found, No instrument found"), 15000u);
        EXPECT_TRUE (firstMessage().contains ("stopped answering")) << firstMessage();
        EXPECT_NE (rig.instrument.getFirmwareVersion(), latest);
    }

    // Plugged in again, in whatever state the cut left it, a new update brings it to the shipped version.
    rig.dialogs.clear();
    controller->handleActionMessage ("FIRM ");
    EXPECT_TRUE (titles().contains ("Firmware update: complete")) << titles();
    EXPECT_EQ (rig.instrument.getFirmwareVersion(), latest);
    EXPECT_TRUE (controller->isConnected());
}

TEST_F (Faults, ANewConnectionIsNotJudgedByTheSilenceOfThePreviousOne)
{
    // An instrument that has stopped its Active Sensing, found again long after the last one.
    rig.instrument.setActiveSensingEnabled (false);
    connectAndRead();
    controller->disconnect();
    ASSERT_TRUE (waitForSilence());

    // Its identity reply is a sign of life: a click right after connecting is carried out.
    controller->connect();
    controller->handleActionMessage ("BEND 11");
    EXPECT_TRUE (controller->isConnected());
    EXPECT_TRUE (waitFor ([this] { return rig.instrument.getSetting (DeviceSetting::BEND) == 11; }));
    EXPECT_EQ (titles(), "");

    // Without Active Sensing after that, the next action finds it silent.
    expectTheNextActionToFindItGone ("Connection");
    EXPECT_EQ (rig.instrument.getSetting (DeviceSetting::BEND), 11);
}

//==============================================================================
TEST_F (Faults, GarbageFromTheInstrumentNeverAnswersARequest)
{
    // Garbage after every identity request (none of it an identity reply, which detection knows
    // by its fifth byte): found all the same.
    auto identityGarbage = garbageFor (0xff, {}, 3);

    for (auto& g : identityGarbage)
        if (g.size() > 4 && g[4] == 0x02)
            g[4] = 0x01;

    answerWith ([] (auto& m) { return m.getRawDataSize() == 6 && m.getRawData()[1] == 0x7e; },
                [identityGarbage] (auto&) { return identityGarbage; });
    connectAndRead();
    EmulatedInstrument::Version version{};
    HWDetector::getFirmwareVersion (version[0], version[1], version[2], version[3]);
    EXPECT_EQ (version, latest);

    rig.instrument.setSetting (DeviceSetting::BEND, 9);
    const auto bendReply = getDeviceSettingInfo (DeviceSetting::BEND).setCommand;
    Bytes chunkReply{ 0, 0, 32 };
    chunkReply.resize (35, 60);
    const std::vector<Bytes> garbage[] = { {},
                                           garbageFor (bendReply, frame (0, 1, bendReply, { 9 }), 1),
                                           garbageFor (sequenceChunk, frame (0, 35, sequenceChunk, chunkReply), 2) };
    int sending = 0;

    // All of it arrives while the request waits, before any real answer could.
    answerWith ([] (auto& m) { return isSettingGet (m) || isFrame (m, sequenceRequest); },
                [&] (auto&) { return garbage[sending]; });

    for (const bool instrumentAnswers : { false, true })
    {
        SCOPED_TRACE (instrumentAnswers ? "the instrument answers after the garbage" : "only garbage comes");
        rig.instrument.setSilent (! instrumentAnswers);
        sending = 1;
        uint8 value = 200;
        const auto started = now();
        const bool answered = getSetting (controller->getOutput(), DeviceSetting::BEND, value);
        const auto took = now() - started;
        EXPECT_EQ (answered, instrumentAnswers);
        EXPECT_EQ (value, instrumentAnswers ? 9 : 200) << "garbage is never taken as the value";
        EXPECT_GE (took, instrumentAnswers ? 0u : fullReplyWaitMs);
        EXPECT_LT (took, 1000u);

        // A cut-short sequence reply ends the wait as a failure; other garbage is ignored. (The
        // instrument answers late, so that its reply cannot overtake the garbage.) A half whose
        // late reply still came in holds the real steps; no half holds others.
        sending = 2;
        StepBuffer steps{};
        steps.fill (0x55);
        rig.instrument.setLatencyMs (100);
        EXPECT_FALSE (readSequence (controller->getOutput(), 0, steps.data()));

        if (instrumentAnswers)
        {
            // The late replies come in, unawaited. The instrument handles what it receives in
            // order: once a write sent after the request is stored, they have gone out.
            const auto sync = (uint8) ((rig.instrument.getSetting (DeviceSetting::SYNC) + 1) % 3);
            setSetting (controller->getOutput(), DeviceSetting::SYNC, sync);
            ASSERT_TRUE (waitFor ([this, sync] { return rig.instrument.getSetting (DeviceSetting::SYNC) == sync; }));
            rig.midi.waitUntilDelivered();
        }

        rig.instrument.setLatencyMs (0);
        auto real = rig.instrument.getSequence (0);
        real.resize (steps.size());

        for (int half = 0; half < 2; ++half)
        {
            const auto first = steps.begin() + half * stepsPerHalf;
            const bool untouched = std::all_of (first, first + stepsPerHalf, [] (uint8 b) { return b == 0x55; });
            const bool asInMemory = std::equal (first, first + stepsPerHalf, real.begin() + half * stepsPerHalf);
            EXPECT_TRUE (untouched || (instrumentAnswers && asInMemory)) << "no step taken from garbage, half " << half;
        }

        sending = 0;
        rig.midi.waitUntilDelivered();
    }

    // The reply slot is none the worse: a whole sequence is read as before.
    StepBuffer steps{};
    ASSERT_TRUE (readSequence (controller->getOutput(), 3, steps.data()));
    EXPECT_EQ (Bytes (steps.begin(), steps.begin() + getSequenceLength (steps)), rig.instrument.getSequence (3));
}

TEST_F (Faults, AFloodOfRealTimeMessagesAndNotesDuringEveryExchange)
{
    setDistinctSettings (rig.instrument);
    rig.instrument.setFirmwareVersion ({ 1, 0, 2, 0 });
    rig.instrument.setLatencyMs (0);

    for (int i = 0; i < numSequences; ++i)
        rig.instrument.setSequence (i, stepsOf (i, 8 * i));

    // Right after every message the program sends: Active Sensing, clock, start and stop, notes,
    // a controller, the pitch wheel and pressure. After every image chunk also acknowledgements
    // of another counter, cut short or overlong, and a rejection of every 50th chunk.
    answerWith ([] (auto&) { return true; },
                [chunks = std::make_shared<std::atomic<int>> (0)] (auto& m) {
                    std::vector<Bytes> noise{ { 0xfe },        { 0xf8 },        { 0x90, 60, 100 },
                                              { 0x80, 60, 0 }, { 0xb0, 7, 99 }, { 0xe0, 0x28, 0x46 },
                                              { 0xd0, 40 },    { 0xfa },        { 0xfc } };

                    if (! isFrame (m, imageChunk))
                        return noise;

                    const auto counter = m.getRawData()[6];
                    noise.insert (noise.end(),
                                  { frame ((uint8) ((counter + 1) & 0x7f), 1, acknowledgement, Bytes (9, 0x00)),
                                    test::MakerFrames::header (counter, 0x01, acknowledgement),
                                    frame (counter, 0x7f, acknowledgement, { 0x00, 0x01 }),
                                    frame (counter, 1, acknowledgement, {}), Bytes{ 0xf0, acknowledgement } });

                    if (++*chunks % 50 == 0) // status FF
                        noise.push_back (frame (counter, 1, acknowledgement, { 0x7f, 0x7f, 0, 0, 0, 0, 0, 0, 0x01 }));

                    return noise;
                });

    // Start-up: detection, the update offer accepted, the whole update, reconnection.
    rig.dialogs.answerOkCancel (true);
    controller->startUp();
    EXPECT_EQ (titles(), "Firmware version, Firmware update: complete");
    EXPECT_EQ (rig.instrument.getFirmwareVersion(), latest);
    EXPECT_EQ (rig.instrument.getMode(), Mode::application);
    ASSERT_TRUE (controller->isConnected());

    // Reading every setting and writing one.
    view.calls.clear();
    controller->readAllSettings();
    expectShownAsInMemory (view, rig.instrument, numDeviceSettings);
    controller->handleActionMessage ("BEND 12");
    EXPECT_TRUE (waitFor ([this] { return rig.instrument.getSetting (DeviceSetting::BEND) == 12; }));

    // Saving, the factory reset, and loading the saved set again.
    const auto holds = [this] (auto sequenceOf) {
        return waitFor ([&] { return sequencesIn (rig.instrument) == setOf (sequenceOf); });
    };
    const auto saved = folder.getChildFile ("flood.tvseq");
    rig.dialogs.clear();
    rig.dialogs.answerFile (saved);
    rig.dialogs.answerOkCancel (false);
    controller->handleActionMessage ("SVSQ ");
    rig.dialogs.answerOkCancel (true);
    controller->handleActionMessage ("FCSQ ");
    EXPECT_TRUE (holds (&EmulatedInstrument::getFactorySequence));
    rig.dialogs.answerFile (saved);
    controller->handleActionMessage ("LDSQ ");
    EXPECT_TRUE (holds ([] (int i) { return stepsOf (i, 8 * i); }));
    EXPECT_EQ (titles(), "Generate MidiFiles?, Reset All Sequences");
    EXPECT_TRUE (controller->isConnected());
}
