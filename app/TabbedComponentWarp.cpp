#include "app/TabbedComponentWarp.h"

namespace tarnovelle
{

TabbedComponentWarp::TabbedComponentWarp (juce::TabbedButtonBar::Orientation orientation)
    : juce::TabbedComponent (orientation)
{
}

TabbedComponentWarp::~TabbedComponentWarp()
{
    // Nobody is told about the tabs going away with the TabbedComponent.
    tabListeners.clear();
}

void TabbedComponentWarp::addTabListener (TabbedComponentListener* listener) { tabListeners.add (listener); }

void TabbedComponentWarp::removeTabListener (TabbedComponentListener* listener) { tabListeners.remove (listener); }

void TabbedComponentWarp::currentTabChanged (int newCurrentTabIndex, const juce::String& newCurrentTabName)
{
    tabListeners.call ([this, newCurrentTabIndex, &newCurrentTabName] (TabbedComponentListener& listener)
                       { listener.tabChanged (this, newCurrentTabIndex, newCurrentTabName); });
}

} // namespace tarnovelle
