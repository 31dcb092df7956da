#include "protocol/ActionVocabulary.h"
#include "protocol/DeviceSettings.h"
#include "protocol/SysexMessage.h"

#include <gtest/gtest.h>

#include <vector>

using namespace tarnovelle;

namespace
{
std::vector<int> bytesOf (const SysexMessage& m) { return std::vector<int> (m.data(), m.data() + m.size()); }

SysexMessage frameWithCounter (int counter, uint8 command, std::vector<uint8> payload, bool packed)
{
    setMessageCounter (counter);
    return SysexMessage (command, payload.data(), (uint8) payload.size(), 0x01, packed);
}
} // namespace

TEST (SysexFrame, FramesAreByteExactWithTheCounterWrappingAfter127)
{
    using Bytes = std::vector<int>;
    const auto bend = getDeviceSettingInfo (DeviceSetting::BEND);

    // Setting BEND to 12, reading it, and empty raw and packed frames; each frame takes the
    // next counter, raw or packed, 127 followed by 0. The frames are written out byte for byte,
    // the maker's ID included, rather than built from the program's constants: this is where
    // those constants are checked.
    EXPECT_EQ (bytesOf (frameWithCounter (127, bend.setCommand, { 12 }, false)),
               (Bytes{ 0xf0, 0x00, 0x5c, 0x3d, 0x05, 0x01, 127, 0x01, 0x2c, 0x0c, 0xf7 }));
    EXPECT_EQ (bytesOf (SysexMessage (bend.getCommand(), nullptr, 0, 0x01, false)),
               (Bytes{ 0xf0, 0x00, 0x5c, 0x3d, 0x05, 0x01, 0, 0x00, 0x2d, 0xf7 }));
    EXPECT_EQ (bytesOf (SysexMessage (0x42, nullptr, 0, 0x01, true)),
               (Bytes{ 0xf0, 0x00, 0x5c, 0x3d, 0x05, 0x01, 1, 0x00, 0x42, 0x00, 0xf7 }));
}

TEST (SysexFrame, PackedLengthByteAndAPayloadThatDoesNotFit)
{
    // The length byte counts the unpacked bytes; the frame holds their packed groups.
    for (auto [n, encoded] : { std::pair{ 7, 8 }, { 8, 16 }, { 28, 32 } })
    {
        auto m = frameWithCounter (0, 0x03, std::vector<uint8> ((size_t) n, 0x55), true);
        EXPECT_EQ (m.byteAt (7), n);
        EXPECT_EQ (m.size(), 11 + encoded);
        EXPECT_EQ (m.byteAt (m.size() - 1), 0xf7);
    }

    // What does not fit gives an empty message, which is never sent.
    EXPECT_EQ (frameWithCounter (0, 0x03, std::vector<uint8> (29, 1), true).size(), 0);
    EXPECT_EQ (frameWithCounter (0, 0x3a, std::vector<uint8> (39, 1), false).size(), 0);
    EXPECT_EQ (frameWithCounter (0, 0x3a, std::vector<uint8> (38, 1), false).size(), 48);
}

TEST (PayloadPacking, KnownExampleRefusalsAndChecksumFaults)
{
    const uint8 abc[] = { 0x61, 0x62, 0x63 };
    uint8 encoded[40];
    int capacity = 8;
    uint8 checksum = 0;
    ASSERT_EQ (packPayload (abc, 3, encoded, capacity, checksum), 0);
    EXPECT_EQ (checksum, 0x26);
    EXPECT_EQ (std::vector<int> (encoded, encoded + capacity),
               (std::vector<int>{ 0x30, 0x31, 0x31, 0, 0, 0, 0, 0x05 }));

    const uint8 twentyNine[29] = {};
    capacity = 32;
    EXPECT_EQ (packPayload (twentyNine, 29, encoded, capacity, checksum), -1);
    EXPECT_EQ (capacity, 32);

    const uint8 seven[] = { 1, 2, 3, 4, 5, 6, 7 };
    capacity = 16;
    ASSERT_EQ (packPayload (seven, 7, encoded, capacity, checksum), 0);

    uint8 decoded[7];
    EXPECT_EQ (unpackPayload (encoded, 7, 16, decoded, checksum), -1);

    std::vector<uint8> flipped (encoded, encoded + 8);
    flipped[7] ^= 0x01; // bit 0 of the first byte
    EXPECT_EQ (unpackPayload (flipped.data(), 7, 8, decoded, checksum), -3);

    flipped.assign (encoded, encoded + 8);
    flipped[2] ^= 0x40; // bit 7 of the third byte: lost by the 7-bit checksum
    EXPECT_EQ (unpackPayload (flipped.data(), 7, 8, decoded, checksum), 0);
    EXPECT_EQ (decoded[2], seven[2] + 128);
}

