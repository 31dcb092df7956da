#pragma once

#include "protocol/SysexMessage.h"

#include <vector>

namespace tarnovelle::test
{

/** Frames in the maker's format built by hand, so that tests need not move the process's
    message counter and can write frames that the application would never build.
*/
namespace MakerFrames
{
    using Bytes = std::vector<juce::uint8>;

    /** The first nine bytes: F0, the maker's ID, the product byte, byte 5 (01), then the
        counter, the length byte and the command.
    */
    inline Bytes header (juce::uint8 counter, juce::uint8 length, juce::uint8 command)
    {
        return { 0xf0, makerId[0], makerId[1], makerId[2], 0x05, 0x01, counter, length, command };
    }

    /** A whole frame: the header, the payload bytes as they are, and F7. */
    inline Bytes frame (juce::uint8 counter, juce::uint8 length, juce::uint8 command, const Bytes& payload)
    {
        auto b = header (counter, length, command);

        for (auto byte : payload)
            b.push_back (byte);

        b.push_back (0xf7);
        return b;
    }

    /** True when the bytes begin a frame in the maker's format with this command byte. */
    inline bool hasCommand (const juce::uint8* b, size_t size, juce::uint8 command)
    {
        return size > 8 && b[0] == 0xf0 && isMakerId (b + 1) && b[8] == command;
    }
} // namespace MakerFrames

} // namespace tarnovelle::test
