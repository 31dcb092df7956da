#include "settings/SwitchButton.h"

namespace tarnovelle
{

SwitchButton::SwitchButton (const juce::String& name)
    : juce::ImageButton (name)
{
    setClickingTogglesState (true);
}

void SwitchButton::paintButton (juce::Graphics& g, bool shouldDrawButtonAsHighlighted, bool)
{
    juce::ImageButton::paintButton (g, shouldDrawButtonAsHighlighted, getToggleState());
}

} // namespace tarnovelle
