#pragma once

#include "app/FocusRing.h"
#include "app/TabbedComponentWarp.h"

#include <vector>

namespace tarnovelle
{

/** The main window without a mouse.

    Tab and Shift+Tab move the keyboard focus, with a ring around it, over the controls of
    the tab shown in reading order (row by row, left to right), then the tab bar and CONNECT,
    and round again. Space or Return on a control clicks it, so it sends exactly what a click
    sends; Up and Down step a setting's switch or knob forwards (as a click does) and back.

    The ring is for the keyboard: a mouse click hides it until a key is used again, and the
    mouse works as it always did.
*/
class PanelKeyboard final : private juce::KeyListener, private juce::FocusChangeListener, private juce::MouseListener
{
public:
    /** Takes the controls of every tab, the tab bar and the connect button as they are now;
        the ring is added to the window.
    */
    PanelKeyboard (juce::Component& window, TabbedComponentWarp& tabs, juce::Button& connectButton);
    ~PanelKeyboard() override;

    /** Tab (forwards) or Shift+Tab: the next control from the one that has the focus, or the
        first (last) one when none has it.
    */
    void moveFocus (bool forwards);

    /** The controls that Tab visits now, in order. */
    std::vector<juce::Button*> getFocusOrder() const;

    const FocusRing& getRing() const noexcept { return mRing; }

private:
    bool keyPressed (const juce::KeyPress& key, juce::Component* origin) override;
    void globalFocusChanged (juce::Component* focused) override;
    void mouseDown (const juce::MouseEvent&) override;

    void listenTo (juce::Button& button);
    void showRing (juce::Component* target);

    juce::Component& window;
    TabbedComponentWarp& tabs;
    juce::Button& connectButton;
    std::vector<juce::Component::SafePointer<juce::Button>> mListenedTo;
    FocusRing mRing;
    bool mKeyboardInUse = false;

    JUCE_DECLARE_NON_COPYABLE_WITH_LEAK_DETECTOR (PanelKeyboard)
};

} // namespace tarnovelle
