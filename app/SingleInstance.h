#pragma once

#include <juce_events/juce_events.h>

#include <functional>

namespace tarnovelle
{

/** Keeps one instance of the application per user, and tells it of every later start.

    The decision is made once, when this object is built, before anything else of the program
    is touched. The first start binds a Unix socket in the abstract namespace named after the
    application and the user id: no file, so nothing a crash, another user or a start with
    another runtime folder could leave behind or change, and the name is free again as soon as
    the process holding it ends. A later start finds the name taken, checks that the process
    holding it is the same user's, and sends its command line through it; the running instance
    accepts these from its message loop, one call for each, reading a bounded note from the
    same user's processes only.

    When it cannot be told whether another instance runs (the name held by another user, or by
    a program that does not take the connection within a second, no socket to be had), the
    program runs, and getProblem() says why, for the user to be told. Nothing here waits longer.

    The name belongs to the network namespace: a start in another one (a sandbox) does not see
    it and runs as an instance of its own.
*/
class SingleInstance final
{
public:
    explicit SingleInstance (const juce::String& applicationName);
    ~SingleInstance();

    /** True when another instance of the application is already running for this user. */
    bool isAnotherInstanceRunning() const noexcept { return anotherInstance; }

    /** Why this start could not make sure it is the only one; empty when it could. */
    const juce::String& getProblem() const noexcept { return problem; }

    /** From a later start: tells the running instance. */
    bool notifyRunningInstance (const juce::String& commandLine);

    /** In the running instance: called on the message thread for every later start. */
    void listen (std::function<void (const juce::String& commandLine)> onAnotherInstance);

    /** The socket's name in the abstract namespace, without its leading NUL. */
    static juce::String getSocketName (const juce::String& applicationName);

private:
    class Listener;

    void findOutWhoHoldsTheName (const juce::String& name);

    int ownSocket = -1;       // the bound socket, in the first instance
    int runningInstance = -1; // connected to the first instance, in a later start
    bool anotherInstance = false;
    juce::String problem;
    std::unique_ptr<Listener> listener;

    JUCE_DECLARE_NON_COPYABLE_WITH_LEAK_DETECTOR (SingleInstance)
};

} // namespace tarnovelle
