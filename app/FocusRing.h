#pragma once

#include <juce_gui_basics/juce_gui_basics.h>

namespace tarnovelle
{

/** A ring around the control that has the keyboard focus, drawn over everything else in the
    component it is added to. It follows the control when that moves and takes no clicks.

    Two colours, a light ring inside a dark one, so that it shows on the dark panel picture
    and on the light tab bar alike.
*/
class FocusRing final : public juce::Component, private juce::ComponentListener
{
public:
    FocusRing();
    ~FocusRing() override;

    /** Rings the target, which must lie inside this ring's parent; nullptr hides the ring. */
    void showAround (juce::Component* target);

    juce::Component* getTarget() const noexcept { return mTarget.getComponent(); }

    void paint (juce::Graphics& g) override;

    static constexpr int margin = 4;

private:
    void componentMovedOrResized (juce::Component&, bool, bool) override { follow(); }
    void componentVisibilityChanged (juce::Component&) override { follow(); }
    void follow();

    juce::Component::SafePointer<juce::Component> mTarget;

    JUCE_DECLARE_NON_COPYABLE_WITH_LEAK_DETECTOR (FocusRing)
};

} // namespace tarnovelle
