#include "editor/GUIEditorToolbar.h"

#include "editor/GUISequenceGrid.h"

namespace tarnovelle
{

namespace
{
    constexpr int itemGap = 3;
    constexpr int groupGap = 14;
} // namespace

GUIEditorToolbar::GUIEditorToolbar() = default;
GUIEditorToolbar::~GUIEditorToolbar() = default;

juce::TextButton& GUIEditorToolbar::addButton (const juce::String& text, const juce::String& tooltip,
                                               std::function<void()> action)
{
    auto* button = buttons.add (new juce::TextButton (text, tooltip));
    button->setWantsKeyboardFocus (false);
    button->onClick = std::move (action);
    button->setColour (juce::TextButton::buttonColourId, juce::Colour (0xff39404a));
    button->setColour (juce::TextButton::textColourOffId, SequenceEditorLook::text);
    add (*button, juce::jmax (36, button->getBestWidthForHeight (rowHeight)));
    return *button;
}

void GUIEditorToolbar::addControl (juce::Component& control, int width) { add (control, width); }

void GUIEditorToolbar::add (juce::Component& component, int width)
{
    items.push_back ({ &component, width, groupPending && ! items.empty() });
    groupPending = false;
    addAndMakeVisible (component);
}

juce::TextButton* GUIEditorToolbar::findButton (const juce::String& text) const
{
    for (auto* button : buttons)
        if (button->getButtonText() == text)
            return button;

    return nullptr;
}

int GUIEditorToolbar::getMinimumWidth() const
{
    int widest = 0;

    for (const auto& item : items)
        widest = juce::jmax (widest, item.width);

    return widest;
}

int GUIEditorToolbar::getGroupWidth (size_t first) const
{
    int width = items[first].width;

    for (auto i = first + 1; i < items.size() && ! items[i].startsGroup; ++i)
        width += itemGap + items[i].width;

    return width;
}

std::vector<juce::Rectangle<int>> GUIEditorToolbar::layOut (int width) const
{
    // Groups kept whole, unless that takes more rows than letting them wrap: at narrow widths
    // the piano roll's height matters more.
    auto grouped = flow (width, true);
    auto plain = flow (width, false);

    if (grouped.empty() || grouped.back().getBottom() <= plain.back().getBottom())
        return grouped;

    return plain;
}

std::vector<juce::Rectangle<int>> GUIEditorToolbar::flow (int width, bool keepGroupsWhole) const
{
    std::vector<juce::Rectangle<int>> bounds;
    int x = 0, y = 0;

    for (size_t i = 0; i < items.size(); ++i)
    {
        const auto& item = items[i];
        const int leading = x == 0 ? 0 : (item.startsGroup ? groupGap : itemGap);

        // A group kept whole starts a new row rather than breaking inside, where it fits on one.
        const bool wholeGroup = keepGroupsWhole && item.startsGroup && getGroupWidth (i) <= width;
        const int needed = wholeGroup ? getGroupWidth (i) : item.width;

        if (x > 0 && x + leading + needed > width)
        {
            x = 0;
            y += rowHeight + rowGap;
        }
        else
        {
            x += leading;
        }

        bounds.emplace_back (x, y, item.width, rowHeight);
        x += item.width;
    }

    return bounds;
}

int GUIEditorToolbar::getHeightForWidth (int width) const
{
    const auto bounds = layOut (width);
    return bounds.empty() ? rowHeight : bounds.back().getBottom();
}

void GUIEditorToolbar::resized()
{
    const auto bounds = layOut (getWidth());

    for (size_t i = 0; i < items.size(); ++i)
        items[i].component->setBounds (bounds[i]);
}

} // namespace tarnovelle
