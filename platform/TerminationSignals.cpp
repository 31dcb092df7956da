#include "platform/TerminationSignals.h"

#include "platform/QuitRequest.h"

#include <atomic>
#include <cerrno>
#include <csignal>
#include <fcntl.h>
#include <unistd.h>
#include <utility>

namespace tarnovelle
{

namespace
{
    constexpr int signals[] = { SIGTERM, SIGHUP };

    // The pipe's write end, for the handler; -1 while there is none.
    std::atomic<int> wakeUpHandle{ -1 };
    static_assert (std::atomic<int>::is_always_lock_free);

    // Only what a signal handler may do: an atomic store and a write.
    void onTerminationSignal (int)
    {
        QuitRequest::raise();

        const int savedErrno = errno;

        if (const int handle = wakeUpHandle.load(); handle >= 0)
        {
            const char byte = 1;
            [[maybe_unused]] const auto written = write (handle, &byte, 1);
        }

        errno = savedErrno;
    }
} // namespace

TerminationSignals::TerminationSignals()
{
    if (pipe2 (wakeUpPipe, O_CLOEXEC | O_NONBLOCK) == 0)
    {
        juce::LinuxEventLoop::registerFdCallback (wakeUpPipe[0], [this] (int) { quitOnce(); });
        wakeUpHandle.store (wakeUpPipe[1]);
    }

    struct sigaction action = {};
    action.sa_handler = onTerminationSignal;
    sigemptyset (&action.sa_mask);

    for (auto signal : signals)
        sigaction (signal, &action, nullptr);
}

TerminationSignals::~TerminationSignals()
{
    for (auto signal : signals)
        std::signal (signal, SIG_DFL);

    wakeUpHandle.store (-1);

    if (wakeUpPipe[0] >= 0)
    {
        juce::LinuxEventLoop::unregisterFdCallback (wakeUpPipe[0]);
        close (wakeUpPipe[0]);
        close (wakeUpPipe[1]);
    }
}

void TerminationSignals::quitOnce()
{
    // The byte is left in the pipe on purpose. When the quit is handled inside a modal loop that
    // runs within one of JUCE's event callbacks (a file chooser's, say), the outer loop can go
    // back to sleep without looking whether it should end, and nothing else may ever wake it;
    // a pipe that stays readable keeps it coming back until it ends.
    if (std::exchange (quitting, true))
        return;

    juce::JUCEApplicationBase::quit();
}

} // namespace tarnovelle
