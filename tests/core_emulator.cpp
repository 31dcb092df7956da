// The emulated instrument and ports on their own: what only they decide (memory and its file,
// the image check, the ports). Its sequence store is read and written, shortened and
// lengthened, by the round trips of core_sequences.cpp and of the fault tests' flood. How the
// application copes with an emulated instrument that is unplugged, silent, slow, forgetful or
// answers garbage is tested in core_faults.cpp, core_connection.cpp and core_transactions.cpp;
// the restart into the bootloader behind new ports and the bootloader's transfers with its
// rejections, odd acknowledgements, lost answers, stall and power loss against the updater in
// core_firmware.cpp (where a sound image runs and anything else leaves the instrument in its
// bootloader).

#include "emulator/FirmwareImage.h"
#include "tests/support/EmulatorTestSupport.h"
#include "tests/support/ScratchFolder.h"

#include <gtest/gtest.h>

#include <cstdlib>
#include <fstream>
#include <numeric>

namespace tarnovelle::testing
{
namespace
{
    using Mode = EmulatedInstrument::Mode;
    using Version = EmulatedInstrument::Version;

    /** Steps first, first + 1, ... (all within 1 to 127). */
    Bytes stepRange (int count, int first = 1)
    {
        Bytes steps ((size_t) count);
        std::iota (steps.begin(), steps.end(), (juce::uint8) first);
        return steps;
    }

