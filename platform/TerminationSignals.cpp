#include "platform/TerminationSignals.h"

#include "platform/QuitRequest.h"

#include <atomic>
#include <csignal>

namespace tarnovelle
{

namespace
{
    constexpr int checkIntervalMs = 20;
    constexpr int signals[] = { SIGTERM, SIGHUP };

    // Lock-free, so the handler may set it.
    std::atomic<bool> signalled{ false };
    static_assert (std::atomic<bool>::is_always_lock_free);

    void onTerminationSignal (int)
    {
        signalled.store (true);
        QuitRequest::raise();
    }
} // namespace

TerminationSignals::TerminationSignals()
{
    struct sigaction action = {};
    action.sa_handler = onTerminationSignal;
    sigemptyset (&action.sa_mask);

    for (auto signal : signals)
        sigaction (signal, &action, nullptr);

    startTimer (checkIntervalMs);
}

TerminationSignals::~TerminationSignals()
{
    stopTimer();

    for (auto signal : signals)
        std::signal (signal, SIG_DFL);
}

void TerminationSignals::timerCallback()
{
    if (signalled.exchange (false))
        juce::JUCEApplicationBase::quit();
}

} // namespace tarnovelle
