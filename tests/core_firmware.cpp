// The firmware container, transfers to the emulated bootloader with real threads, and whole
// updates through the update driver with its detections, progress window and boxes.

#include "app/HWDetector.h"
#include "emulator/EmulatedInstrument.h"
#include "emulator/EmulatedMidiBackend.h"
#include "emulator/FirmwareImage.h"
#include "firmware/CryptedDataFile.h"
#include "firmware/Crypter.h"
#include "firmware/FirmwareFile.h"
#include "firmware/HWUpdater.h"
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
using Version = EmulatedInstrument::Version;
constexpr uint8 chunkCommand = 0x03;

Bytes randomBytes (size_t count, juce::int64 seed)
{
    juce::Random random (seed);
    Bytes bytes (count);
    for (auto& b : bytes)
        b = (uint8) random.nextInt (256);
    return bytes;
}

juce::MemoryBlock imageOfVersion (Version version, size_t bodySize)
{
    const auto body = randomBytes (bodySize, (juce::int64) bodySize);
    return makeFirmwareImage (version.data(), juce::MemoryBlock (body.data(), body.size()));
}

bool waitUntil (const std::function<bool()>& condition, int timeoutMs)
{
    const auto end = juce::Time::getMillisecondCounter() + (juce::uint32) timeoutMs;
    while (! condition())
    {
        if (juce::Time::getMillisecondCounter() > end)
            return false;
        Platform::runMessageLoopFor (2);
    }
    return true;
}

/** Dialogs installed for one test, and a folder for its files. */
class FirmwareTest : public ::testing::Test
{
protected:
    void SetUp() override
    {
        folder = juce::File::getSpecialLocation (juce::File::tempDirectory).getNonexistentChildFile ("tvk", "");
        ASSERT_TRUE (folder.createDirectory());
        Platform::setDialogs (&dialogs);
    }

    void TearDown() override
    {
        Platform::setDialogs (nullptr);
        folder.deleteRecursively();
    }

    juce::File write (const juce::String& name, const juce::MemoryBlock& bytes)
    {
        // replaceWithData deletes the file when there are no bytes; an empty file is wanted then.
        auto file = folder.getChildFile (name);
        EXPECT_TRUE (bytes.isEmpty() ? file.deleteFile() && file.create().wasOk()
                                     : file.replaceWithData (bytes.getData(), bytes.getSize()));
        return file;
    }

    juce::File writeContainer (const juce::MemoryBlock& payload, uint8 separator = 0)
    {
        return write (FirmwareFile::name,
                      CryptedDataFile::encipher (FirmwareFile::magic, payload.getData(), payload.getSize(), separator));
    }

    std::vector<ScriptedDialogs::Record> boxes() const
    {
        return dialogs.getRecords (ScriptedDialogs::Kind::messageBox);
    }

    void expectOneBox (DialogIcon icon, const juce::String& title, const juce::String& message = {})
    {
        const auto shown = boxes();
        ASSERT_EQ (shown.size(), 1u);
        EXPECT_EQ (shown[0].icon, icon);
        EXPECT_EQ (shown[0].title, title);
        if (message.isNotEmpty())
        {
            EXPECT_EQ (shown[0].message, message);
        }
    }

    juce::File folder;
    ScriptedDialogs dialogs;
};

Bytes readAll (juce::InputStream& stream)
{
    juce::MemoryBlock block;
    stream.readIntoMemoryBlock (block);
    auto* data = static_cast<const uint8*> (block.getData());
    return Bytes (data, data + block.getSize());
}
} // namespace

//==============================================================================
TEST (FirmwareCrypter, KeyStreamStartsAtKeyByteFourAndCarriesOver)
{
    const auto* key = reinterpret_cast<const uint8*> (FirmwareFile::magic);
    Bytes bytes (3 * 24 + 5, 0);

    Crypter whole (key, 24);
    whole.apply (bytes.data(), bytes.size());
    for (size_t i = 0; i < bytes.size(); ++i)
        ASSERT_EQ (bytes[i], key[(4 + i) % 24]) << "stream byte " << i;

    // The same stream in uneven pieces restores the bytes.
    Crypter pieces (key, 24);
    pieces.apply (bytes.data(), 7);
    pieces.apply (bytes.data() + 7, bytes.size() - 7);
    EXPECT_EQ (bytes, Bytes (bytes.size(), 0));
}

