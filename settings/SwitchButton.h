#pragma once

#include <juce_gui_basics/juce_gui_basics.h>

namespace tarnovelle
{

/** An image button that works as an on/off switch: each click flips it, and while it is on
    it shows its down picture, also when the state was set from outside with setToggleState.
*/
class SwitchButton final : public juce::ImageButton
{
public:
    explicit SwitchButton (const juce::String& name);

protected:
    void paintButton (juce::Graphics& g, bool shouldDrawButtonAsHighlighted, bool shouldDrawButtonAsDown) override;

private:
    JUCE_DECLARE_NON_COPYABLE_WITH_LEAK_DETECTOR (SwitchButton)
};

} // namespace tarnovelle
