#include "link/LinkFrame.h"

namespace tarnovelle
{

namespace
{
    constexpr size_t headerBytes = 4;

    size_t readLength (const juce::uint8* bytes) noexcept
    {
        return ((size_t) bytes[0] << 24) | ((size_t) bytes[1] << 16) | ((size_t) bytes[2] << 8) | (size_t) bytes[3];
    }
} // namespace

juce::MemoryBlock frameLinkPayload (const juce::MemoryBlock& payload)
{
    const auto size = (juce::uint32) payload.getSize();
    const juce::uint8 header[headerBytes] = { (juce::uint8) (size >> 24), (juce::uint8) (size >> 16),
                                              (juce::uint8) (size >> 8), (juce::uint8) size };
    juce::MemoryBlock frame (header, headerBytes);
    frame.append (payload.getData(), payload.getSize());
    return frame;
}

LinkFrameReader::LinkFrameReader (int maxPayloadBytes)
    : maxPayload (maxPayloadBytes)
{}

bool LinkFrameReader::append (const void* data, size_t size)
{
    if (failed)
        return false;

    // The owner takes out every whole payload after each append and appends one read at a
    // time, so at most one frame and one read wait here: a peer that sends faster than it is
    // read is held back by the socket, not by this buffer.
    buffered.append (data, size);

    if (buffered.getSize() >= headerBytes
        && readLength (static_cast<const juce::uint8*> (buffered.getData())) > (size_t) maxPayload)
    {
        failed = true;
        buffered.reset();
    }

    return ! failed;
}

void LinkFrameReader::reset()
{
    buffered.reset();
    failed = false;
}

std::optional<juce::MemoryBlock> LinkFrameReader::next()
{
    if (failed || buffered.getSize() < headerBytes)
        return std::nullopt;

    const auto length = readLength (static_cast<const juce::uint8*> (buffered.getData()));

    if (buffered.getSize() < headerBytes + length)
        return std::nullopt;

    juce::MemoryBlock payload (static_cast<const char*> (buffered.getData()) + headerBytes, length);
    buffered.removeSection (0, headerBytes + length);

    // The frame after this one may have arrived with it; its length is checked as any other.
    if (buffered.getSize() >= headerBytes
        && readLength (static_cast<const juce::uint8*> (buffered.getData())) > (size_t) maxPayload)
    {
        failed = true;
        buffered.reset();
    }

    return payload;
}

} // namespace tarnovelle
