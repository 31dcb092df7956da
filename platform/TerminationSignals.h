#pragma once

#include <juce_events/juce_events.h>

namespace tarnovelle
{

/** Ends the program when the system asks it to (SIGTERM, or SIGHUP at the end of a session),
    as JUCE ends it on SIGINT: nothing is asked. The request is recorded at once (QuitRequest),
    so that every wait and dialog under way ends, a file chooser's process with it; the message
    loop is then stopped from the loop itself, woken through a pipe the signal handler writes
    to. Lives on the message thread, one at a time.
*/
class TerminationSignals final
{
public:
    TerminationSignals();
    ~TerminationSignals();

private:
    void quitOnce();

    int wakeUpPipe[2] = { -1, -1 };
    bool quitting = false;

    JUCE_DECLARE_NON_COPYABLE_WITH_LEAK_DETECTOR (TerminationSignals)
};

} // namespace tarnovelle
