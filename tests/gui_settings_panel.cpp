// The settings panel: the selector widgets' click rules, their display operations, the
// switch button, and the Configuration tab that lays the widgets over the panel picture.

#include "settings/GUIParametersTab.h"
#include "settings/Pictures.h"
#include "settings/SwitchButton.h"
#include "tests/support/GuiTestSupport.h"

#include <functional>

namespace tarnovelle
{
namespace
{
    using namespace test;
    using P = SelectorPicture;

    ::testing::AssertionResult shows (const SelectorWidget& widget, int control, SelectorPicture picture)
    {
        auto* button = widget.getControlButton (control);

        if (button == nullptr)
            return ::testing::AssertionFailure() << "no control " << control;

        if (! samePixels (button->getNormalImage(), getSelectorPicture (picture)))
            return ::testing::AssertionFailure()
                   << "control " << control << " shows another picture than " << (int) picture;

        return ::testing::AssertionSuccess();
    }

    //==============================================================================
    // Without distinct pictures none of the picture checks below would mean anything.
    TEST (SelectorPictures, tellEveryPositionApart)
    {
        std::vector<P> pictures{ P::switchTop, P::switchMiddle, P::switchBottom, P::knobAll };
        for (int i = 0; i < 16; ++i)
            pictures.push_back (knobPicture (i));

        for (size_t i = 0; i < pictures.size(); ++i)
            for (size_t j = i + 1; j < pictures.size(); ++j)
                EXPECT_FALSE (samePixels (getSelectorPicture (pictures[i]), getSelectorPicture (pictures[j])))
                    << (int) pictures[i] << " and " << (int) pictures[j];
    }

    //==============================================================================
    struct ClickStep
    {
        juce::uint32 value;
        SelectorPicture picture;
    };

    struct ClickCycle
    {
        const char* name;
        std::function<std::unique_ptr<SelectorWidget>()> create;
        int control;
        juce::String prefix;
        SelectorPicture initialPicture;
        std::vector<ClickStep> clicks;
    };

    template <typename Widget>
    std::unique_ptr<SelectorWidget> make()
    {
        return std::make_unique<Widget>();
    }

    std::vector<ClickStep> knobWalk (juce::uint32 first, juce::uint32 last, int firstPicture)
    {
        std::vector<ClickStep> steps;
        for (auto v = first; v <= last; ++v)
            steps.push_back ({ v, knobPicture (firstPicture + (int) (v - first)) });
        return steps;
    }

    std::vector<ClickStep> operator+ (std::vector<ClickStep> a, const std::vector<ClickStep>& b)
    {
        a.insert (a.end(), b.begin(), b.end());
        return a;
    }

    std::vector<ClickCycle> clickCycles()
    {
        const auto top = P::switchTop, middle = P::switchMiddle, bottom = P::switchBottom;
        const auto knob = [] (int i) { return knobPicture (i); };

        // clang-format off
        return {
            { "velocity",   make<GUIVelocitySelector>,   0, "VELO ", bottom, { { 1, middle }, { 2, bottom }, { 0, top }, { 1, middle } } },
            // The untouched Next Seq switch shows its bottom position but starts from 0.
            { "next seq",   make<GUIAftertouchSelector>, 0, "AFTE ", bottom, { { 1, middle }, { 2, bottom }, { 0, top }, { 1, middle } } },
            { "seq retrig", make<GUIInputGain>,          0, "INGN ", bottom, { { 1, middle }, { 2, bottom }, { 0, top } } },
            { "gate",       make<GUIGateLen>,            0, "GLEN ", bottom, { { 2, middle }, { 3, bottom }, { 1, top }, { 2, middle } } },
            { "play",       make<GUIArpHold>,            0, "ARP  ", bottom, { { 1, top }, { 0, bottom }, { 1, top } } },
            { "lfo",        make<GUILFO>,                0, "LFO  ", bottom, { { 1, top }, { 0, bottom }, { 1, top } } },
            { "step on",    make<GUITapAvg>,             0, "TAP  ", bottom, { { 1, bottom }, { 0, top }, { 1, bottom } } },
            { "bend",       make<GUIBendRange>,          0, "BEND ", P::knob0, knobWalk (2, 12, 1) + knobWalk (1, 2, 0) },
            { "step",       make<GUIStepSize>,           0, "STEP ", P::knob0, { { 32, knob (6) }, { 4, knob (0) }, { 8, knob (2) }, { 16, knob (4) }, { 32, knob (6) } } },
            { "sync",       make<GUIClkSync>,            0, "SYNC ", P::knob0, { { 1, knob (2) }, { 2, knob (4) }, { 0, knob (0) }, { 1, knob (2) } } },
            { "priority",   make<GUIKeyboard>,           0, "MKEY ", bottom, { { 1, bottom }, { 2, top }, { 0, middle } } },
            { "legato",     make<GUIKeyboard>,           1, "LKEY ", bottom, { { 1, top }, { 0, bottom }, { 1, top } } },
            { "transmit",   make<GUIMIDIChooser>,        0, "MOUT ", P::knob0, knobWalk (1, 15, 1) + knobWalk (0, 1, 0) },
            // The receive knob leaves All for channel 2 on the first click, then walks to All and 1.
            { "receive",    make<GUIMIDIChooser>,        1, "MIN  ", P::knobAll,
              knobWalk (1, 15, 1) + std::vector<ClickStep> { { 16, P::knobAll } } + knobWalk (0, 1, 0) },
        };
        // clang-format on
    }

