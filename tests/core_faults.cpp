// Fault injection against the whole application logic: the cable pulled in the middle of every
// exchange, an instrument that answers garbage, and a flood of real-time messages and notes
// during every exchange. Whatever happens: no crash, no wait beyond its time-out, no failure
// reported as success, no file lost or half-written.

#include "app/ApplicationController.h"
#include "app/HWDetector.h"
#include "emulator/FirmwareImage.h"
#include "firmware/FirmwareFile.h"
#include "firmware/LPC23XXUpdater.h"
#include "sequences/SequenceFile.h"
#include "sequences/SequenceTransfer.h"
#include "support/InstrumentRig.h"
#include "support/RecordingView.h"

#include <gtest/gtest.h>

// The fuzz targets, as ordinary functions, to replay their committed corpus.
#define TARNOVELLE_FUZZ_REPLAY 1
#include "fuzz/fuzz_acknowledgement.cpp"
#include "fuzz/fuzz_firmware_container.cpp"
#include "fuzz/fuzz_identity_reply.cpp"
#include "fuzz/fuzz_reply_matcher.cpp"
#include "fuzz/fuzz_sequence_file.cpp"
#include "fuzz/fuzz_sysex_message.cpp"

#include <algorithm>
#include <atomic>
#include <cstdio>
#include <cstdlib>
#include <functional>
#include <mutex>
#include <thread>

namespace juce
{
/** Lets failed expectations print the dialog titles. */
inline void PrintTo (const StringArray& strings, std::ostream* os)
{
    *os << "{ " << strings.joinIntoString (", ") << " }";
}
} // namespace juce

using namespace tarnovelle;
using namespace tarnovelle::test;

namespace
{
using Kind = ScriptedDialogs::Kind;
using Bytes = std::vector<uint8>;
using Mode = EmulatedInstrument::Mode;

constexpr uint8 sequenceRequest = 0x3b;
constexpr uint8 sequenceChunk = 0x3a;
constexpr uint8 startUpdate = 0x01;
constexpr uint8 imageChunk = 0x03;
constexpr uint8 acknowledgement = 0x04;

bool isFrame (const juce::MidiMessage& m, uint8 command)
{
    const auto* b = m.getRawData();
    return m.getRawDataSize() > 8 && b[0] == 0xf0 && b[1] == 0x00 && b[2] == 0x5c && b[3] == 0x3d && b[8] == command;
}

bool isSettingGet (const juce::MidiMessage& m)
{
    return m.getRawDataSize() > 8 && findDeviceSettingByGetCommand (m.getRawData()[8]) != nullptr
           && isFrame (m, m.getRawData()[8]);
}

juce::MidiMessage messageOf (const Bytes& bytes)
{
    // A message of no bytes at all is what a broken driver may hand over (JUCE copies from the
    // pointer even then, so it must not be null).
    static const uint8 none = 0;
    return bytes.empty() ? juce::MidiMessage (&none, 0) : juce::MidiMessage (bytes.data(), (int) bytes.size());
}

Bytes frame (uint8 counter, uint8 length, uint8 command, const Bytes& payload)
{
    Bytes b{ 0xf0, 0x00, 0x5c, 0x3d, 0x05, 0x01, counter, length, command };

    for (auto p : payload)
        b.push_back (p);

    b.push_back (0xf7);
    return b;
}

/** Aborts the whole run when a test waits far beyond every time-out it could meet. */
class Watchdog
{
public:
    explicit Watchdog (int seconds)
        : thread ([this, seconds] {
            std::unique_lock<std::mutex> lock (mutex);

            if (! finished.wait_for (lock, std::chrono::seconds (seconds), [this] { return done; }))
            {
                std::fprintf (stderr, "hung for %d s: %s\n", seconds,
                              ::testing::UnitTest::GetInstance()->current_test_info()->name());
                std::abort();
            }
        })
    {}

    ~Watchdog()
    {
        {
            const std::lock_guard<std::mutex> lock (mutex);
            done = true;
        }

        finished.notify_all();
        thread.join();
    }

private:
    std::mutex mutex;
    std::condition_variable finished;
    bool done = false;
    std::thread thread;
};

/** The emulated ports, with a tap that lets a test act right after a message has left. */
class TappedBackend final : public MidiBackend
{
public:
    using Tap = std::function<void (const juce::MidiMessage&)>;

    explicit TappedBackend (MidiBackend& backendToWrap)
        : inner (backendToWrap)
    {}

    void setTap (Tap newTap)
    {
        const std::lock_guard<std::mutex> lock (mutex);
        tap = std::move (newTap);
    }

