// The firmware container, transfers to the emulated bootloader with real threads, and whole
// updates through the update driver with its detections, progress window and boxes.

#include "app/HWDetector.h"
#include "emulator/FirmwareImage.h"
#include "firmware/CryptedDataFile.h"
#include "firmware/FirmwareFile.h"
#include "firmware/HWUpdater.h"
#include "library/InstrumentHistory.h"
#include "tests/support/ApplicationRig.h"
#include "tests/support/DialogsShown.h"
#include "tests/support/InstrumentRig.h"
#include "tests/support/MakerFrames.h"
#include "tests/support/ScratchFolder.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <cstdlib>
#include <mutex>
#include <vector>

using namespace tarnovelle;
using tarnovelle::test::waitFor;

namespace
{
using Bytes = std::vector<uint8>;
using Mode = EmulatedInstrument::Mode;
using Version = EmulatedInstrument::Version;
using test::InstrumentRig;
using Kind = ScriptedDialogs::Kind;

Bytes randomBytes (size_t count, juce::int64 seed)
{
    juce::Random random (seed);
    Bytes bytes (count);
    std::generate (bytes.begin(), bytes.end(), [&] { return (uint8) random.nextInt (256); });
    return bytes;
}

Bytes imageOfVersion (Version version, size_t bodySize)
{
    const auto body = randomBytes (bodySize, (juce::int64) bodySize);
    const auto image = makeFirmwareImage (version.data(), juce::MemoryBlock (body.data(), body.size()));
    return Bytes ((const uint8*) image.getData(), (const uint8*) image.getData() + image.getSize());
}

// A container made by hand: the magic, the separator and the payload, enciphered with the key
// stream that starts at key byte `firstKeyByte` (the maker's files start at byte 4).
juce::MemoryBlock container (const Bytes& payload, uint8 separator = 0, size_t firstKeyByte = 4)
{
    juce::MemoryBlock b (FirmwareFile::magic, 24);
    b.append (&separator, 1);
    b.append (payload.data(), payload.size());

    for (size_t i = 0; i < b.getSize(); ++i)
        b[i] = (char) (b[i] ^ FirmwareFile::magic[(firstKeyByte + i) % 24]);

    return b;
}

// Scripted dialogs, an emulated instrument on the MIDI ports, and a folder for the test's files;
// the process's updater waits 400 ms for a restart and 300 ms for an acknowledgement. The update
// driver's tests share it.
class FirmwareTest : public ::testing::Test
{
protected:
    FirmwareTest()
    {
        rig.instrument.setLatencyMs (0);
        LPC23XXUpdater::getInstance().setTiming ({ 400, 300, 5 });
    }

    ~FirmwareTest() override { LPC23XXUpdater::getInstance().setTiming ({}); }

    juce::File write (const juce::String& name, const juce::MemoryBlock& bytes)
    {
        auto file = folder.getChildFile (name);
        EXPECT_TRUE (file.replaceWithData (bytes.getData(), bytes.getSize()));
        return file;
    }

    int updateWindows() const { return test::countProgressWindows (rig.dialogs, "Firmware update:"); }

    void expectOneBox (DialogIcon icon, const juce::String& title, const juce::String& message)
    {
        const auto shown = rig.dialogs.getRecords (Kind::messageBox);
        ASSERT_EQ (shown.size(), 1u);
        EXPECT_EQ (shown[0].icon, icon);
        EXPECT_EQ (shown[0].title + "|" + shown[0].message, title + "|" + message);
    }

    InstrumentRig rig;
    test::ScratchFolder scratch{ "tvk" };
    const juce::File& folder = scratch.folder;
};
using UpdateDriverTest = FirmwareTest;
} // namespace

