// The emulated instrument and ports on their own: what only they decide (memory and its file,
// the sequence store, the bootloader and its image check, the ports). How the application copes
// with an emulated instrument that is unplugged, silent, slow, forgetful or answers garbage is
// tested in core_faults.cpp, core_connection.cpp and core_transactions.cpp; the bootloader's
// rejections, lost acknowledgements and power loss in core_firmware.cpp.

#include "emulator/FirmwareImage.h"
#include "protocol/SysexMessage.h"
#include "tests/support/EmulatorTestSupport.h"

#include <gtest/gtest.h>

#include <cstdlib>
#include <fstream>
#include <map>

namespace tarnovelle::testing
{
namespace
{
    using Mode = EmulatedInstrument::Mode;
    using Version = EmulatedInstrument::Version;

    /** An instrument whose output is recorded. */
    struct Probe
    {
        explicit Probe (const juce::File& file = {})
            : instrument (file)
        {
            instrument.setOutputSink (out.asSink());
        }

        ~Probe() { instrument.setOutputSink (nullptr); }

        /** Sends and returns the next message matching the predicate that arrives after it. */
        std::optional<Bytes> ask (const juce::MidiMessage& m, const Predicate& what, int timeoutMs = 500)
        {
            const auto before = out.count (what);
            instrument.receiveMidi (m);
            auto r = out.waitFor (what, before + 1, timeoutMs);
            return r ? std::optional<Bytes> (r->bytes) : std::nullopt;
        }

        EmulatedInstrument instrument;
        RecordingCallback out;
    };

    const Predicate identityReply = isIdentityReply, acknowledgement = isFrameWithCommand (0x04);

    Bytes stepRange (int count, int first = 1)
    {
        Bytes steps;

        for (int i = 0; i < count; ++i)
            steps.push_back ((juce::uint8) ((first + i) % 126 + 1));

        return steps;
    }

    /** The one or two 35-byte chunks the application sends for a sequence. */
    void sendSequence (Probe& p, int index, const Bytes& steps)
    {
        for (int first = 0; first == 0 || (first == 32 && (int) steps.size() > 32); first += 32)
        {
            const auto count = juce::jlimit (0, 32, (int) steps.size() - first);
            Bytes payload (35, 0);
            payload[0] = (juce::uint8) index;
            payload[1] = (juce::uint8) first;
            payload[2] = (juce::uint8) count;
            std::copy (steps.begin() + first, steps.begin() + first + count, payload.begin() + 3);
            p.instrument.receiveMidi (rawFrame (0x3a, payload));
        }
    }

    /** A bootloader message: n bytes packed behind their checksum. */
    Bytes packedFrame (juce::uint8 command, juce::uint8 counter, const juce::uint8* data, int n)
    {
        juce::uint8 encoded[40]{}, checksum = 0;
        int capacity = (int) sizeof (encoded);
        EXPECT_EQ (0, packPayload (data, n, encoded, capacity, checksum));
        Bytes b{ 0xf0, 0x00, 0x5c, 0x3d, 0x05, 0x01, counter, (juce::uint8) n, command, checksum };
        for (int i = 0; i < capacity; ++i)
            b.push_back (encoded[i]);

        b.push_back (0xf7);
        return b;
    }

    /** Sends start_update, the image's chunks of 28 bytes and end_update, each chunk as soon as
        the one before is acknowledged; false when an acknowledgement does not come.
    */
    bool transfer (Probe& p, const juce::MemoryBlock& image)
    {
        const auto* data = static_cast<const juce::uint8*> (image.getData());
        const auto chunks = (int) (image.getSize() + 27) / 28;
        bool answered = true;

        for (int i = 0; i <= chunks && answered; ++i)
            answered = p.ask (toMessage (i == 0 ? packedFrame (0x01, 0, nullptr, 0)
                                                : packedFrame (0x03, (juce::uint8) (i % 128), data + (i - 1) * 28,
                                                               juce::jmin (28, (int) image.getSize() - (i - 1) * 28))),
                              acknowledgement, 300)
                           .has_value();

        p.instrument.receiveMidi (toMessage (packedFrame (0x02, (juce::uint8) ((chunks + 1) % 128), nullptr, 0)));
        return answered;
    }

