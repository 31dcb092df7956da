#include "emulator/EmulatedInstrument.h"
#include "emulator/EmulatedMidiBackend.h"
#include "emulator/FirmwareImage.h"
#include "protocol/SysexMessage.h"
#include "tests/support/EmulatorTestSupport.h"

#include <gtest/gtest.h>

#include <cstdlib>
#include <fstream>
#include <thread>

namespace tarnovelle::testing
{
namespace
{
    using Mode = EmulatedInstrument::Mode;
    using Version = EmulatedInstrument::Version;

    /** An instrument whose output is recorded, with helpers to talk to it. */
    struct Probe
    {
        Probe() { instrument.setOutputSink (out.asSink()); }
        explicit Probe (const juce::File& file)
            : instrument (file)
        {
            instrument.setOutputSink (out.asSink());
        }
        ~Probe() { instrument.setOutputSink (nullptr); }

        void send (const juce::MidiMessage& m) { instrument.receiveMidi (m); }

        /** Sends and returns the next message matching the predicate that arrives after it. */
        std::optional<Bytes> ask (const juce::MidiMessage& m, const std::function<bool (const Bytes&)>& what,
                                  int timeoutMs = 500)
        {
            const auto before = out.count (what);
            send (m);

            if (auto r = out.waitFor (what, before + 1, timeoutMs))
                return r->bytes;

            return std::nullopt;
        }

        EmulatedInstrument instrument;
        RecordingCallback out;
    };

    const auto anyFrame = [] (const Bytes& b) { return b.size() > 1; };
    const auto identityReply = [] (const Bytes& b) { return isIdentityReply (b); };
    const auto acknowledgement = isFrameWithCommand (0x04);

    Bytes stepRange (int count, int first = 1)
    {
        Bytes steps;

        for (int i = 0; i < count; ++i)
            steps.push_back ((juce::uint8) ((first + i) % 126 + 1));

        return steps;
    }

    /** The one or two 35-byte chunks the application sends for a sequence. */
    std::vector<juce::MidiMessage> chunksFor (int index, const Bytes& steps)
    {
        std::vector<juce::MidiMessage> chunks;

        for (int first = 0; first == 0 || (first == 32 && (int) steps.size() > 32); first += 32)
        {
            const auto count = juce::jlimit (0, 32, (int) steps.size() - first);
            Bytes payload (35, 0);
            payload[0] = (juce::uint8) index;
            payload[1] = (juce::uint8) first;
            payload[2] = (juce::uint8) count;
            std::copy (steps.begin() + first, steps.begin() + first + count, payload.begin() + 3);
            chunks.push_back (rawFrame (0x3a, payload));
        }

        return chunks;
    }

    Bytes packedFrame (juce::uint8 command, const juce::uint8* data, int n, juce::uint8 counter)
    {
        juce::uint8 encoded[40]{};
        int capacity = (int) sizeof (encoded);
        juce::uint8 checksum = 0;
        EXPECT_EQ (0, packPayload (data, n, encoded, capacity, checksum));

        Bytes b{ 0xf0, 0x00, 0x5c, 0x3d, 0x05, 0x01, counter, (juce::uint8) n, command, checksum };
        for (int i = 0; i < capacity; ++i)
            b.push_back (encoded[i]);

        b.push_back (0xf7);
        return b;
    }

    juce::MidiMessage toMessage (const Bytes& b) { return juce::MidiMessage (b.data(), (int) b.size()); }

    /** The status of an acknowledgement: -1 when it has no payload. */
    int ackStatus (const Bytes& ack)
    {
        if (ack[7] == 0)
            return -1;

        const SysexMessage message (ack.data(), (int) ack.size());
        juce::uint8 decoded[28]{};
        int length = ack[7];
        EXPECT_EQ (0, message.decodePayload (decoded, length, 9, message.size() - 11, 28));
        return decoded[0];
    }

    /** As above; -2 when no acknowledgement came. */
    int ackStatus (const std::optional<Bytes>& ack) { return ack ? ackStatus (*ack) : -2; }

    /** Drives the bootloader as the application's updater does, one acknowledged message at a
        time, repeating rejected chunks with the same counter.
    */
    struct BootloaderDriver
    {
        explicit BootloaderDriver (Probe& p)
            : probe (p)
        {}

        std::optional<Bytes> sendAndAwaitAck (const Bytes& frame, int timeoutMs = 500)
        {
            return probe.ask (toMessage (frame), acknowledgement, timeoutMs);
        }

        std::optional<Bytes> start()
        {
            counter = 0;
            return sendAndAwaitAck (packedFrame (0x01, nullptr, 0, counter++));
        }

