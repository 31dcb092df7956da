#include "platform/QuitRequest.h"

#include <juce_events/juce_events.h>

#include <atomic>

namespace tarnovelle
{

namespace
{
    std::atomic<bool> raised{ false };
} // namespace

void QuitRequest::raise() noexcept { raised.store (true, std::memory_order_release); }

bool QuitRequest::isRaised() noexcept
{
    if (raised.load (std::memory_order_acquire))
        return true;

    auto* messageManager = juce::MessageManager::getInstanceWithoutCreating();
    return messageManager != nullptr && messageManager->hasStopMessageBeenSent();
}

void QuitRequest::reset() noexcept { raised.store (false, std::memory_order_release); }

} // namespace tarnovelle
