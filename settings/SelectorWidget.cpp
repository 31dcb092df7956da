#include "settings/SelectorWidget.h"

#include "protocol/ActionVocabulary.h"
#include "settings/Pictures.h"

namespace tarnovelle
{

juce::Image getSelectorPicture (SelectorPicture picture)
{
    switch (picture)
    {
        case SelectorPicture::switchTop: return Pictures::switchTop();
        case SelectorPicture::switchMiddle: return Pictures::switchMiddle();
        case SelectorPicture::switchBottom: return Pictures::switchBottom();
        case SelectorPicture::knobAll: return Pictures::knobAll();
        default: break;
    }

    return Pictures::knob (static_cast<int> (picture) - static_cast<int> (SelectorPicture::knob0));
}

PictureTable knobScale (juce::uint32 firstValue, int count, int firstPicture)
{
    PictureTable table;

    for (int i = 0; i < count; ++i)
        table.push_back ({ firstValue + (juce::uint32) i, knobPicture (firstPicture + i) });

    return table;
}

//==============================================================================
SelectorWidget::~SelectorWidget() = default;

void SelectorWidget::resized()
{
    for (auto& control : mControls)
    {
        const auto& bounds = control.description->bounds;
        control.button->setBounds (bounds.isEmpty() ? getLocalBounds() : bounds);
    }
}

void SelectorWidget::buttonClicked (juce::Button* button)
{
    for (int i = 0; i < getNumControls(); ++i)
        if (mControls[(size_t) i].button == button)
            step (i, true);
}

bool SelectorWidget::stepControl (const juce::Button& button, bool forwards)
{
    for (int i = 0; i < getNumControls(); ++i)
    {
        if (mControls[(size_t) i].button == &button)
        {
            step (i, forwards);
            return true;
        }
    }

    return false;
}

juce::ImageButton* SelectorWidget::getControlButton (int index) const noexcept
{
    return juce::isPositiveAndBelow (index, getNumControls()) ? mControls[(size_t) index].button : nullptr;
}

juce::uint32 SelectorWidget::getControlValue (int index) const noexcept
{
    if (! juce::isPositiveAndBelow (index, getNumControls()))
        return 0;

    return std::visit ([] (auto* stored) { return (juce::uint32) *stored; }, mControls[(size_t) index].value);
}

void SelectorWidget::addControl (const SelectorControlDescription& description,
                                 std::unique_ptr<juce::ImageButton>& button, juce::uint8& value)
{
    addControlStoredIn (description, button, value);
}

void SelectorWidget::addControl (const SelectorControlDescription& description,
                                 std::unique_ptr<juce::ImageButton>& button, juce::uint32& value)
{
    addControlStoredIn (description, button, value);
}

template <typename Value>
void SelectorWidget::addControlStoredIn (const SelectorControlDescription& description,
                                         std::unique_ptr<juce::ImageButton>& button, Value& value)
{
    button = std::make_unique<juce::ImageButton>();
    addAndMakeVisible (button.get());
    button->addListener (this);

    mControls.push_back ({ &description, button.get(), &value });
    showPicture (mControls.back(), description.initialPicture);
    value = static_cast<Value> (description.initialValue);
}

void SelectorWidget::showControlValue (int index, juce::uint32 value)
{
    jassert (juce::isPositiveAndBelow (index, getNumControls()));
    const auto& control = mControls[(size_t) index];

    std::visit ([value] (auto* stored) { *stored = static_cast<std::remove_pointer_t<decltype (stored)>> (value); },
                control.value);

    const auto stored = getControlValue (index);

    for (const auto& entry : control.description->pictures)
        if (entry.value == stored)
            showPicture (control, entry.picture);
}

void SelectorWidget::showPicture (const Control& control, SelectorPicture picture)
{
    // Empty over and down pictures: hovering and pressing keep the look, and with a zero
    // alpha threshold the whole button rectangle takes clicks.
    const auto transparent = juce::Colour (0x00000000);
    control.button->setImages (false, true, true, getSelectorPicture (picture), 1.0f, transparent, {}, 1.0f,
                               transparent, {}, 1.0f, transparent, 0.0f);
}

void SelectorWidget::step (int index, bool forwards)
{
    const auto& control = mControls[(size_t) index];
    const auto& rule = control.description->advance;
    const auto reached = std::visit (
        [&rule, forwards] (auto* stored) {
            return (juce::uint32) (forwards ? rule.next (*stored) : rule.previous (*stored));
        },
        control.value);

    showControlValue (index, reached);
    sendActionMessage (makeSettingMessage (control.description->setting, getControlValue (index)));
}

//==============================================================================
OneControlSelector::OneControlSelector (const SelectorControlDescription& description, int designWidth,
                                        int designHeight)
{
    addControl (description, mButton, mValue);
    setSize (designWidth, designHeight);
}

OneControlSelector::~OneControlSelector() = default;

void OneControlSelector::showValue (juce::uint8 value) { showControlValue (0, value); }

} // namespace tarnovelle
