#include "platform/Platform.h"

#include <juce_events/juce_events.h>

#include <atomic>

namespace tarnovelle
{

namespace
{
    std::atomic<MidiBackend*> currentBackend{ nullptr };
    std::atomic<Dialogs*> currentDialogs{ nullptr };
} // namespace

MidiBackend& Platform::midi()
{
    auto* backend = currentBackend.load (std::memory_order_acquire);
    jassert (backend != nullptr);
    return *backend;
}

Dialogs& Platform::dialogs()
{
    auto* dialogs = currentDialogs.load (std::memory_order_acquire);
    jassert (dialogs != nullptr);
    return *dialogs;
}

void Platform::setMidiBackend (MidiBackend* backend) { currentBackend.store (backend, std::memory_order_release); }

void Platform::setDialogs (Dialogs* dialogs) { currentDialogs.store (dialogs, std::memory_order_release); }

void Platform::runMessageLoopFor (int milliseconds)
{
    if (auto* mm = juce::MessageManager::getInstanceWithoutCreating())
    {
        if (mm->isThisTheMessageThread())
        {
            mm->runDispatchLoopUntil (milliseconds);
            return;
        }
    }

    juce::Thread::sleep (milliseconds);
}

} // namespace tarnovelle
