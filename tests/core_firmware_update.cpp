// Firmware transfers to the emulated instrument's bootloader, and whole updates through the
// update driver with its detections, progress window and boxes.

#include "app/HWDetector.h"
#include "emulator/EmulatedInstrument.h"
#include "emulator/EmulatedMidiBackend.h"
#include "emulator/FirmwareImage.h"
#include "firmware/CryptedDataFile.h"
#include "firmware/FirmwareFile.h"
#include "firmware/HWUpdater.h"
#include "firmware/LPC23XXUpdater.h"
#include "platform/Platform.h"
#include "platform/ScriptedDialogs.h"

#include <gtest/gtest.h>

#include <array>
#include <functional>
#include <mutex>
#include <vector>

using namespace tarnovelle;

namespace
{
using Bytes = std::vector<uint8>;
using Mode = EmulatedInstrument::Mode;

constexpr uint8 chunkCommand = 0x03;

bool waitUntil (const std::function<bool()>& condition, int timeoutMs)
{
    const auto end = juce::Time::getMillisecondCounter() + (juce::uint32) timeoutMs;

    while (!condition())
    {
        if (juce::Time::getMillisecondCounter() > end)
            return false;

        Platform::runMessageLoopFor (2);
    }

    return true;
}

Bytes randomBytes (size_t count, juce::int64 seed)
{
    juce::Random random (seed);
    Bytes bytes (count);

    for (auto& b : bytes)
        b = (uint8) random.nextInt (256);

    return bytes;
}

juce::MemoryBlock imageOfVersion (std::array<uint8, 4> version, size_t bodySize)
{
    const auto body = randomBytes (bodySize, bodySize);
    return makeFirmwareImage (version.data(), juce::MemoryBlock (body.data(), body.size()));
}

/** One message the updater sent, with the progress it reported just before. */
struct Sent
{
    Bytes bytes;
    double progress;
    juce::uint32 time;

    int counter() const { return bytes[6]; }
    int command() const { return bytes[8]; }
};

/** The bootloader's side of the link, recording what the updater sends through it. */
class RecordingOutput final : public MidiOutputPort
{
public:
    RecordingOutput (std::unique_ptr<MidiOutputPort> targetPort, const LPC23XXUpdater& updaterToWatch)
        : target (std::move (targetPort))
        , updater (updaterToWatch)
    {
    }

    void sendMessageNow (const juce::MidiMessage& message) override
    {
        {
            const std::lock_guard<std::mutex> lock (mutex);
            sent.push_back ({ Bytes (message.getRawData(), message.getRawData() + message.getRawDataSize()),
                              updater.getProgress(), juce::Time::getMillisecondCounter() });
        }

        target->sendMessageNow (message);
    }

    juce::String getName() const override { return target->getName(); }

    std::vector<Sent> getSent() const
    {
        const std::lock_guard<std::mutex> lock (mutex);
        return sent;
    }

private:
    std::unique_ptr<MidiOutputPort> target;
    const LPC23XXUpdater& updater;
    mutable std::mutex mutex;
    std::vector<Sent> sent;
};

/** The decoded payloads of the chunks, each chunk once, in the order they were first sent. */
Bytes imageCarriedBy (const std::vector<Sent>& sent)
{
    Bytes image;
    const Bytes* previous = nullptr;

    for (auto& s : sent)
    {
        if (s.command() != chunkCommand || (previous != nullptr && *previous == s.bytes))
            continue;

        const int n = s.bytes[7];
        uint8 decoded[28];
        EXPECT_EQ (unpackPayload (s.bytes.data() + 10, n, (int) s.bytes.size() - 11, decoded, s.bytes[9]), 0);
        image.insert (image.end(), decoded, decoded + n);
        previous = &s.bytes;
    }

    return image;
}

/** Each message carries the next counter, modulo 128; a repetition carries the same one.
    When a chunk goes out the progress shows the chunks sent before it; a repetition does not
    move it.
*/
void expectCountersAndProgress (const std::vector<Sent>& sent, int totalChunks)
{
    ASSERT_FALSE (sent.empty());
    EXPECT_EQ (sent[0].counter(), 0);
    int distinctChunks = 0;

    for (size_t i = 0; i < sent.size(); ++i)
    {
        const bool repeated = i > 0 && sent[i].bytes == sent[i - 1].bytes;

        if (i > 0)
        {
            const auto expected = repeated ? sent[i - 1].counter() : (sent[i - 1].counter() + 1) % 128;
            ASSERT_EQ (sent[i].counter(), expected) << "message " << i;
        }

        if (sent[i].command() == chunkCommand)
        {
            ASSERT_DOUBLE_EQ (sent[i].progress, (double) distinctChunks / totalChunks) << "message " << i;

            if (!repeated)
                ++distinctChunks;
        }
    }

    EXPECT_EQ (distinctChunks, totalChunks);
}

/** The updater linked to an emulated instrument in its bootloader, with real threads. */
class BootloaderLink
{
public:
    BootloaderLink()
    {
        backend.addInstrument (instrument);
        instrument.setMode (Mode::bootloader);
        instrument.setLatencyMs (0);
        updater.setTiming ({ 0, 300, 5 });

        input = backend.openInput (0, &callback);
        input->start();
        output = std::make_unique<RecordingOutput> (backend.openOutput (0), updater);
    }