        std::optional<Bytes> chunk (const juce::MemoryBlock& image, int number, int timeoutMs = 500)
        {
            lastChunk =
                packedFrame (0x03, static_cast<const juce::uint8*> (image.getData()) + (number - 1) * 28,
                             (int) juce::jmin ((size_t) 28, image.getSize() - (size_t) (number - 1) * 28), counter);
            counter = (juce::uint8) ((counter + 1) & 0x7f);
            return sendAndAwaitAck (lastChunk, timeoutMs);
        }

        void end() { probe.send (toMessage (packedFrame (0x02, nullptr, 0, counter++))); }

        /** The whole transfer; false as soon as an acknowledgement is missing or wrong. */
        bool transfer (const juce::MemoryBlock& image)
        {
            if (! start())
                return false;

            const auto chunks = (int) (image.getSize() + 27) / 28;

            for (int number = 1; number <= chunks; ++number)
            {
                auto ack = chunk (image, number);

                while (ack && ackStatus (*ack) >= 0xfe)
                    ack = sendAndAwaitAck (lastChunk);

                if (! ack || (*ack)[6] != lastChunk[6])
                    return false;
            }

            end();
            return true;
        }

        Probe& probe;
        juce::uint8 counter = 0;
        Bytes lastChunk;
    };

    juce::MemoryBlock testImage (Version version, int bodySize)
    {
        juce::MemoryBlock body ((size_t) bodySize);

        for (int i = 0; i < bodySize; ++i)
            static_cast<juce::uint8*> (body.getData())[i] = (juce::uint8) (i * 7 + 3);

        return makeFirmwareImage (version.data(), body);
    }

    struct TempFolder
    {
        TempFolder() { folder.createDirectory(); }
        ~TempFolder() { folder.deleteRecursively(); }
        juce::File file (const char* name) const { return folder.getChildFile (name); }

