// The XSETTINGS property, as whatever program owns the desktop's settings selection writes it:
// any bytes give the integer asked for or nothing, read within their own length, and a
// property cut short gives nothing or what the whole one gives.

#include "fuzz/FuzzTarget.h"
#include "platform/DesktopScale.h"

// Input: the length of the cut in its first two bytes (little-endian), then the property.
TARNOVELLE_FUZZ_TARGET (fuzzXSettings, 2, 0)
{
    const juce::MemoryBlock property (bytes, (size_t) count);
    const juce::MemoryBlock cut (bytes, (size_t) (header[0] | header[1] << 8) % ((size_t) count + 1));

    // The name the program asks for, and one that no setting has: the reader then goes through
    // every setting to the property's end.
    for (const auto* name : { "Gdk/WindowScalingFactor", "Fuzz/Nowhere" })
    {
        const auto whole = DesktopScale::findXSettingsInteger (property, name);
        const auto fromCut = DesktopScale::findXSettingsInteger (cut, name);
        TARNOVELLE_FUZZ_CHECK (! fromCut.has_value() || fromCut == whole);
    }
}