    juce::MemoryBlock testImage (Version version, int bodySize)
    {
        juce::MemoryBlock body ((size_t) bodySize);

        for (int i = 0; i < bodySize; ++i)
            body[i] = (char) (i * 7 + 3);

        return makeFirmwareImage (version.data(), body);
    }

    struct TempFolder
    {
        TempFolder() { folder.createDirectory(); }
        ~TempFolder() { folder.deleteRecursively(); }

        juce::File folder =
            juce::File::getSpecialLocation (juce::File::tempDirectory).getNonexistentChildFile ("emulator-test", "");
        juce::File file = folder.getChildFile ("instrument.json");
    };
} // namespace

//==============================================================================
TEST (EmulatorActiveSensing, EveryQuarterSecondOnlyWhileTheApplicationFirmwareRuns)
{
    Probe p;
    juce::Thread::sleep (1200);
    const auto sensing = p.out.getMessages (isActiveSensing);
    ASSERT_GE (sensing.size(), 4u);

    // Some slack for a busy machine; the application gives up only after 300 ms.
    for (size_t i = 1; i < sensing.size(); ++i)
        EXPECT_NEAR (sensing[i].time - sensing[i - 1].time, 250.0, 70.0);

    // Nothing while switched off, nor from the bootloader (one may have been on its way).
    p.instrument.setActiveSensingEnabled (false);
    juce::Thread::sleep (600);
    p.instrument.setMode (Mode::bootloader);
    p.instrument.setActiveSensingEnabled (true);
    juce::Thread::sleep (600);
    EXPECT_LE (p.out.count (isActiveSensing), (int) sensing.size() + 1);
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
        sendSequence (p, 5, steps);
        Bytes readBack, expected = steps;
        expected.resize (64, 0); // steps past the end read as 0

        for (int first : { 0, 32 })
        {
            auto half = readHalf (5, first);
            ASSERT_TRUE (half && half->size() == 45u && (*half)[7] == 0x23);
            EXPECT_EQ ((Bytes{ 5, (juce::uint8) first, (juce::uint8) juce::jlimit (0, 32, length - first) }),
                       Bytes (half->begin() + 9, half->begin() + 12));
            readBack.insert (readBack.end(), half->begin() + 12, half->begin() + 44);
        }

        EXPECT_EQ (expected, readBack) << "length " << length;
        EXPECT_EQ (steps, p.instrument.getSequence (5));
    }

    EXPECT_EQ (EmulatedInstrument::getFactorySequence (4), p.instrument.getSequence (4));
    EXPECT_FALSE (readHalf (8, 0)); // no ninth sequence, no half at step 16
    EXPECT_FALSE (readHalf (0, 16));
}

//==============================================================================
TEST (EmulatorPersistence, MemorySurvivesARestartOfTheProgram)
{
    TempFolder temp;
    {
        Probe p (temp.file);
        EXPECT_EQ (EmulatedInstrument::StartState::missingFile, p.instrument.getStartState());
        EXPECT_EQ ((Version{ 1, 0, 2, 0 }), p.instrument.getFirmwareVersion());
        EXPECT_TRUE (temp.file.existsAsFile());

        p.instrument.receiveMidi (rawFrame (0x2c, { 12 }));
        sendSequence (p, 7, stepRange (40));
        ASSERT_TRUE (waitUntil ([&] { return p.instrument.getSequence (7).size() == 40; }));
        p.instrument.setFirmwareVersion ({ 1, 0, 3, 2 });
    }

    auto json = juce::JSON::parse (temp.file);
    EXPECT_EQ (juce::String ("1.0.3.2"), json["firmware"].toString());
    EXPECT_EQ (12, (int) json["settings"]["BEND"]);
    EXPECT_EQ (14, json["settings"].getDynamicObject()->getProperties().size());
    ASSERT_EQ (8, json["sequences"].size());
    EXPECT_EQ (40, json["sequences"][7].size());

    EmulatedInstrument again (temp.file);
    EXPECT_EQ (EmulatedInstrument::StartState::loaded, again.getStartState());
    EXPECT_EQ ((Version{ 1, 0, 3, 2 }), again.getFirmwareVersion());
    EXPECT_EQ (12, again.getSetting (DeviceSetting::BEND));
    EXPECT_EQ (stepRange (40), again.getSequence (7));
}