TEST_F (FirmwareTest, ContainerPayloadWhateverTheSeparatorInOneSharedStream)
{
    const auto payload = randomBytes (100, 1);

    for (int separator : { 0x00, 0x7f, 0xff })
    {
        CryptedDataFile container (writeContainer ({ payload.data(), payload.size() }, (uint8) separator),
                                   FirmwareFile::magic);
        auto* stream = container.getPayloadStream();
        ASSERT_NE (stream, nullptr);
        uint8 head[28];
        ASSERT_EQ (stream->read (head, 28), 28);

        // A second request hands out the same stream, 28 bytes in.
        EXPECT_EQ (container.getPayloadStream(), stream);
        EXPECT_EQ (readAll (*container.getPayloadStream()), Bytes (payload.begin() + 28, payload.end()));
    }

    // The magic and the separator alone: an empty payload.
    CryptedDataFile empty (writeContainer ({}), FirmwareFile::magic);
    ASSERT_EQ (empty.getFile().getSize(), 25);
    ASSERT_NE (empty.getPayloadStream(), nullptr);
    EXPECT_EQ (empty.getPayloadStream()->getTotalLength(), 0);
    EXPECT_TRUE (boxes().empty());
}

TEST_F (FirmwareTest, ContainerRefusesOtherFilesWithOneBox)
{
    // Enciphered from key byte 0 instead of key byte 4.
    juce::MemoryBlock fromByteZero (FirmwareFile::magic, 24);
    fromByteZero.append ("\0payload", 8);
    for (size_t i = 0; i < fromByteZero.getSize(); ++i)
        fromByteZero[i] = (char) (fromByteZero[i] ^ FirmwareFile::magic[i % 24]);

    const auto good = CryptedDataFile::encipher (FirmwareFile::magic, "abc", 3);
    const juce::MemoryBlock magicOnly (good.getData(), 24), nothing;
    const juce::MemoryBlock foreign (randomBytes (200, 3).data(), 200);

    for (auto* bytes : std::initializer_list<const juce::MemoryBlock*>{ &fromByteZero, &magicOnly, &nothing, &foreign })
    {
        dialogs.clear();
        CryptedDataFile container (write ("other.tvk", *bytes), FirmwareFile::magic);
        EXPECT_EQ (container.getPayloadStream(), nullptr);
        expectOneBox (DialogIcon::warning, "Checking error", "This file is not a Tarnovelle crypted firmware file.");
    }

    // A missing file is reported and never created, nor its folder.
    dialogs.clear();
    const auto missing = folder.getChildFile ("gone").getChildFile (FirmwareFile::name);
    CryptedDataFile container (missing, FirmwareFile::magic);
    EXPECT_EQ (container.getPayloadStream(), nullptr);
    expectOneBox (DialogIcon::warning, "Loading error", "Unable to open the data file.");
    EXPECT_FALSE (missing.getParentDirectory().exists());
}

TEST (ShippedFirmwareFile, LiesNextToTheExecutableAndHoldsVersion1032)
{
    const auto file = getShippedFirmwareFile();
    EXPECT_EQ (file.getFileName(), juce::String ("Tarnovelle_Firmware_Release_V1.0.3.2.tvk"));
    EXPECT_EQ (file.getParentDirectory(),
               juce::File::getSpecialLocation (juce::File::currentExecutableFile).getParentDirectory());

    ScriptedDialogs dialogs;
    Platform::setDialogs (&dialogs);
    CryptedDataFile container (file, FirmwareFile::magic);
    Platform::setDialogs (nullptr);
    ASSERT_NE (container.getPayloadStream(), nullptr) << file.getFullPathName();

    const auto image = readAll (*container.getPayloadStream());
    uint8 version[4]{};
    ASSERT_TRUE (parseFirmwareImage (image.data(), image.size(), version));
    EXPECT_EQ (Bytes (version, version + 4), (Bytes{ 1, 0, 3, 2 }));
}

//==============================================================================
namespace
{
/** One message the updater sent, with the progress it showed just before. */
struct Sent
{
    Bytes bytes;
    double progress;
    juce::uint32 time;

    int counter() const { return bytes[6]; }
    int command() const { return bytes[8]; }
};

/** Records what the updater sends, and passes it on to the instrument when there is one. */
class RecordingOutput final : public MidiOutputPort
{
public:
    RecordingOutput (std::unique_ptr<MidiOutputPort> targetPort, const LPC23XXUpdater& watched)
        : target (std::move (targetPort))
        , updater (watched)
    {}

