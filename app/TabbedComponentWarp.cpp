#include "app/TabbedComponentWarp.h"

namespace tarnovelle
{

TabbedComponentWarp::TabbedComponentWarp (juce::TabbedButtonBar::Orientation orientation)
    : juce::TabbedComponent (orientation)
{}

TabbedComponentWarp::~TabbedComponentWarp()
{
    // Nobody is told about the tabs going away with the TabbedComponent.
    mTabListeners.clear();
}

void TabbedComponentWarp::addTabListener (TabbedComponentListener* listener) { mTabListeners.add (listener); }

void TabbedComponentWarp::removeTabListener (TabbedComponentListener* listener) { mTabListeners.remove (listener); }

// GCC takes the iterator that ListenerList links into itself for the length of a call for a
// dangling pointer; the list unlinks it before the call returns.
#if defined(__GNUC__) && ! defined(__clang__)
#pragma GCC diagnostic push
#pragma GCC diagnostic ignored "-Wdangling-pointer"
#endif

void TabbedComponentWarp::currentTabChanged (int newCurrentTabIndex, const juce::String& newCurrentTabName)
{
    mTabListeners.call ([this, newCurrentTabIndex, &newCurrentTabName] (TabbedComponentListener& listener) {
        listener.tabChanged (this, newCurrentTabIndex, newCurrentTabName);
    });
}

#if defined(__GNUC__) && ! defined(__clang__)
#pragma GCC diagnostic pop
#endif

} // namespace tarnovelle