//==============================================================================
TEST_F (FirmwareTest, ContainerPayloadWhateverTheSeparatorInOneSharedStream)
{
    const auto payload = randomBytes (100, 1);

    for (int separator : { 0x00, 0x7f, 0xff })
    {
        CryptedDataFile file (write ("fw.tvk", container (payload, (uint8) separator)), FirmwareFile::magic);
        auto* stream = file.getPayloadStream();
        juce::MemoryBlock read;
        ASSERT_TRUE (stream != nullptr && stream->readIntoMemoryBlock (read, 28) == 28);

        // A second request hands out the same stream, 28 bytes in: the rest follows on.
        EXPECT_EQ (file.getPayloadStream(), stream);
        file.getPayloadStream()->readIntoMemoryBlock (read);
        EXPECT_EQ (read, juce::MemoryBlock (payload.data(), payload.size()));
    }

    // The magic and the separator alone: an empty payload.
    CryptedDataFile empty (write ("empty.tvk", container ({})), FirmwareFile::magic);
    ASSERT_EQ (empty.getFile().getSize(), 25);
    EXPECT_TRUE (empty.getPayloadStream() != nullptr && empty.getPayloadStream()->getTotalLength() == 0);
    EXPECT_EQ (rig.dialogs.count (Kind::messageBox), 0);
}

//==============================================================================
namespace
{
// An updater linked to an emulated instrument in its bootloader (or to nothing) through an output
// that records what the updater sends, with the progress it showed just before; the updater waits
// the product's 2 s for an acknowledgement unless told otherwise.
struct BootloaderLink final : public MidiOutputPort
{
    struct Sent // its counter is bytes[6], its command bytes[8]
    {
        Bytes bytes;
        double progress;
        juce::uint32 time;
    };

    explicit BootloaderLink (bool withInstrument = true, LPC23XXUpdater::Timing timing = { 0, 2000, 5 })
    {
        backend.addInstrument (instrument);
        instrument.setMode (Mode::bootloader);
        instrument.setLatencyMs (0);
        updater.setTiming (timing);
        input = backend.openInput (0, &callback);
        input->start();
        target = withInstrument ? backend.openOutput (0) : nullptr;
    }

    ~BootloaderLink() override { updater.stopUpdate(); } // before the stream goes

    void write (const juce::MidiMessage& m) override
    {
        {
            const std::lock_guard<std::mutex> lock (mutex);
            sent.push_back ({ Bytes (m.getRawData(), m.getRawData() + m.getRawDataSize()), updater.getProgress(),
                              juce::Time::getMillisecondCounter() });
        }

        if (target != nullptr)
            target->sendMessageNow (m);
    }

    juce::String getName() const override { return "recording"; }

    std::vector<Sent> getSent() const
    {
        const std::lock_guard<std::mutex> lock (mutex);
        return sent;
    }

    bool start (const Bytes& image)
    {
        // A copy: the transfer reads the image on its own thread after the caller's may be gone.
        stream = std::make_unique<juce::MemoryInputStream> (image.data(), image.size(), true);
        return updater.startUpdate (this, stream.get());
    }

    bool finish (int timeoutMs = 20000)
    {
        waitFor ([this] { return ! updater.isUpdating(); }, timeoutMs);
        updater.stopUpdate();
        return updater.wasSuccessful();
    }

    bool runsFirmware (Version version, int timeoutMs = 2000)
    {
        return waitFor ([&] { return instrument.getMode() == Mode::application; }, timeoutMs)
               && instrument.getFirmwareVersion() == version;
    }

    // Hands the update's MIDI callback, as the input would, an acknowledgement written by hand
    // with this counter, length byte and raw payload (or another command byte).
    void deliver (int counter, int lengthByte, const Bytes& raw, uint8 command = 0x04)
    {
        uint8 encoded[40]{}, checksum = 0;
        int encodedSize = (int) sizeof (encoded);
        ASSERT_EQ (packPayload (raw.data(), (int) raw.size(), encoded, encodedSize, checksum), 0);
        auto b = test::MakerFrames::header ((uint8) counter, (uint8) lengthByte, command);
        b.push_back (checksum);
        b.insert (b.end(), encoded, encoded + encodedSize);
        b.push_back (0xf7);
        callback.handleIncomingMidiMessage (nullptr, juce::MidiMessage (b.data(), (int) b.size()));
    }

    // True when exactly that many messages have gone out and no more follow for a while.
    bool sentBecomes (size_t count, int quietMs = 30)
    {
        waitFor ([&] { return getSent().size() >= count; }, 5000);
        juce::Thread::sleep (quietMs);
        return getSent().size() == count;
    }

