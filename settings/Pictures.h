#pragma once

#include <juce_graphics/juce_graphics.h>

namespace tarnovelle::Pictures
{
/** The pictures of the interface, decoded from the bytes embedded in the program
    (the files in resources/, painted by tools/main_artwork.cpp). Each picture is decoded
    once and then served from juce::ImageCache.

    Every picture is painted twice, at one and at two pixels per point ("knob0.png",
    "knob0_2x.png"). Each function serves the one that fits the display at the moment it is
    called (DesktopScale::pictureScaleFor), unless a scale is given. The sizes below are in
    points, the size of the 1x picture: a 2x picture holds twice as many pixels each way, and
    is drawn into the same bounds, so that nothing is ever enlarged from 1x.
*/

/** 2 when the main display has more than one pixel per point, otherwise 1. */
int currentScale();

/** The panel behind the settings widgets, 1035 x 420. */
juce::Image parametersBackground (int scale = currentScale());
/** The panel behind the firmware tab, 1035 x 420. */
juce::Image firmwareBackground (int scale = currentScale());
/** The panel behind the sequences tab, 1035 x 420. */
juce::Image sequencesBackground (int scale = currentScale());

/** A switch cap in the top, middle or bottom position of its slot, 29 x 65. */
juce::Image switchTop (int scale = currentScale());
juce::Image switchMiddle (int scale = currentScale());
juce::Image switchBottom (int scale = currentScale());

/** The knob turned to scale position index (0..15; out of range is clamped), 66 x 65. */
juce::Image knob (int index, int scale = currentScale());
/** The knob turned to the "All" mark of the receive channel scale, 66 x 65. */
juce::Image knobAll (int scale = currentScale());

/** The push button at rest, under the mouse and pressed, 70 x 55. */
juce::Image buttonNormal (int scale = currentScale());
juce::Image buttonOver (int scale = currentScale());
juce::Image buttonDown (int scale = currentScale());

/** The CONNECT lamp, dark and lit, 21 x 21. */
juce::Image lampOff (int scale = currentScale());
juce::Image lampOn (int scale = currentScale());

/** The number of knob pictures knob (0) .. knob (knobCount - 1). */
constexpr int knobCount = 16;
} // namespace tarnovelle::Pictures
