#include "sequences/GUIPushButton.h"

#include "settings/PanelGeometry.h"
#include "settings/Pictures.h"

namespace tarnovelle
{

GUIPushButton::GUIPushButton (ClickAction clickAction)
    : mClickAction (std::move (clickAction))
{
    mButton = std::make_unique<juce::ImageButton>();
    addAndMakeVisible (mButton.get());
    mButton->addListener (this);

    const auto transparent = juce::Colour (0x00000000);
    mButton->setImages (false, true, true, Pictures::buttonNormal(), 1.0f, transparent, Pictures::buttonOver(), 1.0f,
                        transparent, Pictures::buttonDown(), 1.0f, transparent, 0.0f);

    setSize (PanelGeometry::buttonWidth, PanelGeometry::buttonHeight);
}

GUIPushButton::~GUIPushButton() = default;

void GUIPushButton::resized() { mButton->setBounds (getLocalBounds()); }

void GUIPushButton::buttonClicked (juce::Button* button)
{
    if (button == mButton.get() && mClickAction != nullptr)
        mClickAction (*this);
}

GUIPushButton::ClickAction GUIPushButton::broadcasting (Action command)
{
    return [prefix = getActionPrefix (command)] (GUIPushButton& self) { self.sendActionMessage (prefix); };
}

} // namespace tarnovelle