    EmulatedInstrument instrument;
    EmulatedMidiBackend backend;
    LPC23XXUpdater updater;
    HWUpdater::MidiCallback callback{ updater };
    std::unique_ptr<MidiInputPort> input;
    std::unique_ptr<MidiOutputPort> target;
    std::unique_ptr<juce::MemoryInputStream> stream;
    mutable std::mutex mutex;
    std::vector<Sent> sent;
};

// Checks what went out for an image: start_update first, end_update last; each message carries
// the next counter, modulo 128, and a repetition the same one; when a message goes out the
// progress shows the chunks sent before it (an empty image is done from the start), and a
// repetition does not move it; the chunks carry the image, each once, 28 bytes but the last.
void expectTransferOf (const Bytes& image, const std::vector<BootloaderLink::Sent>& sent)
{
    ASSERT_GE (sent.size(), 2u);
    EXPECT_EQ (sent.front().bytes[8], 0x01);
    EXPECT_EQ (sent.front().bytes[6], 0);
    EXPECT_EQ (sent.front().progress, image.empty() ? 1.0 : 0.0);
    EXPECT_EQ (sent.back().bytes[8], 0x02);
    const auto totalChunks = (int) (image.size() + 27) / 28;
    Bytes carried;

    for (size_t i = 1; i < sent.size(); ++i)
    {
        const bool repeated = sent[i].bytes == sent[i - 1].bytes;
        ASSERT_EQ (sent[i].bytes[6], repeated ? sent[i - 1].bytes[6] : (sent[i - 1].bytes[6] + 1) % 128) << i;

        if (sent[i].bytes[8] != 0x03 || repeated)
            continue;

        const auto& b = sent[i].bytes;
        const auto length = std::min<size_t> (28, image.size() - carried.size());
        uint8 decoded[28];
        ASSERT_DOUBLE_EQ (sent[i].progress, (double) (carried.size() / 28) / totalChunks) << i;
        ASSERT_EQ (b[7], length) << i;
        ASSERT_EQ (unpackPayload (b.data() + 10, b[7], (int) b.size() - 11, decoded, b[9]), 0) << i;
        carried.insert (carried.end(), decoded, decoded + length);
    }

    EXPECT_EQ (carried, image);
}
} // namespace

TEST (BootloaderTransfer, HandWrittenAcknowledgements)
{
    BootloaderLink link (false, { 0, 5000, 5 });
    const auto image = randomBytes (29, 4);
    ASSERT_TRUE (link.start (image));
    EXPECT_FALSE (link.updater.startUpdate (&link, link.stream.get())); // one at a time

    // Another command, another counter, a status outside the table, a payload that does not fit
    // its length: none is an answer. (Messages too short for a command byte: the fault tests' flood.)
    link.deliver (0, 1, { 0 }, 0x05);
    link.deliver (5, 1, { 0 });
    link.deliver (0, 1, { 0x42 });
    link.deliver (0, 9, { 0 });
    EXPECT_TRUE (link.sentBecomes (1, 300));

    // Announcing more than 28 bytes (status 00 and 27 more), the status is still read.
    link.deliver (0, 40, Bytes (28, 0x00));
    ASSERT_TRUE (link.sentBecomes (2));
    link.deliver (1, 1, { 0 });
    ASSERT_TRUE (link.sentBecomes (3));
    link.deliver (2, 1, { 0 });
    EXPECT_TRUE (link.finish (2000));
    expectTransferOf (image, link.getSent());
}

TEST (BootloaderTransfer, ImagesOfNoneOneTwoAndThousandsOfChunks)
{
    for (size_t size : { 0, 28, 29, 300 * 1024 })
    {
        SCOPED_TRACE (size);
        BootloaderLink link;
        // The small ones are no firmware image: the instrument takes them and stays in its bootloader.
        const bool large = size > 100;
        const auto image = large ? imageOfVersion ({ 1, 0, 4, 0 }, size) : randomBytes (size, 5);
        ASSERT_TRUE (link.start (image));
        EXPECT_TRUE (link.finish());
        EXPECT_EQ (link.getSent().size(), (image.size() + 27) / 28 + 2);
        expectTransferOf (image, link.getSent());
        EXPECT_EQ (link.runsFirmware ({ 1, 0, 4, 0 }, large ? 2000 : 300), large);
    }
}

