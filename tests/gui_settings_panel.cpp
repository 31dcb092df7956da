// The settings panel: the selector widgets' click rules, their display operations, the
// Configuration tab that lays the widgets over the panel picture, and the main window's keys.

#include "app/MainAppWindow.h"
#include "tests/support/GuiTestSupport.h"

#include <functional>

namespace tarnovelle
{
namespace
{
    using namespace test;
    using P = SelectorPicture;

    bool shows (const SelectorWidget& widget, int control, SelectorPicture picture)
    {
        auto* button = widget.getControlButton (control);
        return button != nullptr && samePixels (button->getNormalImage(), getSelectorPicture (picture));
    }

    //==============================================================================
    using ClickStep = std::pair<juce::uint32, SelectorPicture>; ///< the value sent and the picture then shown

    template <typename Widget>
    const auto make = [] { return std::unique_ptr<SelectorWidget> (std::make_unique<Widget>()); };

    std::vector<ClickStep> knobWalk (juce::uint32 first, juce::uint32 last, int firstPicture,
                                     std::vector<ClickStep> steps = {})
    {
        for (auto v = first; v <= last; ++v)
            steps.push_back ({ v, knobPicture (firstPicture + (int) (v - first)) });
        return steps;
    }

    TEST (SelectorWidgets, clicksGoOnFromTheInitialOrShownValueInItsWidthAndShowingNeverBroadcasts)
    {
        struct Case
        {
            const char* name;
            std::function<std::unique_ptr<SelectorWidget>()> create;
            std::vector<juce::uint32> shown; ///< through the control's display operation, before any click
            int control;
            juce::String prefix;
            SelectorPicture picture; ///< before the first click; a value without a picture keeps the last one
            std::vector<ClickStep> clicks;
        };
        const auto top = P::switchTop, middle = P::switchMiddle, bottom = P::switchBottom;
        const auto knob = [] (int i) { return knobPicture (i); };

        // clang-format off
        const Case cases[] = {
            // Each control from its initial value.
            { "velocity",   make<GUIVelocitySelector>,   {}, 0, "VELO ", bottom, { { 1, middle }, { 2, bottom }, { 0, top }, { 1, middle } } },
            // The untouched Next Seq switch shows its bottom position but starts from 0.
            { "next seq",   make<GUIAftertouchSelector>, {}, 0, "AFTE ", bottom, { { 1, middle }, { 2, bottom }, { 0, top }, { 1, middle } } },
            { "seq retrig", make<GUIInputGain>,          {}, 0, "INGN ", bottom, { { 1, middle }, { 2, bottom }, { 0, top } } },
            { "gate",       make<GUIGateLen>,            {}, 0, "GLEN ", bottom, { { 2, middle }, { 3, bottom }, { 1, top }, { 2, middle } } },
            { "play",       make<GUIArpHold>,            {}, 0, "ARP  ", bottom, { { 1, top }, { 0, bottom }, { 1, top } } },
            { "lfo",        make<GUILFO>,                {}, 0, "LFO  ", bottom, { { 1, top }, { 0, bottom }, { 1, top } } },
            { "step on",    make<GUITapAvg>,             {}, 0, "TAP  ", bottom, { { 1, bottom }, { 0, top }, { 1, bottom } } },
            { "bend",       make<GUIBendRange>,          {}, 0, "BEND ", P::knob0, knobWalk (1, 2, 0, knobWalk (2, 12, 1)) },
            { "step",       make<GUIStepSize>,           {}, 0, "STEP ", P::knob0, { { 32, knob (6) }, { 4, knob (0) }, { 8, knob (2) }, { 16, knob (4) }, { 32, knob (6) } } },
            { "sync",       make<GUIClkSync>,            {}, 0, "SYNC ", P::knob0, { { 1, knob (2) }, { 2, knob (4) }, { 0, knob (0) }, { 1, knob (2) } } },
            { "priority",   make<GUIKeyboard>,           {}, 0, "MKEY ", bottom, { { 1, bottom }, { 2, top }, { 0, middle } } },
            { "legato",     make<GUIKeyboard>,           {}, 1, "LKEY ", bottom, { { 1, top }, { 0, bottom }, { 1, top } } },
            { "transmit",   make<GUIMIDIChooser>,        {}, 0, "MOUT ", P::knob0, knobWalk (0, 1, 0, knobWalk (1, 15, 1)) },
            // The receive knob leaves All for channel 2 on the first click, then walks to All and 1.
            { "receive",    make<GUIMIDIChooser>,        {}, 1, "MIN  ", P::knobAll, knobWalk (0, 1, 0, [] { auto s = knobWalk (1, 15, 1); s.push_back ({ 16, P::knobAll }); return s; }()) },
            // From a shown value, also one without a picture.
            { "gate 0",     make<GUIGateLen>,     { 2, 0 },  0, "GLEN ", middle, { { 1, top } } },
            { "step 5",     make<GUIStepSize>,    { 32, 5 }, 0, "STEP ", knob (6), { { 10, knob (6) }, { 20, knob (6) }, { 4, knob (0) } } },
            { "step 0",     make<GUIStepSize>,    { 32, 0 }, 0, "STEP ", knob (6), { { 0, knob (6) }, { 0, knob (6) } } },
            { "receive 17", make<GUIMIDIChooser>, { 4, 17 },  1, "MIN  ", knob (4), { { 1, knob (1) } } },
            // 3 is off the printed scale, yet the instrument may report it: it has its own picture.
            { "sync 3",     make<GUIClkSync>,     { 3 },     0, "SYNC ", knob (3), { { 1, knob (2) } } },
            // Eight bits: 255 steps to 0 before any wrapping test, 128 doubles to 0.
            { "velocity 255", make<GUIVelocitySelector>, { 255 }, 0, "VELO ", bottom, { { 0, top } } },
            { "step 128",   make<GUIStepSize>,    { 128 },   0, "STEP ", P::knob0, { { 0, P::knob0 } } },
            // Thirty-two bits for the channels: 255 steps to 256, which the receive knob takes modulo 17.
            { "receive 255", make<GUIMIDIChooser>, { 255 },   1, "MIN  ", P::knobAll, { { 1, knob (1) } } },
        };
        // clang-format on

        for (const auto& c : cases)
        {
            SCOPED_TRACE (c.name);
            auto widget = c.create();
            MessageRecorder hub;
            widget->addActionListener (&hub);
            for (auto value : c.shown)
                if (auto* channels = dynamic_cast<GUIMIDIChooser*> (widget.get()))
                    channels->showMidiInChannel (value);
                else
                    dynamic_cast<OneControlSelector&> (*widget).showValue ((juce::uint8) value);
            EXPECT_TRUE (hub.take().isEmpty()) << "a display operation broadcast";

            EXPECT_TRUE (shows (*widget, c.control, c.picture));
            for (const auto& step : c.clicks)
            {
                click (*widget->getControlButton (c.control));
                EXPECT_EQ (hub.take(), juce::StringArray (c.prefix + juce::String (step.first)));
                EXPECT_EQ (widget->getControlValue (c.control), step.first);
                EXPECT_TRUE (shows (*widget, c.control, step.second)) << "after sending " << step.first;
            }
        }
    }

