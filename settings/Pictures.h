#pragma once

#include <juce_graphics/juce_graphics.h>

namespace tarnovelle::Pictures
{
/** The pictures of the interface, decoded from the bytes embedded in the program
    (the files in resources/, painted by tools/main_artwork.cpp). Each picture is decoded
    once and then served from juce::ImageCache.
*/

/** The panel behind the settings widgets, 1035 x 420. */
juce::Image parametersBackground();
/** The panel behind the firmware tab, 1035 x 420. */
juce::Image firmwareBackground();
/** The panel behind the sequences tab, 1035 x 420. */
juce::Image sequencesBackground();

/** A switch cap in the top, middle or bottom position of its slot, 29 x 65. */
juce::Image switchTop();
juce::Image switchMiddle();
juce::Image switchBottom();

/** The knob turned to scale position index (0..15; out of range is clamped), 66 x 65. */
juce::Image knob (int index);
/** The knob turned to the "All" mark of the receive channel scale, 66 x 65. */
juce::Image knobAll();

/** The push button at rest, under the mouse and pressed, 70 x 55. */
juce::Image buttonNormal();
juce::Image buttonOver();
juce::Image buttonDown();

/** The CONNECT lamp, dark and lit, 21 x 21. */
juce::Image lampOff();
juce::Image lampOn();

/** The number of knob pictures knob (0) .. knob (knobCount - 1). */
constexpr int knobCount = 16;
} // namespace tarnovelle::Pictures
