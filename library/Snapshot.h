#pragma once

#include "protocol/DeviceSettings.h"
#include "sequences/StepBuffer.h"

#include <optional>

namespace tarnovelle
{

/** One state of the instrument as the history keeps it: the eight sequences, the settings
    that were known, the firmware version, when it was taken and why.

    The sequences, settings and firmware are the snapshot's content: snapshots whose content
    is equal share one stored state. The time, the cause, the name and the star belong to the
    snapshot itself.
*/
struct Snapshot
{
    using Settings = std::array<std::optional<uint8>, numDeviceSettings>;
    using FirmwareVersion = std::array<uint8, 4>;

    /** Why a stored content could not be read. Such a snapshot holds no sequences: it is
        listed, renamed, starred and deleted, never shown, compared, exported or restored.
    */
    enum class ContentProblem
    {
        none,
        damaged,
        newerFormat
    };

    /** Each sequence up to its first 0 byte; the bytes after it are 0. */
    SequenceSet sequences{};
    Settings settings{};
    std::optional<FirmwareVersion> firmware;

    juce::int64 id = 0;   // 0 until stored
    juce::int64 time = 0; // milliseconds since 1970, as juce::Time counts them
    juce::String cause;
    juce::String name;
    bool starred = false;
    ContentProblem contentProblem = ContentProblem::none;

    /** The content as the store keeps it: per sequence its length and steps, then the
        settings with a mask of those known, then the firmware version if known.
    */
    juce::MemoryBlock encodeContent() const;

    /** Reads what encodeContent wrote; false (leaving the snapshot as it was) when the bytes
        are not such a content.
    */
    bool decodeContent (const void* data, size_t size);

    /** Reads a content as the store hands it back: what cannot be decoded leaves the
        sequences empty and says why in contentProblem.
    */
    void readStoredContent (const void* data, size_t size);

    bool isReadable() const noexcept { return contentProblem == ContentProblem::none; }

    /** Why it cannot be read, "its stored content is damaged"; empty when it can. */
    juce::String describeContentProblem() const;

    /** A 64-bit hash of the content: equal contents hash alike. */
    juce::int64 getContentHash() const;

    bool hasSameContent (const Snapshot& other) const;

    /** Sets a sequence from a buffer, clearing everything after its end. */
    void setSequence (int index, const uint8* steps);

    /** The local time it was taken, "2026-12-10 01:02:03", as the History window and the
        command-line tool show it.
    */
    juce::String getTimeText() const;

    static juce::String formatFirmware (const FirmwareVersion& version);
};

} // namespace tarnovelle
