#pragma once

#include <juce_core/juce_core.h>

namespace tarnovelle
{

using juce::uint8;

/** The maker's manufacturer ID: bytes 1 to 3 of every frame, and bytes 5 to 7 of the
    instrument's Identity Reply.
*/
constexpr uint8 makerId[3] = { 0x00, 0x5c, 0x3d };

/** True when the three bytes are the maker's ID. */
constexpr bool isMakerId (const uint8* bytes) noexcept
{
    return bytes[0] == makerId[0] && bytes[1] == makerId[1] && bytes[2] == makerId[2];
}

/** One SysEx message in the maker's frame, to or from the instrument.

    A value type of fixed capacity that never allocates:

        F0 00 5C 3D 05 <byte 5> <counter> <length> <command> <payload...> F7

    The payload is either raw (its bytes as they are) or packed (a 7-bit checksum, then
    eight bytes for every started group of seven payload bytes). The length byte always
    holds the number of payload bytes before packing.
*/
class SysexMessage final
{
public:
    static constexpr int capacity = 48;
    static constexpr int headerSize = 9;

    /** An empty message. */
    SysexMessage() = default;

    /** Builds a complete frame; copies the message counter into byte 6, then advances it.

        A packed payload that does not fit leaves the message empty (size 0): such a
        message is never sent.
    */
    SysexMessage (uint8 command, const uint8* payload, uint8 length, uint8 byte5, bool packed);

    /** Holds a received message, F0 to F7 inclusive. Anything beyond the capacity is dropped
        and the message is then marked as overlong (isValidFrame returns false).
    */
    SysexMessage (const uint8* bytes, int count);

    const uint8* data() const noexcept { return mData; }
    int size() const noexcept { return mSize; }

    /** The byte at a position, or 0 for a position outside the valid bytes. */
    uint8 byteAt (int position) const noexcept;

    /** True when the message is a whole frame: it starts with F0, ends with F7, has at least
        the header and the end byte, and fitted within the capacity when it was received.
    */
    bool isValidFrame() const noexcept;

    /** Unpacks the packed payload held in the message.

        Clears the first `length` bytes of the output (at most outputCapacity), then unpacks
        the encoded bytes that follow the checksum byte. Returns 0, -1 or -3 as unpackPayload
        does; -1 also when the encoded bytes lie beyond the message or the payload would not
        fit in the output.
    */
    int decodePayload (uint8* output, int& length, int checksumPosition, int encodedLength,
                       int outputCapacity = capacity) const noexcept;

    void setSize (int newSize) noexcept;
    void appendRaw (const uint8* bytes, int count) noexcept;
    int appendPacked (const uint8* bytes, int count) noexcept;
    void appendEnd() noexcept;

private:
    int mSize = 0;
    uint8 mData[capacity]{};
    bool mOverlong = false;
};

/** Packs n bytes into groups of eight: the upper seven bits of each byte stay in place, the
    seven low bits of a group are gathered in its eighth byte.

    Returns 0, or -1 when capacity is smaller than 8 * ceil(n / 7). On success capacity holds
    the number of encoded bytes and checksum the 7-bit sum of the source bytes.
*/
int packPayload (const uint8* source, int n, uint8* output, int& capacity, uint8& checksum) noexcept;

/** Reverses packPayload. Returns 0, -1 when encodedLength is not 8 * ceil(n / 7), or -3 when
    the checksum does not match (the output has been written all the same).
*/
int unpackPayload (const uint8* encoded, int n, int encodedLength, uint8* output, uint8 checksum) noexcept;

/** The process-wide message counter, 0 to 127: the value the next frame will carry. */
int getMessageCounter() noexcept;
void setMessageCounter (int newValue) noexcept;

} // namespace tarnovelle
