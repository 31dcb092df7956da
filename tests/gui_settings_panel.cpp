// The settings panel: the selector widgets' click rules, their display operations, and the
// Configuration tab that lays the widgets over the panel picture.

#include "app/GUIEditorWindow.h"
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
} // namespace
} // namespace tarnovelle
