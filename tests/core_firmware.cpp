// The firmware container and the bootloader updater's handling of acknowledgements.

#include "firmware/CryptedDataFile.h"
#include "firmware/Crypter.h"
#include "firmware/FirmwareFile.h"
#include "firmware/HWUpdater.h"
#include "firmware/LPC23XXUpdater.h"
#include "platform/Platform.h"
#include "platform/ScriptedDialogs.h"

#include <gtest/gtest.h>

#include <cstring>
#include <functional>
#include <mutex>
#include <vector>

using namespace tarnovelle;

namespace
{
using Bytes = std::vector<uint8>;

const juce::String magic (FirmwareFile::magic);

Bytes randomBytes (size_t count, juce::int64 seed)
{
    juce::Random random (seed);
    Bytes bytes (count);

    for (auto& b : bytes)
        b = (uint8) random.nextInt (256);

    return bytes;
}

class ContainerTest : public ::testing::Test
{
protected:
    void SetUp() override
    {
        folder = juce::File::getSpecialLocation (juce::File::tempDirectory)
                     .getNonexistentChildFile ("tarnovelle_container", "");
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
        // replaceWithData deletes the file for no data at all; an empty file is wanted then.
        auto file = folder.getChildFile (name);
        EXPECT_TRUE (bytes.isEmpty() ? file.deleteFile() && file.create().wasOk()
                                     : file.replaceWithData (bytes.getData(), bytes.getSize()));
        return file;
    }

    juce::File writeContainer (const Bytes& payload, uint8 separator = 0)
    {
        return write ("firmware.tvk", CryptedDataFile::encipher (magic, payload.data(), payload.size(), separator));
    }

    std::vector<ScriptedDialogs::Record> boxes() const
    {
        return dialogs.getRecords (ScriptedDialogs::Kind::messageBox);
    }

    void expectOneBox (const juce::String& title, const juce::String& message)
    {
        const auto shown = boxes();
        ASSERT_EQ (shown.size(), 1u);
        EXPECT_EQ (shown[0].icon, DialogIcon::warning);
        EXPECT_EQ (shown[0].title, title);
        EXPECT_EQ (shown[0].message, message);
    }

    static Bytes readAll (juce::InputStream& stream)
    {
        juce::MemoryBlock block;
        stream.readIntoMemoryBlock (block);
        return Bytes (static_cast<const uint8*> (block.getData()),
                      static_cast<const uint8*> (block.getData()) + block.getSize());
    }

    juce::File folder;
    ScriptedDialogs dialogs;
};

/** An output that keeps every message sent to it and forwards nothing. */
class RecordingOutput final : public MidiOutputPort
{
public:
    void sendMessageNow (const juce::MidiMessage& message) override
    {
        const std::lock_guard<std::mutex> lock (mutex);
        sent.emplace_back (message.getRawData(), message.getRawData() + message.getRawDataSize());
    }

    juce::String getName() const override { return "recording"; }

    std::vector<Bytes> getSent() const
    {
        const std::lock_guard<std::mutex> lock (mutex);
        return sent;
    }

private:
    mutable std::mutex mutex;
    std::vector<Bytes> sent;
};

/** An acknowledgement as the bootloader builds it: its raw payload packed. */
juce::MidiMessage makeAcknowledgement (int counter, int lengthByte, const Bytes& raw)
{
    uint8 encoded[40]{};
    int encodedSize = (int) sizeof (encoded);
    uint8 checksum = 0;
    EXPECT_EQ (packPayload (raw.data(), (int) raw.size(), encoded, encodedSize, checksum), 0);

    Bytes bytes{ 0xf0, 0x00, 0x5c, 0x3d, 0x05, 0x01, (uint8) counter, (uint8) lengthByte, 0x04, checksum };
    bytes.insert (bytes.end(), encoded, encoded + encodedSize);
    bytes.push_back (0xf7);
    return juce::MidiMessage (bytes.data(), (int) bytes.size());
}

bool waitUntil (const std::function<bool()>& condition, int timeoutMs)
{
    const auto end = juce::Time::getMillisecondCounter() + (juce::uint32) timeoutMs;

    while (!condition())
    {
        if (juce::Time::getMillisecondCounter() > end)
            return false;

        juce::Thread::sleep (2);
    }

    return true;
}
} // namespace

//==============================================================================
TEST (FirmwareCrypter, KeyStreamStartsAtKeyByteFourAndCarriesOver)
{
    const auto* key = reinterpret_cast<const uint8*> (FirmwareFile::magic);
    const int n = (int) std::strlen (FirmwareFile::magic);
    ASSERT_EQ (n, 24);

    Bytes zeros (3 * (size_t) n + 5, 0);
    Crypter whole (key, n);
    whole.apply (zeros.data(), zeros.size());

    for (size_t i = 0; i < zeros.size(); ++i)
        ASSERT_EQ (zeros[i], key[(4 + i) % (size_t) n]) << "stream byte " << i;

    // Applied again in uneven pieces the same stream restores the bytes.
    Crypter pieces (key, n);
    pieces.apply (zeros.data(), 7);
    pieces.apply (zeros.data() + 7, 30);
    pieces.apply (zeros.data() + 37, zeros.size() - 37);
    EXPECT_EQ (zeros, Bytes (zeros.size(), 0));

    // A key shorter than four bytes starts at 4 modulo its length.
    const uint8 shortKey[] = { 0x10, 0x20, 0x30 };
    uint8 one[2] = { 0, 0 };
    Crypter shortCrypter (shortKey, 3);
    shortCrypter.apply (one, 2);
    EXPECT_EQ (one[0], 0x20);
    EXPECT_EQ (one[1], 0x30);
}

