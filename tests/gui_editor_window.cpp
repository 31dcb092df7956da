// The editor window with its three tabs and the CONNECT switch, the sequences and firmware
// tabs, and the push buttons on them.

#include "app/GUIEditorWindow.h"
#include "platform/Platform.h"
#include "platform/ScriptedDialogs.h"
#include "settings/Pictures.h"
#include "tests/support/GuiTestSupport.h"

#include <dlfcn.h>

namespace tarnovelle
{
namespace
{
    using namespace test;

    TabbedComponentWarp& tabsOf (GUIEditorWindow& window) { return *findChild<TabbedComponentWarp> (window); }
    SwitchButton& connectButtonOf (GUIEditorWindow& window) { return *findChild<SwitchButton> (window); }
    juce::Label& statusLabelOf (GUIEditorWindow& window) { return *findChild<juce::Label> (window); }

    template <typename Tab>
    Tab& tabContent (GUIEditorWindow& window, int index)
    {
        auto* tab = dynamic_cast<Tab*> (tabsOf (window).getTabContentComponent (index));
        EXPECT_NE (tab, nullptr) << "tab " << index;
        return *tab;
    }

    juce::ImageButton& padOf (GUIPushButton& pushButton) { return *findChild<juce::ImageButton> (pushButton); }

    juce::Image render (juce::Component& component)
    {
        return component.createComponentSnapshot (component.getLocalBounds(), false);
    }

    //==============================================================================
    TEST (EditorWindow, opensOnTheConfigurationTabWithTheLampDarkAndNotConnected)
    {
        GUIEditorWindow window;
        auto& tabs = tabsOf (window);
        EXPECT_EQ (tabs.getTabNames(), juce::StringArray ("Configuration", "Firmware Update", "Sequences"));
        EXPECT_EQ (tabs.getCurrentTabIndex(), 0);
        EXPECT_EQ (tabs.getTabBarDepth(), 30);
        tabContent<GUIParametersTab> (window, 0);
        tabContent<GUIFirmwareTab> (window, 1);
        tabContent<GUIPatternTab> (window, 2);

        EXPECT_EQ (statusLabelOf (window).getText(), "NOT Connected");
        auto& lamp = connectButtonOf (window);
        EXPECT_FALSE (lamp.getToggleState());
        EXPECT_TRUE (samePixels (lamp.getNormalImage(), Pictures::lampOff()));
        EXPECT_TRUE (samePixels (lamp.getDownImage(), Pictures::lampOn()));
    }

    TEST (EditorWindow, aConnectClickBroadcastsExactlyOneConnectMessageWhateverTheState)
    {
        GUIEditorWindow window;
        MessageRecorder hub;
        window.addActionListener (&hub);
        window.setListener (&hub);
        auto& lamp = connectButtonOf (window);

        click (lamp);
        EXPECT_EQ (hub.take(), juce::StringArray ("COMI "));
        EXPECT_TRUE (lamp.getToggleState()); // the click flips it; the application settles it

        window.setConnected (true);
        click (lamp);
        EXPECT_EQ (hub.take(), juce::StringArray ("COMI "));

        window.setConnected (false);
        click (lamp);
        EXPECT_EQ (hub.take(), juce::StringArray ("COMI "));
    }

    TEST (EditorWindow, setConnectedShowsTheStateWithoutSendingAnything)
    {
        GUIEditorWindow window;
        MessageRecorder hub;
        window.addActionListener (&hub);
        window.setListener (&hub);
        auto& lamp = connectButtonOf (window);
        const auto dark = render (lamp);

        window.setConnected (true);
        EXPECT_TRUE (lamp.getToggleState());
        EXPECT_EQ (statusLabelOf (window).getText(), "Connected");
        EXPECT_FALSE (samePixels (render (lamp), dark));

        window.setConnected (false);
        EXPECT_FALSE (lamp.getToggleState());
        EXPECT_EQ (statusLabelOf (window).getText(), "NOT Connected");
        EXPECT_TRUE (samePixels (render (lamp), dark));

        EXPECT_TRUE (hub.take().isEmpty());
    }

    TEST (EditorWindow, switchingTabsSendsNothingAndChangesNothingElse)
    {
        GUIEditorWindow window;
        MessageRecorder hub;
        window.addActionListener (&hub);
        window.setListener (&hub);
        window.setConnected (true);

        auto& tabs = tabsOf (window);
        for (int index : { 1, 2, 0, 2 })
        {
            tabs.setCurrentTabIndex (index);
            EXPECT_EQ (tabs.getCurrentTabIndex(), index);
        }

        EXPECT_TRUE (hub.take().isEmpty());
        EXPECT_TRUE (connectButtonOf (window).getToggleState());
        EXPECT_EQ (statusLabelOf (window).getText(), "Connected");
    }

