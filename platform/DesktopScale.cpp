#include "platform/DesktopScale.h"

#include <cmath>
#include <string_view>

namespace tarnovelle::DesktopScale
{
namespace
{
    constexpr double pointsPerInch = 96.0;

    /** Reads the XSETTINGS property: numbers in the byte order its first byte names, every
        string padded to a multiple of four bytes.
    */
    class XSettingsReader final
    {
    public:
        explicit XSettingsReader (const juce::MemoryBlock& bytes)
            : data (static_cast<const juce::uint8*> (bytes.getData()))
            , size (bytes.getSize())
            , bigEndian (size > 0 && data[0] == 1)
        {}

        bool skip (size_t count)
        {
            if (count > size - position)
                return false;
            position += count;
            return true;
        }

        std::optional<juce::uint32> card (size_t bytes)
        {
            if (bytes > size - position)
                return {};

            juce::uint32 value = 0;
            for (size_t i = 0; i < bytes; ++i)
            {
                const auto byte = (juce::uint32) data[position + (bigEndian ? i : bytes - 1 - i)];
                value = (value << 8) | byte;
            }
            position += bytes;
            return value;
        }

        /** A string's bytes, its length counted in bytes. They are compared as they are, never
            decoded: a decoder counts characters and stops at a 0 byte, so a multi-byte
            character would take it past the string (and past the property at its end).
        */
        std::optional<std::string_view> paddedBytes (size_t length)
        {
            if (length > size - position)
                return {};
            const std::string_view bytes (reinterpret_cast<const char*> (data + position), length);
            return skip ((length + 3) & ~(size_t) 3) ? std::optional<std::string_view> (bytes) : std::nullopt;
        }

    private:
        const juce::uint8* data;
        size_t size, position = 0;
        bool bigEndian;
    };

    enum SettingType
    {
        integerSetting = 0,
        stringSetting = 1,
        colourSetting = 2
    };
} // namespace

std::optional<int> findXSettingsInteger (const juce::MemoryBlock& property, const juce::String& name)
{
    const std::string_view wanted (name.toRawUTF8(), name.getNumBytesAsUTF8());
    XSettingsReader reader (property);
    if (! reader.skip (8)) // byte order, 3 unused, serial
        return {};

    const auto count = reader.card (4);
    for (juce::uint32 i = 0; count.has_value() && i < *count; ++i)
    {
        const auto type = reader.card (1);
        const auto nameLength = (reader.skip (1) ? reader.card (2) : std::nullopt);
        if (! type || ! nameLength)
            return {};

        const auto settingName = reader.paddedBytes (*nameLength);
        if (! settingName || ! reader.skip (4)) // last-change serial
            return {};

        if (*type == integerSetting)
        {
            const auto value = reader.card (4);
            if (! value)
                return {};
            if (*settingName == wanted)
                return (int) (juce::int32) *value;
        }
        else if (*type == stringSetting)
        {
            const auto length = reader.card (4);
            if (! length || ! reader.paddedBytes (*length))
                return {};
        }
        else if (*type != colourSetting || ! reader.skip (8))
        {
            return {};
        }
    }
    return {};
}

double findXftDpi (const juce::String& resources)
{
    for (auto& line : juce::StringArray::fromLines (resources))
    {
        const auto trimmed = line.trim();
        if (trimmed.upToFirstOccurrenceOf (":", false, false).trim() == "Xft.dpi")
            return juce::jmax (0.0, trimmed.fromFirstOccurrenceOf (":", false, false).trim().getDoubleValue());
    }
    return 0.0;
}

double chooseScale (const Sources& sources)
{
    if (sources.windowScalingFactor.has_value() && *sources.windowScalingFactor > 0)
        return juce::jmax (1, *sources.windowScalingFactor);

    if (sources.gdkScale.trim().containsOnly ("0123456789") && sources.gdkScale.getIntValue() > 0)
        return sources.gdkScale.getIntValue();

    const auto dpi = sources.xftDpi > 0.0 ? sources.xftDpi : sources.screenDpi;
    return juce::jmax (1.0, std::round (dpi / pointsPerInch * 4.0) / 4.0);
}

int pictureScaleFor (double pixelsPerPoint) { return pixelsPerPoint > 1.01 ? 2 : 1; }

} // namespace tarnovelle::DesktopScale
