// SysexMessage from received bytes and its payload decoding: whatever the bytes and whatever
// the decoding parameters, nothing is read or written outside the message and the output; a
// frame built by the program decodes back to its payload.

#include "fuzz/FuzzTarget.h"

#include <memory>
#include <vector>

// Input: four parameter bytes (payload length, checksum position, encoded length, output
// capacity), then the message's bytes.
TARNOVELLE_FUZZ_TARGET (fuzzSysexMessage, 4, 0)
{
    const SysexMessage received (bytes, count);
    TARNOVELLE_FUZZ_CHECK (received.size() == std::min (count, SysexMessage::capacity));
    TARNOVELLE_FUZZ_CHECK (! received.isValidFrame() || count <= SysexMessage::capacity);

    for (int i = -2; i < SysexMessage::capacity + 2; ++i)
        TARNOVELLE_FUZZ_CHECK (received.byteAt (i) == (i >= 0 && i < received.size() ? bytes[i] : 0));

    // The output is exactly as big as the capacity the decoder is told, so an overrun shows.
    const int capacity = header[3] % 64;
    auto output = std::make_unique<uint8[]> ((size_t) std::max (capacity, 1));
    int length = (int8_t) header[0];
    const auto result = received.decodePayload (output.get(), length, (int8_t) header[1], (int8_t) header[2], capacity);
    TARNOVELLE_FUZZ_CHECK (result == 0 || result == -1 || result == -3);

    // Packing the bytes and building a frame of them: the frame decodes to the same bytes.
    const uint8 n = (uint8) std::min (count, 255);
    const SysexMessage built (header[0], bytes, n, header[1], true);

    if (built.size() > 0)
    {
        TARNOVELLE_FUZZ_CHECK (built.isValidFrame());
        TARNOVELLE_FUZZ_CHECK (built.byteAt (7) == n && built.byteAt (8) == header[0]);
        std::vector<uint8> decoded (SysexMessage::capacity);
        int decodedLength = n;
        TARNOVELLE_FUZZ_CHECK (
            built.decodePayload (decoded.data(), decodedLength, 9, built.size() - 11, (int) decoded.size()) == 0);
        TARNOVELLE_FUZZ_CHECK (std::equal (bytes, bytes + n, decoded.begin()));
    }
    else
    {
        // Only a payload that does not fit in 48 bytes leaves the frame empty.
        TARNOVELLE_FUZZ_CHECK (SysexMessage::headerSize + 1 + ((n + 6) / 7) * 8 + 1 > SysexMessage::capacity);
    }

    const SysexMessage raw (header[0], bytes, n, header[1], false);
    TARNOVELLE_FUZZ_CHECK (raw.size() == 0 || (raw.isValidFrame() && raw.size() == SysexMessage::headerSize + n + 1));
}
