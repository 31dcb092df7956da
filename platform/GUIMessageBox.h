#pragma once

#include <juce_gui_basics/juce_gui_basics.h>

struct _XDisplay; // Xlib's Display

namespace tarnovelle
{

/** The program's message and OK/Cancel boxes: JUCE's own, kept in front of the program's
    windows.

    A box can open while the user types in another window of the program (the "Multiple
    instance" box, which another start brings), and a window manager that keeps a new window
    from taking the focus then puts it behind that window, where it takes the window's keys
    unseen. So the box is made a transient of the active window, which window managers keep
    below it, and is raised above the program's windows when it opens, whenever it takes the
    keyboard (as when a window it blocks is focused), and when a key typed into a window it
    blocks reaches it: that key only brings it to the front.
*/
class GUIMessageBox final : private juce::KeyListener, private juce::FocusChangeListener
{
public:
    /** A box with OK, or with OK and Cancel. */
    GUIMessageBox (juce::MessageBoxIconType icon, const juce::String& title, const juce::String& message,
                   bool withCancel);
    ~GUIMessageBox() override;

    /** Shows the box until it is answered: true for OK. */
    bool runModally();

private:
    bool keyPressed (const juce::KeyPress& key, juce::Component* origin) override;
    void globalFocusChanged (juce::Component* focused) override;
    void raise();
    bool holdsTheKeyboard();

    std::unique_ptr<juce::AlertWindow> box;
    _XDisplay* display = nullptr; // a connection of the box's own to the X server

    JUCE_DECLARE_NON_COPYABLE_WITH_LEAK_DETECTOR (GUIMessageBox)
};

} // namespace tarnovelle
