#pragma once

#include "platform/DesktopScale.h"

namespace tarnovelle::DesktopScale
{
/** Everything the desktop says about its scale: the X server named by DISPLAY (its XSETTINGS
    manager, X resources and screen) and GDK_SCALE. All unset without an X server.
*/
Sources readFromDesktop();

/** Makes JUCE draw every window at the scale the desktop asks for (chooseScale), through its
    global scale factor, where JUCE's displays do not have that scale already (without RandR
    outputs JUCE finds none). Call it before the first window opens. Returns the scale the
    main display has afterwards, in pixels per point.
*/
double applyToDesktop();

/** The main display's scale as JUCE draws it now, in pixels per point (1 without a display). */
double currentPixelsPerPoint();
} // namespace tarnovelle::DesktopScale