    //==============================================================================
    TEST (ParametersTab, displayOperationsReachTheirWidgetWithTheirConversionAndEveryControlReachesTheHub)
    {
        GUIEditorWindow window; // which passes its display operations on to its Configuration tab
        MessageRecorder hub;
        window.setListener (&hub);
        window.addActionListener (&hub);

        window.showMidiInChannel (16);
        window.showMidiOutChannel (3);
        window.showInputGain (1);
        window.showLfoRetrigger (true);
        window.showArpHold (true);
        window.showKeyboardMode (2);
        window.showKeyboardLegato (2);
        window.showVelocity (1);
        window.showAftertouch (2);
        window.showBendRange (0x105); // low 8 bits: 5
        window.showStepSize (0x220);  // 32
        window.showGateLength (3);
        window.showTapAverage (1);
        window.showClockSync (0x302); // 2
        EXPECT_TRUE (hub.take().isEmpty());

        // Every control, clicked in the order the tab holds them, goes on from the value shown.
        auto& tab = *findChild<TabbedComponentWarp> (window)->getTabContentComponent (0);
        EXPECT_TRUE (shows (*findChild<GUIMIDIChooser> (tab), 1, P::knobAll));
        for (auto* child : tab.getChildren())
            if (auto* widget = dynamic_cast<SelectorWidget*> (child))
                for (int control = 0; control < widget->getNumControls(); ++control)
                    click (*widget->getControlButton (control));

        // Keyboard (priority, legato), LFO, velocity, next seq, play, bend, step, sync, gate,
        // step on, channels (transmit, receive), seq retrig: each the next value after the one shown.
        EXPECT_EQ (hub.take(),
                   juce::StringArray ({ "MKEY 0", "LKEY 0", "LFO  0", "VELO 2", "AFTE 0", "ARP  0", "BEND 6", "STEP 4",
                                        "SYNC 0", "GLEN 1", "TAP  0", "MOUT 4", "MIN  0", "INGN 2" }));

        // Two quick clicks, the second queued before the first is delivered: two messages in
        // order, each with its own value.
        auto& step = *findChild<GUIStepSize> (tab);
        for (int i = 0; i < 2; ++i)
            step.getControlButton (0)->triggerClick();
        EXPECT_EQ (hub.take(), juce::StringArray ("STEP 8", "STEP 16"));
        EXPECT_TRUE (shows (step, 0, knobPicture (4)));

        // Legato is on exactly when the reading is above 0.
        auto& keyboard = *findChild<GUIKeyboard> (tab);
        for (int reading : { 0, 1, -1, 200, -200 })
        {
            window.showKeyboardLegato (reading);
            const bool on = reading > 0;
            EXPECT_TRUE (keyboard.getControlValue (1) == (on ? 1u : 0u)
                         && shows (keyboard, 1, on ? P::switchTop : P::switchBottom))
                << reading;
        }
        EXPECT_TRUE (hub.take().isEmpty());
    }