    struct TempFolder
    {
        test::ScratchFolder scratch{ "emulator-test" };
        const juce::File& folder = scratch.folder;
        juce::File file = folder.getChildFile ("instrument.json");
    };
} // namespace

//==============================================================================
TEST (EmulatorActiveSensing, EveryQuarterSecondOnlyWhileTheApplicationFirmwareRuns)
{
    RecordingCallback out; // outlives the instrument's thread
    EmulatedInstrument instrument;
    instrument.setOutputSink (out.asSink());
    ASSERT_TRUE (out.waitFor (isActiveSensing, 5, 10000)); // four intervals
    const auto sensing = out.getMessages (isActiveSensing);

    // Some slack for a busy machine; the application gives up only after 300 ms.
    for (size_t i = 1; i < sensing.size(); ++i)
        EXPECT_NEAR (sensing[i].time - sensing[i - 1].time, 250.0, 70.0);

    // Nothing from the bootloader while two intervals come round (one may have been on its way).
    const auto before = out.count (isActiveSensing);
    instrument.setMode (Mode::bootloader);
    const auto ticks = instrument.getActiveSensingTicks();
    ASSERT_TRUE (waitFor ([&] { return instrument.getActiveSensingTicks() >= ticks + 3; }, 10000));
    EXPECT_LE (out.count (isActiveSensing), before + 1);
}

//==============================================================================
TEST (EmulatorPersistence, MemorySurvivesARestartOfTheProgram)
{
    TempFolder temp;
    {
        EmulatedInstrument instrument (temp.file);
        EXPECT_EQ (EmulatedInstrument::StartState::missingFile, instrument.getStartState());
        EXPECT_EQ ((Version{ 1, 0, 2, 0 }), instrument.getFirmwareVersion());
        instrument.receiveMidi (rawFrame (0x2c, { 12 })); // BEND
        ASSERT_TRUE (waitFor ([&] { return instrument.getSetting (DeviceSetting::BEND) == 12; }));
        instrument.setSequence (7, stepRange (40));
        instrument.setFirmwareVersion ({ 1, 0, 3, 2 });
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

    ::setenv ("TARNOVELLE_EMULATOR_STATE", "/tmp/elsewhere/state.json", 1);
    EXPECT_EQ (juce::String ("/tmp/elsewhere/state.json"), EmulatedInstrument::getDefaultStateFile().getFullPathName());
    ::unsetenv ("TARNOVELLE_EMULATOR_STATE");
    EXPECT_TRUE (
        EmulatedInstrument::getDefaultStateFile().getFullPathName().endsWith ("/Tarnovelle Emulator/instrument.json"));
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

    // Written on until the reader has had its chances, however the threads are scheduled.
    for (int i = 0; i < 120 || reads.load() < 20; ++i)
        instrument.setSetting (DeviceSetting::MOUT, (juce::uint8) (i % 16));

    done = true;
    reader.join();
    EXPECT_EQ (0, broken.load());
    EXPECT_EQ (1, temp.folder.getNumberOfChildFiles (juce::File::findFilesAndDirectories)); // no temporary left
}

//==============================================================================
TEST (EmulatorPorts, AnswersOnItsOwnThreadOnlyWhenStartedAndUnpluggingKillsOpenPorts)
{
    EmulatedInstrument instrument;
    EmulatedMidiBackend backend;
    backend.addInstrument (instrument);
    RecordingCallback callback;
    auto input = backend.openInput (0, &callback);
    auto output = backend.openOutput (0);
    output->sendMessageNow (identityRequest());

    // The instrument handles its messages in order: once a setting sent after the request is
    // stored, the request's answer has been and gone.
    const auto bend = (juce::uint8) (instrument.getSetting (DeviceSetting::BEND) % 12 + 1);
    output->sendMessageNow (rawFrame (0x2c, { bend }));
    ASSERT_TRUE (waitFor ([&] { return instrument.getSetting (DeviceSetting::BEND) == bend; }));
    const auto started = juce::Time::getMillisecondCounterHiRes();
    input->start();
    output->sendMessageNow (identityRequest());
    const auto reply = callback.waitFor (isIdentityReply);
    ASSERT_TRUE (reply);
    EXPECT_EQ (input.get(), reply->source);
    EXPECT_NE (std::this_thread::get_id(), reply->thread);
    EXPECT_GE (callback.getMessages().front().time, started); // nothing arrives before start()

    // Unplugged and plugged in again: the old ports stay dead (new ones work: StartUp tests).
    instrument.setUnplugged (true);
    EXPECT_EQ (nullptr, backend.openOutput (0));
    instrument.setUnplugged (false);
    instrument.clearReceived();
    const auto before = callback.getMessages().size();
    output->sendMessageNow (identityRequest());

    // New ports, opened after it, get the answer to their request and Active Sensing: by then
    // anything the old ports let through would have arrived.
    RecordingCallback fresh;
    auto newInput = backend.openInput (0, &fresh);
    auto newOutput = backend.openOutput (0);
    ASSERT_TRUE (newInput != nullptr && newOutput != nullptr);
    newInput->start();
    newOutput->sendMessageNow (identityRequest());
    ASSERT_TRUE (fresh.waitFor (isIdentityReply));
    ASSERT_TRUE (fresh.waitFor (isActiveSensing));
    EXPECT_EQ (1, instrument.countAllReceived());      // the new output's request only
    EXPECT_EQ (before, callback.getMessages().size()); // not even Active Sensing on the old input
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
        ASSERT_TRUE (waitFor ([&] { return callback.calls.load() > 1; }));
        round % 2 == 0 ? input->stop() : input.reset();

        EXPECT_FALSE (callback.inside.load());
        const auto calls = callback.calls.load();

        // The chatter goes on: another input hears more of it while the first hears nothing.
        RecordingCallback witness;
        auto other = backend.openInput (0, &witness);
        other->start();
        ASSERT_TRUE (witness.waitFor ({}, 3));
        EXPECT_EQ (calls, callback.calls.load());
    }

    EXPECT_EQ (0, backend.getNumOpenInputs());
}

//==============================================================================
// Only the application side of garbage is tested elsewhere: here the instrument receives it.
TEST (EmulatorFaults, GarbageNeverCrashesIt)
{
    RecordingCallback out; // outlives the instrument's thread
    EmulatedInstrument instrument;
    instrument.setOutputSink (out.asSink());
    juce::Random random (1234);

    for (auto mode : { Mode::application, Mode::bootloader })
    {
        instrument.setMode (mode);

        for (int round = 0; round < 400; ++round)
        {
            Bytes bytes ((size_t) random.nextInt (65));
            std::generate (bytes.begin(), bytes.end(), [&] { return (juce::uint8) random.nextInt (256); });

            // Half of them in the maker's frame, so that the parsing behind it is hit (never the
            // update request: a restart would hide the ports for a moment).
            if (round % 2 == 0 && bytes.size() >= 10)
            {
                std::copy_n (rawFrame (0, {}).getRawData(), 6, bytes.begin());
                bytes[8] = (juce::uint8) (random.nextBool() ? 0x3a : 1 + random.nextInt (0x3f));
                bytes[9] = 2; // sequence 3 when it is a chunk
                bytes.back() = 0xf7;
            }

            instrument.receiveBytes (bytes.data(), (int) bytes.size());
        }

        instrument.receiveBytes (nullptr, 0);
        const auto replies = out.count (isIdentityReply);
        instrument.receiveMidi (identityRequest());
        const auto reply = out.waitFor (isIdentityReply, replies + 1);
        ASSERT_TRUE (reply);
        EXPECT_EQ (mode == Mode::application ? 0x01 : 0x03, reply->bytes[11]);
    }
}

TEST (EmulatorFirmwareImage, OnlyASoundImageParses)
{
    juce::MemoryBlock body (300);
    for (int i = 0; i < 300; ++i)
        body[i] = (char) (i * 7 + 3);

    const juce::uint8 sound[4]{ 1, 2, 3, 4 }, unsendable[4]{ 1, 0x80, 0, 0 };
    const auto image = makeFirmwareImage (sound, body);
    juce::uint8 version[4]{};
    ASSERT_TRUE (parseFirmwareImage (image.getData(), image.getSize(), version));
    EXPECT_EQ ((Bytes{ 1, 2, 3, 4 }), Bytes (version, version + 4));

    for (size_t position : { 0u, 5u, 9u, 313u })
    {
        auto spoilt = image;
        spoilt[position] ^= 0x40;
        EXPECT_FALSE (parseFirmwareImage (spoilt.getData(), spoilt.getSize(), version)) << position;
    }

    EXPECT_FALSE (parseFirmwareImage (image.getData(), image.getSize() - 1, version));
    EXPECT_FALSE (parseFirmwareImage (image.getData(), 15, version));
    EXPECT_FALSE (parseFirmwareImage (makeFirmwareImage (unsendable, body).getData(), 316, version));
}

} // namespace tarnovelle::testing