    struct TabChangeRecorder final : public TabbedComponentWarp::TabbedComponentListener
    {
        juce::StringArray changes;
        TabbedComponentWarp* lastSource = nullptr;

        void tabChanged (TabbedComponentWarp* source, int index, const juce::String& name) override
        {
            lastSource = source;
            changes.add (juce::String (index) + " " + name);
        }
    };

    TEST (TabbedComponentWarp, tellsEachListenerOnceAboutEveryTabChange)
    {
        TabbedComponentWarp tabs (juce::TabbedButtonBar::TabsAtTop);
        tabs.addTab ("One", juce::Colours::black, nullptr, false);
        tabs.addTab ("Two", juce::Colours::black, nullptr, false);

        TabChangeRecorder first, second;
        tabs.addTabListener (&first);
        tabs.addTabListener (&first);
        tabs.addTabListener (&second);

        tabs.setCurrentTabIndex (1);
        tabs.setCurrentTabIndex (0);

        EXPECT_EQ (first.changes, juce::StringArray ("1 Two", "0 One"));
        EXPECT_EQ (second.changes, first.changes);
        EXPECT_EQ (first.lastSource, &tabs);
    }

    //==============================================================================
    TEST (PushButtons, eachBroadcastsExactlyItsCommandAndTheWebLinkOpensTheUpdatePage)
    {
        ScriptedDialogs dialogs;
        Platform::setDialogs (&dialogs);

        GUIEditorWindow window;
        MessageRecorder hub;
        window.setListener (&hub);
        auto& sequences = tabContent<GUIPatternTab> (window, 2);
        auto& firmware = tabContent<GUIFirmwareTab> (window, 1);

        const std::vector<std::pair<GUIPushButton*, juce::StringArray>> expected{
            { findChild<GUISeqFactory> (sequences), juce::StringArray ("FCSQ ") },
            { findChild<GUISeqLoad> (sequences), juce::StringArray ("LDSQ ") },
            { findChild<GUISeqSave> (sequences), juce::StringArray ("SVSQ ") },
            { findChild<GUIUpdater> (firmware), juce::StringArray ("FIRM ") },
            { findChild<GUIWebLink> (firmware), juce::StringArray() },
        };

        for (auto& [button, messages] : expected)
        {
            ASSERT_NE (button, nullptr);
            click (padOf (*button));
            EXPECT_EQ (hub.take(), messages);
        }

        const auto urls = dialogs.getRecords (ScriptedDialogs::Kind::url);
        ASSERT_EQ (urls.size(), 1u);
        EXPECT_EQ (urls[0].title, update_url);
        EXPECT_TRUE (juce::String (update_url).startsWith ("https://"));
        EXPECT_EQ (dialogs.getRecords().size(), 1u);

        Platform::setDialogs (nullptr);
    }

    /** Keeps the test alive through X errors. Without a window manager some of the atoms a
        window is given do not exist on the server, and outside a JUCE application nothing
        replaces Xlib's handler, which ends the process on the first such error.
    */
    void ignoreXErrors()
    {
        using Handler = int (*) (void*, void*);
        using SetHandler = Handler (*) (Handler);

        if (auto* x11 = dlopen ("libX11.so.6", RTLD_NOW))
            if (auto setHandler = reinterpret_cast<SetHandler> (dlsym (x11, "XSetErrorHandler")))
                setHandler ([] (void*, void*) { return 0; });
    }

    /** A window on the screen that takes mouse events as the windowing system delivers them. */
    struct MouseDriver
    {
        explicit MouseDriver (juce::Component& content)
        {
            ignoreXErrors();
            window.setBounds (100, 100, 300, 200);
            window.addAndMakeVisible (content);
            window.addToDesktop (0);
            window.setVisible (true);
            pumpMessages (50);
        }

        ~MouseDriver() { window.removeFromDesktop(); }

        void send (juce::Point<float> position, bool leftButtonDown)
        {
            const auto mods =
                leftButtonDown ? juce::ModifierKeys (juce::ModifierKeys::leftButtonModifier) : juce::ModifierKeys();
            time += 300;
            window.getPeer()->handleMouseEvent (juce::MouseInputSource::InputSourceType::mouse, position, mods,
                                                juce::MouseInputSource::defaultPressure,
                                                juce::MouseInputSource::defaultOrientation, time);
            pumpMessages (5);
        }

        juce::Component window;
        juce::int64 time = juce::Time::currentTimeMillis();
    };