    TEST (SelectorClicks, walkEveryControlThroughItsCycleFromItsInitialValue)
    {
        for (const auto& cycle : clickCycles())
        {
            SCOPED_TRACE (cycle.name);
            auto widget = cycle.create();
            MessageRecorder hub;
            widget->addActionListener (&hub);

            const auto other = widget->getNumControls() == 2 ? 1 - cycle.control : -1;
            const auto otherValue = other >= 0 ? widget->getControlValue (other) : 0;
            const auto otherPicture = other >= 0 ? widget->getControlButton (other)->getNormalImage() : juce::Image();

            EXPECT_TRUE (shows (*widget, cycle.control, cycle.initialPicture));

            for (const auto& step : cycle.clicks)
            {
                click (*widget->getControlButton (cycle.control));
                EXPECT_EQ (hub.take(), juce::StringArray (cycle.prefix + juce::String (step.value)));
                EXPECT_EQ (widget->getControlValue (cycle.control), step.value);
                EXPECT_TRUE (shows (*widget, cycle.control, step.picture)) << "after sending " << step.value;
            }

            if (other >= 0)
            {
                EXPECT_EQ (widget->getControlValue (other), otherValue);
                EXPECT_TRUE (samePixels (widget->getControlButton (other)->getNormalImage(), otherPicture));
            }
        }
    }

    TEST (SelectorClicks, twoQuickClicksSendTwoMessagesInOrderEachWithItsOwnValue)
    {
        GUIStepSize step;
        GUIBendRange bend;
        MessageRecorder hub;
        step.addActionListener (&hub);
        bend.addActionListener (&hub);

        step.getControlButton (0)->triggerClick();
        step.getControlButton (0)->triggerClick();
        bend.getControlButton (0)->triggerClick();
        step.getControlButton (0)->triggerClick();

        EXPECT_EQ (hub.take(), juce::StringArray ("STEP 32", "STEP 4", "BEND 2", "STEP 8"));
        EXPECT_TRUE (shows (step, 0, knobPicture (2)));
    }