TEST (BootloaderTransfer, AnUnacceptedMessageIsSentAgainWithTheSameCounter)
{
    struct Case
    {
        const char* fault;
        void (*setUp) (EmulatedInstrument&);
        int repeated;         // the message sent twice, or -1
        juce::uint32 afterMs; // at the earliest: at once, or after the updater's 2 s
    };

    const auto image = imageOfVersion ({ 1, 0, 3, 5 }, 168);
    const Case cases[] = {
        { "start_update rejected with FF", [] (auto& i) { i.rejectChunkOnce (0, 0xff); }, 0, 0 },
        { "chunk 3 rejected with FE", [] (auto& i) { i.rejectChunkOnce (3, 0xfe); }, 3, 0 },
        { "chunk 2 answered with another counter", [] (auto& i) { i.acknowledgeWithWrongCounterOnce (2); }, 2, 1950 },
        { "chunk 3's answer lost", [] (auto& i) { i.dropAcknowledgementOnce (3); }, 3, 1950 },
        { "acknowledgements without payload", [] (auto& i) { i.setAcknowledgeWithoutPayload (true); }, -1, 0 },
    };

    for (auto& c : cases)
    {
        SCOPED_TRACE (c.fault);
        // A message sent again at once is told from one sent after the time-out by making the
        // time-out far longer than any delay a busy machine adds; the others wait the product's 2 s.
        const bool atOnce = c.afterMs == 0;
        BootloaderLink link (true, { 0, atOnce ? 20000 : 2000, 5 });
        c.setUp (link.instrument);
        ASSERT_TRUE (link.start (image) && link.finish());

        const auto sent = link.getSent();
        ASSERT_EQ (sent.size(), (image.size() + 27) / 28 + (c.repeated < 0 ? 2 : 3));
        expectTransferOf (image, sent);
        EXPECT_TRUE (link.runsFirmware ({ 1, 0, 3, 5 }));

        if (c.repeated >= 0)
        {
            const auto& first = sent[(size_t) c.repeated];
            EXPECT_EQ (first.bytes, sent[(size_t) c.repeated + 1].bytes);
            EXPECT_GE (sent[(size_t) c.repeated + 1].time - first.time, c.afterMs);
            EXPECT_LE (sent[(size_t) c.repeated + 1].time - first.time, atOnce ? 5000u : c.afterMs + 650);
        }
    }
}

//==============================================================================
TEST (ShippedFirmwareFile, LiesNextToTheRealExecutableHoweverTheProgramWasStarted)
{
    const auto realExecutable = juce::File ("/proc/self/exe").getLinkedTarget();
    EXPECT_EQ (getShippedFirmwareFile(), realExecutable.getSiblingFile ("Tarnovelle_Firmware_Release_V1.0.3.2.tvk"));

    // This test binary runs this test again: through PATH from another folder, and through a
    // link in a third one. Each run checks the line above for the way it was started.
    if (std::getenv ("TARNOVELLE_STARTED_ELSEWHERE") != nullptr)
        return;

    const test::ScratchFolder scratch ("tarnovelle-started-elsewhere");
    const auto elsewhere = scratch.folder.getChildFile ("elsewhere");
    const auto link = scratch.folder.getChildFile ("links").getChildFile ("tarnovelle-link");
    ASSERT_TRUE (elsewhere.createDirectory());
    ASSERT_TRUE (link.getParentDirectory().createDirectory());
    ASSERT_TRUE (realExecutable.createSymbolicLink (link, true));

    const juce::String rerun (" --gtest_filter=ShippedFirmwareFile.* > /dev/null");
    const auto inElsewhere = "cd " + elsewhere.getFullPathName().quoted ('\'') + " && TARNOVELLE_STARTED_ELSEWHERE=1 ";

    for (const auto& command :
         { inElsewhere + "PATH=" + realExecutable.getParentDirectory().getFullPathName().quoted ('\'') + " "
               + realExecutable.getFileName() + rerun,
           inElsewhere + "../links/tarnovelle-link" + rerun })
        EXPECT_EQ (std::system (command.toRawUTF8()), 0) << command;
}

