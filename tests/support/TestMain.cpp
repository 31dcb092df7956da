#include <gtest/gtest.h>

#include <juce_events/juce_events.h>

#include <atomic>
#include <cstdio>
#include <cstdlib>

namespace
{
/** In a build with JUCE's assertions (JUCE_LOG_ASSERTIONS), JUCE writes every assertion that
    fails to the current logger. This one makes it a failure of the test that was running (from
    whichever thread hit it), and ends the process with a failing status when it comes after the
    last test: that is where JUCE's leak detector reports an object never deleted. Everything
    else logged goes to stderr, as without a logger.
*/
class AssertionsFailTests final : public juce::Logger
{
public:
    std::atomic<bool> testsRunning{ false };

private:
    void logMessage (const juce::String& message) override
    {
        std::fprintf (stderr, "%s\n", message.toRawUTF8());

        if (! message.startsWith ("JUCE Assertion failure"))
            return;

        if (testsRunning.load (std::memory_order_acquire))
        {
            ADD_FAILURE() << message;
            return;
        }

        std::fprintf (stderr, "a JUCE assertion failed after the tests (a leaked object?): failing the run\n");
        std::fflush (stderr);
        std::_Exit (EXIT_FAILURE);
    }
};
} // namespace

// The tests run on the message thread: the code under test runs the message loop while it
// waits, as it does in the application.
int main (int argc, char** argv)
{
    ::testing::InitGoogleTest (&argc, argv);

    // Never deleted: the leak detector reports while the process's static objects are destroyed.
    auto* logger = new AssertionsFailTests();
    juce::Logger::setCurrentLogger (logger);

    int result = 0;

    {
        juce::ScopedJuceInitialiser_GUI juce;
        logger->testsRunning.store (true, std::memory_order_release);
        result = RUN_ALL_TESTS();
        logger->testsRunning.store (false, std::memory_order_release);
    }

    return result;
}