    //==============================================================================
    TEST (SelectorDisplay, aValueWithoutPictureKeepsThePictureAndTheNextClickAdvancesFromIt)
    {
        MessageRecorder hub;

        GUIGateLen gate;
        gate.addActionListener (&hub);
        gate.showValue (2);
        gate.showValue (0);
        EXPECT_EQ (gate.getControlValue (0), 0u);
        EXPECT_TRUE (shows (gate, 0, P::switchMiddle));
        click (*gate.getControlButton (0));
        EXPECT_EQ (hub.take(), juce::StringArray ("GLEN 1"));
        EXPECT_TRUE (shows (gate, 0, P::switchTop));

        // Doubling from an unprinted value sends every intermediate value, then starts at 4.
        GUIStepSize step;
        step.addActionListener (&hub);
        step.showValue (32);
        step.showValue (5);
        EXPECT_TRUE (shows (step, 0, knobPicture (6)));
        for (int i = 0; i < 3; ++i)
            click (*step.getControlButton (0));
        EXPECT_EQ (hub.take(), juce::StringArray ("STEP 10", "STEP 20", "STEP 4"));
        EXPECT_TRUE (shows (step, 0, knobPicture (0)));

        // 0 doubles to 0 for ever, until a display operation stores something else.
        step.showValue (0);
        click (*step.getControlButton (0));
        click (*step.getControlButton (0));
        EXPECT_EQ (hub.take(), juce::StringArray ("STEP 0", "STEP 0"));
        EXPECT_TRUE (shows (step, 0, knobPicture (0)));
        step.showValue (8);
        click (*step.getControlButton (0));
        EXPECT_EQ (hub.take(), juce::StringArray ("STEP 16"));

        GUIMIDIChooser midi;
        midi.addActionListener (&hub);
        midi.showMidiInChannel (4);
        midi.showMidiInChannel (17);
        EXPECT_TRUE (shows (midi, 1, knobPicture (4)));
        click (*midi.getControlButton (1));
        EXPECT_EQ (hub.take(), juce::StringArray ("MIN  1"));
        EXPECT_TRUE (shows (midi, 1, knobPicture (1)));

        GUIKeyboard keyboard;
        keyboard.addActionListener (&hub);
        keyboard.showKeyboardMode (9);
        EXPECT_TRUE (shows (keyboard, 0, P::switchBottom));
        click (*keyboard.getControlButton (0));
        EXPECT_EQ (hub.take(), juce::StringArray ("MKEY 1"));
    }

    TEST (SelectorDisplay, showsThePictureOfTheValueNeverBroadcastsAndTheNextClickGoesOnFromIt)
    {
        MessageRecorder hub;
        GUIClkSync sync;
        GUIKeyboard keyboard;
        sync.addActionListener (&hub);
        keyboard.addActionListener (&hub);

        sync.showValue (3); // reported by the instrument, off the printed scale
        keyboard.showKeyboardLegato (true);
        EXPECT_TRUE (hub.take().isEmpty());
        EXPECT_TRUE (shows (sync, 0, knobPicture (3)));
        EXPECT_TRUE (shows (keyboard, 1, P::switchTop));

        click (*sync.getControlButton (0));
        click (*keyboard.getControlButton (1));
        EXPECT_EQ (hub.take(), juce::StringArray ("SYNC 1", "LKEY 0"));
    }

    TEST (SelectorDisplay, arithmeticKeepsTheStoredWidth)
    {
        MessageRecorder hub;

        // Eight bits: 255 steps to 0 before any wrapping test, 128 doubles to 0.
        GUIVelocitySelector velocity;
        GUIBendRange bend;
        GUIStepSize step;
        GUIKeyboard keyboard;
        velocity.showValue (255);
        bend.showValue (255);
        step.showValue (128);
        keyboard.showKeyboardMode (255);

        // Thirty-two bits for the channels: 255 steps to 256, and only the largest value wraps.
        GUIMIDIChooser midi;
        midi.showMidiInChannel (255);
        midi.showMidiOutChannel (0xffffffffu);

        for (SelectorWidget* widget :
             std::initializer_list<SelectorWidget*>{ &velocity, &bend, &step, &keyboard, &midi })
            widget->addActionListener (&hub);

        click (*velocity.getControlButton (0));
        click (*bend.getControlButton (0));
        click (*step.getControlButton (0));
        click (*keyboard.getControlButton (0));
        click (*midi.getControlButton (1));
        click (*midi.getControlButton (0));

        EXPECT_EQ (hub.take(), juce::StringArray ("VELO 0", "BEND 0", "STEP 0", "MKEY 0", "MIN  1", "MOUT 0"));
    }

