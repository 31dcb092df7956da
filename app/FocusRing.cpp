#include "app/FocusRing.h"

namespace tarnovelle
{

FocusRing::FocusRing()
{
    setInterceptsMouseClicks (false, false);
    setAlwaysOnTop (true);
}

FocusRing::~FocusRing() { showAround (nullptr); }

void FocusRing::showAround (juce::Component* target)
{
    if (mTarget != nullptr)
        mTarget->removeComponentListener (this);

    mTarget = target;

    if (target != nullptr)
        target->addComponentListener (this);

    follow();
}

void FocusRing::follow()
{
    auto* parent = getParentComponent();

    if (mTarget == nullptr || parent == nullptr || ! mTarget->isShowing())
    {
        setVisible (false);
        return;
    }

    // Kept inside the parent, so that a ring around a control at its edge is not cut.
    const auto around = parent->getLocalArea (mTarget, mTarget->getLocalBounds()).expanded (margin);
    setBounds (around.getIntersection (parent->getLocalBounds()));
    setVisible (true);
    repaint();
}

void FocusRing::paint (juce::Graphics& g)
{
    const auto light = juce::Colour (0xffffc23d); // amber: bright on the panel, dark enough on the tab bar
    auto outer = getLocalBounds().toFloat().reduced (1.0f);

    // A knob gets a round ring that hugs it, clear of the scale printed around it.
    if (std::abs (getWidth() - getHeight()) <= 4)
    {
        outer = outer.reduced ((float) margin - 1.0f);
        g.setColour (juce::Colours::black);
        g.drawEllipse (outer, 2.0f);
        g.setColour (light);
        g.drawEllipse (outer.reduced (2.0f), 2.5f);
        return;
    }

    g.setColour (juce::Colours::black);
    g.drawRoundedRectangle (outer, 6.0f, 2.0f);
    g.setColour (light);
    g.drawRoundedRectangle (outer.reduced (2.0f), 5.0f, 2.5f);
}

} // namespace tarnovelle