TEST_F (ContainerTest, LoadsThePayloadWhateverTheSeparator)
{
    const auto payload = randomBytes (1000, 1);

    for (int separator : { 0x00, 0x01, 0x7f, 0xff })
    {
        CryptedDataFile container (writeContainer (payload, (uint8) separator), magic);
        auto* stream = container.getPayloadStream();
        ASSERT_NE (stream, nullptr) << separator;
        EXPECT_EQ (readAll (*stream), payload);
    }

    EXPECT_TRUE (boxes().empty());
}

TEST_F (ContainerTest, MagicAndSeparatorAloneGiveAnEmptyPayload)
{
    const auto file = writeContainer ({});
    ASSERT_EQ (file.getSize(), 25);

    CryptedDataFile container (file, magic);
    ASSERT_NE (container.getPayloadStream(), nullptr);
    EXPECT_EQ (container.getPayloadStream()->getTotalLength(), 0);
    EXPECT_TRUE (boxes().empty());
}

TEST_F (ContainerTest, TheStreamIsSharedAndContinuesWhereTheLastReaderStopped)
{
    const auto payload = randomBytes (100, 2);
    CryptedDataFile container (writeContainer (payload), magic);

    auto* first = container.getPayloadStream();
    ASSERT_NE (first, nullptr);
    uint8 head[28];
    ASSERT_EQ (first->read (head, 28), 28);

    auto* second = container.getPayloadStream();
    EXPECT_EQ (second, first);
    EXPECT_EQ (second->getPosition(), 28);
    EXPECT_EQ (readAll (*second), Bytes (payload.begin() + 28, payload.end()));
}

TEST_F (ContainerTest, AFileThatIsNotOurContainerIsRefusedWithTheCheckingError)
{
    const juce::String checkingError ("This file is not a Tarnovelle crypted firmware file.");

    // Enciphered from key byte 0 instead of key byte 4.
    juce::MemoryBlock fromByteZero;
    fromByteZero.append (FirmwareFile::magic, 24);
    fromByteZero.append ("\0payload", 8);
    for (size_t i = 0; i < fromByteZero.getSize(); ++i)
        fromByteZero[i] = (char) (fromByteZero[i] ^ FirmwareFile::magic[i % 24]);

    const auto plain = CryptedDataFile::encipher (magic, "abc", 3);
    const auto tooShort = juce::MemoryBlock (plain.getData(), 24); // the magic without its separator
    const auto foreign = juce::MemoryBlock (randomBytes (200, 3).data(), 200);
    juce::MemoryBlock emptyFile;

    for (auto* bytes :
         std::initializer_list<const juce::MemoryBlock*>{ &fromByteZero, &tooShort, &foreign, &emptyFile })
    {
        dialogs.clear();
        CryptedDataFile container (write ("other.tvk", *bytes), magic);
        EXPECT_EQ (container.getPayloadStream(), nullptr);
        expectOneBox ("Checking error", checkingError);
    }

    // The right file read with another magic is refused the same way.
    dialogs.clear();
    CryptedDataFile otherKey (write ("other.tvk", plain), "SomeOtherMagicTextHere!!");
    EXPECT_EQ (otherKey.getPayloadStream(), nullptr);
    expectOneBox ("Checking error", checkingError);
}

TEST_F (ContainerTest, AMissingFileIsReportedAndNeverCreated)
{
    const auto missing = folder.getChildFile ("not there").getChildFile ("firmware.tvk");

    CryptedDataFile container (missing, magic);
    EXPECT_EQ (container.getPayloadStream(), nullptr);
    expectOneBox ("Loading error", "Unable to open the data file.");
    EXPECT_FALSE (missing.exists());
    EXPECT_FALSE (missing.getParentDirectory().exists());

    // A folder in the file's place is no file either.
    dialogs.clear();
    CryptedDataFile onFolder (folder, magic);
    EXPECT_EQ (onFolder.getPayloadStream(), nullptr);
    expectOneBox ("Loading error", "Unable to open the data file.");
}

//==============================================================================
// The updater against acknowledgements written by hand, delivered through the update's
// MIDI callback as the bootloader's input would deliver them.

class UpdaterAcknowledgementTest : public ::testing::Test
{
protected:
    void SetUp() override { updater.setTiming ({ 0, 5000, 5 }); }
    void TearDown() override { updater.stopUpdate(); }

    void deliver (const juce::MidiMessage& message) { callback.handleIncomingMidiMessage (nullptr, message); }