    TEST (PushButtons, aPressReleasedOutsideTheButtonSendsNothing)
    {
        GUISeqLoad load;
        load.setTopLeftPosition (50, 50);
        MessageRecorder hub;
        load.addActionListener (&hub);
        MouseDriver mouse (load);
        ASSERT_NE (mouse.window.getPeer(), nullptr);

        const juce::Point<float> inside{ 80.0f, 70.0f }, outside{ 250.0f, 180.0f };

        mouse.send (inside, false);
        mouse.send (inside, true);
        mouse.send (inside, false);
        EXPECT_EQ (hub.take(), juce::StringArray ("LDSQ "));

        mouse.send (inside, true);
        mouse.send (outside, true);
        mouse.send (outside, false);
        EXPECT_TRUE (hub.take().isEmpty());
    }

    //==============================================================================
    TEST (FirmwareTab, showsUnknownUntilAVersionArrivesThenTheFourNumbersInDecimal)
    {
        GUIEditorWindow window;
        auto& firmware = tabContent<GUIFirmwareTab> (window, 1);
        auto& caption = *findChild<juce::Label> (firmware, 0);
        auto& version = *findChild<juce::Label> (firmware, 1);

        EXPECT_EQ (caption.getText(), "Firmware Version:");
        EXPECT_EQ (version.getText(), "Unknown");

        const std::vector<std::pair<std::array<juce::uint8, 4>, juce::String>> cases{
            { { 1, 0, 3, 2 }, "1.0.3.2" },
            { { 0, 9, 12, 255 }, "0.9.12.255" },
            { { 0, 0, 0, 0 }, "0.0.0.0" },
            { { 255, 100, 10, 1 }, "255.100.10.1" },
        };

        for (auto& [bytes, text] : cases)
        {
            window.showFirmwareVersion (bytes[0], bytes[1], bytes[2], bytes[3]);
            EXPECT_EQ (version.getText(), text);
        }

        window.setConnected (false); // disconnecting keeps the version last read
        EXPECT_EQ (version.getText(), "255.100.10.1");
    }

    //==============================================================================
    TEST (Tabs, inASmallerAreaKeepTheirPicturesUnscaledAndTheirChildrenAtTheirBounds)
    {
        GUIPatternTab sequences;
        GUIFirmwareTab firmware;
        EXPECT_EQ (sequences.getBounds(), juce::Rectangle<int> (0, 0, 1000, 420));
        EXPECT_EQ (firmware.getBounds(), juce::Rectangle<int> (0, 0, 1000, 420));

        for (auto size : { juce::Point<int> (1000, 420), juce::Point<int> (700, 300), juce::Point<int> (320, 240) })
        {
            SCOPED_TRACE (size.toString());
            sequences.setSize (size.x, size.y);
            firmware.setSize (size.x, size.y);

            // load, save, reset; update, caption, version, web link
            expectChildBounds (sequences, { { 536, 232, 70, 55 }, { 696, 232, 70, 55 }, { 304, 232, 70, 55 } });
            expectChildBounds (
                firmware, { { 704, 232, 70, 55 }, { 242, 238, 128, 24 }, { 380, 238, 60, 26 }, { 544, 232, 70, 55 } });
            expectBackgroundDrawnUnscaled (sequences, Pictures::sequencesBackground());
            expectBackgroundDrawnUnscaled (firmware, Pictures::firmwareBackground());
        }
    }

    //==============================================================================
    template <typename View>
    void showReadings (View& view)
    {
        view.showMidiInChannel (7);
        view.showMidiOutChannel (9);
        view.showInputGain (2);
        view.showLfoRetrigger (true);
        view.showArpHold (true);
        view.showKeyboardMode (1);
        view.showKeyboardLegato (5);
        view.showVelocity (2);
        view.showAftertouch (1);
        view.showBendRange (0x10b);
        view.showStepSize (8);
        view.showGateLength (2);
        view.showTapAverage (1);
        view.showClockSync (0x101);
    }

    TEST (EditorWindow, passesTheDisplayOperationsToTheConfigurationTabWithoutBroadcasting)
    {
        GUIEditorWindow window;
        MessageRecorder hub;
        window.addActionListener (&hub);
        window.setListener (&hub);
        GUIParametersTab untouched, direct;

        showReadings (window);
        showReadings (direct);
        EXPECT_TRUE (hub.take().isEmpty());

        auto& shown = tabContent<GUIParametersTab> (window, 0);
        for (int i = 0; i < direct.getNumChildComponents(); ++i)
        {
            auto* expected = dynamic_cast<SelectorWidget*> (direct.getChildComponent (i));
            auto* actual = dynamic_cast<SelectorWidget*> (shown.getChildComponent (i));
            auto* before = dynamic_cast<SelectorWidget*> (untouched.getChildComponent (i));
            ASSERT_TRUE (expected != nullptr && actual != nullptr && before != nullptr);

            for (int control = 0; control < expected->getNumControls(); ++control)
            {
                EXPECT_NE (expected->getControlValue (control), before->getControlValue (control)) << i;
                EXPECT_EQ (actual->getControlValue (control), expected->getControlValue (control)) << i;
            }
        }
    }
} // namespace
} // namespace tarnovelle