TEST_F (UpdateDriverTest, AnInstrumentInItsBootloaderOrAskedOnceToRestartIntoItIsUpdated)
{
    for (auto mode : { Mode::bootloader, Mode::application })
    {
        SCOPED_TRACE (mode == Mode::bootloader ? "in its bootloader" : "running its firmware 1.0.2.0");
        rig.dialogs.clear();
        rig.instrument.clearReceived();
        rig.instrument.setMode (mode);
        rig.instrument.setFirmwareVersion ({ 1, 0, 2, 0 });
        LPC23XXUpdater::getInstance().setTiming ({}); // the product's five seconds to restart

        const auto started = juce::Time::getMillisecondCounter();
        const auto& ports = rig.instrument.getPortPresence();
        const auto portsBefore = ports.getState();
        EXPECT_TRUE (HWUpdater::update (getShippedFirmwareFile()));
        EXPECT_EQ (juce::Time::getMillisecondCounter() - started >= 5000u, mode == Mode::application);
        EXPECT_EQ (rig.instrument.countReceived (0x00), mode == Mode::application ? 1 : 0);
        EXPECT_EQ (rig.instrument.countReceived (0x01), 1);
        expectOneBox (DialogIcon::info, "Firmware update: complete",
                      "The firmware has been successfully updated!\n Please reboot your Varok, then only press OK.");
        EXPECT_EQ (updateWindows(), 1);
        EXPECT_EQ (rig.midi.getNumOpenInputs() + rig.midi.getNumOpenOutputs(), 0);

        // The five seconds of the restart have a window of their own, right after the request.
        juce::StringArray windows;
        for (const auto& window : rig.dialogs.getRecords (Kind::progressWindow))
            windows.add (window.title);
        EXPECT_EQ (windows.indexOf (LPC23XXUpdater::restartWindowTitle), mode == Mode::application ? 1 : -1)
            << windows.joinIntoString (", ");

        // It restarts into what the shipped file holds, behind new ports as a USB device
        // re-enumerates (as it did into its bootloader); that the application then finds it and
        // reads its version is shown by the fault tests' updates.
        EXPECT_TRUE (waitFor ([&] { return ports.isPresent() && rig.instrument.getMode() == Mode::application; }));
        EXPECT_FALSE (ports.isAlive (portsBefore));
        EXPECT_EQ (rig.instrument.getFirmwareVersion(), EmulatedInstrument::shippedFirmwareVersion);
    }
}

TEST_F (UpdateDriverTest, AFileWithoutAnImageShowsOneBoxAndLeavesTheInstrumentAlone)
{
    const auto missing = folder.getChildFile ("gone").getChildFile (FirmwareFile::name);
    const juce::File files[] = { missing, write ("from-key-byte-0.tvk", container (randomBytes (100, 2), 0, 0)),
                                 write ("magic-only.tvk", { container ({}).getData(), 24 }),
                                 write ("no-image.tvk", container ({})) };

    for (auto& file : files)
    {
        SCOPED_TRACE (file.getFileName());
        rig.dialogs.clear();
        EXPECT_FALSE (HWUpdater::update (file));
        EXPECT_EQ (rig.dialogs.count (Kind::progressWindow), 0);

        expectOneBox (DialogIcon::warning, file == missing ? "Loading error" : "Checking error",
                      file == missing ? "Unable to open the data file."
                                      : "This file is not a Tarnovelle crypted firmware file.");
    }

    EXPECT_FALSE (missing.getParentDirectory().exists()); // neither the file nor its folder is created
    EXPECT_EQ (rig.instrument.countAllReceived(), 0);
}

