#pragma once

#include <juce_events/juce_events.h>

namespace tarnovelle
{

/** Keeps the X server's events from waiting unread.

    JUCE reads its X connection when the connection's socket becomes readable. Any request that
    waits for a reply outside that reading (a window asked whether it is minimised, the focus
    looked up by a timer, the clipboard) makes Xlib read everything the server has sent in the
    meantime into its own queue: the socket is then empty, JUCE is not woken, and a click's
    release or a key waits there until some later event arrives, which may be never when the
    user waits for the click to act. Twenty times a second this looks whether Xlib's queue holds
    events, and if so asks the server to send the program one event of no meaning, whose arrival
    wakes JUCE, which then reads the whole queue.

    Does nothing without an X display.
*/
class XEventQueueGuard final : private juce::Timer
{
public:
    XEventQueueGuard();
    ~XEventQueueGuard() override;

    /** How often Xlib's queue is looked at. */
    static constexpr int checkIntervalMs = 50;

private:
    void timerCallback() override;

    unsigned long wakeAtom = 0;

    JUCE_DECLARE_NON_COPYABLE_WITH_LEAK_DETECTOR (XEventQueueGuard)
};

} // namespace tarnovelle