    bool waitForSent (size_t count) const
    {
        return waitUntil ([&] { return output.getSent().size() >= count; }, 2000);
    }

    /** Nothing more goes out for a while: the message was not taken as an answer. */
    void expectStillSent (size_t count) const
    {
        juce::Thread::sleep (250);
        EXPECT_EQ (output.getSent().size(), count);
    }

    Bytes image = randomBytes (29, 4);
    juce::MemoryInputStream source{ image.data(), image.size(), false };
    RecordingOutput output;
    LPC23XXUpdater updater;
    HWUpdater::MidiCallback callback{ updater };
};

TEST_F (UpdaterAcknowledgementTest, OnlyAcknowledgementsWithTheExpectedCounterMoveTheTransferOn)
{
    ASSERT_TRUE (updater.startUpdate (&output, &source));
    EXPECT_FALSE (updater.startUpdate (&output, &source)); // one transfer at a time
    ASSERT_TRUE (waitForSent (1));
    const auto startUpdate = output.getSent()[0];
    EXPECT_EQ (startUpdate, (Bytes{ 0xf0, 0x00, 0x5c, 0x3d, 0x05, 0x01, 0, 0x00, 0x01, 0xf7 }));
    EXPECT_EQ (updater.getProgress(), 0.0);

    // Too short to carry a command byte, another command, another counter: none is an answer.
    const uint8 shortMessage[] = { 0xf0, 0x00, 0x5c, 0x3d, 0x05, 0x01, 0x00, 0xf7 };
    deliver (juce::MidiMessage (shortMessage, (int) sizeof (shortMessage)));
    const Bytes setCommand{ 0xf0, 0x00, 0x5c, 0x3d, 0x05, 0x01, 0x00, 0x01, 0x05, 0x00, 0xf7 };
    deliver (juce::MidiMessage (setCommand.data(), (int) setCommand.size()));
    deliver (makeAcknowledgement (5, 1, { 0 }));
    expectStillSent (1);

    // A rejected start_update is sent again as it was; there is no chunk to repeat yet.
    deliver (makeAcknowledgement (0, 1, { 0xff }));
    ASSERT_TRUE (waitForSent (2));
    EXPECT_EQ (output.getSent()[1], startUpdate);

    // An acknowledgement announcing more than 28 bytes: its status is still read.
    Bytes longStatus (28, 0x33);
    longStatus[0] = 0x00;
    deliver (makeAcknowledgement (0, 40, longStatus));
    ASSERT_TRUE (waitForSent (3));
    const auto chunk1 = output.getSent()[2];
    EXPECT_EQ (chunk1[6], 1);
    EXPECT_EQ (chunk1[7], 28);
    EXPECT_EQ (chunk1[8], 0x03);

    // A status outside the table is no answer; no payload at all counts as accepted.
    deliver (makeAcknowledgement (1, 1, { 0x42 }));
    expectStillSent (3);
    deliver (makeAcknowledgement (1, 0, {}));
    ASSERT_TRUE (waitForSent (4));
    const auto chunk2 = output.getSent()[3];
    EXPECT_EQ (chunk2[6], 2);
    EXPECT_EQ (chunk2[7], 1);
    EXPECT_EQ (chunk2.size(), 19u);
    EXPECT_TRUE (waitUntil ([&] { return updater.getProgress() == 1.0; }, 1000));
    EXPECT_TRUE (updater.isUpdating()); // waiting for the last acknowledgement

    deliver (makeAcknowledgement (2, 1, { 0 }));
    ASSERT_TRUE (waitUntil ([&] { return !updater.isUpdating(); }, 2000));
    EXPECT_EQ (output.getSent().back(), (Bytes{ 0xf0, 0x00, 0x5c, 0x3d, 0x05, 0x01, 3, 0x00, 0x02, 0xf7 }));
    EXPECT_TRUE (updater.wasSuccessful());
    EXPECT_EQ (updater.getProgress(), 1.0);

    // After the transfer every acknowledgement is ignored.
    deliver (makeAcknowledgement (3, 1, { 0 }));
    expectStillSent (5);
}

TEST_F (UpdaterAcknowledgementTest, ABootloaderThatNeverAnswersEndsTheTransferAsFailed)
{
    updater.setTiming ({ 0, 100, 5 });
    const auto started = juce::Time::getMillisecondCounter();
    ASSERT_TRUE (updater.startUpdate (&output, &source));
    ASSERT_TRUE (waitUntil ([&] { return !updater.isUpdating(); }, 3000));
    const auto elapsed = juce::Time::getMillisecondCounter() - started;

    // The first sending and five more, each after 100 ms of silence.
    const auto sent = output.getSent();
    ASSERT_EQ (sent.size(), 6u);
    for (auto& message : sent)
        EXPECT_EQ (message, sent[0]);

    EXPECT_GE (elapsed, 550u);
    EXPECT_EQ (updater.getOutcome(), LPC23XXUpdater::Outcome::failed);
    EXPECT_FALSE (updater.wasSuccessful());
}
