#include "protocol/SysexMessage.h"

#include <atomic>
#include <cstring>

namespace tarnovelle
{

namespace
{
    std::atomic<int> messageCounter{ 0 };

    constexpr uint8 sysexStart = 0xf0;
    constexpr uint8 sysexEnd = 0xf7;
    constexpr uint8 productByte = 0x05;

    constexpr int encodedSizeFor (int n) noexcept { return ((n + 6) / 7) * 8; }

    /** Copies the current counter into a new frame, then advances it modulo 128. */
    uint8 takeMessageCounter() noexcept
    {
        auto current = messageCounter.load();
        messageCounter.store ((current + 1) % 128);
        return (uint8) (current & 0x7f);
    }
} // namespace

int getMessageCounter() noexcept { return messageCounter.load(); }

void setMessageCounter (int newValue) noexcept { messageCounter.store (newValue); }

int packPayload (const uint8* source, int n, uint8* output, int& capacity, uint8& checksum) noexcept
{
    const auto required = encodedSizeFor (n);

    if (n < 0 || capacity < required)
        return -1;

    uint8 sum = 0;

    for (int groupStart = 0, out = 0; groupStart < n; groupStart += 7, out += 8)
    {
        std::memset (output + out, 0, 8);
        const auto k = juce::jmin (7, n - groupStart);

        for (int i = 0; i < k; ++i)
        {
            const auto b = source[groupStart + i];
            output[out + i] = (uint8) (b >> 1);
            output[out + 7] = (uint8) (output[out + 7] | ((b & 1) << i));
            sum = (uint8) (sum + b);
        }
    }

    checksum = (uint8) (sum & 0x7f);
    capacity = required;
    return 0;
}

int unpackPayload (const uint8* encoded, int n, int encodedLength, uint8* output, uint8 checksum) noexcept
{
    const auto expected = (n / 7) * 8 + ((n % 7) != 0 ? 8 : 0);

    if (n < 0 || encodedLength != expected)
        return -1;

    uint8 sum = 0;

    for (int groupStart = 0, in = 0; groupStart < n; groupStart += 7, in += 8)
    {
        const auto k = juce::jmin (7, n - groupStart);

        for (int i = 0; i < k; ++i)
        {
            const auto b = (uint8) (((encoded[in + i] << 1) & 0xfe) | ((encoded[in + 7] >> i) & 1));
            output[groupStart + i] = b;
            sum = (uint8) (sum + b);
        }
    }

    return (sum & 0x7f) == (checksum & 0x7f) ? 0 : -3;
}

SysexMessage::SysexMessage (uint8 command, const uint8* payload, uint8 length, uint8 byte5, bool packed)
{
    const uint8 header[headerSize] = { sysexStart, makerId[0],           makerId[1], makerId[2], productByte,
                                       byte5,      takeMessageCounter(), length,     command };

    setSize (0);
    appendRaw (header, headerSize);

    const auto fits = packed ? appendPacked (payload, length) == 0 : mSize + (int) length + 1 <= capacity;

    if (! fits)
    {
        // A payload that does not fit gives an empty message, which is never sent.
        setSize (0);
        return;
    }

    if (! packed)
        appendRaw (payload, length);

    appendEnd();
}

SysexMessage::SysexMessage (const uint8* bytes, int count)
{
    setSize (0);

    if (bytes == nullptr || count <= 0)
        return;

    mOverlong = count > capacity;
    appendRaw (bytes, juce::jmin (count, (int) capacity));
}

uint8 SysexMessage::byteAt (int position) const noexcept
{
    return juce::isPositiveAndBelow (position, mSize) ? mData[position] : (uint8) 0;
}

bool SysexMessage::isValidFrame() const noexcept
{
    return ! mOverlong && mSize >= headerSize + 1 && mData[0] == sysexStart && mData[mSize - 1] == sysexEnd;
}

int SysexMessage::decodePayload (uint8* output, int& length, int checksumPosition, int encodedLength,
                                 int outputCapacity) const noexcept
{
    if (length < 0 || length > outputCapacity || encodedLength < 0)
        return -1;

    std::memset (output, 0, (size_t) length);

    const auto firstEncoded = checksumPosition + 1;

    if (checksumPosition < 0 || firstEncoded + encodedLength > mSize)
        return -1;

    return unpackPayload (mData + firstEncoded, length, encodedLength, output, mData[checksumPosition]);
}

void SysexMessage::setSize (int newSize) noexcept { mSize = juce::jlimit (0, (int) capacity, newSize); }

void SysexMessage::appendRaw (const uint8* bytes, int count) noexcept
{
    count = juce::jmin (count, capacity - mSize);

    if (bytes == nullptr || count <= 0)
        return;

    std::memcpy (mData + mSize, bytes, (size_t) count);
    mSize += count;
}

int SysexMessage::appendPacked (const uint8* bytes, int count) noexcept
{
    // Room for the checksum in front and F7 behind.
    int encoded_mSize = capacity - mSize - 2;
    uint8 checksum = 0;

    if (count > 0 && bytes == nullptr)
        return -1;

    const auto result = packPayload (bytes, count, mData + mSize + 1, encoded_mSize, checksum);

    if (result != 0)
        return result;

    mData[mSize] = checksum;
    mSize += encoded_mSize + 1;
    return 0;
}

void SysexMessage::appendEnd() noexcept
{
    if (mSize < capacity)
        mData[mSize++] = sysexEnd;
}

} // namespace tarnovelle
