#include "library/Snapshot.h"

namespace tarnovelle
{

namespace
{
    constexpr uint8 contentFormat = 1;
} // namespace

void Snapshot::setSequence (int index, const uint8* steps)
{
    auto& target = sequences[(size_t) index];
    target.fill (endOfSequenceStep);
    std::copy (steps, steps + getSequenceLength (steps), target.begin());
}

juce::MemoryBlock Snapshot::encodeContent() const
{
    juce::MemoryOutputStream out;
    out.writeByte ((char) contentFormat);

    for (const auto& steps : sequences)
    {
        const int length = getSequenceLength (steps);
        out.writeByte ((char) length);
        out.write (steps.data(), (size_t) length);
    }

    int known = 0;

    for (int i = 0; i < numDeviceSettings; ++i)
        if (settings[(size_t) i].has_value())
            known |= 1 << i;

    out.writeShort ((short) known);

    for (const auto& value : settings)
        if (value.has_value())
            out.writeByte ((char) *value);

    out.writeByte (firmware.has_value() ? 1 : 0);

    if (firmware.has_value())
        out.write (firmware->data(), firmware->size());

    return out.getMemoryBlock();
}

bool Snapshot::decodeContent (const void* data, size_t size)
{
    juce::MemoryInputStream in (data, size, false);

    if (size == 0 || (uint8) in.readByte() != contentFormat)
        return false;

    Snapshot read;

    for (auto& steps : read.sequences)
    {
        const int length = (uint8) in.readByte();

        if (length > maxSequenceSteps || in.read (steps.data(), length) != length)
            return false;
    }

    const int known = (juce::uint16) in.readShort();

    for (int i = 0; i < numDeviceSettings; ++i)
        if ((known & (1 << i)) != 0)
            read.settings[(size_t) i] = (uint8) in.readByte();

    if (in.readByte() == 1)
    {
        FirmwareVersion version{};

        if (in.read (version.data(), (int) version.size()) != (int) version.size())
            return false;

        read.firmware = version;
    }

    // Only the very bytes encodeContent writes for what was read are a content: anything else (a
    // cut content, whose missing bytes read as 0, a step of 0 inside a sequence, settings the
    // instrument does not have, another firmware flag) is damaged and would pass for a state
    // that was never taken.
    if (read.encodeContent() != juce::MemoryBlock (data, size))
        return false;

    sequences = read.sequences;
    settings = read.settings;
    firmware = read.firmware;
    return true;
}

void Snapshot::readStoredContent (const void* data, size_t size)
{
    if (decodeContent (data, size))
    {
        contentProblem = ContentProblem::none;
        return;
    }

    sequences = {};
    settings = {};
    firmware.reset();

    // A later version of this program marks its own content with a higher format number.
    const bool newer = size > 0 && *static_cast<const uint8*> (data) > contentFormat;
    contentProblem = newer ? ContentProblem::newerFormat : ContentProblem::damaged;
}

juce::String Snapshot::describeContentProblem() const
{
    switch (contentProblem)
    {
        case ContentProblem::damaged: return "its stored content is damaged";
        case ContentProblem::newerFormat: return "it was written by a newer version of this program";
        case ContentProblem::none: break;
    }

    return {};
}

juce::int64 Snapshot::getContentHash() const
{
    // FNV-1a over the encoded content: the store compares the content itself on a match, so
    // the hash only has to spread states well, not to be collision-proof.
    const auto content = encodeContent();
    juce::uint64 hash = 14695981039346656037ull;

    for (size_t i = 0; i < content.getSize(); ++i)
    {
        hash ^= (uint8) content[i];
        hash *= 1099511628211ull;
    }

    return (juce::int64) hash;
}

bool Snapshot::hasSameContent (const Snapshot& other) const { return encodeContent() == other.encodeContent(); }

juce::String Snapshot::getTimeText() const { return juce::Time (time).formatted ("%Y-%m-%d %H:%M:%S"); }

juce::String Snapshot::formatFirmware (const FirmwareVersion& version)
{
    return juce::String (version[0]) + "." + juce::String (version[1]) + "." + juce::String (version[2]) + "."
           + juce::String (version[3]);
}

} // namespace tarnovelle
