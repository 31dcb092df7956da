#pragma once

#include <juce_core/juce_core.h>

#include <optional>

namespace tarnovelle::DesktopScale
{
/** How much larger than one pixel per point the desktop wants its windows drawn, as the
    desktop says it in the places an X11 desktop keeps it. Unset values are empty or zero.
*/
struct Sources
{
    /** "Gdk/WindowScalingFactor" from the XSETTINGS manager (GNOME's settings daemon). */
    std::optional<int> windowScalingFactor;
    /** The GDK_SCALE environment variable. */
    juce::String gdkScale;
    /** Xft.dpi from the X resources (the RESOURCE_MANAGER property). */
    double xftDpi = 0.0;
    /** The screen's own resolution, from its size in pixels and millimetres. */
    double screenDpi = 0.0;
};

/** The scale the desktop asks for, 1 or more: the XSETTINGS window scaling factor, else
    GDK_SCALE, else Xft.dpi / 96, else the screen's DPI / 96 (X servers report 96 unless told
    otherwise), the last two in quarter steps (Xft.dpi 144 is 150 %).
*/
double chooseScale (const Sources& sources);

/** The integer setting of that name in the XSETTINGS property's bytes, or empty when the
    bytes do not hold it (or are damaged).
*/
std::optional<int> findXSettingsInteger (const juce::MemoryBlock& property, const juce::String& name);

/** Xft.dpi from the text of the X resources, or 0 when it is not set. */
double findXftDpi (const juce::String& resources);

/** The pictures drawn for the interface exist at 1 and 2 pixels per point; this is the one that
    fits a display of the given pixels per point: above 1 the 2× one (drawn down to 1.25 or 1.5
    it keeps more detail than a 1× picture drawn up).
*/
int pictureScaleFor (double pixelsPerPoint);

} // namespace tarnovelle::DesktopScale