    ~BootloaderLink()
    {
        updater.stopUpdate();
        input->stop();
    }

    bool transfer (const void* image, size_t size, int timeoutMs = 20000)
    {
        juce::MemoryInputStream stream (image, size, false);

        if (!updater.startUpdate (output.get(), &stream))
            return false;

        waitUntil ([this] { return !updater.isUpdating(); }, timeoutMs);
        updater.stopUpdate();
        return updater.wasSuccessful();
    }

    bool transfer (const juce::MemoryBlock& image) { return transfer (image.getData(), image.getSize()); }

    std::vector<Sent> chunksSent() const
    {
        std::vector<Sent> chunks;

        for (auto& s : output->getSent())
            if (s.command() == chunkCommand)
                chunks.push_back (s);

        return chunks;
    }

    bool runsFirmware (std::array<uint8, 4> version)
    {
        return waitUntil ([&] { return instrument.getMode() == Mode::application; }, 2000)
               && instrument.getFirmwareVersion() == version;
    }

    EmulatedInstrument instrument;
    EmulatedMidiBackend backend;
    LPC23XXUpdater updater;
    HWUpdater::MidiCallback callback{ updater };
    std::unique_ptr<MidiInputPort> input;
    std::unique_ptr<RecordingOutput> output;
};
} // namespace

//==============================================================================
TEST (BootloaderTransfer, ImagesOfNoneOneAndTwoChunks)
{
    struct Case
    {
        size_t size;
        std::vector<int> lengthBytes;
        std::vector<size_t> frameSizes;
    };

    for (auto& c : { Case{ 0, {}, {} }, Case{ 28, { 28 }, { 43 } }, Case{ 29, { 28, 1 }, { 43, 19 } } })
    {
        SCOPED_TRACE (c.size);
        BootloaderLink link;
        link.instrument.setLatencyMs (100);
        const auto image = randomBytes (c.size, 5);

        juce::MemoryInputStream stream (image.data(), image.size(), false);
        ASSERT_TRUE (link.updater.startUpdate (link.output.get(), &stream));
        EXPECT_TRUE (link.updater.isUpdating());
        EXPECT_EQ (link.updater.getProgress(), c.size == 0 ? 1.0 : 0.0);
        ASSERT_TRUE (waitUntil ([&] { return !link.updater.isUpdating(); }, 3000));
        EXPECT_TRUE (link.updater.wasSuccessful());

        const auto sent = link.output->getSent();
        ASSERT_EQ (sent.size(), c.lengthBytes.size() + 2);
        EXPECT_EQ (sent.front().command(), 0x01);
        EXPECT_EQ (sent.back().command(), 0x02);
        EXPECT_EQ (sent.back().bytes.size(), 10u);

        std::vector<int> lengthBytes;
        std::vector<size_t> frameSizes;
        for (auto& chunk : link.chunksSent())
        {
            lengthBytes.push_back (chunk.bytes[7]);
            frameSizes.push_back (chunk.bytes.size());
        }

        EXPECT_EQ (lengthBytes, c.lengthBytes);
        EXPECT_EQ (frameSizes, c.frameSizes);
        EXPECT_EQ (imageCarriedBy (sent), image);
        expectCountersAndProgress (sent, (int) c.lengthBytes.size());
        EXPECT_EQ (link.instrument.getAcceptedChunkCount(), (int) c.lengthBytes.size());

        // Not a runnable image: the instrument stays in its bootloader.
        EXPECT_EQ (link.instrument.getMode(), Mode::bootloader);
    }
}

