#pragma once

#include "protocol/ActionVocabulary.h"

#include <juce_gui_basics/juce_gui_basics.h>

#include <functional>

namespace tarnovelle
{

/** A push button of the sequences and firmware tabs: a pad picture without text (the
    caption is printed on the tab's background) that does one thing when clicked.

    The classes built on it differ only in their click action, which is given to the
    constructor; most broadcast one command of the action vocabulary.
*/
class GUIPushButton : public juce::Component, public juce::ActionBroadcaster, public juce::Button::Listener
{
public:
    ~GUIPushButton() override;

    void paint (juce::Graphics&) override {}
    void resized() override;
    void buttonClicked (juce::Button* button) override;

protected:
    using ClickAction = std::function<void (GUIPushButton&)>;

    explicit GUIPushButton (ClickAction clickAction);

    /** The click action that broadcasts the command's prefix, with no value. */
    static ClickAction broadcasting (Action command);

private:
    std::unique_ptr<juce::ImageButton> mButton;
    ClickAction mClickAction;

    JUCE_DECLARE_NON_COPYABLE_WITH_LEAK_DETECTOR (GUIPushButton)
};

} // namespace tarnovelle
