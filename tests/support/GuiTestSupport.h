#pragma once

#include <juce_gui_basics/juce_gui_basics.h>

#include "tests/support/Wait.h"

#include <gtest/gtest.h>

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
