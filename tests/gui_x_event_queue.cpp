// A click's or a key's X event that a request made outside JUCE's reading of the connection
// took into Xlib's queue still reaches its window.

// Google Test before Xlib, whose macros (None, Bool) would clash with its names; JUCE's X window
// system (its display and lock) is declared only with the X headers.
#include <gtest/gtest.h>
#define JUCE_GUI_BASICS_INCLUDE_XHEADERS 1

#include "platform/XEventQueueGuard.h"
#include "tests/support/GuiTestSupport.h"

#include <X11/keysym.h>

namespace tarnovelle
{
namespace
{
    using namespace test;

    struct KeyCountingWindow final : public juce::Component
    {
        KeyCountingWindow()
        {
            setBounds (40, 40, 200, 100);
            addToDesktop (0);
            setVisible (true);
        }

        bool keyPressed (const juce::KeyPress&) override
        {
            ++keysPressed;
            return true;
        }

        int keysPressed = 0;
    };

    /** Sends the window a key press from a connection of its own, as the X server passes on a
        key the user types.
    */
    void typeKeyFromOutside (::Window window)
    {
        auto* other = XOpenDisplay (nullptr);
        ASSERT_NE (other, nullptr);

        XEvent key{};
        key.xkey.type = 2; // KeyPress, a name JUCE takes back for its own class
        key.xkey.window = window;
        key.xkey.root = DefaultRootWindow (other);
        key.xkey.keycode = XKeysymToKeycode (other, XK_a);
        key.xkey.same_screen = True;
        XSendEvent (other, window, False, NoEventMask, &key);
        XSync (other, False);
        XCloseDisplay (other);
    }
} // namespace

TEST (XEventQueueGuard, AKeyThatARoundTripReadAheadStillReachesItsWindow)
{
    KeyCountingWindow window;
    deliverQueuedMessages();

    auto* display = juce::XWindowSystem::getInstance()->getDisplay();
    typeKeyFromOutside ((::Window) window.getPeer()->getNativeHandle());

    // The server sent the key before it answers this round trip, so Xlib reads it into its
    // queue while waiting: the socket is empty afterwards, as after a timer asked the server
    // something between a click's press and its release.
    {
        juce::XWindowSystemUtilities::ScopedXLock lock;
        XSync (display, False);
        ASSERT_GT (XEventsQueued (display, QueuedAlready), 0);
    }

    XEventQueueGuard guard;
    EXPECT_TRUE (waitFor ([&window] { return window.keysPressed == 1; }, 2000));
}

} // namespace tarnovelle
