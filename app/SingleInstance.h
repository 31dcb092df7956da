#pragma once

#include <juce_events/juce_events.h>

#include <functional>

namespace tarnovelle
{

/** Keeps one instance of the application per user and tells it when another one starts.

    JUCE refuses the second instance on its own but never tells the running one on Linux, so
    the first instance listens on a named pipe and a second start passes its command line
    through it before it ends.
*/
class SingleInstance final
{
public:
    explicit SingleInstance (const juce::String& applicationName);
    ~SingleInstance();

    /** True when another instance of the application is already running. */
    bool isAnotherInstanceRunning() const noexcept { return ! isFirst; }

    /** From a second instance: passes the command line to the running one. */
    bool notifyRunningInstance (const juce::String& commandLine);

    /** In the first instance: called on the message thread for every later start. */
    void listen (std::function<void (const juce::String& commandLine)> onAnotherInstance);

private:
    class Listener;

    const juce::String pipeName;
    juce::InterProcessLock lock;
    bool isFirst = false;
    std::unique_ptr<Listener> listener;

    JUCE_DECLARE_NON_COPYABLE_WITH_LEAK_DETECTOR (SingleInstance)
};

} // namespace tarnovelle
