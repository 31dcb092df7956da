#pragma once

namespace tarnovelle
{

/** Whether the program has been asked to end, by the user closing its window or by the system.

    Once JUCE has taken a quit, every run of the message loop returns at once: nothing that
    waits on the message loop (a reply wait, a pause, a modal window's timer) would end as it
    should. Every such wait therefore looks here and ends early, as a failure that shows
    nothing more; the dialogs answer Cancel without being shown.
*/
namespace QuitRequest
{
    /** Records the request; safe from any thread. */
    void raise() noexcept;

    /** True once the program has been asked to end, here or through JUCE's own quit. */
    bool isRaised() noexcept;

    /** Forgets a request, for a program that goes on after one (the test suites). */
    void reset() noexcept;
} // namespace QuitRequest

} // namespace tarnovelle