TEST (BootloaderTransfer, ALargeImageArrivesWholeWithCountersWrapping)
{
    BootloaderLink link;
    const auto image = imageOfVersion ({ 1, 0, 4, 0 }, 300 * 1024);
    const auto chunks = (int) ((image.getSize() + 27) / 28);

    ASSERT_TRUE (link.transfer (image));

    const auto sent = link.output->getSent();
    EXPECT_EQ (sent.size(), (size_t) chunks + 2);
    expectCountersAndProgress (sent, chunks);
    EXPECT_TRUE (link.runsFirmware ({ 1, 0, 4, 0 }));
}

TEST (BootloaderTransfer, RejectedMessagesAreSentAgainWithTheSameCounter)
{
    const auto image = imageOfVersion ({ 1, 0, 3, 5 }, 10 * 28);
    const auto chunks = (int) ((image.getSize() + 27) / 28);

    for (int status : { 0xff, 0xfe })
    {
        for (int rejected : { 0, 3 }) // start_update, then a chunk
        {
            SCOPED_TRACE (juce::String (status) + " " + juce::String (rejected));
            BootloaderLink link;
            link.instrument.rejectChunkOnce (rejected, (uint8) status);
            ASSERT_TRUE (link.transfer (image));

            const auto sent = link.output->getSent();
            ASSERT_EQ (sent.size(), (size_t) chunks + 3);
            EXPECT_EQ (sent[(size_t) rejected].bytes, sent[(size_t) rejected + 1].bytes);
            expectCountersAndProgress (sent, chunks);
            EXPECT_TRUE (link.runsFirmware ({ 1, 0, 3, 5 }));
        }
    }
}

TEST (BootloaderTransfer, AcknowledgementsWithoutPayloadAreAccepted)
{
    BootloaderLink link;
    link.instrument.setAcknowledgeWithoutPayload (true);
    const auto image = imageOfVersion ({ 1, 0, 3, 6 }, 500);

    ASSERT_TRUE (link.transfer (image));
    EXPECT_EQ (link.output->getSent().size(), (image.getSize() + 27) / 28 + 2);
    EXPECT_TRUE (link.runsFirmware ({ 1, 0, 3, 6 }));
}

TEST (BootloaderTransfer, AnAcknowledgementWithAnotherCounterIsIgnored)
{
    BootloaderLink link;
    link.instrument.acknowledgeWithWrongCounterOnce (2);
    const auto image = imageOfVersion ({ 1, 0, 3, 7 }, 200);

    ASSERT_TRUE (link.transfer (image));

    // Chunk 2 is not taken as acknowledged: after the time-out it goes out again.
    const auto chunks = link.chunksSent();
    ASSERT_GE (chunks.size(), 3u);
    EXPECT_EQ (chunks[1].bytes, chunks[2].bytes);
    EXPECT_GE (chunks[2].time - chunks[1].time, 250u);
    EXPECT_TRUE (link.runsFirmware ({ 1, 0, 3, 7 }));
}

