#pragma once

#include <juce_gui_basics/juce_gui_basics.h>

namespace tarnovelle
{

/** A TabbedComponent that tells its listeners when the current tab changes. */
class TabbedComponentWarp final : public juce::TabbedComponent
{
public:
    class TabbedComponentListener
    {
    public:
        virtual ~TabbedComponentListener() = default;

        virtual void tabChanged (TabbedComponentWarp* source, int newCurrentTabIndex,
                                 const juce::String& newCurrentTabName) = 0;
    };

    explicit TabbedComponentWarp (juce::TabbedButtonBar::Orientation orientation);
    ~TabbedComponentWarp() override;

    /** Adds the listener unless it is already there. */
    void addTabListener (TabbedComponentListener* listener);
    void removeTabListener (TabbedComponentListener* listener);

    void currentTabChanged (int newCurrentTabIndex, const juce::String& newCurrentTabName) override;

private:
    juce::ListenerList<TabbedComponentListener> mTabListeners;

    JUCE_DECLARE_NON_COPYABLE_WITH_LEAK_DETECTOR (TabbedComponentWarp)
};

} // namespace tarnovelle
