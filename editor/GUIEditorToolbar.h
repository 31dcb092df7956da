#pragma once

#include <juce_gui_basics/juce_gui_basics.h>

#include <functional>

namespace tarnovelle
{

/** A toolbar whose buttons always show their whole labels: they keep the width their labels
    need and wrap onto further rows when the window is too narrow for one.

    Adding a button is one call; other controls (a combo box, a toggle) join with addControl.
*/
class GUIEditorToolbar final : public juce::Component
{
public:
    GUIEditorToolbar();
    ~GUIEditorToolbar() override;

    static constexpr int rowHeight = 28;
    static constexpr int rowGap = 6;

    juce::TextButton& addButton (const juce::String& text, const juce::String& tooltip, std::function<void()> action);

    /** Adds a control the caller owns, at a fixed width. */
    void addControl (juce::Component& control, int width);

    /** The next item starts a new group, a little apart from the one before. */
    void startGroup() noexcept { groupPending = true; }

    /** The height the toolbar needs at a width: one row, or as many as the items take. */
    int getHeightForWidth (int width) const;

    /** The button with this label; nullptr when there is none. */
    juce::TextButton* findButton (const juce::String& text) const;

    /** The width of the widest item: narrower, a toolbar cuts it. */
    int getMinimumWidth() const;

    void resized() override;

private:
    struct Item
    {
        juce::Component* component;
        int width;
        bool startsGroup;
    };

    std::vector<juce::Rectangle<int>> layOut (int width) const;
    std::vector<juce::Rectangle<int>> flow (int width, bool keepGroupsWhole) const;
    int getGroupWidth (size_t firstItem) const;
    void add (juce::Component& component, int width);

    std::vector<Item> items;
    juce::OwnedArray<juce::TextButton> buttons;
    bool groupPending = false;

    JUCE_DECLARE_NON_COPYABLE_WITH_LEAK_DETECTOR (GUIEditorToolbar)
};

} // namespace tarnovelle