TEST (BootloaderTransfer, ALostAcknowledgementIsRecoveredAfterTwoSeconds)
{
    BootloaderLink link;
    link.updater.setTiming ({});
    link.instrument.dropAcknowledgementOnce (3);
    const auto image = imageOfVersion ({ 1, 0, 3, 8 }, 6 * 28);

    ASSERT_TRUE (link.transfer (image));

    const auto chunks = link.chunksSent();
    ASSERT_EQ (chunks.size(), 8u); // seven chunks, the third of them twice
    EXPECT_EQ (chunks[2].bytes, chunks[3].bytes);
    EXPECT_GE (chunks[3].time - chunks[2].time, 1950u);
    EXPECT_LE (chunks[3].time - chunks[2].time, 2600u);
    EXPECT_TRUE (link.runsFirmware ({ 1, 0, 3, 8 }));
}

TEST (BootloaderTransfer, AStalledBootloaderIsResumedByResending)
{
    BootloaderLink link;
    link.instrument.stallAfterChunk (4);
    const auto image = imageOfVersion ({ 1, 0, 3, 9 }, 300);
    juce::MemoryInputStream stream (image, false);

    ASSERT_TRUE (link.updater.startUpdate (link.output.get(), &stream));

    // Chunk 5 goes unanswered and is sent again; then the bootloader answers once more.
    ASSERT_TRUE (waitUntil ([&] { return link.chunksSent().size() >= 6; }, 3000));
    link.instrument.clearFaults();
    link.instrument.setLatencyMs (0);
    ASSERT_TRUE (waitUntil ([&] { return !link.updater.isUpdating(); }, 5000));

    EXPECT_TRUE (link.updater.wasSuccessful());
    EXPECT_EQ (link.chunksSent()[4].bytes, link.chunksSent()[5].bytes);
    EXPECT_TRUE (link.runsFirmware ({ 1, 0, 3, 9 }));
}

TEST (BootloaderTransfer, AnInstrumentThatLostPowerEndsTheTransferAsFailed)
{
    BootloaderLink link;
    link.updater.setTiming ({ 0, 100, 5 });
    link.instrument.losePowerAfterChunk (3);
    const auto image = imageOfVersion ({ 1, 0, 3, 9 }, 300);

    EXPECT_FALSE (link.transfer (image));
    EXPECT_EQ (link.updater.getOutcome(), LPC23XXUpdater::Outcome::failed);
    EXPECT_FALSE (link.updater.isUpdating());

    // Chunk 4 went out once and five times more; end_update never did.
    const auto sent = link.output->getSent();
    const auto chunks = link.chunksSent();
    ASSERT_EQ (chunks.size(), 9u);
    for (size_t i = 4; i < chunks.size(); ++i)
        EXPECT_EQ (chunks[i].bytes, chunks[3].bytes);
    EXPECT_EQ (sent.back().command(), chunkCommand);
}

//==============================================================================
namespace
{
class UpdateDriverTest : public ::testing::Test
{
protected:
    void SetUp() override
    {
        folder = juce::File::getSpecialLocation (juce::File::tempDirectory)
                     .getNonexistentChildFile ("tarnovelle_update", "");
        ASSERT_TRUE (folder.createDirectory());

        backend.addInstrument (instrument);
        instrument.setLatencyMs (0);
        Platform::setMidiBackend (&backend);
        Platform::setDialogs (&dialogs);
        LPC23XXUpdater::getInstance().setTiming ({ 400, 300, 5 });
    }

    void TearDown() override
    {
        LPC23XXUpdater::getInstance().setTiming ({});
        Platform::setDialogs (nullptr);
        Platform::setMidiBackend (nullptr);
        folder.deleteRecursively();
    }

    juce::File writeFirmwareFile (const juce::MemoryBlock& image)
    {
        auto file = folder.getChildFile (FirmwareFile::name);
        const auto container = CryptedDataFile::encipher (FirmwareFile::magic, image.getData(), image.getSize());
        EXPECT_TRUE (file.replaceWithData (container.getData(), container.getSize()));
        return file;
    }

    std::vector<ScriptedDialogs::Record> boxes() const
    {
        return dialogs.getRecords (ScriptedDialogs::Kind::messageBox);
    }

    int updateWindows() const
    {
        int count = 0;

        for (auto& r : dialogs.getRecords (ScriptedDialogs::Kind::progressWindow))
            count += r.title == "Firmware update:" ? 1 : 0;

        return count;
    }

