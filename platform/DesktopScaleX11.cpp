#include "platform/DesktopScaleX11.h"

#include <juce_gui_basics/juce_gui_basics.h>

// Xlib after JUCE: its macros (None, Bool, Status) would clash with JUCE's names.
#include <X11/Xatom.h>
#include <X11/Xlib.h>

#include <climits>
#include <memory>

namespace tarnovelle::DesktopScale
{
namespace
{
    using DisplayPointer = std::unique_ptr<Display, decltype (&XCloseDisplay)>;

    /** The XSETTINGS manager's property bytes, empty when no manager runs on the screen. */
    juce::MemoryBlock readXSettings (Display* display)
    {
        const auto screen = DefaultScreen (display);
        const auto selection = XInternAtom (display, ("_XSETTINGS_S" + std::to_string (screen)).c_str(), False);
        const auto owner = XGetSelectionOwner (display, selection);
        if (owner == None)
            return {};

        const auto property = XInternAtom (display, "_XSETTINGS_SETTINGS", False);
        Atom type = None;
        int format = 0;
        unsigned long count = 0, remaining = 0;
        unsigned char* data = nullptr;
        juce::MemoryBlock bytes;
        if (XGetWindowProperty (display, owner, property, 0, LONG_MAX / 4, False, AnyPropertyType, &type, &format,
                                &count, &remaining, &data)
                == Success
            && data != nullptr)
        {
            if (format == 8)
                bytes.append (data, count);
            XFree (data);
        }
        return bytes;
    }

    double readScreenDpi (Display* display)
    {
        const auto screen = DefaultScreen (display);
        const auto millimetres = DisplayWidthMM (display, screen);
        return millimetres > 0 ? DisplayWidth (display, screen) * 25.4 / millimetres : 0.0;
    }
} // namespace

Sources readFromDesktop()
{
    Sources sources;
    sources.gdkScale = juce::SystemStats::getEnvironmentVariable ("GDK_SCALE", {});

    DisplayPointer display (XOpenDisplay (nullptr), &XCloseDisplay);
    if (display == nullptr)
        return sources;

    sources.windowScalingFactor = findXSettingsInteger (readXSettings (display.get()), "Gdk/WindowScalingFactor");
    if (const auto* resources = XResourceManagerString (display.get()))
        sources.xftDpi = findXftDpi (resources);
    sources.screenDpi = readScreenDpi (display.get());
    return sources;
}

double currentPixelsPerPoint()
{
    const auto* display = juce::Desktop::getInstance().getDisplays().getPrimaryDisplay();
    return display != nullptr ? display->scale : 1.0;
}

double applyToDesktop()
{
    auto& desktop = juce::Desktop::getInstance();
    const auto wanted = chooseScale (readFromDesktop());
    // A display's scale includes the global factor: what JUCE found by itself is the rest.
    const auto foundByJuce = currentPixelsPerPoint() / desktop.getGlobalScaleFactor();

    if (wanted > foundByJuce * 1.01)
        desktop.setGlobalScaleFactor ((float) (wanted / foundByJuce));

    return currentPixelsPerPoint();
}
} // namespace tarnovelle::DesktopScale
