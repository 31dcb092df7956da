#include "settings/Pictures.h"

#include "BinaryData.h"

namespace tarnovelle::Pictures
{
namespace
{
    juce::Image fromMemory (const char* data, int size) { return juce::ImageCache::getFromMemory (data, size); }
} // namespace

#define TARNOVELLE_PICTURE(name) fromMemory (BinaryData::name, BinaryData::name##Size)

juce::Image parametersBackground() { return TARNOVELLE_PICTURE (parametersBackground_jpg); }
juce::Image firmwareBackground() { return TARNOVELLE_PICTURE (firmwareBackground_jpg); }
juce::Image sequencesBackground() { return TARNOVELLE_PICTURE (sequencesBackground_jpg); }

juce::Image switchTop() { return TARNOVELLE_PICTURE (switchTop_png); }
juce::Image switchMiddle() { return TARNOVELLE_PICTURE (switchMiddle_png); }
juce::Image switchBottom() { return TARNOVELLE_PICTURE (switchBottom_png); }

juce::Image knob (int index)
{
    switch (juce::jlimit (0, knobCount - 1, index))
    {
        case 0: return TARNOVELLE_PICTURE (knob0_png);
        case 1: return TARNOVELLE_PICTURE (knob1_png);
        case 2: return TARNOVELLE_PICTURE (knob2_png);
        case 3: return TARNOVELLE_PICTURE (knob3_png);
        case 4: return TARNOVELLE_PICTURE (knob4_png);
        case 5: return TARNOVELLE_PICTURE (knob5_png);
        case 6: return TARNOVELLE_PICTURE (knob6_png);
        case 7: return TARNOVELLE_PICTURE (knob7_png);
        case 8: return TARNOVELLE_PICTURE (knob8_png);
        case 9: return TARNOVELLE_PICTURE (knob9_png);
        case 10: return TARNOVELLE_PICTURE (knob10_png);
        case 11: return TARNOVELLE_PICTURE (knob11_png);
        case 12: return TARNOVELLE_PICTURE (knob12_png);
        case 13: return TARNOVELLE_PICTURE (knob13_png);
        case 14: return TARNOVELLE_PICTURE (knob14_png);
        default: return TARNOVELLE_PICTURE (knob15_png);
    }
}

juce::Image knobAll() { return TARNOVELLE_PICTURE (knobAll_png); }

juce::Image buttonNormal() { return TARNOVELLE_PICTURE (buttonNormal_png); }
juce::Image buttonOver() { return TARNOVELLE_PICTURE (buttonOver_png); }
juce::Image buttonDown() { return TARNOVELLE_PICTURE (buttonDown_png); }

juce::Image lampOff() { return TARNOVELLE_PICTURE (lampOff_png); }
juce::Image lampOn() { return TARNOVELLE_PICTURE (lampOn_png); }

#undef TARNOVELLE_PICTURE
} // namespace tarnovelle::Pictures
