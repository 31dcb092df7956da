#include "emulator/FirmwareImage.h"

#include "firmware/FirmwareFile.h"

#include <array>
#include <cstring>

namespace tarnovelle
{

namespace
{
    constexpr char magic[4] = { 'T', 'V', 'F', 'W' };

    // The shipped body comes from a fixed generator and seed, so that every build writes the
    // same image (and the same firmware file) without depending on a library's generator.
    constexpr juce::uint32 shippedBodySeed = 0x54564657;

    juce::uint32 readLittleEndian32 (const uint8* bytes) noexcept
    {
        return (juce::uint32) bytes[0] | ((juce::uint32) bytes[1] << 8) | ((juce::uint32) bytes[2] << 16)
               | ((juce::uint32) bytes[3] << 24);
    }

    void appendLittleEndian32 (juce::MemoryBlock& block, juce::uint32 value)
    {
        const uint8 bytes[4] = { (uint8) value, (uint8) (value >> 8), (uint8) (value >> 16), (uint8) (value >> 24) };
        block.append (bytes, sizeof (bytes));
    }

    bool isVersionByte (uint8 b) noexcept { return b < 0x80; }
} // namespace

juce::uint32 computeCrc32 (const void* data, size_t size) noexcept
{
    static const auto table = [] {
        std::array<juce::uint32, 256> t{};

        for (juce::uint32 i = 0; i < 256; ++i)
        {
            auto c = i;

            for (int k = 0; k < 8; ++k)
                c = (c & 1u) != 0 ? 0xedb88320u ^ (c >> 1) : c >> 1;

            t[i] = c;
        }

        return t;
    }();

    auto crc = 0xffffffffu;
    auto* bytes = static_cast<const uint8*> (data);

    for (size_t i = 0; i < size; ++i)
        crc = table[(crc ^ bytes[i]) & 0xffu] ^ (crc >> 8);

    return crc ^ 0xffffffffu;
}

juce::MemoryBlock makeFirmwareImage (const uint8 version[4], const juce::MemoryBlock& body)
{
    juce::MemoryBlock image;
    image.append (magic, sizeof (magic));
    image.append (version, 4);
    appendLittleEndian32 (image, (juce::uint32) body.getSize());
    image.append (body.getData(), body.getSize());
    appendLittleEndian32 (image, computeCrc32 (image.getData(), image.getSize()));
    return image;
}

bool parseFirmwareImage (const void* data, size_t size, uint8 versionOut[4])
{
    constexpr size_t overhead = FirmwareImage::headerSize + FirmwareImage::trailerSize;

    if (data == nullptr || size < overhead)
        return false;

    auto* bytes = static_cast<const uint8*> (data);

    if (std::memcmp (bytes, magic, sizeof (magic)) != 0)
        return false;

    for (int i = 0; i < 4; ++i)
        if (! isVersionByte (bytes[4 + i]))
            return false;

    if ((size_t) readLittleEndian32 (bytes + 8) != size - overhead)
        return false;

    if (readLittleEndian32 (bytes + size - 4) != computeCrc32 (bytes, size - 4))
        return false;

    std::memcpy (versionOut, bytes + 4, 4);
    return true;
}

juce::MemoryBlock makeShippedFirmwareImage()
{
    juce::MemoryBlock body ((size_t) FirmwareImage::shippedBodySize);
    auto* bytes = static_cast<uint8*> (body.getData());
    auto x = shippedBodySeed;

    for (int i = 0; i < FirmwareImage::shippedBodySize; ++i)
    {
        // xorshift32
        x ^= x << 13;
        x ^= x >> 17;
        x ^= x << 5;
        bytes[i] = (uint8) (x >> 24);
    }

    return makeFirmwareImage (FirmwareFile::version, body);
}

} // namespace tarnovelle
