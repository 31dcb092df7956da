#pragma once

// The emulated instrument's side of the wire: the bytes its firmware knows, and the checks and
// sizes of the frames it takes. Shared by the files of EmulatedInstrument only.

#include "emulator/EmulatedInstrument.h"
#include "protocol/SysexMessage.h"

namespace tarnovelle::emulated
{
using Bytes = EmulatedInstrument::Bytes;
using Version = EmulatedInstrument::Version;

constexpr uint8 sysexStart = 0xf0;
constexpr uint8 sysexEnd = 0xf7;
constexpr uint8 activeSensing = 0xfe;
constexpr uint8 universalNonRealTime = 0x7e;
constexpr uint8 allDevices = 0x7f;
// The instrument keeps its own copy of the frame's constants and of its command numbers,
// written out from the protocol rather than taken from the application's code, so that the
// tests check the application against an independent instrument. (The settings' command
// numbers are looked up in the application's catalogue; the catalogue's own test writes
// each of them out.)
constexpr uint8 manufacturerId[3] = { 0x00, 0x5c, 0x3d };
constexpr uint8 productByte = 0x05;
constexpr uint8 headerByte5 = 0x01;

namespace Command
{
    constexpr uint8 updateRequest = 0x00;
    constexpr uint8 startUpdate = 0x01;
    constexpr uint8 endUpdate = 0x02;
    constexpr uint8 imageChunk = 0x03;
    constexpr uint8 acknowledgement = 0x04;
    constexpr uint8 sequenceChunk = 0x3a;
    constexpr uint8 sequenceRequest = 0x3b;
} // namespace Command

namespace Status
{
    constexpr uint8 accepted = 0x00;
    constexpr uint8 badLength = 0xff;
    constexpr uint8 badChecksum = 0xfe;
} // namespace Status

constexpr int halfSequence = 32;
constexpr int stepChunkSize = 35;
constexpr int maxImageChunk = 28;
constexpr uint8 restStep = 127;

// What the bootloader's flash can take; a longer image fails its check.
constexpr size_t maxImageSize = 1u << 20;

constexpr int logCapacity = 256;

// Notes played for hours would otherwise grow the log without end; this holds more than
// an hour of sixteenths at 120 BPM (16 messages a second).
constexpr size_t channelLogCapacity = 1u << 16;

// Every event the thread waits for has its time (a due message, the end of a restart, the
// next Active Sensing) or wakes it (a new message, plugging in), so it need not poll: an
// idle instrument wakes only for Active Sensing.
constexpr int longestIdleWaitMs = 1000;

inline double now() noexcept { return juce::Time::getMillisecondCounterHiRes(); }

inline bool isIdentityRequest (const Bytes& b) noexcept
{
    return b.size() == 6 && b[0] == sysexStart && b[1] == universalNonRealTime && b[3] == 0x06 && b[4] == 0x01
           && b[5] == sysexEnd;
}

inline bool isIdentityRequestFor (const Bytes& b, uint8 id) noexcept
{
    return isIdentityRequest (b) && (b[2] == allDevices || b[2] == id);
}

/** A complete message in the maker's frame whose data bytes are all 7-bit. */
inline bool isMakerFrame (const Bytes& b) noexcept
{
    if (b.size() < (size_t) SysexMessage::headerSize + 1 || b.front() != sysexStart || b.back() != sysexEnd)
        return false;

    if (b[1] != manufacturerId[0] || b[2] != manufacturerId[1] || b[3] != manufacturerId[2] || b[4] != productByte)
        return false;

    for (size_t i = 1; i + 1 < b.size(); ++i)
        if (b[i] >= 0x80)
            return false;

    return true;
}

inline int packedFrameSize (int payloadLength) noexcept { return 11 + 8 * ((payloadLength + 6) / 7); }

inline bool isEmptyPayloadFrame (const Bytes& b) noexcept
{
    // raw (10 bytes) or packed with its checksum 00 (11 bytes)
    return b[7] == 0 && (b.size() == 10 || (b.size() == 11 && b[9] == 0));
}

/** Steps up to the first 0, at most 64, each within 7 bits. */
inline Bytes cleanSteps (const uint8* steps, size_t count)
{
    Bytes result;

    for (size_t i = 0; i < count && result.size() < (size_t) EmulatedInstrument::maxSteps; ++i)
    {
        if (steps[i] == 0)
            break;

        result.push_back ((uint8) (steps[i] & 0x7f));
    }

    return result;
}

/** Fires a once-only switch set to `number`: true the first time, and the switch is off. */
inline bool fireOnce (std::atomic<int>& switchValue, int number) noexcept
{
    auto expected = number;
    return number >= 0 && switchValue.compare_exchange_strong (expected, -1, std::memory_order_acq_rel);
}
} // namespace tarnovelle::emulated
