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

    juce::Image render (juce::Component& c) { return c.createComponentSnapshot (c.getLocalBounds(), false); }

    struct Editor
    {
        GUIEditorWindow window;
        MessageRecorder hub;
        TabbedComponentWarp& tabs = *findChild<TabbedComponentWarp> (window);
        SwitchButton& lamp = *findChild<SwitchButton> (window);
        juce::Label& status = *findChild<juce::Label> (window);

        Editor()
        {
            window.addActionListener (&hub);
            window.setListener (&hub);
        }

        juce::Component& tab (int index) { return *tabs.getTabContentComponent (index); }
    };

    struct TabChangeRecorder final : public TabbedComponentWarp::TabbedComponentListener
    {
        juce::StringArray changes;

        void tabChanged (TabbedComponentWarp*, int index, const juce::String& name) override
        {
            changes.add (juce::String (index) + " " + name);
        }
    };

    TEST (EditorWindow, showingTheStateOrSwitchingTabsSendsNothingAndEachConnectClickSendsOneConnectMessage)
    {
        Editor editor;
        EXPECT_EQ (editor.tabs.getTabNames(), juce::StringArray ("Configuration", "Firmware Update", "Sequences"));
        EXPECT_EQ (editor.tabs.getCurrentTabIndex(), 0);
        const auto dark = render (editor.lamp);

        for (bool connected : { false, true, false })
        {
            editor.window.setConnected (connected);
            EXPECT_EQ (editor.lamp.getToggleState(), connected);
            EXPECT_EQ (editor.status.getText(), connected ? "Connected" : "NOT Connected");
            EXPECT_NE (samePixels (render (editor.lamp), dark), connected) << "the lamp lit exactly while connected";
        }
        EXPECT_TRUE (editor.hub.take().isEmpty()) << "showing the state sent something";

        // (Rendered no more: a clicked button shows itself pressed until painted once.)
        for (int connected : { -1, 1, 0 }) // as left, connected, disconnected
        {
            if (connected >= 0)
                editor.window.setConnected (connected == 1);
            click (editor.lamp);
            EXPECT_EQ (editor.hub.take(), juce::StringArray ("COMI ")) << connected;
            EXPECT_EQ (editor.lamp.getToggleState(), connected != 1)
                << "the click flips it; the application settles it";
        }

        // A tab listener hears of each change; switching neither sends nor changes the lamp.
        TabChangeRecorder changes;
        editor.tabs.addTabListener (&changes);
        for (int index : { 1, 2, 0 })
            editor.tabs.setCurrentTabIndex (index);
        EXPECT_EQ (changes.changes, juce::StringArray ("1 Firmware Update", "2 Sequences", "0 Configuration"));
        EXPECT_TRUE (editor.lamp.getToggleState());
        EXPECT_TRUE (editor.hub.take().isEmpty());
    }

    //==============================================================================
    TEST (PushButtons, eachBroadcastsExactlyItsCommandAndTheWebLinkOpensTheUpdatePage)
    {
        ScriptedDialogs dialogs;
        Platform::setDialogs (&dialogs);
        Editor editor;

        const std::vector<std::pair<GUIPushButton*, juce::StringArray>> expected{
            { findChild<GUISeqFactory> (editor.tab (2)), juce::StringArray ("FCSQ ") },
            { findChild<GUISeqLoad> (editor.tab (2)), juce::StringArray ("LDSQ ") },
            { findChild<GUISeqSave> (editor.tab (2)), juce::StringArray ("SVSQ ") },
            { findChild<GUIUpdater> (editor.tab (1)), juce::StringArray ("FIRM ") },
            { findChild<GUIWebLink> (editor.tab (1)), juce::StringArray() },
        };
        for (auto& [button, messages] : expected)
        {
            ASSERT_NE (button, nullptr);
            click (*findChild<juce::ImageButton> (*button));
            EXPECT_EQ (editor.hub.take(), messages);
        }

        const auto urls = dialogs.getRecords (ScriptedDialogs::Kind::url);
        ASSERT_EQ (urls.size(), 1u);
        EXPECT_EQ (urls[0].title, update_url);
        EXPECT_EQ (dialogs.getRecords().size(), 1u);
        Platform::setDialogs (nullptr);
    }

    TEST (PushButtons, aPressReleasedOutsideTheButtonSendsNothing)
    {
        // Without a window manager some of the atoms a window is given do not exist on the
        // server, and outside a JUCE application nothing replaces Xlib's handler, which ends
        // the process on the first such error.
        using Handler = int (*) (void*, void*);
        if (auto* x11 = dlopen ("libX11.so.6", RTLD_NOW))
            if (auto setHandler = reinterpret_cast<Handler (*) (Handler)> (dlsym (x11, "XSetErrorHandler")))
                setHandler ([] (void*, void*) { return 0; });

        GUISeqLoad load;
        MessageRecorder hub;
        load.addActionListener (&hub);
        juce::Component window;
        window.setBounds (100, 100, 300, 200);
        window.addAndMakeVisible (load);
        window.addToDesktop (0);
        window.setVisible (true);
        pumpMessages (50);
        ASSERT_NE (window.getPeer(), nullptr);

        auto time = juce::Time::currentTimeMillis();
        const auto send = [&] (juce::Point<float> position, bool down) {
            window.getPeer()->handleMouseEvent (juce::MouseInputSource::InputSourceType::mouse, position,
                                                juce::ModifierKeys (down ? juce::ModifierKeys::leftButtonModifier : 0),
                                                juce::MouseInputSource::defaultPressure,
                                                juce::MouseInputSource::defaultOrientation, time += 300);
            pumpMessages (5);
        };
        const juce::Point<float> inside{ 30.0f, 20.0f }, outside{ 250.0f, 180.0f };
        using Move = std::pair<juce::Point<float>, bool>;

        for (auto [position, down] : { Move{ inside, false }, Move{ inside, true }, Move{ inside, false } })
            send (position, down);
        EXPECT_EQ (hub.take(), juce::StringArray ("LDSQ "));
        for (auto [position, down] : { Move{ inside, true }, Move{ outside, true }, Move{ outside, false } })
            send (position, down);
        EXPECT_TRUE (hub.take().isEmpty());
        window.removeFromDesktop();
    }

    //==============================================================================
    TEST (FirmwareTab, showsUnknownUntilAVersionArrivesThenTheFourNumbersInDecimal)
    {
        Editor editor;
        auto& version = *findChild<juce::Label> (editor.tab (1), 1);
        EXPECT_EQ (version.getText(), "Unknown");

        const auto shown = [&] (juce::uint8 a, juce::uint8 b, juce::uint8 c, juce::uint8 d) {
            editor.window.showFirmwareVersion (a, b, c, d);
            return version.getText();
        };
        EXPECT_EQ (shown (1, 0, 3, 2), "1.0.3.2");
        EXPECT_EQ (shown (0, 9, 12, 255), "0.9.12.255");
        EXPECT_EQ (shown (255, 100, 10, 1), "255.100.10.1");

        editor.window.setConnected (false); // disconnecting keeps the version last read
        EXPECT_EQ (version.getText(), "255.100.10.1");
    }

    //==============================================================================
    TEST (Tabs, inASmallerAreaKeepTheirPicturesUnscaledAndTheirChildrenAtTheirBounds)
    {
        GUIParametersTab settings;
        GUIPatternTab sequences;
        GUIFirmwareTab firmware;
        using R = juce::Rectangle<int>;
        // clang-format off
        const std::tuple<juce::Component*, juce::Image, std::vector<R>> cases[] = {
            { &settings, Pictures::parametersBackground(),
              { { 151, 92, 427, 250 }, { 436, 226, 29, 65 }, { 253, 100, 29, 65 }, { 629, 99, 29, 65 },
                { 439, 99, 29, 65 }, { 599, 213, 114, 106 }, { 808, 76, 114, 106 }, { 810, 206, 114, 106 },
                { 743, 227, 29, 65 }, { 756, 98, 29, 65 }, { 80, 220, 288, 120 }, { 535, 99, 29, 65 } } },
            // load, save, reset; update, caption, version, web link
            { &sequences, Pictures::sequencesBackground(), { { 536, 232, 70, 55 }, { 696, 232, 70, 55 }, { 304, 232, 70, 55 } } },
            { &firmware, Pictures::firmwareBackground(),
              { { 704, 232, 70, 55 }, { 242, 238, 128, 24 }, { 380, 238, 60, 26 }, { 544, 232, 70, 55 } } },
        };
        // clang-format on

        for (auto& [tab, background, bounds] : cases)
        {
            for (auto size : std::initializer_list<juce::Point<int>>{ { 1000, 420 }, { 640, 300 }, { 320, 240 } })
            {
                SCOPED_TRACE (size.toString());
                tab->setSize (size.x, size.y);
                ASSERT_EQ (tab->getNumChildComponents(), (int) bounds.size());
                for (int i = 0; i < tab->getNumChildComponents(); ++i)
                    EXPECT_EQ (tab->getChildComponent (i)->getBounds(), bounds[(size_t) i]) << "child " << i;

                juce::Image canvas (juce::Image::ARGB, size.x, size.y, true);
                juce::Graphics g (canvas);
                tab->paint (g);
                EXPECT_TRUE (samePixels (canvas, background.getClippedImage (tab->getLocalBounds())))
                    << "the background drawn unscaled from the top left";
            }
        }

        // Switches fill their widget; the keyboard places its second switch. (Where the knobs sit
        // in theirs shows in the rendered pointers.)
        EXPECT_EQ (findChild<GUILFO> (settings)->getControlButton (0)->getBounds(), R (0, 0, 29, 65));
        EXPECT_EQ (findChild<GUIKeyboard> (settings)->getControlButton (1)->getBounds(), R (379, 135, 29, 65));
    }
} // namespace
} // namespace tarnovelle