    juce::StringArray getInputNames() override { return inner.getInputNames(); }
    juce::StringArray getOutputNames() override { return inner.getOutputNames(); }

    std::unique_ptr<MidiInputPort> openInput (int index, MidiPortCallback* callback) override
    {
        return inner.openInput (index, callback);
    }

    std::unique_ptr<MidiOutputPort> openOutput (int index) override
    {
        auto port = inner.openOutput (index);
        return port == nullptr ? nullptr : std::make_unique<Output> (std::move (port), *this);
    }

private:
    class Output final : public MidiOutputPort
    {
    public:
        Output (std::unique_ptr<MidiOutputPort> portToWrap, TappedBackend& owner)
            : port (std::move (portToWrap))
            , backend (owner)
        {}

        void sendMessageNow (const juce::MidiMessage& message) override
        {
            port->sendMessageNow (message);
            backend.tapped (message);
        }

        juce::String getName() const override { return port->getName(); }

    private:
        std::unique_ptr<MidiOutputPort> port;
        TappedBackend& backend;
    };

    void tapped (const juce::MidiMessage& message)
    {
        Tap current;

        {
            const std::lock_guard<std::mutex> lock (mutex);
            current = tap;
        }

        if (current)
            current (message);
    }

    MidiBackend& inner;
    std::mutex mutex;
    Tap tap;
};

/** Sends real-time messages, notes and controllers on the instrument's port, all the time. */
class Flood
{
public:
    Flood (EmulatedMidiBackend& midiToUse, int deviceToUse)
        : midi (midiToUse)
        , device (deviceToUse)
        , thread ([this] { run(); })
    {}

    ~Flood()
    {
        running = false;
        thread.join();
    }

    int getCount() const noexcept { return count.load(); }

private:
    void run()
    {
        const juce::MidiMessage messages[] = { juce::MidiMessage (0xfe),
                                               juce::MidiMessage::midiClock(),
                                               juce::MidiMessage::noteOn (1, 60, (uint8) 100),
                                               juce::MidiMessage (0xf8),
                                               juce::MidiMessage::noteOff (1, 60),
                                               juce::MidiMessage::controllerEvent (1, 7, 99),
                                               juce::MidiMessage::pitchWheel (1, 9000),
                                               juce::MidiMessage::channelPressureChange (1, 40),
                                               juce::MidiMessage (0xfa),
                                               juce::MidiMessage (0xfc) };
        size_t next = 0;

        while (running)
        {
            for (int i = 0; i < 4; ++i, ++count)
                midi.sendFromDevice (device, messages[next++ % std::size (messages)]);

            std::this_thread::sleep_for (std::chrono::microseconds (500));
        }
    }

    EmulatedMidiBackend& midi;
    const int device;
    std::atomic<bool> running{ true };
    std::atomic<int> count{ 0 };
    std::thread thread;
};

//==============================================================================
class Faults : public ::testing::Test
{
protected:
    void SetUp() override
    {
        folder = juce::File::getSpecialLocation (juce::File::tempDirectory)
                     .getNonexistentChildFile ("tarnovelle_faults", "");
        ASSERT_TRUE (folder.createDirectory());

        rig.instrument.setFirmwareVersion ({ 1, 0, 3, 2 });
        rig.instrument.setLatencyMs (1);
        Platform::setMidiBackend (&tapped);
        LPC23XXUpdater::getInstance().setTiming ({ 200, 300, 3 });
        controller = std::make_unique<ApplicationController> (view);

        // The completion box asks the user to restart the instrument before pressing OK.
        rig.dialogs.onDialog = [this] (const ScriptedDialogs::Record& r) {
            if (r.title == "Firmware update: complete")
                InstrumentRig::waitFor (
                    [this] {
                        return rig.instrument.getMode() == Mode::application && rig.midi.getOutputNames().size() == 1;
                    },
                    3000);
        };
    }

    void TearDown() override
    {
        controller.reset();
        tapped.setTap ({});
        Platform::setMidiBackend (&rig.midi);
        LPC23XXUpdater::getInstance().setTiming ({});
        folder.deleteRecursively();
        std::printf ("[ faults   ] %d faults injected\n", faultsInjected.load());
    }

    /** Pulls the cable right after the n-th message that matches has left. */
    void unplugAfter (std::function<bool (const juce::MidiMessage&)> matches, int n)
    {
        auto left = std::make_shared<std::atomic<int>> (n);
        tapped.setTap ([this, matches, left] (const juce::MidiMessage& m) {
            if (matches (m) && left->fetch_sub (1) == 1)
            {
                rig.instrument.setUnplugged (true);
                ++faultsInjected;
            }
        });
    }