    void expectCompletionBoxOnly()
    {
        const auto shown = boxes();
        ASSERT_EQ (shown.size(), 1u);
        EXPECT_EQ (shown[0].icon, DialogIcon::info);
        EXPECT_EQ (shown[0].title, juce::String ("Firmware update: complete"));
        EXPECT_EQ (shown[0].message, juce::String ("The firmware has been successfully updated!\n"
                                                   " Please reboot your Varok, then only press OK."));
    }

    /** What the instrument reports to a detection of its application firmware. */
    std::array<uint8, 4> detectedVersion()
    {
        HWDetector::setExpectedFamily (0x04, 0x00);
        HWDetector::setExpectedMember (0x02, 0x01);
        HWUpdater::MidiCallback ignore (LPC23XXUpdater::getInstance());
        std::unique_ptr<MidiInputPort> input;
        std::unique_ptr<MidiOutputPort> output;

        // The instrument restarts into its new firmware: its ports come back after a moment.
        if (!waitUntil ([&] { return instrument.getMode() == Mode::application; }, 2000))
            return {};

        if (!waitUntil ([&] { return HWDetector::detect (&ignore, input, output); }, 3000))
            return {};

        input->stop();
        std::array<uint8, 4> version{};
        HWDetector::getFirmwareVersion (version[0], version[1], version[2], version[3]);
        return version;
    }

    void expectPortsClosed() const
    {
        EXPECT_EQ (backend.getNumOpenInputs(), 0);
        EXPECT_EQ (backend.getNumOpenOutputs(), 0);
    }

    juce::File folder;
    EmulatedInstrument instrument;
    EmulatedMidiBackend backend;
    ScriptedDialogs dialogs;
};
} // namespace

TEST_F (UpdateDriverTest, AnInstrumentInItsBootloaderIsUpdatedWithoutTheUpdateRequest)
{
    instrument.setMode (Mode::bootloader);
    const auto file = writeFirmwareFile (makeShippedFirmwareImage());

    EXPECT_TRUE (HWUpdater::update (file));

    EXPECT_EQ (instrument.countReceived (0x00), 0);
    EXPECT_EQ (instrument.countReceived (0x01), 1);
    EXPECT_EQ (updateWindows(), 1);
    expectCompletionBoxOnly();
    expectPortsClosed();
    EXPECT_EQ (detectedVersion(), (std::array<uint8, 4>{ 1, 0, 3, 2 }));
}

TEST_F (UpdateDriverTest, AnInstrumentRunningItsFirmwareIsAskedOnceThenFoundInItsBootloader)
{
    // The product's pause: the instrument gets its five seconds to restart.
    LPC23XXUpdater::getInstance().setTiming ({});
    ASSERT_EQ (instrument.getFirmwareVersion(), (EmulatedInstrument::Version{ 1, 0, 2, 0 }));
    const auto file = writeFirmwareFile (makeShippedFirmwareImage());

    const auto started = juce::Time::getMillisecondCounter();
    EXPECT_TRUE (HWUpdater::update (file));
    EXPECT_GE (juce::Time::getMillisecondCounter() - started, 5000u);

    EXPECT_EQ (instrument.countReceived (0x00), 1);
    EXPECT_EQ (instrument.getAcceptedChunkCount(), (int) (makeShippedFirmwareImage().getSize() + 27) / 28);
    EXPECT_EQ (updateWindows(), 1);
    expectCompletionBoxOnly();
    expectPortsClosed();
    EXPECT_EQ (detectedVersion(), (std::array<uint8, 4>{ 1, 0, 3, 2 }));
}