TEST (PayloadPacking, RoundTripOfEveryLengthAndByteValue)
{
    for (int n = 0; n <= 28; ++n)
    {
        for (int first = 0; first < 256; first += 7)
        {
            std::vector<uint8> source ((size_t) n);

            for (int i = 0; i < n; ++i)
                source[(size_t) i] = (uint8) (first + i * 37);

            uint8 encoded[32];
            int capacity = 32;
            uint8 checksum = 0;
            ASSERT_EQ (packPayload (source.data(), n, encoded, capacity, checksum), 0);

            for (int i = 0; i < capacity; ++i)
                ASSERT_LT (encoded[i], 0x80) << "encoded bytes must be 7-bit";

            std::vector<uint8> decoded ((size_t) n + 1, 0xee); // and nothing written past n bytes
            ASSERT_EQ (unpackPayload (encoded, n, capacity, decoded.data(), checksum), 0);
            source.push_back (0xee);
            ASSERT_EQ (decoded, source) << "n = " << n;
        }
    }
}

TEST (ReceivedMessage, ReadsStayWithinTheMessage)
{
    const uint8 shortFrame[] = { 0xf0, 0x00, 0x5c, 0xf7 };
    const SysexMessage m (shortFrame, 4);
    EXPECT_EQ (m.byteAt (8), 0);
    EXPECT_EQ (m.byteAt (-1), 0);
    EXPECT_FALSE (m.isValidFrame());

    std::vector<uint8> overlong (60, 0x10);
    overlong.front() = 0xf0;
    overlong.back() = 0xf7;
    const SysexMessage big (overlong.data(), (int) overlong.size());
    EXPECT_EQ (big.size(), SysexMessage::capacity);
    EXPECT_FALSE (big.isValidFrame());

    // A length byte that announces more than the caller's buffer holds is refused untouched.
    const uint8 payload[] = { 9, 8, 7 };
    setMessageCounter (0);
    const SysexMessage ack (0x04, payload, 3, 0x01, true);
    uint8 out[2] = { 0xaa, 0xaa };
    int length = 3;
    EXPECT_EQ (ack.decodePayload (out, length, 9, ack.size() - 11, 2), -1);
    EXPECT_EQ (out[0], 0xaa);

    uint8 whole[28];
    EXPECT_EQ (ack.decodePayload (whole, length, 9, ack.size() - 11, 28), 0);
    EXPECT_EQ (std::vector<int> (whole, whole + 3), (std::vector<int>{ 9, 8, 7 }));

    // Encoded bytes that would lie past the end of the message are never read.
    EXPECT_EQ (ack.decodePayload (whole, length, 9, 40, 28), -1);
}

TEST (ActionVocabulary, CodesAreCaseSensitiveAndValuesKeepTheirLowEightBits)
{
    // (Every code as the widgets send it, padded to five characters, is a case of their tests;
    // the hub's prefix rules are a case of its own.)
    EXPECT_EQ (findAction ("bend 3"), nullptr);
    EXPECT_EQ (getActionValue ("BEND 300"), 300 & 0xff);
}

TEST (SettingsCatalogue, CommandNumbersAreTheInstrumentsAndReplyLookupsFindThem)
{
    // Written out here rather than taken from the catalogue: the emulated instrument looks its
    // setting commands up in the catalogue too, so this is where a wrong number would show.
    const std::pair<const char*, int> setCommands[] = { { "MIN", 0x05 },  { "MOUT", 0x07 }, { "MKEY", 0x0b },
                                                        { "LKEY", 0x0d }, { "LFO", 0x0f },  { "VELO", 0x11 },
                                                        { "TAP", 0x2a },  { "BEND", 0x2c }, { "ARP", 0x2e },
                                                        { "AFTE", 0x32 }, { "INGN", 0x34 }, { "GLEN", 0x36 },
                                                        { "STEP", 0x38 }, { "SYNC", 0x3c } };

    for (auto [code, command] : setCommands)
    {
        SCOPED_TRACE (code);
        const auto* info = findDeviceSettingByCode (code);
        ASSERT_NE (info, nullptr);
        EXPECT_EQ (info->setCommand, command);
        EXPECT_EQ (findDeviceSettingBySetCommand ((uint8) command), info);
        EXPECT_EQ (findDeviceSettingByGetCommand ((uint8) (command + 1)), info);
    }

    EXPECT_EQ (findDeviceSettingBySetCommand (0x06), nullptr); // a get command is no reply
}