    void plugIn()
    {
        tapped.setTap ({});
        rig.instrument.clearFaults();
        rig.instrument.setLatencyMs (1);
        rig.instrument.setUnplugged (false);
        ASSERT_TRUE (InstrumentRig::waitFor ([this] { return rig.midi.getOutputNames().size() == 1; }));
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

    std::vector<ScriptedDialogs::Record> boxes() const { return rig.dialogs.getRecords (Kind::messageBox); }

    juce::StringArray boxTitles() const
    {
        juce::StringArray titles;

        for (auto& r : rig.dialogs.getRecords())
            if (r.kind == Kind::messageBox || r.kind == Kind::okCancelBox)
                titles.add (r.title);

        return titles;
    }

    void expectPortsClosed() const
    {
        EXPECT_EQ (controller->getOutput(), nullptr);
        EXPECT_EQ (rig.midi.getNumOpenInputs(), 0);
        EXPECT_EQ (rig.midi.getNumOpenOutputs(), 0);
    }

    /** The next device action finds the instrument gone: it is disconnected with its box. */
    void expectTheNextActionToNoticeTheSilence()
    {
        Platform::runMessageLoopFor ((int) ApplicationController::maxSilenceMs + 100);
        rig.dialogs.clear();
        controller->handleActionMessage ("BEND 3");
        EXPECT_FALSE (controller->isConnected());
        EXPECT_EQ (boxTitles(), juce::StringArray ("Connection"));
    }

    juce::StringArray folderListing() const
    {
        juce::StringArray names;

        for (auto& f : folder.findChildFiles (juce::File::findFilesAndDirectories, false))
            names.add (f.getFileName() + " " + juce::String (f.getSize()));

        names.sort (false);
        return names;
    }

    static juce::uint32 now() { return juce::Time::getMillisecondCounter(); }

    InstrumentRig rig{ false };
    const int instrumentDevice = rig.midi.addInstrument (rig.instrument);
    TappedBackend tapped{ rig.midi };
    RecordingView view;
    std::unique_ptr<ApplicationController> controller;
    juce::File folder;
    std::atomic<int> faultsInjected{ 0 };
    Watchdog watchdog{ 120 };
};

/** What the view was shown for a setting, as the controller converts it. */
int shownValueOf (const RecordingView& view, DeviceSetting s)
{
    static const std::map<DeviceSetting, const char*> names{
        { DeviceSetting::MIN, "showMidiInChannel" },   { DeviceSetting::MOUT, "showMidiOutChannel" },
        { DeviceSetting::INGN, "showInputGain" },      { DeviceSetting::LFO, "showLfoRetrigger" },
        { DeviceSetting::ARP, "showArpHold" },         { DeviceSetting::MKEY, "showKeyboardMode" },
        { DeviceSetting::LKEY, "showKeyboardLegato" }, { DeviceSetting::VELO, "showVelocity" },
        { DeviceSetting::AFTE, "showAftertouch" },     { DeviceSetting::BEND, "showBendRange" },
        { DeviceSetting::STEP, "showStepSize" },       { DeviceSetting::GLEN, "showGateLength" },
        { DeviceSetting::TAP, "showTapAverage" },      { DeviceSetting::SYNC, "showClockSync" },
    };
    return view.lastValueOf (names.at (s));
}

void setDistinctSettings (EmulatedInstrument& instrument)
{
    const uint8 values[numDeviceSettings] = { 3, 5, 2, 1, 1, 1, 2, 1, 1, 9, 32, 3, 1, 2 };

    for (auto& info : getDeviceSettingTable())
        instrument.setSetting (info.setting, values[(int) info.setting]);
}

void expectShownAsInMemory (const RecordingView& view, const EmulatedInstrument& instrument, int numShown)
{
    const auto& order = getSettingReadOrder();

    for (int i = 0; i < numShown; ++i)
    {
        const auto s = order[(size_t) i];
        const int inMemory = instrument.getSetting (s);
        const bool isFlag = s == DeviceSetting::LFO || s == DeviceSetting::ARP;
        EXPECT_EQ (shownValueOf (view, s), isFlag ? (inMemory == 1 ? 1 : 0) : inMemory)
            << getDeviceSettingInfo (s).code;
    }
}

Bytes stepsOf (int seed, int length)
{
    Bytes steps;

    for (int i = 0; i < length; ++i)
        steps.push_back ((uint8) ((i * 7 + seed * 13) % 125 + 1));

    return steps;
}
} // namespace

//==============================================================================
TEST_F (Faults, UnpluggedDuringTheSettingsRead)
{
    setDistinctSettings (rig.instrument);

    for (int cut : { 1, 2, 6, 10, 14 })
    {
        SCOPED_TRACE ("cable pulled after get request " + juce::String (cut));
        controller->connect();
        ASSERT_TRUE (controller->isConnected());
        view.calls.clear();
        rig.dialogs.clear();

        unplugAfter (isSettingGet, cut);
        const auto started = now();
        controller->readAllSettings();
        const auto took = now() - started;

        // The request that went out as the cable was pulled is the first not answered.
        const auto shown = view.displayedSettings().size();
        EXPECT_EQ (shown, cut - 1);
        expectShownAsInMemory (view, rig.instrument, shown);
        EXPECT_FALSE (controller->isConnected());
        EXPECT_EQ (view.lastValueOf ("setConnected"), 0);
        expectPortsClosed();

        const auto shownBoxes = boxes();
        ASSERT_EQ (shownBoxes.size(), 1u);
        EXPECT_EQ (shownBoxes[0].title, "Update error");
        EXPECT_EQ (shownBoxes[0].message, "Unable to communicate with Tarnovelle. Closing connection !");

        // One time-out of 25 slices of 20 ms, after the answered reads.
        EXPECT_GE (took, (juce::uint32) (replyWaitSlices * replyWaitSliceMs));
        EXPECT_LT (took, 1500u + 100u * (juce::uint32) cut);

        plugIn();
    }
}

TEST_F (Faults, UnpluggedDuringASequenceSave)
{
    const auto target = folder.getChildFile ("set.tvseq");
    ASSERT_TRUE (target.replaceWithText ("1:60 61 62"));
    ASSERT_TRUE (folder.getChildFile ("set.tvseq_3.mid").replaceWithText ("an earlier MIDI file"));
    const auto before = folderListing();

    struct Cut
    {
        const char* where;
        std::function<bool (const juce::MidiMessage&)> matches;
        int n;
    };

    const auto isSequenceRequest = [] (const juce::MidiMessage& m) { return isFrame (m, sequenceRequest); };

    for (auto& cut : { Cut{ "gate length read", isSettingGet, 1 }, Cut{ "step size read", isSettingGet, 2 },
                       Cut{ "first half of sequence 1", isSequenceRequest, 1 },
                       Cut{ "second half of sequence 1", isSequenceRequest, 2 },
                       Cut{ "first half of sequence 5", isSequenceRequest, 9 },
                       Cut{ "last half of sequence 8", isSequenceRequest, 16 } })
    {
        SCOPED_TRACE (cut.where);
        connectAndRead();

        rig.dialogs.answerFile (target);
        rig.dialogs.answerOkCancel (true); // MIDI files too
        unplugAfter (cut.matches, cut.n);

        const auto started = now();
        controller->handleActionMessage ("SVSQ ");
        const auto took = now() - started;

        EXPECT_EQ (folderListing(), before) << "no file replaced, none added, no temporary file left";
        EXPECT_EQ (target.loadFileAsString(), "1:60 61 62");
        EXPECT_EQ (boxTitles(), juce::StringArray ({ "Generate MidiFiles?", "Save error" }));
        EXPECT_EQ (boxes().back().message, "Unable to read the sequences from Tarnovelle. Nothing has been saved.");

        // At most the two halves of one sequence time out.
        EXPECT_LT (took, 2u * replyWaitSlices * replyWaitSliceMs + 1000u);

        expectTheNextActionToNoticeTheSilence();
        expectPortsClosed();
        plugIn();
    }
}

TEST_F (Faults, UnpluggedDuringASequenceLoad)
{
    std::vector<Bytes> fileSequences;
    juce::StringArray lines;

    for (int i = 0; i < numSequences; ++i)
    {
        // Two chunks for every sequence: 40 steps.
        fileSequences.push_back (stepsOf (i, 40));
        StepBuffer buffer{};
        std::copy (fileSequences.back().begin(), fileSequences.back().end(), buffer.begin());
        lines.add (formatSequenceLine (i + 1, buffer.data()));
    }

    const auto file = folder.getChildFile ("load.tvseq");
    ASSERT_TRUE (file.replaceWithText (lines.joinIntoString ("\n")));
    juce::MemoryBlock fileBytes;
    ASSERT_TRUE (file.loadFileAsData (fileBytes));

    for (int cut : { 1, 2, 9, 16 })
    {
        SCOPED_TRACE ("cable pulled after sequence chunk " + juce::String (cut));
        const Bytes old{ 1, 2, 3 };

        for (int i = 0; i < numSequences; ++i)
            rig.instrument.setSequence (i, old);

        connectAndRead();
        rig.dialogs.answerFile (file);

        // The cable goes once the instrument has taken that chunk.
        auto sent = std::make_shared<int> (0);
        tapped.setTap ([this, cut, sent, &fileSequences] (const juce::MidiMessage& m) {
            if (! isFrame (m, sequenceChunk) || ++*sent != cut)
                return;

            const auto index = (cut - 1) / 2;
            const auto& expected = fileSequences[(size_t) index];
            const size_t taken = cut % 2 == 0 ? expected.size() : (size_t) stepsPerHalf;
            const auto end = now() + 2000;

            while (now() < end)
            {
                const auto held = rig.instrument.getSequence (index);

                if (held.size() >= taken && std::equal (held.begin(), held.begin() + (long) taken, expected.begin()))
                    break;

                juce::Thread::sleep (1);
            }

            rig.instrument.setUnplugged (true);
            ++faultsInjected;
        });

        const auto started = now();
        controller->handleActionMessage ("LDSQ ");
        EXPECT_LT (now() - started, 500u) << "nothing is awaited while loading";

        // Writes are never acknowledged: the sequences sent whole up to the cut arrived,
        // those after it did not, and the file itself is untouched.
        Platform::runMessageLoopFor (50);
        const int wholeBeforeCut = cut / 2;

        for (int i = 0; i < wholeBeforeCut; ++i)
            EXPECT_EQ (rig.instrument.getSequence (i), fileSequences[(size_t) i]) << "sequence " << i + 1;

        for (int i = (cut + 1) / 2; i < numSequences; ++i)
            EXPECT_EQ (rig.instrument.getSequence (i), old) << "sequence " << i + 1;

        juce::MemoryBlock after;
        ASSERT_TRUE (file.loadFileAsData (after));
        EXPECT_EQ (after, fileBytes);
        EXPECT_EQ (boxTitles(), juce::StringArray());

        expectTheNextActionToNoticeTheSilence();
        plugIn();
    }
}

TEST_F (Faults, UnpluggedDuringAFirmwareTransfer)
{
    const auto firmware = getShippedFirmwareFile();
    juce::MemoryBlock firmwareBytes;
    ASSERT_TRUE (firmware.loadFileAsData (firmwareBytes)) << firmware.getFullPathName();
    const int numChunks = (int) (makeShippedFirmwareImage().getSize() + 27) / 28;

    struct Cut
    {
        const char* where;
        uint8 command;
        int n;
    };

    for (auto& cut : { Cut{ "start_update", startUpdate, 1 }, Cut{ "chunk 1", imageChunk, 1 },
                       Cut{ "chunk 1000", imageChunk, 1000 }, Cut{ "the last chunk", imageChunk, numChunks } })
    {
        SCOPED_TRACE (cut.where);
        rig.instrument.setMode (Mode::application);
        rig.instrument.setFirmwareVersion ({ 1, 0, 2, 0 });
        connectAndRead();

        // The cable goes before the instrument has handled the message (1 ms).
        const auto command = cut.command;
        unplugAfter ([command] (const juce::MidiMessage& m) { return isFrame (m, command); }, cut.n);
        rig.dialogs.answerOkCancel (false); // no retry when the instrument is not found again

        const auto started = now();
        controller->handleActionMessage ("FIRM ");
        const auto took = now() - started;

        // The transfer stalls: the last message is sent three more times, 300 ms apart.
        EXPECT_LT (took, 15000u);
        const auto titles = boxTitles();
        EXPECT_FALSE (titles.contains ("Firmware update: complete")) << titles.joinIntoString (", ");
        ASSERT_GE (titles.size(), 1);
        EXPECT_EQ (titles[0], "Update error");
        EXPECT_TRUE (boxes()[0].message.contains ("stopped answering")) << boxes()[0].message;
        EXPECT_EQ (titles, juce::StringArray ({ "Update error", "No instrument found", "No instrument found" }));
        EXPECT_FALSE (controller->isConnected());
        expectPortsClosed();
        EXPECT_NE (rig.instrument.getFirmwareVersion(), (EmulatedInstrument::Version{ 1, 0, 3, 2 }));

        juce::MemoryBlock after;
        ASSERT_TRUE (firmware.loadFileAsData (after));
        EXPECT_EQ (after, firmwareBytes) << "the firmware file is only read";

        plugIn();
    }

    // Plugged in again, in whatever state the cut left it, a new update brings it to 1.0.3.2.
    rig.dialogs.clear();
    controller->handleActionMessage ("FIRM ");
    EXPECT_TRUE (boxTitles().contains ("Firmware update: complete")) << boxTitles().joinIntoString (", ");
    EXPECT_EQ (rig.instrument.getFirmwareVersion(), (EmulatedInstrument::Version{ 1, 0, 3, 2 }));
    EXPECT_TRUE (controller->isConnected());
}

TEST_F (Faults, ANewConnectionIsNotJudgedByTheSilenceOfThePreviousOne)
{
    // An instrument that has stopped its Active Sensing, found again long after the last one.
    rig.instrument.setActiveSensingEnabled (false);
    connectAndRead();
    controller->disconnect();
    Platform::runMessageLoopFor ((int) ApplicationController::maxSilenceMs + 100);

    // Its identity reply is a sign of life: a click right after connecting is carried out.
    controller->connect();
    ASSERT_TRUE (controller->isConnected());
    controller->handleActionMessage ("BEND 11");
    EXPECT_TRUE (controller->isConnected());
    EXPECT_TRUE (InstrumentRig::waitFor ([this] { return rig.instrument.getSetting (DeviceSetting::BEND) == 11; }));
    EXPECT_EQ (boxTitles(), juce::StringArray());

    // Without Active Sensing after that, the next action finds it silent.
    expectTheNextActionToNoticeTheSilence();
    EXPECT_EQ (rig.instrument.getSetting (DeviceSetting::BEND), 11);
}

//==============================================================================
namespace
{
/** Messages no request may take as its answer: bytes and SysEx of every length from 0 to 64,
    frames with other commands, and the awaited reply itself cut short.
*/
std::vector<Bytes> garbageFor (uint8 awaitedCommand, const Bytes& realReply, juce::int64 seed)
{
    juce::Random random (seed);
    std::vector<Bytes> garbage;

    const auto notAwaited = [&] {
        uint8 c;
        do
            c = (uint8) random.nextInt (128);
        while (c == awaitedCommand);
        return c;
    };

    for (int length = 0; length <= 64; ++length)
    {
        Bytes anything ((size_t) length);

        for (auto& b : anything)
            b = (uint8) random.nextInt (256);

        if (length > 8 && anything[8] == awaitedCommand)
            anything[8] = notAwaited();

        garbage.push_back (anything);

        if (length >= 2)
        {
            Bytes sysex ((size_t) length);
            sysex.front() = 0xf0;
            sysex.back() = 0xf7;

            for (size_t i = 1; i + 1 < sysex.size(); ++i)
                sysex[i] = (uint8) random.nextInt (128);

            if (length > 9)
                sysex[8] = notAwaited();

            garbage.push_back (sysex);
        }
    }

    for (int i = 0; i < 16; ++i)
    {
        Bytes payload ((size_t) random.nextInt (36));

        for (auto& b : payload)
            b = (uint8) random.nextInt (128);

        garbage.push_back (frame ((uint8) random.nextInt (128), (uint8) payload.size(), notAwaited(), payload));
    }

    // The real reply cut before its end, and cut with an end byte right after the cut.
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
} // namespace

TEST_F (Faults, GarbageFromTheInstrumentNeverAnswersARequest)
{
    connectAndRead();
    rig.instrument.setSetting (DeviceSetting::BEND, 9);
    const auto bendReply = getDeviceSettingInfo (DeviceSetting::BEND).setCommand;
    const auto bendGarbage = garbageFor (bendReply, frame (0, 1, bendReply, { 9 }), 1);
    Bytes chunkReplyPayload{ 0, 0, 32 };
    chunkReplyPayload.resize (35, 60);
    const auto chunkGarbage = garbageFor (sequenceChunk, frame (0, 35, sequenceChunk, chunkReplyPayload), 2);

    // All of it arrives while the request waits, before any real answer could.
    const std::vector<Bytes>* toSend = nullptr;
    tapped.setTap ([&] (const juce::MidiMessage& m) {
        if (toSend != nullptr && (isSettingGet (m) || isFrame (m, sequenceRequest)))
            for (auto& g : *toSend)
            {
                rig.midi.sendFromDevice (instrumentDevice, messageOf (g));
                ++faultsInjected;
            }
    });

    for (const bool instrumentAnswers : { false, true })
    {
        SCOPED_TRACE (instrumentAnswers ? "the instrument answers after the garbage" : "only garbage comes");
        rig.instrument.setSilent (! instrumentAnswers);
        auto* output = controller->getOutput();

        toSend = &bendGarbage;
        uint8 value = 200;
        const auto started = now();
        const bool answered = getSetting (output, DeviceSetting::BEND, value);
        const auto took = now() - started;
        EXPECT_EQ (answered, instrumentAnswers);
        EXPECT_EQ (value, instrumentAnswers ? 9 : 200) << "garbage is never taken as the value";

        if (! instrumentAnswers)
        {
            EXPECT_GE (took, (juce::uint32) (replyWaitSlices * replyWaitSliceMs));
        }

        EXPECT_LT (took, 1000u);

        // A cut-short sequence reply ends the wait as a failure; other garbage is ignored. A
        // half whose real reply overtook the garbage holds the real steps; no half holds others.
        toSend = &chunkGarbage;
        StepBuffer steps{};
        steps.fill (0x55);
        EXPECT_FALSE (readSequence (output, 0, steps.data()));
        StepBuffer real{};
        const auto inMemory = rig.instrument.getSequence (0);
        std::copy (inMemory.begin(), inMemory.end(), real.begin());

        for (int half = 0; half < 2; ++half)
        {
            const auto first = (size_t) (half * stepsPerHalf);
            const bool untouched =
                std::all_of (steps.begin() + (long) first, steps.begin() + (long) first + stepsPerHalf,
                             [] (uint8 b) { return b == 0x55; });
            const bool asInMemory = std::equal (
                steps.begin() + (long) first, steps.begin() + (long) first + stepsPerHalf, real.begin() + (long) first);
            EXPECT_TRUE (untouched || (instrumentAnswers && asInMemory)) << "no step taken from garbage, half " << half;
        }

        toSend = nullptr;
        rig.midi.waitUntilDelivered();
    }

    // The reply slot is none the worse: real answers are read as before.
    rig.instrument.setSilent (false);
    uint8 value = 0;
    EXPECT_TRUE (getSetting (controller->getOutput(), DeviceSetting::BEND, value));
    EXPECT_EQ (value, 9);
    StepBuffer steps{};
    ASSERT_TRUE (readSequence (controller->getOutput(), 3, steps.data()));
    EXPECT_EQ (Bytes (steps.begin(), steps.begin() + getSequenceLength (steps)), rig.instrument.getSequence (3));
}

TEST_F (Faults, GarbageDuringDetectionAndTheFirmwareTransfer)
{
    // Garbage after every identity request (none of it an identity reply): found all the same.
    tapped.setTap ([this] (const juce::MidiMessage& m) {
        if (m.getRawDataSize() == 6 && m.getRawData()[1] == 0x7e)
            for (auto g : garbageFor (0xff, {}, 3))
            {
                if (g.size() > 4 && g[4] == 0x02)
                    g[4] = 0x01;

                rig.midi.sendFromDevice (instrumentDevice, messageOf (g));
                ++faultsInjected;
            }
    });
    controller->connect();
    ASSERT_TRUE (controller->isConnected());
    uint8 version[4]{};
    HWDetector::getFirmwareVersion (version[0], version[1], version[2], version[3]);
    EXPECT_EQ (Bytes (version, version + 4), (Bytes{ 1, 0, 3, 2 }));

    // Acknowledgements of the wrong counter, cut short, or overlong, after every image chunk,
    // and a rejection of every 50th: the image arrives whole and runs.
    rig.instrument.setFirmwareVersion ({ 1, 0, 2, 0 });
    rig.instrument.setLatencyMs (0);
    connectAndRead();
    std::atomic<int> chunks{ 0 };
    tapped.setTap ([&] (const juce::MidiMessage& m) {
        if (! isFrame (m, imageChunk))
            return;

        const auto counter = m.getRawData()[6];
        const Bytes accepted (9, 0x00); // status 00: checksum, then its packed group
        std::vector<Bytes> acks{ frame ((uint8) ((counter + 1) & 0x7f), 1, acknowledgement, accepted),
                                 Bytes{ 0xf0, 0x00, 0x5c, 0x3d, 0x05, 0x01, counter, 0x01, acknowledgement },
                                 frame (counter, 0x7f, acknowledgement, { 0x00, 0x01 }),
                                 frame (counter, 1, acknowledgement, {}), Bytes{ 0xf0, acknowledgement } };

        if (++chunks % 50 == 0)
            acks.push_back (frame (counter, 1, acknowledgement, { 0x7f, 0x7f, 0, 0, 0, 0, 0, 0, 0x01 })); // FF

        for (auto& a : acks)
        {
            rig.midi.sendFromDevice (instrumentDevice, messageOf (a));
            ++faultsInjected;
        }
    });

    controller->handleActionMessage ("FIRM ");
    tapped.setTap ({});

    EXPECT_TRUE (boxTitles().contains ("Firmware update: complete")) << boxTitles().joinIntoString (", ");
    EXPECT_FALSE (boxTitles().contains ("Update error"));
    EXPECT_EQ (rig.instrument.getFirmwareVersion(), (EmulatedInstrument::Version{ 1, 0, 3, 2 }));
    EXPECT_EQ (rig.instrument.getMode(), Mode::application);
    EXPECT_TRUE (controller->isConnected());
}

//==============================================================================
TEST_F (Faults, AFloodOfRealTimeMessagesAndNotesDuringEveryExchange)
{
    setDistinctSettings (rig.instrument);
    rig.instrument.setFirmwareVersion ({ 1, 0, 2, 0 });
    rig.instrument.setLatencyMs (0);
    Flood flood (rig.midi, instrumentDevice);

    // Start-up: detection, the update offer accepted, the whole update, reconnection.
    rig.dialogs.answerOkCancel (true);
    controller->startUp();
    EXPECT_EQ (boxTitles(), juce::StringArray ({ "Firmware version", "Firmware update: complete" }));
    EXPECT_EQ (rig.instrument.getFirmwareVersion(), (EmulatedInstrument::Version{ 1, 0, 3, 2 }));
    ASSERT_TRUE (controller->isConnected());

    // Reading every setting and writing some.
    view.calls.clear();
    controller->readAllSettings();
    ASSERT_EQ (view.displayedSettings().size(), numDeviceSettings);
    expectShownAsInMemory (view, rig.instrument, numDeviceSettings);
    controller->handleActionMessage ("BEND 12");
    controller->handleActionMessage ("MIN  16");
    EXPECT_TRUE (InstrumentRig::waitFor ([this] {
        return rig.instrument.getSetting (DeviceSetting::BEND) == 12
               && rig.instrument.getSetting (DeviceSetting::MIN) == 16;
    }));

    // Saving, loading and the factory reset.
    for (int i = 0; i < numSequences; ++i)
        rig.instrument.setSequence (i, stepsOf (i, 8 * i));

    rig.dialogs.clear();
    const auto saved = folder.getChildFile ("flood.tvseq");
    rig.dialogs.answerFile (saved);
    rig.dialogs.answerOkCancel (false);
    controller->handleActionMessage ("SVSQ ");
    const auto content = parseSequenceFile (saved.loadFileAsString().toStdString());
    ASSERT_TRUE (content.isValid()) << content.error;
    ASSERT_EQ (content.sequences.size(), (size_t) numSequences);

    for (int i = 0; i < numSequences; ++i)
        EXPECT_EQ (content.sequences[(size_t) i].steps, stepsOf (i, 8 * i)) << "sequence " << i + 1;

    const auto holds = [this] (std::function<Bytes (int)> sequenceOf) {
        return [this, sequenceOf] {
            for (int i = 0; i < numSequences; ++i)
                if (rig.instrument.getSequence (i) != sequenceOf (i))
                    return false;

            return true;
        };
    };

    rig.dialogs.answerOkCancel (true);
    controller->handleActionMessage ("FCSQ ");
    EXPECT_TRUE (InstrumentRig::waitFor (holds (&EmulatedInstrument::getFactorySequence)));

    rig.dialogs.answerFile (saved);
    controller->handleActionMessage ("LDSQ ");
    EXPECT_TRUE (InstrumentRig::waitFor (holds ([] (int i) { return stepsOf (i, 8 * i); })));

    EXPECT_EQ (boxTitles(), juce::StringArray ({ "Generate MidiFiles?", "Reset All Sequences" }));
    EXPECT_TRUE (controller->isConnected());
    faultsInjected += flood.getCount();
}

//==============================================================================
// Every input committed under fuzz/corpus/: the seeds, and each input that once made a fuzz
// target fail, run through the targets' own checks.
TEST (FuzzCorpus, EveryCommittedInputPassesItsTarget)
{
    struct Target
    {
        const char* name;
        int (*run) (const uint8_t*, size_t);
    };

    const auto corpus = juce::File (__FILE__).getParentDirectory().getSiblingFile ("fuzz").getChildFile ("corpus");
    int inputs = 0;

    for (auto& target :
         { Target{ "acknowledgement", fuzzAcknowledgement }, Target{ "firmware_container", fuzzFirmwareContainer },
           Target{ "identity_reply", fuzzIdentityReply }, Target{ "reply_matcher", fuzzReplyMatcher },
           Target{ "sequence_file", fuzzSequenceFile }, Target{ "sysex_message", fuzzSysexMessage } })
    {
        const auto files = corpus.getChildFile (target.name).findChildFiles (juce::File::findFiles, false);
        EXPECT_GE (files.size(), 5) << target.name;

        for (auto& file : files)
        {
            SCOPED_TRACE (file.getFullPathName());
            juce::MemoryBlock input;
            ASSERT_TRUE (file.loadFileAsData (input));
            EXPECT_EQ (target.run (static_cast<const uint8_t*> (input.getData()), input.getSize()), 0);
            ++inputs;
        }
    }

    std::printf ("[ corpus   ] %d inputs replayed\n", inputs);
}
