#pragma once

#include <juce_events/juce_events.h>

#include <functional>

namespace tarnovelle
{

/** Keeps one instance of the application per user, and tells it of every later start.

    The decision is made once, when this object is built, before any window exists: the first
    start takes a lock file in the user's own folder (the runtime folder, or one named after the
    user id in the temporary folder) and keeps it until it ends; every later start finds it
    taken. A later start leaves its command line as a file in the lock's folder before it ends;
    the running instance picks these up from its message loop, one call for each.
*/
class SingleInstance final
{
public:
    explicit SingleInstance (const juce::String& applicationName);
    ~SingleInstance();

    /** True when another instance of the application is already running. */
    bool isAnotherInstanceRunning() const noexcept { return lockHandle < 0; }

    /** From a later start: tells the running instance. */
    bool notifyRunningInstance (const juce::String& commandLine);

    /** In the running instance: called on the message thread for every later start. */
    void listen (std::function<void (const juce::String& commandLine)> onAnotherInstance);

    /** The folder that holds the lock and the notes of later starts. */
    const juce::File& getFolder() const noexcept { return folder; }

private:
    class Listener;

    const juce::File folder;
    const juce::File lockFile;
    const juce::File startsFolder;
    int lockHandle = -1;
    std::unique_ptr<Listener> listener;

    JUCE_DECLARE_NON_COPYABLE_WITH_LEAK_DETECTOR (SingleInstance)
};

} // namespace tarnovelle
