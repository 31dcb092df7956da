#pragma once

#include <juce_gui_basics/juce_gui_basics.h>

#include <gtest/gtest.h>

#include <atomic>
#include <memory>
#include <utility>

namespace juce
{
/** Lets failed expectations print the messages received. */
inline void PrintTo (const StringArray& messages, std::ostream* os)
{
    *os << "{ \"" << messages.joinIntoString ("\", \"") << "\" }";
}
} // namespace juce

namespace tarnovelle::test
{

/** Runs the message loop until everything queued before the call has been delivered, and
    what that queued in turn (a click queues its broadcast), however busy the machine: a
    message posted behind them is a barrier that the queue reaches only after them.
*/
inline void deliverQueuedMessages (int rounds = 2)
{
    for (int round = 0; round < rounds; ++round)
    {
        auto reached = std::make_shared<std::atomic<bool>> (false);
        juce::MessageManager::callAsync ([reached] { reached->store (true); });

        for (const auto end = juce::Time::getMillisecondCounter() + 10000;
             ! reached->load() && juce::Time::getMillisecondCounter() < end;)
            juce::MessageManager::getInstance()->runDispatchLoopUntil (5);

        EXPECT_TRUE (reached->load()) << "the message queue never reached its barrier";
    }
}

/** Stands in for the application's action hub: keeps every message, in order. */
class MessageRecorder final : public juce::ActionListener
{
public:
    juce::StringArray messages;

    void actionListenerCallback (const juce::String& message) override { messages.add (message); }

    /** Delivers what is queued and returns it, forgetting it here. */
    juce::StringArray take()
    {
        deliverQueuedMessages();
        return std::exchange (messages, {});
    }
};

/** A click as the keyboard or an accessibility client makes it, delivered at once. */
inline void click (juce::Button& button)
{
    button.triggerClick();
    deliverQueuedMessages();
}

inline bool samePixels (const juce::Image& a, const juce::Image& b)
{
    bool same = a.isValid() && b.isValid() && a.getBounds() == b.getBounds();

    for (int y = 0; same && y < a.getHeight(); ++y)
        for (int x = 0; same && x < a.getWidth(); ++x)
            same = a.getPixelAt (x, y) == b.getPixelAt (x, y);

    return same;
}

/** The i-th direct child of the given type, or nullptr. */
template <typename Type>
Type* findChild (juce::Component& parent, int occurrence = 0)
{
    for (auto* child : parent.getChildren())
        if (auto* typed = dynamic_cast<Type*> (child))
            if (occurrence-- == 0)
                return typed;

    return nullptr;
}

} // namespace tarnovelle::test