    //==============================================================================
    TEST (SwitchButton, aClickFlipsItAndTellsItsListeners)
    {
        SwitchButton button ("lamp");
        int clicks = 0;
        button.onClick = [&clicks] { ++clicks; };

        click (button);
        EXPECT_TRUE (button.getToggleState());
        click (button);
        EXPECT_FALSE (button.getToggleState());
        EXPECT_EQ (clicks, 2);
        EXPECT_EQ (button.getName(), "lamp");
    }

    juce::Image render (juce::Component& component)
    {
        return component.createComponentSnapshot (component.getLocalBounds(), false);
    }

    /** A plain image button that always draws the given picture with the given look. */
    juce::Image renderAsNormal (const juce::Image& picture, float opacity, juce::Colour overlay, int w, int h)
    {
        juce::ImageButton reference;
        reference.setImages (false, true, true, picture, opacity, overlay, {}, 1.0f, {}, {}, 1.0f, {}, 0.0f);
        reference.setSize (w, h);
        return render (reference);
    }

    TEST (SwitchButton, showsItsDownLookWhileOnAlsoWhenSetFromOutside)
    {
        const auto off = Pictures::lampOff(), on = Pictures::lampOn();
        const auto normalOverlay = juce::Colour (0x80ff0000), downOverlay = juce::Colour (0x400000ff);

        SwitchButton button ("");
        button.setImages (false, true, true, off, 0.9f, normalOverlay, off, 1.0f, juce::Colour (0x8000ff00), on, 0.7f,
                          downOverlay, 0.0f);
        button.setSize (24, 30);

        const auto normalLook = renderAsNormal (off, 0.9f, normalOverlay, 24, 30);
        const auto downLook = renderAsNormal (on, 0.7f, downOverlay, 24, 30);
        ASSERT_FALSE (samePixels (normalLook, downLook));

        EXPECT_TRUE (samePixels (render (button), normalLook));
        button.setToggleState (true, juce::dontSendNotification);
        EXPECT_TRUE (samePixels (render (button), downLook));
        button.setToggleState (false, juce::dontSendNotification);
        EXPECT_TRUE (samePixels (render (button), normalLook));

        // While an off switch is pressed, the down picture shows with the over look.
        button.setState (juce::Button::buttonDown);
        EXPECT_TRUE (samePixels (render (button), renderAsNormal (on, 1.0f, juce::Colour (0x8000ff00), 24, 30)));
    }

    //==============================================================================
    // The order of the widgets is checked by the order of their messages below.
    TEST (ParametersTab, laysTheWidgetsOverThePanelAndKeepsPictureAndBoundsInASmallerArea)
    {
        const std::vector<juce::Rectangle<int>> bounds{
            { 151, 92, 427, 250 }, { 436, 226, 29, 65 },   { 253, 100, 29, 65 },  { 629, 99, 29, 65 },
            { 439, 99, 29, 65 },   { 599, 213, 114, 106 }, { 808, 76, 114, 106 }, { 810, 206, 114, 106 },
            { 743, 227, 29, 65 },  { 756, 98, 29, 65 },    { 80, 220, 288, 120 }, { 535, 99, 29, 65 }
        };
        GUIParametersTab tab;
        EXPECT_EQ (tab.getBounds(), juce::Rectangle<int> (0, 0, 1000, 420));

        for (auto size : { juce::Point<int> (1000, 420), juce::Point<int> (640, 300) })
        {
            tab.setSize (size.x, size.y);
            expectChildBounds (tab, bounds);
            for (int i = 0; i < tab.getNumChildComponents(); ++i)
                EXPECT_EQ (tab.getChildComponent (i)->getExplicitFocusOrder(), i == 0 ? 2 : 0) << "child " << i;

            expectBackgroundDrawnUnscaled (tab, Pictures::parametersBackground());
        }

        // Switch buttons fill their widget, knobs sit at 24, 24; the two-control widgets place theirs.
        EXPECT_EQ (findChild<GUILFO> (tab)->getControlButton (0)->getBounds(), juce::Rectangle<int> (0, 0, 29, 65));
        EXPECT_EQ (findChild<GUIBendRange> (tab)->getControlButton (0)->getBounds(),
                   juce::Rectangle<int> (24, 24, 66, 65));
        EXPECT_EQ (findChild<GUIKeyboard> (tab)->getControlButton (1)->getBounds(),
                   juce::Rectangle<int> (379, 135, 29, 65));
        EXPECT_EQ (findChild<GUIMIDIChooser> (tab)->getControlButton (1)->getBounds(),
                   juce::Rectangle<int> (167, 15, 66, 65));
    }

