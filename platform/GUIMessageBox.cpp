#include "platform/GUIMessageBox.h"

// Xlib after JUCE: its macros (None, Bool, Status) would clash with JUCE's names.
#include <X11/Xlib.h>
#include <X11/Xutil.h>
#undef KeyPress // an X event type's number, and JUCE's key class

namespace tarnovelle
{

namespace
{
    ::Window windowOf (juce::Component& component)
    {
        auto* peer = component.getPeer();
        return peer != nullptr ? (::Window) (juce::pointer_sized_uint) peer->getNativeHandle() : 0;
    }
} // namespace

GUIMessageBox::GUIMessageBox (juce::MessageBoxIconType icon, const juce::String& title, const juce::String& message,
                              bool withCancel)
    // The box JUCE's NativeMessageBox shows on Linux, with the same buttons and keys.
    : box (juce::LookAndFeel::getDefaultLookAndFeel().createAlertWindow (title, message, "OK", "Cancel", {}, icon,
                                                                         withCancel ? 2 : 1, nullptr))
    // A connection of its own to the X server (JUCE keeps its own to itself); none without one.
    , display (XOpenDisplay (nullptr))
{
    box->addKeyListener (this);
    juce::Desktop::getInstance().addFocusChangeListener (this);

    // Set before the box is shown: window managers place a transient when it is mapped.
    const auto boxWindow = windowOf (*box);
    auto* active = juce::TopLevelWindow::getActiveTopLevelWindow();
    const auto owner = active != nullptr ? windowOf (*active) : 0;

    if (display != nullptr && boxWindow != 0 && owner != 0)
    {
        XSetTransientForHint (display, boxWindow, owner);
        XFlush (display);
    }
}

GUIMessageBox::~GUIMessageBox()
{
    juce::Desktop::getInstance().removeFocusChangeListener (this);
    box->removeKeyListener (this);

    if (display != nullptr)
        XCloseDisplay (display);
}

bool GUIMessageBox::runModally()
{
    box->enterModalState (true);
    raise();
    return box->runModalLoop() == 1;
}

bool GUIMessageBox::keyPressed (const juce::KeyPress&, juce::Component*)
{
    if (holdsTheKeyboard())
        return false;

    // Typed into a window the box blocks, which still holds the keyboard: the user has not
    // seen the box yet.
    raise();
    box->toFront (true);
    return true;
}

void GUIMessageBox::globalFocusChanged (juce::Component* focused)
{
    if (focused != nullptr && (focused == box.get() || box->isParentOf (focused)))
        raise();
}

// JUCE only asks a window manager, if there is one, to bring a window to the front: the box is
// raised here, which window managers and the bare X server carry out.
void GUIMessageBox::raise()
{
    if (const auto boxWindow = windowOf (*box); display != nullptr && boxWindow != 0 && box->isShowing())
    {
        XRaiseWindow (display, boxWindow);
        XFlush (display);
    }
}

bool GUIMessageBox::holdsTheKeyboard()
{
    const auto boxWindow = windowOf (*box);

    if (display == nullptr || boxWindow == 0)
        return false;

    // The X server's keyboard focus is the box's window or one inside it (JUCE's key proxy).
    ::Window window = 0, root = 0, parent = 0, *children = nullptr;
    unsigned int numChildren = 0;
    int revert = 0;
    XGetInputFocus (display, &window, &revert);

    while (window > PointerRoot && window != boxWindow
           && XQueryTree (display, window, &root, &parent, &children, &numChildren) != 0)
    {
        XFree (children);
        window = window == root ? 0 : parent;
    }

    return window == boxWindow;
}

} // namespace tarnovelle
