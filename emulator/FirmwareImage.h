#pragma once

#include <juce_core/juce_core.h>

namespace tarnovelle
{

using juce::uint8;

/** The firmware image that the instrument's bootloader accepts.

        "TVFW"                      4 bytes, the magic
        version                     4 bytes, a.b.c.d, each 0 to 127
        body length                 uint32, little-endian
        body                        body length bytes
        CRC-32                      uint32, little-endian, over every byte before it

    This is the instrument's own format; the application only carries it through the
    enciphered container and the bootloader without looking inside.
*/
namespace FirmwareImage
{
    constexpr int headerSize = 12;
    constexpr int trailerSize = 4;

    /** Size of the shipped image's body: about what the instrument's flash holds. */
    constexpr int shippedBodySize = 96 * 1024;
} // namespace FirmwareImage

/** The standard CRC-32 (polynomial EDB88320, initial and final value FFFFFFFF). */
juce::uint32 computeCrc32 (const void* data, size_t size) noexcept;

/** Builds an image of the given version around the body. */
juce::MemoryBlock makeFirmwareImage (const uint8 version[4], const juce::MemoryBlock& body);

/** Checks an image: magic, version bytes within 0 to 127, body length matching the size, and
    the CRC. Returns true when it is sound; the version is then written to versionOut.
*/
bool parseFirmwareImage (const void* data, size_t size, uint8 versionOut[4]);

/** The image that ships with the application, of version FirmwareFile::version: a deterministic
    pseudo-random body of FirmwareImage::shippedBodySize bytes, the same on every build.
*/
juce::MemoryBlock makeShippedFirmwareImage();

} // namespace tarnovelle