    //==============================================================================
    /** Keys and mouse clicks as the window system delivers them, to a window that has the focus. */
    struct WindowInput
    {
        juce::Component& window;
        juce::ComponentPeer& peer = *window.getPeer();

        /** The X server's focus, with no component focused yet. The window system tells JUCE
            of the focus whenever it next reads its events, and JUCE then gives it to the
            window unless the window wants none and one of its controls has it already.
        */
        bool takeFocus()
        {
            window.setWantsKeyboardFocus (false);

            for (const auto end = juce::Time::getMillisecondCounter() + 10000;
                 ! peer.isFocused() && juce::Time::getMillisecondCounter() < end;)
            {
                peer.grabFocus();
                juce::MessageManager::getInstance()->runDispatchLoopUntil (20);
            }

            window.giveAwayKeyboardFocus();
            return peer.isFocused();
        }

        void press (int keyCode, juce::ModifierKeys mods = {})
        {
            peer.handleKeyPress (juce::KeyPress (keyCode, mods, 0));
        }

        void click (juce::Component& target)
        {
            const auto at = window.getLocalPoint (&target, target.getLocalBounds().getCentre()).toFloat();
            for (int buttons : { (int) juce::ModifierKeys::leftButtonModifier, 0 })
                peer.handleMouseEvent (juce::MouseInputSource::InputSourceType::mouse, at, juce::ModifierKeys (buttons),
                                       juce::MouseInputSource::defaultPressure,
                                       juce::MouseInputSource::defaultOrientation, juce::Time::currentTimeMillis());
        }
    };

