#pragma once

#include "app/CommandTable.h"

namespace tarnovelle
{

/** Every command of a window's table with its keys, menu by menu, as Help → Keyboard
    Shortcuts lists them.
*/
class GUIKeyboardShortcuts final : public juce::Component, private juce::ListBoxModel
{
public:
    struct Row
    {
        juce::String menu; // set on a menu's heading only
        juce::String name, keys, description;
    };

    explicit GUIKeyboardShortcuts (const CommandTable& table);
    ~GUIKeyboardShortcuts() override;

    const std::vector<Row>& getRows() const noexcept { return rows; }

    void resized() override;

private:
    int getNumRows() override { return (int) rows.size(); }
    void paintListBoxItem (int row, juce::Graphics& g, int width, int height, bool selected) override;

    std::vector<Row> rows;
    juce::ListBox list;

    JUCE_DECLARE_NON_COPYABLE_WITH_LEAK_DETECTOR (GUIKeyboardShortcuts)
};

/** The "Keyboard Shortcuts" window of a table; closing it only hides it. */
class GUIKeyboardShortcutsWindow final : public juce::DocumentWindow
{
public:
    GUIKeyboardShortcutsWindow (const juce::String& windowName, const CommandTable& table);
    ~GUIKeyboardShortcutsWindow() override;

    void closeButtonPressed() override { setVisible (false); }

    GUIKeyboardShortcuts& getShortcuts() noexcept { return *mShortcuts; }

    /** Opens the window, creating it on the first call, and brings it to the front. */
    static void show (std::unique_ptr<GUIKeyboardShortcutsWindow>& window, const juce::String& windowName,
                      const CommandTable& table);

private:
    std::unique_ptr<GUIKeyboardShortcuts> mShortcuts;

    JUCE_DECLARE_NON_COPYABLE_WITH_LEAK_DETECTOR (GUIKeyboardShortcutsWindow)
};

} // namespace tarnovelle
