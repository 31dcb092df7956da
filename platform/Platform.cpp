#include "platform/Platform.h"

#include "platform/QuitAwareDialogs.h"
#include "platform/QuitRequest.h"

#include <juce_events/juce_events.h>

#include <atomic>

namespace tarnovelle
{

namespace
{
    std::atomic<MidiBackend*> currentBackend{ nullptr };

    QuitAwareDialogs& getQuitAwareDialogs()
    {
        static QuitAwareDialogs dialogs;
        return dialogs;
    }
} // namespace

MidiBackend& Platform::midi()
{
    auto* backend = currentBackend.load (std::memory_order_acquire);
    jassert (backend != nullptr);
    return *backend;
}

Dialogs& Platform::dialogs()
{
    auto& dialogs = getQuitAwareDialogs();
    jassert (dialogs.getDialogs() != nullptr);
    return dialogs;
}

void Platform::setMidiBackend (MidiBackend* backend) { currentBackend.store (backend, std::memory_order_release); }

void Platform::setDialogs (Dialogs* dialogs) { getQuitAwareDialogs().setDialogs (dialogs); }

bool Platform::isDialogOpen() { return getQuitAwareDialogs().isAnyOpen(); }

void Platform::runMessageLoopFor (int milliseconds)
{
    // After a quit the message loop no longer runs; the caller looks at the request itself.
    if (QuitRequest::isRaised())
        return;

    if (auto* mm = juce::MessageManager::getInstanceWithoutCreating())
    {
        if (mm->isThisTheMessageThread())
        {
            // In short runs, so that a request raised on another thread ends a long one soon.
            constexpr int longestRunMs = 20;
            const auto end = juce::Time::getMillisecondCounter() + (juce::uint32) juce::jmax (0, milliseconds);

            for (auto now = juce::Time::getMillisecondCounter(); (int) (end - now) > 0 && ! QuitRequest::isRaised();
                 now = juce::Time::getMillisecondCounter())
                mm->runDispatchLoopUntil (juce::jmin (longestRunMs, (int) (end - now)));

            return;
        }
    }

    juce::Thread::sleep (milliseconds);
}

} // namespace tarnovelle
