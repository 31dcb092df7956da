#include "app/PanelKeyboard.h"

#include "settings/SelectorWidget.h"

#include <algorithm>
#include <limits>

namespace tarnovelle
{

namespace
{
    void collectButtons (juce::Component& parent, std::vector<juce::Button*>& found)
    {
        for (auto* child : parent.getChildren())
        {
            if (auto* button = dynamic_cast<juce::Button*> (child))
                found.push_back (button);
            else
                collectButtons (*child, found);
        }
    }

    /** Visible here and in every parent up to the window. Not isShowing(): that asks the X
        server whether the window is minimised, one round trip per control on every focus
        change, and a round trip made outside JUCE's X event callback can take a click's or a
        key's event off the connection where nothing reads it until the next event arrives.
    */
    bool isVisibleWithin (const juce::Component& component, const juce::Component& window)
    {
        for (auto* c = &component; c != nullptr && c != &window; c = c->getParentComponent())
            if (! c->isVisible())
                return false;

        return window.isVisible();
    }

    /** Row by row, left to right. Sorted by their tops, the controls start a new row where one
        lies wholly below the first control of the row before: the panel's switches and knobs
        stand a few pixels higher or lower than their neighbours, never a row apart.
    */
    void sortInReadingOrder (std::vector<juce::Button*>& buttons, juce::Component& relativeTo)
    {
        const auto boundsOf = [&relativeTo] (juce::Component* c) {
            return relativeTo.getLocalArea (c, c->getLocalBounds());
        };

        std::stable_sort (buttons.begin(), buttons.end(),
                          [&] (auto* a, auto* b) { return boundsOf (a).getY() < boundsOf (b).getY(); });

        struct Placed
        {
            int row, x;
            juce::Button* button;
        };

        std::vector<Placed> placed;
        int row = -1, rowBottom = std::numeric_limits<int>::min();

        for (auto* button : buttons)
        {
            const auto bounds = boundsOf (button);

            if (bounds.getY() >= rowBottom)
            {
                ++row;
                rowBottom = bounds.getBottom();
            }

            placed.push_back ({ row, bounds.getX(), button });
        }

        std::stable_sort (placed.begin(), placed.end(),
                          [] (const Placed& a, const Placed& b) { return a.row != b.row ? a.row < b.row : a.x < b.x; });

        for (size_t i = 0; i < placed.size(); ++i)
            buttons[i] = placed[i].button;
    }
} // namespace

PanelKeyboard::PanelKeyboard (juce::Component& windowToServe, TabbedComponentWarp& tabsToServe,
                              juce::Button& connectButtonToServe)
    : window (windowToServe)
    , tabs (tabsToServe)
    , connectButton (connectButtonToServe)
{
    std::vector<juce::Button*> controls;

    for (int i = 0; i < tabs.getNumTabs(); ++i)
        if (auto* content = tabs.getTabContentComponent (i))
            collectButtons (*content, controls);

    for (auto* control : controls)
        listenTo (*control);

    // The tab bar's buttons take no focus of their own.
    auto& bar = tabs.getTabbedButtonBar();

    for (int i = 0; i < bar.getNumTabs(); ++i)
    {
        bar.getTabButton (i)->setWantsKeyboardFocus (true);
        listenTo (*bar.getTabButton (i));
    }

    listenTo (connectButton);
    window.addChildComponent (mRing);

    juce::Desktop::getInstance().addFocusChangeListener (this);
    juce::Desktop::getInstance().addGlobalMouseListener (this);
}

PanelKeyboard::~PanelKeyboard()
{
    juce::Desktop::getInstance().removeGlobalMouseListener (this);
    juce::Desktop::getInstance().removeFocusChangeListener (this);

    for (auto& button : mListenedTo)
        if (button != nullptr)
            button->removeKeyListener (this);
}

void PanelKeyboard::listenTo (juce::Button& button)
{
    button.addKeyListener (this);
    mListenedTo.emplace_back (&button);
}

std::vector<juce::Button*> PanelKeyboard::getFocusOrder() const
{
    std::vector<juce::Button*> order;

    if (auto* content = tabs.getCurrentContentComponent())
        collectButtons (*content, order);

    order.erase (
        std::remove_if (order.begin(), order.end(),
                        [this] (juce::Button* b) { return ! isVisibleWithin (*b, window) || ! b->isEnabled(); }),
        order.end());
    sortInReadingOrder (order, window);

    auto& bar = tabs.getTabbedButtonBar();

    for (int i = 0; i < bar.getNumTabs(); ++i)
        order.push_back (bar.getTabButton (i));

    order.push_back (&connectButton);
    return order;
}

void PanelKeyboard::moveFocus (bool forwards)
{
    const auto order = getFocusOrder();
    const auto count = order.size();
    const auto found = std::find (order.begin(), order.end(), juce::Component::getCurrentlyFocusedComponent());

    size_t index = forwards ? 0 : count - 1;

    if (found != order.end())
    {
        const auto current = (size_t) (found - order.begin());
        index = forwards ? (current + 1) % count : (current + count - 1) % count;
    }

    order[index]->grabKeyboardFocus();
    showRing (order[index]);
}

bool PanelKeyboard::keyPressed (const juce::KeyPress& key, juce::Component* origin)
{
    auto* button = dynamic_cast<juce::Button*> (origin);
    const auto code = key.getKeyCode();

    if (button == nullptr || key.getModifiers().isAnyModifierKeyDown())
        return false;

    if (code == juce::KeyPress::spaceKey || code == juce::KeyPress::returnKey)
    {
        showRing (button);
        button->triggerClick();
        return true;
    }

    auto* selector = dynamic_cast<SelectorWidget*> (button->getParentComponent());

    if (selector == nullptr || (code != juce::KeyPress::upKey && code != juce::KeyPress::downKey))
        return false;

    showRing (button);
    return selector->stepControl (*button, code == juce::KeyPress::upKey);
}

void PanelKeyboard::showRing (juce::Component* target)
{
    mKeyboardInUse = true;
    mRing.showAround (target);
}

void PanelKeyboard::globalFocusChanged (juce::Component* focused)
{
    // Back from a dialog that one of the keys opened, the ring comes back with the focus.
    if (focused == nullptr || ! window.isParentOf (focused))
    {
        mRing.showAround (nullptr);
        return;
    }

    const auto order = getFocusOrder();
    const bool isOurs = std::find (order.begin(), order.end(), focused) != order.end();
    mRing.showAround (mKeyboardInUse && isOurs ? focused : nullptr);
}

void PanelKeyboard::mouseDown (const juce::MouseEvent&)
{
    mKeyboardInUse = false;
    mRing.showAround (nullptr);
}

} // namespace tarnovelle