TEST_F (UpdateDriverTest, AnInstrumentNotFoundOrLostEndsInAnErrorBox)
{
    rig.instrument.setUnplugged (true);
    EXPECT_FALSE (HWUpdater::update (getShippedFirmwareFile()));
    expectOneBox (DialogIcon::warning, "Update error",
                  "Unable to prepare the Device for update.\nPlease check your connections.");
    EXPECT_EQ (updateWindows(), 0);
    rig.instrument.setUnplugged (false);
    rig.instrument.setMode (Mode::bootloader);

    // Stalled after chunk 10 (it hears chunk 11 once and five times more) or without power, the
    // instrument ends the transfer in the error box; end_update never goes out.
    for (bool stalls : { true, false })
    {
        SCOPED_TRACE (stalls ? "stalled" : "lost power");
        rig.dialogs.clear();
        rig.instrument.clearReceived();
        stalls ? rig.instrument.stallAfterChunk (10) : rig.instrument.losePowerAfterChunk (10);
        EXPECT_FALSE (HWUpdater::update (getShippedFirmwareFile()));
        EXPECT_EQ (updateWindows(), 1);
        expectOneBox (DialogIcon::warning, "Update error",
                      "The Varok stopped answering during the firmware update.\nPlease check your connections, "
                      "then start the update again from the Firmware Update tab.");
        EXPECT_EQ (rig.midi.getNumOpenInputs() + rig.midi.getNumOpenOutputs(), 0);
        // (Losing its power, it may still have heard the first.)
        const auto chunks = rig.instrument.getReceivedFrames (0x03);
        const auto copies = std::count_if (chunks.begin(), chunks.end(), [] (auto& c) { return c[6] == 11; });
        EXPECT_TRUE (stalls ? copies == 6 : copies <= 1) << copies;
        EXPECT_EQ (rig.instrument.countReceived (0x02), 0);
        rig.instrument.clearFaults();
        rig.instrument.setUnplugged (false);
    }

    // It is still in its bootloader, where a new update recovers it (the fault tests' cuts).
    EXPECT_EQ (rig.instrument.getMode(), Mode::bootloader);
}

//==============================================================================
// After an update, offered at start-up or from the firmware tab, the panel shows the settings
// the instrument holds: they are read again as at any connection, and kept in the history.
TEST (ApplicationUpdate, ThePanelShowsTheInstrumentsSettingsAfterTheOfferAndAfterTheFirmwareTab)
{
    LPC23XXUpdater::getInstance().setTiming ({ 400, 300, 5 });
    const juce::ScopeGuard usualTiming{ [] { LPC23XXUpdater::getInstance().setTiming ({}); } };
    test::ScratchFolder scratch{ "appupdate" };
    test::ApplicationRig app;
    InstrumentHistory history (scratch.folder.getChildFile ("library.sqlite"));
    app.controller.setHistory (&history, nullptr);
    auto& instrument = app.rig.instrument;
    instrument.setLatencyMs (0);
    instrument.setFirmwareVersion ({ 1, 0, 2, 0 });
    app.rig.dialogs.answerOkCancel (true); // the update offered at start-up

    // The completion box asks the user to restart the instrument before pressing OK.
    app.rig.dialogs.onDialog = [&instrument] (const ScriptedDialogs::Record& r) {
        if (r.title == "Firmware update: complete")
            waitFor ([&instrument] {
                return instrument.getMode() == Mode::application && instrument.getPortPresence().isPresent();
            });
    };

    for (const uint8 step : { 4, 32 })
    {
        // A value the panel has not shown, set at the instrument's own controls.
        instrument.setSetting (DeviceSetting::STEP, step);
        app.view.calls.clear();
        step == 4 ? app.controller.startUp() : app.controller.handleActionMessage ("FIRM ");

        EXPECT_EQ (app.view.displayedSettings().size(), numDeviceSettings) << "update " << (int) step;
        EXPECT_EQ (app.view.lastValueOf ("STEP"), step);
        const auto newest = history.getStore().getPage ({}, 0, 1).front();
        EXPECT_EQ (newest.cause, "Read at connection");
        EXPECT_EQ (newest.settings[(size_t) DeviceSetting::STEP], step);
        EXPECT_EQ (newest.firmware, EmulatedInstrument::shippedFirmwareVersion);
    }
}
