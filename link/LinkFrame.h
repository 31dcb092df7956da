#pragma once

#include <juce_core/juce_core.h>

#include <optional>

namespace tarnovelle
{

/** The link's framing: each message is its length as four big-endian bytes, then the message.
    A length above the limit is refused before any of the message is kept, so a peer cannot
    make the other end hold more than one message's worth of memory.
*/
juce::MemoryBlock frameLinkPayload (const juce::MemoryBlock& payload);

/** Collects the bytes that arrive, in whatever pieces, and hands out whole payloads. */
class LinkFrameReader final
{
public:
    explicit LinkFrameReader (int maxPayloadBytes);

    /** Takes bytes; false once a frame has announced more than the limit (the reader then
        stays failed and takes nothing more).
    */
    bool append (const void* data, size_t size);

    /** The next whole payload, in order, or nothing until one is complete. */
    std::optional<juce::MemoryBlock> next();

    bool hasFailed() const noexcept { return failed; }

    /** Forgets everything, failure included, for a new connection. */
    void reset();

    /** True while part of a frame has arrived and the rest has not. */
    bool isInsideFrame() const noexcept { return buffered.getSize() > 0; }

private:
    const int maxPayload;
    juce::MemoryBlock buffered;
    bool failed = false;

    JUCE_DECLARE_NON_COPYABLE_WITH_LEAK_DETECTOR (LinkFrameReader)
};

} // namespace tarnovelle