TEST (EmulatorPersistence, ADamagedFileIsSetAsideAndTheInstrumentStartsFresh)
{
    for (auto* damaged : { "{ not json", "[]", R"({"firmware":"1.0.x.0","settings":{},"sequences":[]})",
                           R"({"firmware":"1.0.3.2","settings":{"BEND":300},"sequences":[[],[],[],[],[],[],[],[]]})",
                           R"({"firmware":"1.0.3.2","settings":{},"sequences":[[60,0],[],[],[],[],[],[],[]]})",
                           R"({"firmware":"1.0.3.2","settings":{},"sequences":[[],[],[],[],[],[],[]]})" })
    {
        TempFolder temp;
        temp.file.replaceWithText (damaged);
        EmulatedInstrument instrument (temp.file);
        EXPECT_EQ (EmulatedInstrument::StartState::damagedFile, instrument.getStartState()) << damaged;
        EXPECT_EQ (juce::String (damaged), temp.folder.getChildFile ("instrument.json.bak").loadFileAsString());
        EXPECT_EQ (EmulatedInstrument::getFactorySequence (0), instrument.getSequence (0));
        EXPECT_EQ (juce::String ("1.0.2.0"), juce::JSON::parse (temp.file)["firmware"].toString());
    }
}

TEST (EmulatorPersistence, AReaderNeverSeesAHalfWrittenFile)
{
    TempFolder temp;
    EmulatedInstrument instrument (temp.file);
    std::atomic<bool> done{ false };
    std::atomic<int> reads{ 0 }, broken{ 0 };

    std::thread reader ([&] {
        for (; ! done.load(); ++reads)
        {
            // Through one open file to its end (JUCE's reader asks the path for the length,
            // which may already be the next file's).
            std::ifstream in (temp.file.getFullPathName().toStdString(), std::ios::binary);
            auto json = juce::JSON::parse (std::string (std::istreambuf_iterator<char> (in), {}));
            broken += json["settings"].getDynamicObject() == nullptr || json["sequences"].size() != 8 ? 1 : 0;
        }
    });

    for (int i = 0; i < 120; ++i)
        instrument.setSetting (DeviceSetting::MOUT, (juce::uint8) (i % 16));

    done = true;
    reader.join();
    EXPECT_GT (reads.load(), 10);
    EXPECT_EQ (0, broken.load());
    EXPECT_EQ (1, temp.folder.getNumberOfChildFiles (juce::File::findFilesAndDirectories)); // no temporary left
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
TEST (EmulatorPorts, DevicesInOrderEachAnsweringOnItsOwnInputAndThreadAndUnpluggingKillsOpenPorts)
{
    EmulatedInstrument instrument;
    EmulatedMidiBackend backend;
    const Bytes foreign{ 0xf0, 0x7e, 0x01, 0x06, 0x02, 0x41, 0x10, 0x00, 0x01, 0x02, 0x03, 0x04, 1, 2, 3, 4, 0xf7 };
    backend.addUnopenablePort ("Broken In", EmulatedMidiBackend::Sides::inputOnly);
    backend.addMidiThrough();
    backend.addSilentDevice ("Out Only", EmulatedMidiBackend::Sides::outputOnly);
    backend.addForeignDevice ("Other Synth", foreign);
    backend.addInstrument (instrument);

    EXPECT_EQ (juce::StringArray ({ "Broken In", "Midi Through Port-0", "Other Synth", "Tarnovelle" }),
               backend.getInputNames());
    EXPECT_EQ (juce::StringArray ({ "Midi Through Port-0", "Out Only", "Other Synth", "Tarnovelle" }),
               backend.getOutputNames());

    RecordingCallback callback;
    EXPECT_EQ (nullptr, backend.openInput (0, &callback));
    EXPECT_EQ (nullptr, backend.openInput (4, &callback));
    EXPECT_EQ (nullptr, backend.openOutput (4));
    std::unique_ptr<MidiInputPort> inputs[] = { backend.openInput (1, &callback), backend.openInput (2, &callback),
                                                backend.openInput (3, &callback) };
    ASSERT_TRUE (inputs[0] && inputs[1] && inputs[2]);
    EXPECT_EQ (juce::String ("Tarnovelle"), inputs[2]->getName());

    auto output = backend.openOutput (3);
    output->sendMessageNow (identityRequest());
    juce::Thread::sleep (50);
    EXPECT_EQ (0, callback.count (identityReply)); // nothing arrives before start()

    for (auto& input : inputs)
        input->start();

    // The through port echoes; the other synth answers with its identity and ignores notes.
    for (int i : { 0, 2, 3 })
        backend.openOutput (i)->sendMessageNow (identityRequest());

    backend.openOutput (2)->sendMessageNow (juce::MidiMessage::noteOn (1, 60, (juce::uint8) 100));
    ASSERT_TRUE (callback.waitFor (identityReply, 2) && backend.waitUntilDelivered());
    const auto messages = callback.getMessages ([] (const Bytes& b) { return b.size() > 1; });
    ASSERT_EQ (3u, messages.size());
    std::map<MidiInputPort*, Bytes> bySource;

    for (auto& m : messages)
    {
        EXPECT_NE (std::this_thread::get_id(), m.thread);
        bySource[m.source] = m.bytes;
    }

    EXPECT_EQ (bySource[inputs[0].get()], (Bytes{ 0xf0, 0x7e, 0x7f, 0x06, 0x01, 0xf7 }));
    EXPECT_EQ (bySource[inputs[1].get()], foreign);
    EXPECT_TRUE (isIdentityReply (bySource[inputs[2].get()]));

    // Unplugged and plugged in again: listed anew, and the old ports stay dead.
    instrument.setUnplugged (true);
    EXPECT_EQ (3, backend.getOutputNames().size());
    EXPECT_EQ (nullptr, backend.openOutput (3));
    instrument.setUnplugged (false);
    instrument.clearReceived();
    const auto before = callback.getMessages().size();
    output->sendMessageNow (identityRequest());
    juce::Thread::sleep (300);
    EXPECT_EQ (0, instrument.countAllReceived());
    EXPECT_EQ (before, callback.getMessages().size()); // not even Active Sensing on the old input

    RecordingCallback fresh;
    auto newInput = backend.openInput (3, &fresh);
    newInput->start();
    backend.openOutput (3)->sendMessageNow (identityRequest());
    EXPECT_TRUE (fresh.waitFor (identityReply) && fresh.waitFor (isActiveSensing));
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
    backend.addChatterDevice ("Keyboard", { juce::MidiMessage::noteOn (1, 60, (juce::uint8) 90) }, 1);

    for (int round = 0; round < 20; ++round)
    {
        SlowCallback callback;
        auto input = backend.openInput (0, &callback);
        input->start();
        ASSERT_TRUE (waitUntil ([&] { return callback.calls.load() > 1; }));
        round % 2 == 0 ? input->stop() : input.reset();

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

    RecordingCallback callback;
    auto input = backend.openInput (0, &callback);
    input->start();
    output->sendMessageNow (identityRequest()); // the old port is dead
    backend.openOutput (0)->sendMessageNow (identityRequest());
    auto reply = callback.waitFor (identityReply);
    ASSERT_TRUE (reply);
    EXPECT_EQ (0x03, reply->bytes[11]);
    EXPECT_EQ (1, instrument.countIdentityRequests());
}

TEST (EmulatorUpdate, ASoundImageRunsAsTheNewFirmwareAndASpoiltOneKeepsTheBootloader)
{
    TempFolder temp;
    Probe p (temp.file);
    p.instrument.setMode (Mode::bootloader);
    p.instrument.setLatencyMs (0);

    auto spoilt = testImage ({ 1, 0, 3, 2 }, 5000);
    spoilt[100] ^= 0x01;
    ASSERT_TRUE (transfer (p, spoilt));
    juce::Thread::sleep (50);
    EXPECT_EQ (Mode::bootloader, p.instrument.getMode());
    EXPECT_EQ ((Version{ 1, 0, 2, 0 }), p.instrument.getFirmwareVersion());
    EXPECT_EQ (juce::String ("bootloader"), juce::JSON::parse (temp.file)["mode"].toString());

    // Every message but end_update acknowledged with its own counter, past 127 and round again,
    // and status 00 packed.
    const auto acks = p.out.getMessages (acknowledgement);
    ASSERT_EQ (1u + (5016 + 27) / 28, acks.size());
    const juce::uint8 accepted = 0;

    for (size_t i = 0; i < acks.size(); ++i)
        ASSERT_EQ (packedFrame (0x04, (juce::uint8) (i % 128), &accepted, 1), acks[i].bytes) << i;

    ASSERT_TRUE (transfer (p, makeShippedFirmwareImage()));
    EXPECT_TRUE (waitUntil ([&] { return p.instrument.getMode() == Mode::application; }));
    EXPECT_EQ ((Version{ 1, 0, 3, 2 }), p.instrument.getFirmwareVersion());
    // It restarts into the new firmware behind new ports.
    EXPECT_TRUE (waitUntil ([&] { return p.instrument.getRestartCount() == 1; }));
    EXPECT_TRUE (waitUntil ([&] { return p.instrument.getPortPresence().isPresent(); }));
    auto reply = p.ask (identityRequest(), identityReply);
    ASSERT_TRUE (reply);
    EXPECT_EQ ((Bytes{ 0x02, 0x01, 1, 0, 3, 2 }), Bytes (reply->begin() + 10, reply->begin() + 16));

    EmulatedInstrument afterwards (temp.file);
    EXPECT_EQ ((Version{ 1, 0, 3, 2 }), afterwards.getFirmwareVersion());
    EXPECT_EQ (Mode::application, afterwards.getMode());
}

TEST (EmulatorUpdate, AStalledBootloaderAnswersNothingUntilTheFaultIsCleared)
{
    Probe p;
    p.instrument.setMode (Mode::bootloader);
    const auto image = testImage ({ 1, 1, 0, 0 }, 500);

    p.instrument.stallAfterChunk (2);
    EXPECT_FALSE (transfer (p, image));
    EXPECT_EQ (3, p.out.count (acknowledgement)); // start_update, chunks 1 and 2
    EXPECT_FALSE (p.ask (identityRequest(), identityReply, 100));
    EXPECT_TRUE (p.instrument.getPortPresence().isPresent());

    p.instrument.clearFaults();
    EXPECT_TRUE (transfer (p, image));
    EXPECT_TRUE (waitUntil ([&] { return p.instrument.getFirmwareVersion() == Version{ 1, 1, 0, 0 }; }));
}

// Only the application side of garbage is tested elsewhere: here the instrument receives it.
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

            // Half of them in the maker's frame, so that the parsing behind it is hit (never the
            // update request: a restart would hide the ports for a moment).
            if (round % 2 == 0 && bytes.size() >= 10)
            {
                const juce::uint8 header[] = { 0xf0, 0x00, 0x5c, 0x3d, 0x05, 0x01 };
                std::copy (header, header + 6, bytes.begin());
                bytes[8] = (juce::uint8) (random.nextBool() ? 0x3a : 1 + random.nextInt (0x3f));
                bytes[9] = 2; // sequence 3 when it is a chunk
                bytes.back() = 0xf7;
            }

            p.instrument.receiveBytes (bytes.data(), (int) bytes.size());
        }

        p.instrument.receiveBytes (nullptr, 0);
        auto reply = p.ask (identityRequest(), identityReply);
        ASSERT_TRUE (reply);
        EXPECT_EQ (mode == Mode::application ? 0x01 : 0x03, (*reply)[11]);
    }
}

//==============================================================================
TEST (EmulatorFirmwareImage, OnlyASoundImageParses)
{
    EXPECT_EQ (0xcbf43926u, computeCrc32 ("123456789", 9)); // the CRC-32 check value

    const auto image = testImage ({ 1, 2, 3, 4 }, 300);
    juce::uint8 version[4]{};
    ASSERT_TRUE (parseFirmwareImage (image.getData(), image.getSize(), version));
    EXPECT_EQ ((Bytes{ 1, 2, 3, 4 }), Bytes (version, version + 4));

    for (size_t position : { 0u, 5u, 9u, 50u, 313u })
    {
        auto spoilt = image;
        spoilt[position] ^= 0x40;
        EXPECT_FALSE (parseFirmwareImage (spoilt.getData(), spoilt.getSize(), version)) << position;
    }

    EXPECT_FALSE (parseFirmwareImage (image.getData(), image.getSize() - 1, version));
    EXPECT_FALSE (parseFirmwareImage (image.getData(), 15, version));
    EXPECT_FALSE (parseFirmwareImage (testImage ({ 1, 0x80, 0, 0 }, 10).getData(), 26, version));
}

} // namespace tarnovelle::testing
