// The firmware container, transfers to the emulated bootloader with real threads, and whole
// updates through the update driver with its detections, progress window and boxes.

#include "app/HWDetector.h"
#include "emulator/FirmwareImage.h"
#include "firmware/CryptedDataFile.h"
#include "firmware/Crypter.h"
#include "firmware/FirmwareFile.h"
#include "firmware/HWUpdater.h"
#include "tests/support/InstrumentRig.h"

#include <gtest/gtest.h>

#include <functional>
#include <mutex>
#include <vector>

using namespace tarnovelle;

namespace
{
using Bytes = std::vector<uint8>;
using Mode = EmulatedInstrument::Mode;
using Version = EmulatedInstrument::Version;
using test::InstrumentRig;
using Kind = ScriptedDialogs::Kind;
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

Bytes bytesOf (const juce::MemoryBlock& b)
{
    return Bytes (static_cast<const uint8*> (b.getData()), static_cast<const uint8*> (b.getData()) + b.getSize());
}

Bytes readAll (juce::InputStream& stream)
{
    juce::MemoryBlock block;
    stream.readIntoMemoryBlock (block);
    return bytesOf (block);
}

/** Scripted dialogs, an emulated instrument on the MIDI ports, and a folder for the test's files. */
class FirmwareTest : public ::testing::Test
{
protected:
    FirmwareTest() { folder.createDirectory(); }
    ~FirmwareTest() override { folder.deleteRecursively(); }

    juce::File write (const juce::String& name, const juce::MemoryBlock& bytes)
    {
        // replaceWithData deletes the file when there are no bytes; an empty file is wanted then.
        auto file = folder.getChildFile (name);
        EXPECT_TRUE (bytes.isEmpty() ? file.create().wasOk() : file.replaceWithData (bytes.getData(), bytes.getSize()));
        return file;
    }

    juce::File writeContainer (const juce::MemoryBlock& payload, uint8 separator = 0)
    {
        return write (FirmwareFile::name,
                      CryptedDataFile::encipher (FirmwareFile::magic, payload.getData(), payload.getSize(), separator));
    }

    void expectOneBox (DialogIcon icon, const juce::String& title, const juce::String& message = {})
    {
        const auto shown = rig.dialogs.getRecords (Kind::messageBox);
        ASSERT_EQ (shown.size(), 1u);
        EXPECT_EQ (shown[0].icon, icon);
        EXPECT_EQ (shown[0].title, title);
        EXPECT_TRUE (message.isEmpty() || shown[0].message == message) << shown[0].message;
    }

    InstrumentRig rig;
    juce::File folder = juce::File::getSpecialLocation (juce::File::tempDirectory).getNonexistentChildFile ("tvk", "");
};
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
        uint8 head[28];
        ASSERT_TRUE (stream != nullptr && stream->read (head, 28) == 28);

        // A second request hands out the same stream, 28 bytes in.
        EXPECT_EQ (container.getPayloadStream(), stream);
        EXPECT_EQ (readAll (*container.getPayloadStream()), Bytes (payload.begin() + 28, payload.end()));
    }

    // The magic and the separator alone: an empty payload.
    CryptedDataFile empty (writeContainer ({}), FirmwareFile::magic);
    ASSERT_EQ (empty.getFile().getSize(), 25);
    ASSERT_NE (empty.getPayloadStream(), nullptr);
    EXPECT_EQ (empty.getPayloadStream()->getTotalLength(), 0);
    EXPECT_EQ (rig.dialogs.count (Kind::messageBox), 0);
}

TEST_F (FirmwareTest, ContainerRefusesOtherFilesWithOneBox)
{
    // Enciphered from key byte 0 instead of key byte 4.
    juce::MemoryBlock fromByteZero (FirmwareFile::magic, 24);
    fromByteZero.append ("\0payload", 8);
    for (size_t i = 0; i < fromByteZero.getSize(); ++i)
        fromByteZero[i] = (char) (fromByteZero[i] ^ FirmwareFile::magic[i % 24]);

    const auto good = CryptedDataFile::encipher (FirmwareFile::magic, "abc", 3);
    const juce::MemoryBlock magicOnly (good.getData(), 24), nothing, foreign (randomBytes (200, 3).data(), 200);

    for (auto* bytes : std::initializer_list<const juce::MemoryBlock*>{ &fromByteZero, &magicOnly, &nothing, &foreign })
    {
        rig.dialogs.clear();
        CryptedDataFile container (write ("other.tvk", *bytes), FirmwareFile::magic);
        EXPECT_EQ (container.getPayloadStream(), nullptr);
        expectOneBox (DialogIcon::warning, "Checking error", "This file is not a Tarnovelle crypted firmware file.");
    }

    // A missing file is reported and never created, nor its folder.
    rig.dialogs.clear();
    const auto missing = folder.getChildFile ("gone").getChildFile (FirmwareFile::name);
    CryptedDataFile container (missing, FirmwareFile::magic);
    EXPECT_EQ (container.getPayloadStream(), nullptr);
    expectOneBox (DialogIcon::warning, "Loading error", "Unable to open the data file.");
    EXPECT_FALSE (missing.getParentDirectory().exists());
}