    void sendMessageNow (const juce::MidiMessage& m) override
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

    std::vector<Sent> getChunks() const
    {
        std::vector<Sent> chunks;
        for (auto& s : getSent())
            if (s.command() == chunkCommand)
                chunks.push_back (s);
        return chunks;
    }

private:
    std::unique_ptr<MidiOutputPort> target;
    const LPC23XXUpdater& updater;
    mutable std::mutex mutex;
    std::vector<Sent> sent;
};

/** The bytes the chunks carried, each chunk once, in the order they were first sent. */
Bytes imageCarriedBy (const std::vector<Sent>& chunks)
{
    Bytes image;
    for (size_t i = 0; i < chunks.size(); ++i)
    {
        if (i > 0 && chunks[i].bytes == chunks[i - 1].bytes)
            continue;
        const auto& b = chunks[i].bytes;
        uint8 decoded[28];
        EXPECT_EQ (unpackPayload (b.data() + 10, b[7], (int) b.size() - 11, decoded, b[9]), 0);
        image.insert (image.end(), decoded, decoded + b[7]);
    }
    return image;
}

/** Each message carries the next counter, modulo 128, and a repetition the same one. When a
    chunk goes out the progress shows the chunks sent before it; a repetition does not move it.
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
            distinctChunks += repeated ? 0 : 1;
        }
    }
    EXPECT_EQ (distinctChunks, totalChunks);
}

/** An updater linked to an emulated instrument in its bootloader (or to nothing). */
class BootloaderLink
{
public:
    explicit BootloaderLink (bool withInstrument = true)
    {
        backend.addInstrument (instrument);
        instrument.setMode (Mode::bootloader);
        instrument.setLatencyMs (0);
        updater.setTiming ({ 0, 300, 5 });
        input = backend.openInput (0, &callback);
        input->start();
        output = std::make_unique<RecordingOutput> (withInstrument ? backend.openOutput (0) : nullptr, updater);
    }

    ~BootloaderLink()
    {
        updater.stopUpdate();
        input->stop();
    }

    bool start (const void* data, size_t size)
    {
        stream = std::make_unique<juce::MemoryInputStream> (data, size, false);
        return updater.startUpdate (output.get(), stream.get());
    }

    bool finish (int timeoutMs = 20000)
    {
        waitUntil ([this] { return ! updater.isUpdating(); }, timeoutMs);
        updater.stopUpdate();
        return updater.wasSuccessful();
    }

    bool transfer (const juce::MemoryBlock& image) { return start (image.getData(), image.getSize()) && finish(); }

    bool runsFirmware (Version version)
    {
        return waitUntil ([&] { return instrument.getMode() == Mode::application; }, 2000)
               && instrument.getFirmwareVersion() == version;
    }

    /** An acknowledgement as the bootloader builds it, written by hand and passed to the
        update's MIDI callback as the input would deliver it.
    */
    void acknowledge (int counter, int lengthByte, const Bytes& raw)
    {
        uint8 encoded[40]{};
        int encodedSize = (int) sizeof (encoded);
        uint8 checksum = 0;
        ASSERT_EQ (packPayload (raw.data(), (int) raw.size(), encoded, encodedSize, checksum), 0);
        Bytes b{ 0xf0, 0x00, 0x5c, 0x3d, 0x05, 0x01, (uint8) counter, (uint8) lengthByte, 0x04, checksum };
        b.insert (b.end(), encoded, encoded + encodedSize);
        b.push_back (0xf7);
        deliver (b);
    }

    void deliver (const Bytes& b)
    {
        callback.handleIncomingMidiMessage (nullptr, juce::MidiMessage (b.data(), (int) b.size()));
    }

    /** True when exactly that many messages have gone out and no more follow for a while. */
    bool sentBecomes (size_t count, int quietMs = 30)
    {
        waitUntil ([&] { return output->getSent().size() >= count; }, 1000);
        juce::Thread::sleep (quietMs);
        return output->getSent().size() == count;
    }

    EmulatedInstrument instrument;
    EmulatedMidiBackend backend;
    LPC23XXUpdater updater;
    HWUpdater::MidiCallback callback{ updater };
    std::unique_ptr<MidiInputPort> input;
    std::unique_ptr<RecordingOutput> output;
    std::unique_ptr<juce::MemoryInputStream> stream;
};
} // namespace

