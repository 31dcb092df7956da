// JUCE's own X window system (its display, lock and Xlib functions, which it loads itself, so
// that a plug-in needs no X library of its own) is declared only with the X headers.
#define JUCE_GUI_BASICS_INCLUDE_XHEADERS 1

#include "platform/XEventQueueGuard.h"

#include <juce_gui_basics/juce_gui_basics.h>

namespace tarnovelle
{

namespace
{
    ::Display* getJuceDisplay()
    {
        auto* system = juce::XWindowSystem::getInstanceWithoutCreating();
        return system != nullptr ? system->getDisplay() : nullptr;
    }
} // namespace

XEventQueueGuard::XEventQueueGuard()
{
    if (auto* display = getJuceDisplay())
    {
        juce::XWindowSystemUtilities::ScopedXLock lock;
        wakeAtom = juce::X11Symbols::getInstance()->xInternAtom (display, "TARNOVELLE_WAKE", False);
    }

    startTimer (checkIntervalMs);
}

XEventQueueGuard::~XEventQueueGuard() { stopTimer(); }

void XEventQueueGuard::timerCallback()
{
    auto* display = getJuceDisplay();

    // The wake goes to one of the program's own windows, whose client message JUCE ignores.
    if (display == nullptr || wakeAtom == 0 || juce::ComponentPeer::getNumPeers() == 0)
        return;

    const auto window = (::Window) juce::ComponentPeer::getPeer (0)->getNativeHandle();
    auto* x11 = juce::X11Symbols::getInstance();
    juce::XWindowSystemUtilities::ScopedXLock lock;

    // Only what Xlib holds already: looking reads nothing from the connection.
    if (window == 0 || x11->xEventsQueued (display, QueuedAlready) == 0)
        return;

    XEvent wake{};
    wake.xclient.type = ClientMessage;
    wake.xclient.window = window;
    wake.xclient.message_type = (Atom) wakeAtom;
    wake.xclient.format = 32;
    x11->xSendEvent (display, window, False, NoEventMask, &wake);
    x11->xFlush (display);
}

} // namespace tarnovelle