TEST (ShippedFirmwareFile, LiesNextToTheExecutableAndHoldsVersion1032)
{
    InstrumentRig rig (false);
    const auto file = getShippedFirmwareFile();
    EXPECT_EQ (file.getFileName(), juce::String ("Tarnovelle_Firmware_Release_V1.0.3.2.tvk"));
    EXPECT_EQ (file.getParentDirectory(),
               juce::File::getSpecialLocation (juce::File::currentExecutableFile).getParentDirectory());

    CryptedDataFile container (file, FirmwareFile::magic);
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

    std::vector<Sent> getSent (int command = -1) const
    {
        const std::lock_guard<std::mutex> lock (mutex);
        std::vector<Sent> result;

        for (auto& s : sent)
            if (command < 0 || s.command() == command)
                result.push_back (s);

        return result;
    }

private:
    std::unique_ptr<MidiOutputPort> target;
    const LPC23XXUpdater& updater;
    mutable std::mutex mutex;
    std::vector<Sent> sent;
};

/** Checks what went out for an image of that many chunks: start_update first, end_update last;
    each message carries the next counter, modulo 128, and a repetition the same one; when a
    chunk goes out the progress shows the chunks sent before it, and a repetition does not move
    it; the chunks carry the image, each once, 28 bytes but the last.
*/
void expectTransferOf (const Bytes& image, const std::vector<Sent>& sent)
{
    ASSERT_GE (sent.size(), 2u);
    EXPECT_EQ (sent.front().command(), 0x01);
    EXPECT_EQ (sent.front().counter(), 0);
    EXPECT_EQ (sent.back().command(), 0x02);
    const auto totalChunks = (int) (image.size() + 27) / 28;
    Bytes carried;

    for (size_t i = 1; i < sent.size(); ++i)
    {
        const bool repeated = sent[i].bytes == sent[i - 1].bytes;
        ASSERT_EQ (sent[i].counter(), repeated ? sent[i - 1].counter() : (sent[i - 1].counter() + 1) % 128) << i;

        if (sent[i].command() != chunkCommand || repeated)
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

/** An updater linked to an emulated instrument in its bootloader (or to nothing). */
struct BootloaderLink
{
    explicit BootloaderLink (bool withInstrument = true, LPC23XXUpdater::Timing timing = { 0, 300, 5 })
    {
        backend.addInstrument (instrument);
        instrument.setMode (Mode::bootloader);
        instrument.setLatencyMs (0);
        updater.setTiming (timing);
        input = backend.openInput (0, &callback);
        input->start();
        output = std::make_unique<RecordingOutput> (withInstrument ? backend.openOutput (0) : nullptr, updater);
    }

    ~BootloaderLink()
    {
        updater.stopUpdate();
        input->stop();
    }

    bool start (const Bytes& image)
    {
        // A copy: the transfer reads the image on its own thread after the caller's may be gone.
        stream = std::make_unique<juce::MemoryInputStream> (image.data(), image.size(), true);
        return updater.startUpdate (output.get(), stream.get());
    }

    bool finish (int timeoutMs = 20000)
    {
        InstrumentRig::waitFor ([this] { return ! updater.isUpdating(); }, timeoutMs);
        updater.stopUpdate();
        return updater.wasSuccessful();
    }

    bool runsFirmware (Version version)
    {
        return InstrumentRig::waitFor ([&] { return instrument.getMode() == Mode::application; }, 2000)
               && instrument.getFirmwareVersion() == version;
    }

    /** An acknowledgement written by hand, passed to the update's MIDI callback as the input
        would deliver it.
    */
    void acknowledge (int counter, int lengthByte, const Bytes& raw)
    {
        uint8 encoded[40]{}, checksum = 0;
        int encodedSize = (int) sizeof (encoded);
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
        InstrumentRig::waitFor ([&] { return output->getSent().size() >= count; }, 1000);
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
    BootloaderLink link (false, { 0, 5000, 5 });
    const auto image = randomBytes (29, 4);
    ASSERT_TRUE (link.start (image));
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

    EXPECT_EQ (link.output->getSent().back().bytes, (Bytes{ 0xf0, 0x00, 0x5c, 0x3d, 0x05, 0x01, 3, 0x00, 0x02, 0xf7 }));
    expectTransferOf (image, link.output->getSent());
    EXPECT_EQ (link.updater.getProgress(), 1.0);
}

TEST (BootloaderTransfer, ImagesOfNoneOneTwoAndThousandsOfChunks)
{
    for (size_t size : { 0, 28, 29, 300 * 1024 })
    {
        SCOPED_TRACE (size);
        BootloaderLink link;
        const bool small = size < 100;
        link.instrument.setLatencyMs (small ? 100 : 0); // so that the first progress is seen
        const auto image = small ? randomBytes (size, 5) : bytesOf (imageOfVersion ({ 1, 0, 4, 0 }, size));

        ASSERT_TRUE (link.start (image));
        EXPECT_TRUE (link.updater.isUpdating());

        // Unslowed, the large image's first acknowledgements may already be in: it is only
        // known to be under way.
        if (small)
            EXPECT_EQ (link.updater.getProgress(), size == 0 ? 1.0 : 0.0);
        else
            EXPECT_LT (link.updater.getProgress(), 1.0);
        EXPECT_TRUE (link.finish());
        EXPECT_EQ (link.output->getSent().size(), (image.size() + 27) / 28 + 2);
        expectTransferOf (image, link.output->getSent());
        EXPECT_TRUE (size < 100 || link.runsFirmware ({ 1, 0, 4, 0 }));
    }
}

TEST (BootloaderTransfer, AnUnacceptedMessageIsSentAgainWithTheSameCounter)
{
    struct Case
    {
        const char* fault;
        std::function<void (EmulatedInstrument&)> setUp;
        int repeated; // the message sent twice, or -1
        juce::uint32 afterMs;
        LPC23XXUpdater::Timing timing;
    };

    const auto image = bytesOf (imageOfVersion ({ 1, 0, 3, 5 }, 168));
    const std::vector<Case> cases{
        { "start_update rejected with FF", [] (auto& i) { i.rejectChunkOnce (0, 0xff); }, 0, 0, { 0, 300, 5 } },
        { "start_update rejected with FE", [] (auto& i) { i.rejectChunkOnce (0, 0xfe); }, 0, 0, { 0, 300, 5 } },
        { "chunk 3 rejected with FF", [] (auto& i) { i.rejectChunkOnce (3, 0xff); }, 3, 0, { 0, 300, 5 } },
        { "chunk 3 rejected with FE", [] (auto& i) { i.rejectChunkOnce (3, 0xfe); }, 3, 0, { 0, 300, 5 } },
        { "chunk 2 answered with another counter",
          [] (auto& i) { i.acknowledgeWithWrongCounterOnce (2); },
          2,
          250,
          { 0, 300, 5 } },
        { "chunk 3's answer lost: the product's 2 s", [] (auto& i) { i.dropAcknowledgementOnce (3); }, 3, 1950, {} },
        { "acknowledgements without payload",
          [] (auto& i) { i.setAcknowledgeWithoutPayload (true); },
          -1,
          0,
          { 0, 300, 5 } },
    };

    for (auto& c : cases)
    {
        SCOPED_TRACE (c.fault);
        BootloaderLink link (true, c.timing);
        c.setUp (link.instrument);
        ASSERT_TRUE (link.start (image) && link.finish());

        const auto sent = link.output->getSent();
        ASSERT_EQ (sent.size(), (image.size() + 27) / 28 + (c.repeated < 0 ? 2 : 3));
        expectTransferOf (image, sent);
        EXPECT_TRUE (link.runsFirmware ({ 1, 0, 3, 5 }));

        if (c.repeated >= 0)
        {
            const auto& first = sent[(size_t) c.repeated];
            EXPECT_EQ (first.bytes, sent[(size_t) c.repeated + 1].bytes);
            EXPECT_GE (sent[(size_t) c.repeated + 1].time - first.time, c.afterMs);
            EXPECT_LE (sent[(size_t) c.repeated + 1].time - first.time, c.afterMs + 650);
        }
    }
}

TEST (BootloaderTransfer, AnInstrumentThatLostPowerEndsTheTransferAsFailed)
{
    BootloaderLink link (true, { 0, 100, 5 });
    link.instrument.losePowerAfterChunk (3);
    ASSERT_TRUE (link.start (bytesOf (imageOfVersion ({ 1, 0, 3, 9 }, 300))));
    EXPECT_FALSE (link.finish());
    EXPECT_EQ (link.updater.getOutcome(), LPC23XXUpdater::Outcome::failed);

    // Chunk 4 went out once and five times more; end_update never did.
    const auto sent = link.output->getSent();
    ASSERT_EQ (sent.size(), 10u);
    for (size_t i = 5; i < sent.size(); ++i)
        EXPECT_EQ (sent[i].bytes, sent[4].bytes);
}

//==============================================================================
namespace
{
class UpdateDriverTest : public FirmwareTest
{
protected:
    UpdateDriverTest()
    {
        rig.instrument.setLatencyMs (0);
        LPC23XXUpdater::getInstance().setTiming ({ 400, 300, 5 });
    }

    ~UpdateDriverTest() override { LPC23XXUpdater::getInstance().setTiming ({}); }

    juce::File shippedImage() { return writeContainer (makeShippedFirmwareImage()); }

    int updateWindows() const
    {
        int count = 0;
        for (auto& r : rig.dialogs.getRecords (Kind::progressWindow))
            count += r.title == "Firmware update:" ? 1 : 0;
        return count;
    }

    void expectCompletion()
    {
        expectOneBox (DialogIcon::info, "Firmware update: complete",
                      "The firmware has been successfully updated!\n Please reboot your Varok, then only press OK.");
        EXPECT_EQ (updateWindows(), 1);
        EXPECT_EQ (rig.midi.getNumOpenInputs() + rig.midi.getNumOpenOutputs(), 0);

        // Restarted into its new firmware, the instrument reports it to a detection.
        HWDetector::setExpectedFamily (0x04, 0x00);
        HWDetector::setExpectedMember (0x02, 0x01);
        HWUpdater::MidiCallback ignore (LPC23XXUpdater::getInstance());
        std::unique_ptr<MidiInputPort> input;
        std::unique_ptr<MidiOutputPort> output;
        ASSERT_TRUE (InstrumentRig::waitFor ([&] { return HWDetector::detect (&ignore, input, output); }, 3000));
        input->stop();
        uint8 v[4]{};
        HWDetector::getFirmwareVersion (v[0], v[1], v[2], v[3]);
        EXPECT_EQ (Bytes (v, v + 4), (Bytes{ 1, 0, 3, 2 }));
    }
};
} // namespace

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
        EXPECT_TRUE (HWUpdater::update (shippedImage()));
        EXPECT_EQ (juce::Time::getMillisecondCounter() - started >= 5000u, mode == Mode::application);
        EXPECT_EQ (rig.instrument.countReceived (0x00), mode == Mode::application ? 1 : 0);
        EXPECT_EQ (rig.instrument.countReceived (0x01), 1);
        expectCompletion();
    }
}

TEST_F (UpdateDriverTest, AFileWithoutAnImageShowsOneBoxAndLeavesTheInstrumentAlone)
{
    const auto missing = folder.getChildFile ("missing.tvk");
    const std::pair<juce::File, const char*> files[] = { { missing, "Loading error" },
                                                         { write ("foreign.tvk", { "not a container", 15 }),
                                                           "Checking error" },
                                                         { writeContainer ({}), "Checking error" } };

    for (auto& [file, title] : files)
    {
        SCOPED_TRACE (file.getFileName());
        rig.dialogs.clear();
        EXPECT_FALSE (HWUpdater::update (file));
        expectOneBox (DialogIcon::warning, title);
        EXPECT_EQ (rig.dialogs.count (Kind::progressWindow), 0);
    }

    EXPECT_FALSE (missing.exists());
    EXPECT_EQ (rig.instrument.countAllReceived(), 0);
}

TEST_F (UpdateDriverTest, AnInstrumentNotFoundOrLostEndsInAnErrorBox)
{
    rig.instrument.setUnplugged (true);
    EXPECT_FALSE (HWUpdater::update (shippedImage()));
    expectOneBox (DialogIcon::warning, "Update error",
                  "Unable to prepare the Device for update.\nPlease check your connections.");
    EXPECT_EQ (updateWindows(), 0);

    rig.dialogs.clear();
    rig.instrument.setUnplugged (false);
    rig.instrument.setMode (Mode::bootloader);
    rig.instrument.losePowerAfterChunk (10);
    EXPECT_FALSE (HWUpdater::update (shippedImage()));
    EXPECT_EQ (updateWindows(), 1);
    expectOneBox (DialogIcon::warning, "Update error");
    const auto message = rig.dialogs.getRecords (Kind::messageBox)[0].message;
    EXPECT_TRUE (message.contains ("stopped answering") && message.contains ("Firmware Update tab")) << message;
    EXPECT_EQ (rig.midi.getNumOpenInputs() + rig.midi.getNumOpenOutputs(), 0);

    // Plugged in again it is still in its bootloader, and a new update recovers it.
    rig.dialogs.clear();
    rig.instrument.clearFaults();
    rig.instrument.setLatencyMs (0);
    rig.instrument.setUnplugged (false);
    EXPECT_TRUE (HWUpdater::update (shippedImage()));
    expectCompletion();
}