    std::vector<juce::uint32> controlValues (GUIParametersTab& tab)
    {
        std::vector<juce::uint32> values;
        for (auto* child : tab.getChildren())
            if (auto* widget = dynamic_cast<SelectorWidget*> (child))
                for (int control = 0; control < widget->getNumControls(); ++control)
                    values.push_back (widget->getControlValue (control));
        return values;
    }

    TEST (ParametersTab, displayOperationsReachTheirWidgetWithTheirConversionAndNeverBroadcast)
    {
        GUIParametersTab tab;
        MessageRecorder hub;
        tab.setListener (&hub);
        tab.addActionListener (&hub);

        tab.showMidiInChannel (16);
        tab.showMidiOutChannel (3);
        tab.showInputGain (1);
        tab.showLfoRetrigger (true);
        tab.showArpHold (true);
        tab.showKeyboardMode (2);
        tab.showKeyboardLegato (2);
        tab.showVelocity (1);
        tab.showAftertouch (2);
        tab.showBendRange (0x105); // low 8 bits: 5
        tab.showStepSize (0x220);  // 32
        tab.showGateLength (3);
        tab.showTapAverage (1);
        tab.showClockSync (0x302); // 2

        EXPECT_TRUE (hub.take().isEmpty());

        // Keyboard (priority, legato), LFO, velocity, next seq, play, bend, step, sync, gate,
        // step on, channels (transmit, receive), seq retrig.
        EXPECT_EQ (controlValues (tab), (std::vector<juce::uint32>{ 2, 1, 1, 1, 2, 1, 5, 32, 2, 3, 1, 3, 16, 1 }));

        auto& keyboard = *findChild<GUIKeyboard> (tab);
        EXPECT_TRUE (shows (*findChild<GUIMIDIChooser> (tab), 1, P::knobAll));
        EXPECT_TRUE (shows (*findChild<GUIBendRange> (tab), 0, knobPicture (4)));
        EXPECT_TRUE (shows (*findChild<GUIStepSize> (tab), 0, knobPicture (6)));
        EXPECT_TRUE (shows (*findChild<GUIClkSync> (tab), 0, knobPicture (4)));
        EXPECT_TRUE (shows (keyboard, 1, P::switchTop));

        // Legato is on exactly when the reading is above 0.
        for (int reading : { 0, -1, -200 })
        {
            tab.showKeyboardLegato (2);
            tab.showKeyboardLegato (reading);
            EXPECT_EQ (keyboard.getControlValue (1), 0u) << reading;
            EXPECT_TRUE (shows (keyboard, 1, P::switchBottom)) << reading;
        }

        tab.showLfoRetrigger (false);
        EXPECT_EQ (findChild<GUILFO> (tab)->getControlValue (0), 0u);
        EXPECT_TRUE (hub.take().isEmpty());
    }

    TEST (ParametersTab, setListenerLetsEveryControlReachTheHub)
    {
        GUIParametersTab tab;
        MessageRecorder hub;
        tab.setListener (&hub);

        for (auto* child : tab.getChildren())
        {
            auto* widget = dynamic_cast<SelectorWidget*> (child);
            ASSERT_NE (widget, nullptr);
            for (int control = 0; control < widget->getNumControls(); ++control)
                click (*widget->getControlButton (control));
        }

        EXPECT_EQ (hub.take(),
                   juce::StringArray ({ "MKEY 1", "LKEY 1", "LFO  1", "VELO 1", "AFTE 1", "ARP  1", "BEND 2", "STEP 32",
                                        "SYNC 1", "GLEN 2", "TAP  1", "MOUT 1", "MIN  1", "INGN 1" }));
    }
} // namespace
} // namespace tarnovelle