TEST (BootloaderTransfer, HandWrittenAcknowledgements)
{
    BootloaderLink link (false);
    link.updater.setTiming ({ 0, 5000, 5 });
    const auto image = randomBytes (29, 4);
    ASSERT_TRUE (link.start (image.data(), image.size()));
    EXPECT_FALSE (link.updater.startUpdate (link.output.get(), link.stream.get())); // one at a time
    const Bytes startUpdate{ 0xf0, 0x00, 0x5c, 0x3d, 0x05, 0x01, 0, 0x00, 0x01, 0xf7 };
    EXPECT_EQ (link.output->getSent()[0].bytes, startUpdate);

    // Too short for a command byte, another command, another counter, a status outside the
    // table, a payload that does not fit its length: none is an answer.
    link.deliver ({ 0xf0, 0x00, 0x5c, 0x3d, 0x05, 0x01, 0x00, 0xf7 });
    link.deliver ({ 0xf0, 0x00, 0x5c, 0x3d, 0x05, 0x01, 0x00, 0x01, 0x05, 0x00, 0xf7 });
    link.acknowledge (5, 1, { 0 });
    link.acknowledge (0, 1, { 0x42 });
    link.acknowledge (0, 9, { 0 });
    EXPECT_TRUE (link.sentBecomes (1, 300));

    // A rejected start_update goes out again as it was: there is no chunk to repeat yet.
    link.acknowledge (0, 1, { 0xff });
    ASSERT_TRUE (link.sentBecomes (2));
    EXPECT_EQ (link.output->getSent()[1].bytes, startUpdate);

    // Announcing more than 28 bytes, the status is still read; no payload counts as accepted.
    Bytes longAcceptance (28, 0x33);
    longAcceptance[0] = 0x00;
    link.acknowledge (0, 40, longAcceptance);
    ASSERT_TRUE (link.sentBecomes (3));
    link.acknowledge (1, 0, {});
    ASSERT_TRUE (link.sentBecomes (4));
    link.acknowledge (2, 1, { 0 });
    EXPECT_TRUE (link.finish (2000));

    const auto sent = link.output->getSent();
    EXPECT_EQ (sent.back().bytes, (Bytes{ 0xf0, 0x00, 0x5c, 0x3d, 0x05, 0x01, 3, 0x00, 0x02, 0xf7 }));
    EXPECT_EQ (imageCarriedBy (link.output->getChunks()), image);
    EXPECT_EQ (link.updater.getProgress(), 1.0);
}

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

        ASSERT_TRUE (link.start (image.data(), image.size()));
        EXPECT_TRUE (link.updater.isUpdating());
        EXPECT_EQ (link.updater.getProgress(), c.size == 0 ? 1.0 : 0.0);
        EXPECT_TRUE (link.finish (3000));

        const auto sent = link.output->getSent();
        ASSERT_EQ (sent.size(), c.lengthBytes.size() + 2);
        EXPECT_EQ (sent.front().command(), 0x01);
        EXPECT_EQ (sent.back().command(), 0x02);

        std::vector<int> lengthBytes;
        std::vector<size_t> frameSizes;
        for (auto& chunk : link.output->getChunks())
        {
            lengthBytes.push_back (chunk.bytes[7]);
            frameSizes.push_back (chunk.bytes.size());
        }
        EXPECT_EQ (lengthBytes, c.lengthBytes);
        EXPECT_EQ (frameSizes, c.frameSizes);
        EXPECT_EQ (imageCarriedBy (link.output->getChunks()), image);
        expectCountersAndProgress (sent, (int) c.lengthBytes.size());
    }
}

TEST (BootloaderTransfer, ALargeImageArrivesWholeWithCountersWrapping)
{
    BootloaderLink link;
    const auto image = imageOfVersion ({ 1, 0, 4, 0 }, 300 * 1024);
    const auto chunks = (int) ((image.getSize() + 27) / 28);

    ASSERT_TRUE (link.transfer (image));
    EXPECT_EQ (link.output->getSent().size(), (size_t) chunks + 2);
    expectCountersAndProgress (link.output->getSent(), chunks);
    EXPECT_TRUE (link.runsFirmware ({ 1, 0, 4, 0 }));
}

