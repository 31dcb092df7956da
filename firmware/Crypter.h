#pragma once

#include <juce_core/juce_core.h>

#include <vector>

namespace tarnovelle
{

using juce::uint8;

/** The repeating-key XOR of the firmware container.

    The key stream starts at key byte 4 (modulo the key length) and carries on from one call
    of apply to the next, so a file may be processed in pieces. Enciphering and deciphering
    are the same operation.
*/
class Crypter final
{
public:
    /** Keeps a private copy of the key. */
    Crypter (const uint8* key, int keyLength);

    /** The key byte that the first byte of a stream is combined with. */
    static constexpr int firstKeyByte = 4;

    /** XORs count bytes in place with the next bytes of the key stream. */
    void apply (uint8* buffer, size_t count) noexcept;

private:
    std::vector<uint8> mKey;
    size_t mPosition = 0;

    JUCE_DECLARE_NON_COPYABLE_WITH_LEAK_DETECTOR (Crypter)
};

} // namespace tarnovelle