        juce::File folder =
            juce::File::getSpecialLocation (juce::File::tempDirectory)
                .getChildFile ("emulator-test-" + juce::String::toHexString (juce::Random().nextInt64()));
    };
} // namespace

//==============================================================================
TEST (EmulatorIdentity, RepliesWithItsDeviceIdFamilyMemberAndVersion)
{
    Probe p;
    auto reply = p.ask (identityRequest(), identityReply);
    ASSERT_TRUE (reply);
    EXPECT_EQ ((Bytes{ 0xf0, 0x7e, 0x01, 0x06, 0x02, 0x00, 0x5c, 0x3d, 0x04, 0x00, 0x02, 0x01, 1, 0, 2, 0, 0xf7 }),
               *reply);

    p.instrument.setDeviceId (0x7f);
    p.instrument.setFirmwareVersion ({ 1, 0, 3, 2 });
    reply = p.ask (identityRequest(), identityReply);
    ASSERT_TRUE (reply);
    EXPECT_EQ ((Bytes{ 0xf0, 0x7e, 0x7f, 0x06, 0x02, 0x00, 0x5c, 0x3d, 0x04, 0x00, 0x02, 0x01, 1, 0, 3, 2, 0xf7 }),
               *reply);

    // A request addressed to another device is not for this instrument.
    p.instrument.setDeviceId (0x01);
    const juce::uint8 forDevice5[] = { 0xf0, 0x7e, 0x05, 0x06, 0x01, 0xf7 };
    EXPECT_FALSE (p.ask (juce::MidiMessage (forDevice5, 6), identityReply, 100));
}

TEST (EmulatorSettings, EverySettingAnswersItsGetAndStoresItsSet)
{
    Probe p;

    for (auto& info : getDeviceSettingTable())
    {
        SysexMessage get (info.getCommand(), nullptr, 0, 0x01, false);
        auto reply = p.ask (juce::MidiMessage (get.data(), get.size()), isFrameWithCommand (info.setCommand));
        ASSERT_TRUE (reply) << info.code;
        ASSERT_EQ (11u, reply->size());
        EXPECT_EQ ((Bytes{ 0xf0, 0x00, 0x5c, 0x3d, 0x05, 0x01 }), Bytes (reply->begin(), reply->begin() + 6));
        EXPECT_EQ ((Bytes{ 0x01, info.setCommand, EmulatedInstrument::getFactorySetting (info.setting), 0xf7 }),
                   Bytes (reply->begin() + 7, reply->end()));

        const auto value = (juce::uint8) (3 + (int) info.setting);
        SysexMessage set (info.setCommand, &value, 1, 0x01, false);
        p.send (juce::MidiMessage (set.data(), set.size()));

        // Behind the set on the same input, so its answer shows the stored value.
        SysexMessage getAgain (info.getCommand(), nullptr, 0, 0x01, false);
        reply = p.ask (juce::MidiMessage (getAgain.data(), getAgain.size()), isFrameWithCommand (info.setCommand));
        ASSERT_TRUE (reply);
        EXPECT_EQ (value, (*reply)[9]) << info.code;
        EXPECT_EQ (value, p.instrument.getSetting (info.setting));
    }

    // Two answers per setting, for the two gets: the sets themselves are not answered.
    EXPECT_EQ (2 * numDeviceSettings, p.out.count ([] (const Bytes& b) { return b.size() > 1; }));

    // A set with two value bytes is not a set the instrument knows.
    p.send (rawFrame (0x2c, { 9, 9 }));
    p.send (rawFrame (0x05, { 4 }));
    EXPECT_TRUE (waitUntil ([&] { return p.instrument.getSetting (DeviceSetting::MIN) == 4; }));
    EXPECT_EQ (3 + (int) DeviceSetting::BEND, p.instrument.getSetting (DeviceSetting::BEND));
}

TEST (EmulatorActiveSensing, EveryQuarterSecondOnlyWhileTheApplicationFirmwareRuns)
{
    Probe p;
    juce::Thread::sleep (1200);
    auto sensing = p.out.getMatching (isActiveSensing);
    ASSERT_GE (sensing.size(), 4u);

    for (size_t i = 1; i < sensing.size(); ++i)
    {
        // Some slack for a busy machine; the application gives up only after 300 ms.
        EXPECT_GT (sensing[i].time - sensing[i - 1].time, 180.0);
        EXPECT_LT (sensing[i].time - sensing[i - 1].time, 320.0);
    }

    const auto silentFor = [&p] (std::function<void()> setUp) {
        setUp();
        juce::Thread::sleep (20);
        p.out.clear();
        juce::Thread::sleep (600);
        return p.out.count (isActiveSensing) == 0;
    };

    EXPECT_TRUE (silentFor ([&] { p.instrument.setActiveSensingEnabled (false); }));
    EXPECT_TRUE (silentFor ([&] {
        p.instrument.clearFaults();
        p.instrument.setMode (Mode::bootloader);
    }));
    EXPECT_TRUE (silentFor ([&] {
        p.instrument.setMode (Mode::application);
        p.instrument.setSilent (true);
    }));
}

TEST (EmulatorSequences, AChunkSequenceReadsBackAsItWasSent)
{
    Probe p;
    const auto readHalf = [&p] (int index, int first) {
        return p.ask (rawFrame (0x3b, { (juce::uint8) index, (juce::uint8) first, 32 }), isFrameWithCommand (0x3a),
                      150);
    };

    for (int length : { 0, 16, 32, 33, 64, 16 })
    {
        const auto steps = stepRange (length, length);

        for (auto& chunk : chunksFor (5, steps))
            p.send (chunk);

        auto first = readHalf (5, 0);
        auto second = readHalf (5, 32);
        ASSERT_TRUE (first && second);
        ASSERT_EQ (45u, first->size());
        EXPECT_EQ (0x23, (*first)[7]);
        EXPECT_EQ ((Bytes{ 5, 0, (juce::uint8) juce::jmin (length, 32) }),
                   Bytes (first->begin() + 9, first->begin() + 12));
        EXPECT_EQ ((Bytes{ 5, 32, (juce::uint8) juce::jmax (0, length - 32) }),
                   Bytes (second->begin() + 9, second->begin() + 12));

        Bytes readBack (first->begin() + 12, first->begin() + 44);
        readBack.insert (readBack.end(), second->begin() + 12, second->begin() + 44);
        Bytes expected = steps;
        expected.resize (64, 0); // steps past the end read as 0
        EXPECT_EQ (expected, readBack) << "length " << length;
        EXPECT_EQ (steps, p.instrument.getSequence (5));
    }

    EXPECT_EQ (EmulatedInstrument::getFactorySequence (4), p.instrument.getSequence (4));
    EXPECT_FALSE (readHalf (8, 0));
    EXPECT_FALSE (readHalf (0, 16));
}

//==============================================================================
TEST (EmulatorPersistence, MemorySurvivesARestartOfTheProgram)
{
    TempFolder temp;
    const auto file = temp.file ("instrument.json");

    {
        Probe p (file);
        EXPECT_EQ (EmulatedInstrument::StartState::missingFile, p.instrument.getStartState());
        EXPECT_EQ ((Version{ 1, 0, 2, 0 }), p.instrument.getFirmwareVersion());
        EXPECT_EQ (16, p.instrument.getSetting (DeviceSetting::MIN));
        EXPECT_TRUE (file.existsAsFile());

        p.send (rawFrame (0x2c, { 12 }));
        for (auto& chunk : chunksFor (7, stepRange (40)))
            p.send (chunk);

        ASSERT_TRUE (waitUntil ([&] { return p.instrument.getSequence (7).size() == 40; }));
        p.instrument.setFirmwareVersion ({ 1, 0, 3, 2 });
    }

    auto json = juce::JSON::parse (file);
    EXPECT_EQ (juce::String ("1.0.3.2"), json["firmware"].toString());
    EXPECT_EQ (12, (int) json["settings"]["BEND"]);
    EXPECT_EQ (14, json["settings"].getDynamicObject()->getProperties().size());
    ASSERT_EQ (8, json["sequences"].size());
    EXPECT_EQ (40, json["sequences"][7].size());

    EmulatedInstrument again (file);
    EXPECT_EQ (EmulatedInstrument::StartState::loaded, again.getStartState());
    EXPECT_EQ ((Version{ 1, 0, 3, 2 }), again.getFirmwareVersion());
    EXPECT_EQ (12, again.getSetting (DeviceSetting::BEND));
    EXPECT_EQ (stepRange (40), again.getSequence (7));
    EXPECT_EQ (Mode::application, again.getMode());
}

TEST (EmulatorPersistence, ADamagedFileIsSetAsideAndTheInstrumentStartsFresh)
{
    for (auto* damaged : { "{ not json", "[]", R"({"firmware":"1.0.x.0","settings":{},"sequences":[]})",
                           R"({"firmware":"1.0.3.2","settings":{"BEND":300},"sequences":[[],[],[],[],[],[],[],[]]})",
                           R"({"firmware":"1.0.3.2","settings":{},"sequences":[[60,0],[],[],[],[],[],[],[]]})",
                           R"({"firmware":"1.0.3.2","settings":{},"sequences":[[],[],[],[],[],[],[]]})" })
    {
        TempFolder temp;
        const auto file = temp.file ("instrument.json");
        file.replaceWithText (damaged);

        EmulatedInstrument instrument (file);
        EXPECT_EQ (EmulatedInstrument::StartState::damagedFile, instrument.getStartState()) << damaged;
        EXPECT_EQ (juce::String (damaged), temp.file ("instrument.json.bak").loadFileAsString());
        EXPECT_EQ ((Version{ 1, 0, 2, 0 }), instrument.getFirmwareVersion());
        EXPECT_EQ (EmulatedInstrument::getFactorySequence (0), instrument.getSequence (0));
        EXPECT_EQ (juce::String ("1.0.2.0"), juce::JSON::parse (file)["firmware"].toString());
    }
}

TEST (EmulatorPersistence, AReaderNeverSeesAHalfWrittenFile)
{
    TempFolder temp;
    const auto file = temp.file ("instrument.json");
    EmulatedInstrument instrument (file);
    std::atomic<bool> done{ false };
    std::atomic<int> reads{ 0 }, broken{ 0 };

    std::thread reader ([&] {
        while (! done.load())
        {
            // Read through one open file to its end (JUCE's reader asks the path for the
            // length, which may already be the next file's).
            std::ifstream in (file.getFullPathName().toStdString(), std::ios::binary);
            const std::string text ((std::istreambuf_iterator<char> (in)), std::istreambuf_iterator<char>());
            auto json = juce::JSON::parse (juce::String (text));

            if (json["settings"].getDynamicObject() == nullptr || json["sequences"].size() != 8)
                ++broken;

            ++reads;
        }
    });

    for (int i = 0; i < 120; ++i)
        instrument.setSetting (DeviceSetting::MOUT, (juce::uint8) (i % 16));

    done = true;
    reader.join();

    EXPECT_GT (reads.load(), 10);
    EXPECT_EQ (0, broken.load());
    // No temporary file is left behind.
    EXPECT_EQ (1, temp.folder.findChildFiles (juce::File::findFilesAndDirectories, false).size());
}

TEST (EmulatorPersistence, TheEnvironmentNamesAnotherStateFile)
{
    ::setenv ("TARNOVELLE_EMULATOR_STATE", "/tmp/elsewhere/state.json", 1);
    EXPECT_EQ (juce::String ("/tmp/elsewhere/state.json"), EmulatedInstrument::getDefaultStateFile().getFullPathName());
    ::unsetenv ("TARNOVELLE_EMULATOR_STATE");
    EXPECT_TRUE (
        EmulatedInstrument::getDefaultStateFile().getFullPathName().endsWith ("/Tarnovelle Emulator/instrument.json"));
}

//==============================================================================
TEST (EmulatorPorts, ListsDevicesInOrderAndOpensWhatCanBeOpened)
{
    EmulatedInstrument instrument;
    EmulatedMidiBackend backend;
    backend.addUnopenablePort ("Broken In", EmulatedMidiBackend::Sides::inputOnly);
    backend.addMidiThrough();
    backend.addSilentDevice ("Out Only", EmulatedMidiBackend::Sides::outputOnly);
    backend.addInstrument (instrument);

    EXPECT_EQ (juce::StringArray ({ "Broken In", "Midi Through Port-0", "Tarnovelle" }), backend.getInputNames());
    EXPECT_EQ (juce::StringArray ({ "Midi Through Port-0", "Out Only", "Tarnovelle" }), backend.getOutputNames());

    RecordingCallback callback;
    EXPECT_EQ (nullptr, backend.openInput (0, &callback));
    EXPECT_EQ (nullptr, backend.openInput (3, &callback));
    EXPECT_EQ (nullptr, backend.openOutput (3));

    auto input = backend.openInput (2, &callback);
    auto output = backend.openOutput (2);
    ASSERT_TRUE (input && output);
    EXPECT_EQ (juce::String ("Tarnovelle"), input->getName());
    EXPECT_EQ (1, backend.getNumOpenInputs());

    // Nothing arrives before start(); the reply comes on another thread, from this input.
    output->sendMessageNow (identityRequest());
    juce::Thread::sleep (50);
    EXPECT_EQ (0, callback.count (identityReply));

    std::atomic<bool> onTestThread{ false };
    struct ThreadCheck final : public MidiPortCallback
    {
        void handleIncomingMidiMessage (MidiInputPort*, const juce::MidiMessage& m) override
        {
            if (std::this_thread::get_id() == testThread)
                flag->store (true);
            inner->handleIncomingMidiMessage (nullptr, m);
        }
        std::thread::id testThread;
        std::atomic<bool>* flag;
        RecordingCallback* inner;
    } check;
    check.testThread = std::this_thread::get_id();
    check.flag = &onTestThread;
    check.inner = &callback;

    input = backend.openInput (2, &check);
    input->start();
    output->sendMessageNow (identityRequest());
    EXPECT_TRUE (callback.waitFor (identityReply));
    EXPECT_FALSE (onTestThread.load());
}

TEST (EmulatorPorts, ThroughEchoesAndAForeignDeviceAnswersWithItsOwnIdentity)
{
    EmulatedMidiBackend backend;
    backend.addMidiThrough();
    const Bytes foreign{ 0xf0, 0x7e, 0x01, 0x06, 0x02, 0x41, 0x10, 0x00, 0x01, 0x02, 0x03, 0x04, 1, 2, 3, 4, 0xf7 };
    backend.addForeignDevice ("Other Synth", foreign);

    RecordingCallback callback;
    auto throughIn = backend.openInput (0, &callback);
    auto foreignIn = backend.openInput (1, &callback);
    throughIn->start();
    foreignIn->start();

    backend.openOutput (0)->sendMessageNow (identityRequest());
    backend.openOutput (1)->sendMessageNow (identityRequest());
    backend.openOutput (1)->sendMessageNow (juce::MidiMessage::noteOn (1, 60, (juce::uint8) 100));
    ASSERT_TRUE (backend.waitUntilDelivered());

    const auto messages = callback.getMessages();
    ASSERT_EQ (2u, messages.size());
    EXPECT_EQ (throughIn.get(), messages[0].source);
    EXPECT_EQ (bytesOf (identityRequest()), messages[0].bytes);
    EXPECT_EQ (foreignIn.get(), messages[1].source);
    EXPECT_EQ (foreign, messages[1].bytes);
}

TEST (EmulatorPorts, UnpluggingKillsOpenPortsAndReplugListsNewOnes)
{
    EmulatedInstrument instrument;
    EmulatedMidiBackend backend;
    backend.addMidiThrough();
    backend.addInstrument (instrument);

    RecordingCallback callback;
    auto input = backend.openInput (1, &callback);
    auto output = backend.openOutput (1);
    input->start();

    instrument.setUnplugged (true);
    EXPECT_EQ (juce::StringArray ({ "Midi Through Port-0" }), backend.getOutputNames());
    EXPECT_EQ (nullptr, backend.openOutput (1));
    instrument.clearReceived();
    output->sendMessageNow (identityRequest());
    juce::Thread::sleep (300);
    EXPECT_EQ (0, instrument.countAllReceived());
    callback.clear();

    instrument.setUnplugged (false);
    EXPECT_EQ (2, backend.getOutputNames().size());
    output->sendMessageNow (identityRequest());
    juce::Thread::sleep (300);
    EXPECT_EQ (0, instrument.countAllReceived());
    EXPECT_EQ (0, (int) callback.getMessages().size()); // not even Active Sensing on the dead input

    RecordingCallback fresh;
    auto newInput = backend.openInput (1, &fresh);
    newInput->start();
    backend.openOutput (1)->sendMessageNow (identityRequest());
    EXPECT_TRUE (fresh.waitFor (identityReply));
    EXPECT_TRUE (fresh.waitFor (isActiveSensing));
}

TEST (EmulatorPorts, NoCallbackRunsAfterStopOrCloseHasReturned)
{
    struct SlowCallback final : public MidiPortCallback
    {
        void handleIncomingMidiMessage (MidiInputPort*, const juce::MidiMessage&) override
        {
            inside = true;
            juce::Thread::sleep (3);
            ++calls;
            inside = false;
        }
        std::atomic<bool> inside{ false };
        std::atomic<int> calls{ 0 };
    };

    EmulatedMidiBackend backend;
    backend.addChatterDevice ("Keyboard",
                              { juce::MidiMessage::noteOn (1, 60, (juce::uint8) 90), juce::MidiMessage::midiClock(),
                                juce::MidiMessage (0xfe) },
                              1);

    for (int round = 0; round < 20; ++round)
    {
        SlowCallback callback;
        auto input = backend.openInput (0, &callback);
        input->start();
        ASSERT_TRUE (waitUntil ([&] { return callback.calls.load() > 1; }));

        if (round % 2 == 0)
            input->stop();
        else
            input.reset();

        EXPECT_FALSE (callback.inside.load());
        const auto calls = callback.calls.load();
        juce::Thread::sleep (10);
        EXPECT_EQ (calls, callback.calls.load());
    }

    EXPECT_EQ (0, backend.getNumOpenInputs());
}

//==============================================================================
TEST (EmulatorUpdate, TheUpdateRequestRestartsIntoTheBootloaderBehindNewPorts)
{
    EmulatedInstrument instrument;
    EmulatedMidiBackend backend;
    backend.addInstrument (instrument);
    auto output = backend.openOutput (0);

    output->sendMessageNow (rawFrame (0x00, {}));
    EXPECT_TRUE (waitUntil ([&] { return backend.getOutputNames().isEmpty(); }, 200));
    EXPECT_TRUE (waitUntil ([&] { return ! backend.getOutputNames().isEmpty(); }, 1000));
    EXPECT_EQ (Mode::bootloader, instrument.getMode());
    EXPECT_EQ (1, instrument.getRestartCount());

    RecordingCallback callback;
    auto input = backend.openInput (0, &callback);
    input->start();
    instrument.clearReceived();
    output->sendMessageNow (identityRequest()); // the old port is dead
    juce::Thread::sleep (50);
    EXPECT_EQ (0, instrument.countIdentityRequests());

    backend.openOutput (0)->sendMessageNow (identityRequest());
    auto reply = callback.waitFor (identityReply);
    ASSERT_TRUE (reply);
    EXPECT_EQ (0x03, reply->bytes[11]);
    juce::Thread::sleep (600);
    EXPECT_EQ (0, callback.count (isActiveSensing));
}

TEST (EmulatorUpdate, ASoundImageRunsAsTheNewFirmwareAndASpoiltOneKeepsTheBootloader)
{
    TempFolder temp;
    Probe p (temp.file ("instrument.json"));
    p.instrument.setMode (Mode::bootloader);
    p.instrument.setLatencyMs (0);
    BootloaderDriver driver (p);

    // A spoilt image: the transfer goes through, the check fails, the bootloader stays.
    auto spoilt = testImage ({ 1, 0, 3, 2 }, 5000);
    static_cast<juce::uint8*> (spoilt.getData())[100] ^= 0x01;
    ASSERT_TRUE (driver.transfer (spoilt));
    juce::Thread::sleep (50);
    EXPECT_EQ (Mode::bootloader, p.instrument.getMode());
    EXPECT_EQ ((Version{ 1, 0, 2, 0 }), p.instrument.getFirmwareVersion());
    EXPECT_EQ (juce::String ("bootloader"), juce::JSON::parse (temp.file ("instrument.json"))["mode"].toString());

    // Every acknowledgement repeated the counter of its message, past 127 and round again.
    const auto acks = p.out.getMatching (acknowledgement);
    ASSERT_EQ (1u + (5016 + 27) / 28, acks.size());

    for (size_t i = 0; i < acks.size(); ++i)
    {
        EXPECT_EQ (i % 128, acks[i].bytes[6]);
        EXPECT_EQ (1, acks[i].bytes[7]);
        EXPECT_EQ (0, ackStatus (acks[i].bytes));
    }

    ASSERT_TRUE (driver.transfer (makeShippedFirmwareImage()));
    EXPECT_TRUE (waitUntil ([&] { return p.instrument.getMode() == Mode::application; }));
    EXPECT_EQ ((Version{ 1, 0, 3, 2 }), p.instrument.getFirmwareVersion());
    // It restarts into the new firmware behind new ports.
    EXPECT_TRUE (waitUntil ([&] { return p.instrument.getRestartCount() == 1; }));
    EXPECT_TRUE (waitUntil ([&] { return p.instrument.getPortPresence().isPresent(); }));
    auto reply = p.ask (identityRequest(), identityReply);
    ASSERT_TRUE (reply);
    EXPECT_EQ ((Bytes{ 0x02, 0x01, 1, 0, 3, 2 }), Bytes (reply->begin() + 10, reply->begin() + 16));

    EmulatedInstrument afterwards (temp.file ("instrument.json"));
    EXPECT_EQ ((Version{ 1, 0, 3, 2 }), afterwards.getFirmwareVersion());
    EXPECT_EQ (Mode::application, afterwards.getMode());
}

TEST (EmulatorUpdate, BootloaderFaultsMisbehaveOnceAtTheirChunk)
{
    Probe p;
    p.instrument.setMode (Mode::bootloader);
    BootloaderDriver driver (p);
    const auto image = testImage ({ 1, 1, 0, 0 }, 500);

    p.instrument.rejectChunkOnce (0, 0xfe);
    EXPECT_EQ (0xfe, ackStatus (driver.start()));
    EXPECT_EQ (0x00, ackStatus (driver.start()));

    p.instrument.rejectChunkOnce (2, 0xff);
    p.instrument.acknowledgeWithWrongCounterOnce (3);
    p.instrument.dropAcknowledgementOnce (4);
    p.instrument.setAcknowledgeWithoutPayload (true);

    auto ack = driver.chunk (image, 1);
    ASSERT_TRUE (ack.has_value());
    EXPECT_EQ ((Bytes{ 0x00, 0x04, 0x00, 0xf7 }), Bytes (ack->begin() + 7, ack->end())); // length byte 0

    ack = driver.chunk (image, 2);
    ASSERT_TRUE (ack.has_value());
    EXPECT_EQ (0xff, ackStatus (ack));
    EXPECT_EQ (driver.lastChunk[6], (*ack)[6]);
    EXPECT_EQ (-1, ackStatus (driver.sendAndAwaitAck (driver.lastChunk))); // repeated, then taken

    ack = driver.chunk (image, 3);
    ASSERT_TRUE (ack.has_value());
    EXPECT_NE (driver.lastChunk[6], (*ack)[6]);

    EXPECT_EQ (-2, ackStatus (driver.chunk (image, 4, 150)));
    ack = driver.sendAndAwaitAck (driver.lastChunk); // sent again after the lost acknowledgement
    ASSERT_TRUE (ack.has_value());
    EXPECT_EQ (driver.lastChunk[6], (*ack)[6]);
    EXPECT_EQ (4, p.instrument.getAcceptedChunkCount()); // stored once, not twice

    for (int number = 5; number <= (int) (image.getSize() + 27) / 28; ++number)
        ASSERT_TRUE (driver.chunk (image, number).has_value());

    driver.end();
    EXPECT_TRUE (waitUntil ([&] { return p.instrument.getFirmwareVersion() == Version{ 1, 1, 0, 0 }; }));
}

TEST (EmulatorUpdate, AStallOrAPowerLossEndsTheTransfer)
{
    Probe p;
    p.instrument.setMode (Mode::bootloader);
    BootloaderDriver driver (p);
    const auto image = testImage ({ 1, 1, 0, 0 }, 500);

    p.instrument.stallAfterChunk (2);
    ASSERT_TRUE (driver.start().has_value());
    EXPECT_EQ (0, ackStatus (driver.chunk (image, 1)));
    EXPECT_EQ (0, ackStatus (driver.chunk (image, 2)));
    EXPECT_EQ (-2, ackStatus (driver.chunk (image, 3, 150)));
    EXPECT_FALSE (p.ask (identityRequest(), identityReply, 100).has_value());
    EXPECT_TRUE (p.instrument.getPortPresence().isPresent());
    p.instrument.clearFaults();
    EXPECT_EQ (0, ackStatus (driver.sendAndAwaitAck (driver.lastChunk)));

    p.instrument.losePowerAfterChunk (4);
    EXPECT_EQ (0, ackStatus (driver.chunk (image, 4)));
    EXPECT_TRUE (waitUntil ([&] { return ! p.instrument.getPortPresence().isPresent(); }));
    EXPECT_EQ (-2, ackStatus (driver.chunk (image, 5, 150)));

    p.instrument.setUnplugged (false);
    EXPECT_EQ (Mode::bootloader, p.instrument.getMode());
    auto reply = p.ask (identityRequest(), identityReply);
    ASSERT_TRUE (reply);
    EXPECT_EQ (0x03, (*reply)[11]);
    EXPECT_EQ (-2, ackStatus (driver.chunk (image, 5, 150))); // the transfer was lost with the power
    EXPECT_TRUE (driver.transfer (image));
    EXPECT_TRUE (waitUntil ([&] { return p.instrument.getMode() == Mode::application; }));
}

//==============================================================================
TEST (EmulatorFaults, SilentSlowForgetfulAndUnpluggedInstruments)
{
    Probe p;
    SysexMessage getBend (0x2d, nullptr, 0, 0x01, false);
    const auto bendRequest = juce::MidiMessage (getBend.data(), getBend.size());
    const auto bendReply = isFrameWithCommand (0x2c);

    p.instrument.setSilent (true);
    EXPECT_FALSE (p.ask (identityRequest(), identityReply, 100));
    EXPECT_FALSE (p.ask (bendRequest, bendReply, 100));
    p.send (rawFrame (0x2c, { 9 }));
    juce::Thread::sleep (20);
    EXPECT_EQ (2, p.instrument.getSetting (DeviceSetting::BEND));
    EXPECT_TRUE (p.instrument.getPortPresence().isPresent());
    EXPECT_EQ (1, p.instrument.countIdentityRequests());
    EXPECT_EQ (1, p.instrument.countReceived (0x2c));
    p.instrument.setSilent (false);

    p.instrument.setLatencyMs (150);
    const auto sent = juce::Time::getMillisecondCounterHiRes();
    ASSERT_TRUE (p.ask (bendRequest, bendReply));
    EXPECT_GE (p.out.getMatching (bendReply).back().time - sent, 145.0);
    p.instrument.setLatencyMs (0);

    p.instrument.setStopAnsweringAfter (3);
    EXPECT_TRUE (p.ask (bendRequest, bendReply).has_value());
    EXPECT_TRUE (p.ask (identityRequest(), identityReply).has_value());
    EXPECT_TRUE (p.ask (bendRequest, bendReply).has_value());
    EXPECT_FALSE (p.ask (bendRequest, bendReply, 100).has_value());
    EXPECT_FALSE (p.ask (identityRequest(), identityReply, 100).has_value());
    p.instrument.setStopAnsweringAfter (-1);

    p.instrument.setUnplugged (true);
    p.instrument.clearReceived();
    EXPECT_FALSE (p.ask (identityRequest(), anyFrame, 100));
    EXPECT_EQ (0, p.instrument.countAllReceived());
    EXPECT_FALSE (p.instrument.getPortPresence().isPresent());
}

TEST (EmulatorFaults, GarbageNeverCrashesIt)
{
    Probe p;
    juce::Random random (1234);

    for (auto mode : { Mode::application, Mode::bootloader })
    {
        p.instrument.setMode (mode);

        for (int round = 0; round < 400; ++round)
        {
            Bytes bytes ((size_t) random.nextInt (65));

            for (auto& b : bytes)
                b = (juce::uint8) random.nextInt (256);

            // Half of them look like the maker's frame, so that the parsing behind it is hit.
            if (round % 2 == 0 && bytes.size() >= 9)
            {
                const Bytes header{ 0xf0, 0x00, 0x5c, 0x3d, 0x05, 0x01 };
                std::copy (header.begin(), header.end(), bytes.begin());
                // (never the update request: a restart would hide the ports for a moment)
                bytes[8] = (juce::uint8) (random.nextBool() ? 0x3a : 1 + random.nextInt (0x3f));
                bytes[9 % bytes.size()] = 2; // sequence 3 when it is a chunk
                bytes.back() = 0xf7;
            }

            p.instrument.receiveBytes (bytes.data(), (int) bytes.size());
        }

        p.instrument.receiveBytes (nullptr, 0);
        auto reply = p.ask (identityRequest(), identityReply);
        ASSERT_TRUE (reply);
        EXPECT_EQ (mode == Mode::application ? 0x01 : 0x03, (*reply)[11]);
    }

    EXPECT_EQ (Mode::bootloader, p.instrument.getMode());
    EXPECT_EQ ((Version{ 1, 0, 2, 0 }), p.instrument.getFirmwareVersion());
}

//==============================================================================
TEST (EmulatorFirmwareImage, OnlyASoundImageParses)
{
    EXPECT_EQ (0xcbf43926u, computeCrc32 ("123456789", 9));

    const auto image = testImage ({ 1, 2, 3, 4 }, 300);
    ASSERT_EQ (316u, image.getSize());
    juce::uint8 version[4]{};
    ASSERT_TRUE (parseFirmwareImage (image.getData(), image.getSize(), version));
    EXPECT_EQ ((Bytes{ 1, 2, 3, 4 }), Bytes (version, version + 4));

    for (size_t position : { 0u, 5u, 9u, 50u, 313u })
    {
        auto spoilt = image;
        static_cast<juce::uint8*> (spoilt.getData())[position] ^= 0x40;
        EXPECT_FALSE (parseFirmwareImage (spoilt.getData(), spoilt.getSize(), version)) << position;
    }

    EXPECT_FALSE (parseFirmwareImage (image.getData(), image.getSize() - 1, version));
    EXPECT_FALSE (parseFirmwareImage (image.getData(), 15, version));
    EXPECT_FALSE (parseFirmwareImage (testImage ({ 1, 0x80, 0, 0 }, 10).getData(), 26, version));

    const auto shipped = makeShippedFirmwareImage();
    EXPECT_EQ (shipped, makeShippedFirmwareImage());
    EXPECT_EQ ((size_t) FirmwareImage::shippedBodySize + 16, shipped.getSize());
    ASSERT_TRUE (parseFirmwareImage (shipped.getData(), shipped.getSize(), version));
    EXPECT_EQ ((Bytes{ 1, 0, 3, 2 }), Bytes (version, version + 4));
}

} // namespace tarnovelle::testing
