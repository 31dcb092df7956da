#include <gtest/gtest.h>

#include <juce_events/juce_events.h>

// The tests run on the message thread: the code under test runs the message loop while it
// waits, as it does in the application.
int main (int argc, char** argv)
{
    ::testing::InitGoogleTest (&argc, argv);

    int result = 0;

    {
        juce::ScopedJuceInitialiser_GUI juce;
        result = RUN_ALL_TESTS();
    }

    return result;
}