TEST_F (UpdateDriverTest, AFileWithoutAnImageShowsOneBoxAndLeavesTheInstrumentAlone)
{
    struct Case
    {
        juce::File file;
        juce::String title;
    };

    const auto missing = folder.getChildFile (FirmwareFile::name);
    const auto foreign = folder.getChildFile ("foreign.tvk");
    foreign.replaceWithText ("not a container at all, just text");
    const auto empty = writeFirmwareFile ({});
    const auto emptyCopy = folder.getChildFile ("empty.tvk");
    ASSERT_TRUE (empty.moveFileTo (emptyCopy));

    for (auto& c :
         { Case{ missing, "Loading error" }, Case{ foreign, "Checking error" }, Case{ emptyCopy, "Checking error" } })
    {
        SCOPED_TRACE (c.file.getFileName());
        dialogs.clear();

        EXPECT_FALSE (HWUpdater::update (c.file));
        ASSERT_EQ (boxes().size(), 1u);
        EXPECT_EQ (boxes()[0].title, c.title);
        EXPECT_EQ (dialogs.count (ScriptedDialogs::Kind::progressWindow), 0);
    }

    EXPECT_FALSE (missing.exists());
    EXPECT_EQ (instrument.countAllReceived(), 0);
}

TEST_F (UpdateDriverTest, NoInstrumentGivesThePrepareError)
{
    instrument.setUnplugged (true);

    EXPECT_FALSE (HWUpdater::update (writeFirmwareFile (makeShippedFirmwareImage())));

    ASSERT_EQ (boxes().size(), 1u);
    EXPECT_EQ (boxes()[0].icon, DialogIcon::warning);
    EXPECT_EQ (boxes()[0].title, juce::String ("Update error"));
    EXPECT_EQ (boxes()[0].message,
               juce::String ("Unable to prepare the Device for update.\nPlease check your connections."));
    EXPECT_EQ (updateWindows(), 0);
    expectPortsClosed();
}

TEST_F (UpdateDriverTest, AnInstrumentThatStopsAnsweringEndsInTheErrorBox)
{
    instrument.setMode (Mode::bootloader);
    instrument.losePowerAfterChunk (10);

    EXPECT_FALSE (HWUpdater::update (writeFirmwareFile (makeShippedFirmwareImage())));

    EXPECT_EQ (updateWindows(), 1);
    const auto shown = boxes();
    ASSERT_EQ (shown.size(), 1u);
    EXPECT_EQ (shown[0].icon, DialogIcon::warning);
    EXPECT_EQ (shown[0].title, juce::String ("Update error"));
    EXPECT_TRUE (shown[0].message.contains ("stopped answering"));
    EXPECT_TRUE (shown[0].message.contains ("Firmware Update tab"));
    expectPortsClosed();

    // Plugged in again it is still in its bootloader, and a new update recovers it.
    instrument.clearFaults();
    instrument.setLatencyMs (0);
    instrument.setUnplugged (false);
    dialogs.clear();
    EXPECT_TRUE (HWUpdater::update (writeFirmwareFile (makeShippedFirmwareImage())));
    expectCompletionBoxOnly();
    EXPECT_EQ (detectedVersion(), (std::array<uint8, 4>{ 1, 0, 3, 2 }));
}

TEST (ShippedFirmwareFile, LiesInTheFolderOfTheExecutable)
{
    const auto file = getShippedFirmwareFile();
    const auto executable = juce::File::getSpecialLocation (juce::File::currentExecutableFile);

    EXPECT_EQ (file.getFileName(), juce::String ("Tarnovelle_Firmware_Release_V1.0.3.2.tvk"));
    EXPECT_EQ (file.getParentDirectory(), executable.getParentDirectory());
}

TEST (ShippedFirmwareFile, HoldsTheImageOfVersion1032)
{
    ScriptedDialogs dialogs;
    Platform::setDialogs (&dialogs);

    CryptedDataFile container (getShippedFirmwareFile(), FirmwareFile::magic);
    Platform::setDialogs (nullptr);

    ASSERT_NE (container.getPayloadStream(), nullptr) << getShippedFirmwareFile().getFullPathName();
    juce::MemoryBlock image;
    container.getPayloadStream()->readIntoMemoryBlock (image);

    uint8 version[4]{};
    ASSERT_TRUE (parseFirmwareImage (image.getData(), image.getSize(), version));
    EXPECT_EQ (Bytes (version, version + 4), (Bytes{ 1, 0, 3, 2 }));
    EXPECT_TRUE (dialogs.getRecords().empty());
}