    TEST (PanelKeyboard, tabVisitsTheControlsInReadingOrderThenTheTabBarAndConnectAndKeysDoWhatClicksDo)
    {
        MainAppWindow window ("Panel keys");
        MessageRecorder hub;
        window.setListener (&hub);
        auto& keyboard = window.getEditor().getKeyboard();
        auto& tabs = *findChild<TabbedComponentWarp> (window.getEditor());
        WindowInput input{ window };
        ASSERT_TRUE (input.takeFocus());

        const auto focused = [] {
            return dynamic_cast<juce::Button*> (juce::Component::getCurrentlyFocusedComponent());
        };
        const auto focusedText = [&] { return focused() != nullptr ? focused()->getButtonText() : juce::String(); };
        const auto ringed = [&] { return keyboard.getRing().isVisible() ? keyboard.getRing().getTarget() : nullptr; };

        // Row by row: Note Priority, Velocity, Play, Seq Retrig, Next Seq, Step On, STEP; then the
        // two channels, LFO, Legato, BEND, Gate, SYNC. Space sends what a click sends, once; a mouse
        // click afterwards goes on from there, and hides the ring.
        const juce::StringArray bySpace{ "MKEY 1", "VELO 1", "ARP  1", "INGN 1", "AFTE 1", "TAP  1", "STEP 32",
                                         "MOUT 1", "MIN  1", "LFO  1", "LKEY 1", "BEND 2", "GLEN 2", "SYNC 1" };
        const juce::StringArray byMouse{ "MKEY 2", "VELO 2", "ARP  0", "INGN 2", "AFTE 2", "TAP  0", "STEP 4",
                                         "MOUT 2", "MIN  2", "LFO  0", "LKEY 0", "BEND 3", "GLEN 3", "SYNC 2" };
        for (int i = 0; i < bySpace.size(); ++i)
        {
            input.press (juce::KeyPress::tabKey);
            auto* control = focused();
            ASSERT_NE (control, nullptr) << "after " << i << " tabs";
            EXPECT_EQ (ringed(), control);
            input.press (juce::KeyPress::spaceKey);
            EXPECT_EQ (hub.take(), juce::StringArray (bySpace[i]));
            input.click (*control);
            EXPECT_EQ (hub.take(), juce::StringArray (byMouse[i]));

            EXPECT_EQ (ringed(), nullptr);
        }

        // Then the tab bar and CONNECT. A tab chosen takes the focus to its first control.
        for (auto text : { "Configuration", "Firmware Update", "Sequences" })
        {
            input.press (juce::KeyPress::tabKey);
            EXPECT_EQ (focusedText(), text);
        }
        input.press (juce::KeyPress::returnKey);
        EXPECT_TRUE (hub.take().isEmpty());
        EXPECT_EQ (tabs.getCurrentTabIndex(), 2);
        input.press (juce::KeyPress::spaceKey); // RESET ALL SEQUENCES, the first of the four
        EXPECT_EQ (hub.take(), juce::StringArray ("FCSQ "));
        input.press (juce::KeyPress::tabKey, juce::ModifierKeys::shiftModifier);
        EXPECT_EQ (focusedText(), "CONNECT");
        EXPECT_EQ (ringed(), focused());
        input.press (juce::KeyPress::spaceKey);
        EXPECT_EQ (hub.take(), juce::StringArray ("COMI "));
        input.press (juce::KeyPress::tabKey);
        input.press (juce::KeyPress::returnKey);
        EXPECT_EQ (hub.take(), juce::StringArray ("FCSQ "));

        // Up steps a switch or knob as a click does, Down steps it back; neither does anything to
        // a tab or a push button.
        for (int i = 0; i < 4; ++i)
            input.press (juce::KeyPress::tabKey, juce::ModifierKeys::shiftModifier);
        EXPECT_EQ (focusedText(), "Configuration");
        input.press (juce::KeyPress::upKey);
        input.press (juce::KeyPress::spaceKey); // to Note Priority, at 2
        EXPECT_TRUE (hub.take().isEmpty());
        EXPECT_EQ (tabs.getCurrentTabIndex(), 0);
        for (auto key : { juce::KeyPress::upKey, juce::KeyPress::downKey, juce::KeyPress::downKey })
            input.press (key);
        for (int i = 0; i < 6; ++i)
            input.press (juce::KeyPress::tabKey); // the STEP knob, at 4
        input.press (juce::KeyPress::downKey);
        input.press (juce::KeyPress::downKey);
        EXPECT_EQ (hub.take(), juce::StringArray ({ "MKEY 0", "MKEY 2", "MKEY 1", "STEP 32", "STEP 16" }));
    }
} // namespace
} // namespace tarnovelle
