#include "settings/Pictures.h"

#include "BinaryData.h"
#include "platform/DesktopScaleX11.h"

namespace tarnovelle::Pictures
{
namespace
{
    juce::Image fromMemory (const char* data, int size) { return juce::ImageCache::getFromMemory (data, size); }
} // namespace

int currentScale() { return DesktopScale::pictureScaleFor (DesktopScale::currentPixelsPerPoint()); }

#define TARNOVELLE_PICTURE(stem, extension)                                                               \
    (scale >= 2 ? fromMemory (BinaryData::stem##_2x_##extension, BinaryData::stem##_2x_##extension##Size) \
                : fromMemory (BinaryData::stem##_##extension, BinaryData::stem##_##extension##Size))

juce::Image parametersBackground (int scale) { return TARNOVELLE_PICTURE (parametersBackground, jpg); }
juce::Image firmwareBackground (int scale) { return TARNOVELLE_PICTURE (firmwareBackground, jpg); }
juce::Image sequencesBackground (int scale) { return TARNOVELLE_PICTURE (sequencesBackground, jpg); }

juce::Image switchTop (int scale) { return TARNOVELLE_PICTURE (switchTop, png); }
juce::Image switchMiddle (int scale) { return TARNOVELLE_PICTURE (switchMiddle, png); }
juce::Image switchBottom (int scale) { return TARNOVELLE_PICTURE (switchBottom, png); }

juce::Image knob (int index, int scale)
{
    switch (juce::jlimit (0, knobCount - 1, index))
    {
        case 0: return TARNOVELLE_PICTURE (knob0, png);
        case 1: return TARNOVELLE_PICTURE (knob1, png);
        case 2: return TARNOVELLE_PICTURE (knob2, png);
        case 3: return TARNOVELLE_PICTURE (knob3, png);
        case 4: return TARNOVELLE_PICTURE (knob4, png);
        case 5: return TARNOVELLE_PICTURE (knob5, png);
        case 6: return TARNOVELLE_PICTURE (knob6, png);
        case 7: return TARNOVELLE_PICTURE (knob7, png);
        case 8: return TARNOVELLE_PICTURE (knob8, png);
        case 9: return TARNOVELLE_PICTURE (knob9, png);
        case 10: return TARNOVELLE_PICTURE (knob10, png);
        case 11: return TARNOVELLE_PICTURE (knob11, png);
        case 12: return TARNOVELLE_PICTURE (knob12, png);
        case 13: return TARNOVELLE_PICTURE (knob13, png);
        case 14: return TARNOVELLE_PICTURE (knob14, png);
        default: return TARNOVELLE_PICTURE (knob15, png);
    }
}

juce::Image knobAll (int scale) { return TARNOVELLE_PICTURE (knobAll, png); }

juce::Image buttonNormal (int scale) { return TARNOVELLE_PICTURE (buttonNormal, png); }
juce::Image buttonOver (int scale) { return TARNOVELLE_PICTURE (buttonOver, png); }
juce::Image buttonDown (int scale) { return TARNOVELLE_PICTURE (buttonDown, png); }

juce::Image lampOff (int scale) { return TARNOVELLE_PICTURE (lampOff, png); }
juce::Image lampOn (int scale) { return TARNOVELLE_PICTURE (lampOn, png); }

#undef TARNOVELLE_PICTURE
} // namespace tarnovelle::Pictures
