#include "app/GUIKeyboardShortcuts.h"

#include "editor/GUISequenceGrid.h"

namespace tarnovelle
{

namespace Look = SequenceEditorLook;

namespace
{
    constexpr int rowHeight = 24;
    constexpr int nameWidth = 190;
    constexpr int keysWidth = 170;
    constexpr int margin = 12;
} // namespace

GUIKeyboardShortcuts::GUIKeyboardShortcuts (const CommandTable& table)
{
    const auto separator = juce::String (juce::CharPointer_UTF8 (" \xe2\x80\xba "));

    for (const auto& menu : table.getMenuNames())
    {
        rows.push_back ({ menu, {}, {}, {} });

        for (const auto& command : table.getCommands())
            if (command.menu == menu)
                rows.push_back ({ {},
                                  command.submenu.isEmpty() ? command.name : command.submenu + separator + command.name,
                                  table.getKeysText (command.id),
                                  command.description });
    }

    list.setModel (this);
    list.setRowHeight (rowHeight);
    list.setColour (juce::ListBox::backgroundColourId, Look::background);
    addAndMakeVisible (list);
    setSize (nameWidth + keysWidth + 480, 640);
}

GUIKeyboardShortcuts::~GUIKeyboardShortcuts() { list.setModel (nullptr); }

void GUIKeyboardShortcuts::resized() { list.setBounds (getLocalBounds()); }

void GUIKeyboardShortcuts::paintListBoxItem (int rowNumber, juce::Graphics& g, int width, int height, bool)
{
    if (rowNumber < 0 || rowNumber >= (int) rows.size())
        return;

    const auto& row = rows[(size_t) rowNumber];
    auto area = juce::Rectangle<int> (width, height).reduced (margin, 0);

    if (row.menu.isNotEmpty())
    {
        g.fillAll (Look::panel);
        g.setColour (Look::text);
        g.setFont (juce::Font (14.0f, juce::Font::bold));
        g.drawText (row.menu, area, juce::Justification::centredLeft);
        return;
    }

    g.setFont (juce::Font (14.0f));
    g.setColour (Look::text);
    g.drawText (row.name, area.removeFromLeft (nameWidth), juce::Justification::centredLeft, true);
    g.setColour (Look::note);
    g.drawText (row.keys, area.removeFromLeft (keysWidth), juce::Justification::centredLeft, true);
    g.setColour (Look::dimText);
    g.drawText (row.description, area, juce::Justification::centredLeft, true);
}

//==============================================================================
GUIKeyboardShortcutsWindow::GUIKeyboardShortcutsWindow (const juce::String& windowName, const CommandTable& table)
    : juce::DocumentWindow (windowName, Look::background, juce::DocumentWindow::allButtons, true)
{
    setUsingNativeTitleBar (true);
    mShortcuts = std::make_unique<GUIKeyboardShortcuts> (table);
    setContentNonOwned (mShortcuts.get(), true);
    setResizable (true, false);
    centreWithSize (getWidth(), getHeight());
}

GUIKeyboardShortcutsWindow::~GUIKeyboardShortcutsWindow() { clearContentComponent(); }

void GUIKeyboardShortcutsWindow::show (std::unique_ptr<GUIKeyboardShortcutsWindow>& window,
                                       const juce::String& windowName, const CommandTable& table)
{
    if (window == nullptr)
        window = std::make_unique<GUIKeyboardShortcutsWindow> (windowName, table);

    window->setVisible (true);
    window->toFront (true);
}

} // namespace tarnovelle