TEST (BootloaderTransfer, RejectedMessagesAreSentAgainWithTheSameCounter)
{
    const auto image = imageOfVersion ({ 1, 0, 3, 5 }, 280);
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

TEST (BootloaderTransfer, AcknowledgementsWithoutPayloadOrWithAnotherCounter)
{
    const auto image = imageOfVersion ({ 1, 0, 3, 6 }, 200);
    const auto chunks = (size_t) (image.getSize() + 27) / 28;

    BootloaderLink noPayload;
    noPayload.instrument.setAcknowledgeWithoutPayload (true);
    ASSERT_TRUE (noPayload.transfer (image));
    EXPECT_EQ (noPayload.output->getChunks().size(), chunks);
    EXPECT_TRUE (noPayload.runsFirmware ({ 1, 0, 3, 6 }));

    // Chunk 2's answer with another counter is not taken: after the time-out it goes out again.
    BootloaderLink otherCounter;
    otherCounter.instrument.acknowledgeWithWrongCounterOnce (2);
    ASSERT_TRUE (otherCounter.transfer (image));
    const auto sent = otherCounter.output->getChunks();
    ASSERT_EQ (sent.size(), chunks + 1);
    EXPECT_EQ (sent[1].bytes, sent[2].bytes);
    EXPECT_GE (sent[2].time - sent[1].time, 250u);
    EXPECT_TRUE (otherCounter.runsFirmware ({ 1, 0, 3, 6 }));
}

TEST (BootloaderTransfer, ALostAcknowledgementIsRecoveredAfterTwoSeconds)
{
    BootloaderLink link;
    link.updater.setTiming ({}); // the product's time-out
    link.instrument.dropAcknowledgementOnce (3);
    const auto image = imageOfVersion ({ 1, 0, 3, 8 }, 168);

    ASSERT_TRUE (link.transfer (image));
    const auto chunks = link.output->getChunks();
    ASSERT_EQ (chunks.size(), 8u); // seven chunks, the third twice
    EXPECT_EQ (chunks[2].bytes, chunks[3].bytes);
    EXPECT_GE (chunks[3].time - chunks[2].time, 1950u);
    EXPECT_LE (chunks[3].time - chunks[2].time, 2600u);
    EXPECT_TRUE (link.runsFirmware ({ 1, 0, 3, 8 }));
}

TEST (BootloaderTransfer, AnInstrumentThatLostPowerEndsTheTransferAsFailed)
{
    BootloaderLink link;
    link.updater.setTiming ({ 0, 100, 5 });
    link.instrument.losePowerAfterChunk (3);

    EXPECT_FALSE (link.transfer (imageOfVersion ({ 1, 0, 3, 9 }, 300)));
    EXPECT_EQ (link.updater.getOutcome(), LPC23XXUpdater::Outcome::failed);

    // Chunk 4 went out once and five times more; end_update never did.
    const auto chunks = link.output->getChunks();
    ASSERT_EQ (chunks.size(), 9u);
    for (size_t i = 4; i < chunks.size(); ++i)
        EXPECT_EQ (chunks[i].bytes, chunks[3].bytes);
    EXPECT_EQ (link.output->getSent().back().command(), chunkCommand);
}

//==============================================================================
namespace
{
class UpdateDriverTest : public FirmwareTest
{
protected:
    void SetUp() override
    {
        FirmwareTest::SetUp();
        backend.addInstrument (instrument);
        instrument.setLatencyMs (0);
        Platform::setMidiBackend (&backend);
        LPC23XXUpdater::getInstance().setTiming ({ 400, 300, 5 });
    }

    void TearDown() override
    {
        LPC23XXUpdater::getInstance().setTiming ({});
        Platform::setMidiBackend (nullptr);
        FirmwareTest::TearDown();
    }

    juce::File shippedImage() { return writeContainer (makeShippedFirmwareImage()); }

    int updateWindows() const
    {
        int count = 0;
        for (auto& r : dialogs.getRecords (ScriptedDialogs::Kind::progressWindow))
            count += r.title == "Firmware update:" ? 1 : 0;
        return count;
    }

    void expectCompletion()
    {
        expectOneBox (DialogIcon::info, "Firmware update: complete",
                      "The firmware has been successfully updated!\n Please reboot your Varok, then only press OK.");
        EXPECT_EQ (updateWindows(), 1);
        EXPECT_EQ (backend.getNumOpenInputs() + backend.getNumOpenOutputs(), 0);

        // Restarted into its new firmware, the instrument reports it to a detection.
        HWDetector::setExpectedFamily (0x04, 0x00);
        HWDetector::setExpectedMember (0x02, 0x01);
        HWUpdater::MidiCallback ignore (LPC23XXUpdater::getInstance());
        std::unique_ptr<MidiInputPort> input;
        std::unique_ptr<MidiOutputPort> output;
        ASSERT_TRUE (waitUntil ([&] { return HWDetector::detect (&ignore, input, output); }, 3000));
        input->stop();
        uint8 v[4]{};
        HWDetector::getFirmwareVersion (v[0], v[1], v[2], v[3]);
        EXPECT_EQ (Bytes (v, v + 4), (Bytes{ 1, 0, 3, 2 }));
    }

    EmulatedInstrument instrument;
    EmulatedMidiBackend backend;
};
} // namespace

TEST_F (UpdateDriverTest, AnInstrumentInItsBootloaderIsUpdatedWithoutTheUpdateRequest)
{
    instrument.setMode (Mode::bootloader);
    EXPECT_TRUE (HWUpdater::update (shippedImage()));
    EXPECT_EQ (instrument.countReceived (0x00), 0);
    EXPECT_EQ (instrument.countReceived (0x01), 1);
    expectCompletion();
}

TEST_F (UpdateDriverTest, AnInstrumentRunningItsFirmwareIsAskedOnceThenFoundInItsBootloader)
{
    LPC23XXUpdater::getInstance().setTiming ({}); // the product's five seconds to restart
    ASSERT_EQ (instrument.getFirmwareVersion(), (Version{ 1, 0, 2, 0 }));

    const auto started = juce::Time::getMillisecondCounter();
    EXPECT_TRUE (HWUpdater::update (shippedImage()));
    EXPECT_GE (juce::Time::getMillisecondCounter() - started, 5000u);
    EXPECT_EQ (instrument.countReceived (0x00), 1);
    expectCompletion();
}

TEST_F (UpdateDriverTest, AFileWithoutAnImageShowsOneBoxAndLeavesTheInstrumentAlone)
{
    const auto missing = folder.getChildFile ("missing.tvk");
    const auto foreign = write ("foreign.tvk", juce::MemoryBlock ("not a container", 15));
    const auto empty = writeContainer ({});

    for (auto& [file, title] :
         std::initializer_list<std::pair<juce::File, juce::String>>{ { missing, "Loading error" },
                                                                     { foreign, "Checking error" },
                                                                     { empty, "Checking error" } })
    {
        SCOPED_TRACE (file.getFileName());
        dialogs.clear();
        EXPECT_FALSE (HWUpdater::update (file));
        expectOneBox (DialogIcon::warning, title);
        EXPECT_EQ (dialogs.count (ScriptedDialogs::Kind::progressWindow), 0);
    }

    EXPECT_FALSE (missing.exists());
    EXPECT_EQ (instrument.countAllReceived(), 0);
}

TEST_F (UpdateDriverTest, AnInstrumentNotFoundOrLostEndsInAnErrorBox)
{
    instrument.setUnplugged (true);
    EXPECT_FALSE (HWUpdater::update (shippedImage()));
    expectOneBox (DialogIcon::warning, "Update error",
                  "Unable to prepare the Device for update.\nPlease check your connections.");
    EXPECT_EQ (updateWindows(), 0);

    dialogs.clear();
    instrument.setUnplugged (false);
    instrument.setMode (Mode::bootloader);
    instrument.losePowerAfterChunk (10);
    EXPECT_FALSE (HWUpdater::update (shippedImage()));
    EXPECT_EQ (updateWindows(), 1);
    expectOneBox (DialogIcon::warning, "Update error");
    EXPECT_TRUE (boxes()[0].message.contains ("stopped answering"));
    EXPECT_TRUE (boxes()[0].message.contains ("Firmware Update tab"));
    EXPECT_EQ (backend.getNumOpenInputs() + backend.getNumOpenOutputs(), 0);

    // Plugged in again it is still in its bootloader, and a new update recovers it.
    dialogs.clear();
    instrument.clearFaults();
    instrument.setLatencyMs (0);
    instrument.setUnplugged (false);
    EXPECT_TRUE (HWUpdater::update (shippedImage()));
    expectCompletion();
}
