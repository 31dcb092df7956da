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

        void tabChanged (TabbedComponentWarp*, int i, const juce::String& name) override
        {
            changes.add (juce::String (i) + " " + name);
        }
    };

    TEST (EditorWindow, showingTheStateOrSwitchingTabsSendsNothingAndEachConnectClickSendsOneConnectMessage)
    {
        Editor editor;
        EXPECT_EQ (editor.tabs.getCurrentTabIndex(), 0);
        const auto dark = render (editor.lamp);

        // The firmware version reads "Unknown" until one arrives, then its four numbers in decimal.
        auto& version = *findChild<juce::Label> (editor.tab (1), 1);
        EXPECT_EQ (version.getText(), "Unknown");
        editor.window.showFirmwareVersion (0, 9, 12, 255);
        EXPECT_EQ (version.getText(), "0.9.12.255");
        editor.window.showFirmwareVersion (255, 100, 10, 1);

        for (bool connected : { false, true, false })
        {
            editor.window.setConnected (connected);
            EXPECT_EQ (editor.lamp.getToggleState(), connected);
            EXPECT_EQ (editor.status.getText(), connected ? "Connected" : "NOT Connected");
            EXPECT_NE (samePixels (render (editor.lamp), dark), connected) << "the lamp lit exactly while connected";
        }
        EXPECT_EQ (version.getText(), "255.100.10.1") << "disconnecting keeps the version last read";
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
            { findChild<GUISeqEdit> (editor.tab (2)), juce::StringArray ("EDSQ ") },
            { findChild<GUIUpdater> (editor.tab (1)), juce::StringArray ("FIRM ") },
            { findChild<GUIWebLink> (editor.tab (1)), juce::StringArray() },
        };
        for (auto& [button, messages] : expected)
        {
            ASSERT_NE (button, nullptr);
            click (*findChild<juce::ImageButton> (*button));
            EXPECT_EQ (editor.hub.take(), messages);
        }

        const auto records = dialogs.getRecords();
        ASSERT_EQ (records.size(), 1u);
        EXPECT_TRUE (records[0].kind == ScriptedDialogs::Kind::url && records[0].title == update_url)
            << records[0].title;
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
        deliverQueuedMessages();
        ASSERT_NE (window.getPeer(), nullptr);

        // Moves the mouse (button down or up) to each point in turn; gives what was broadcast.
        auto time = juce::Time::currentTimeMillis();
        const auto moves = [&] (std::initializer_list<std::pair<juce::Point<float>, bool>> path) {
            for (auto [position, down] : path)
            {
                window.getPeer()->handleMouseEvent (
                    juce::MouseInputSource::InputSourceType::mouse, position,
                    juce::ModifierKeys (down ? juce::ModifierKeys::leftButtonModifier : 0),
                    juce::MouseInputSource::defaultPressure, juce::MouseInputSource::defaultOrientation, time += 300);
                deliverQueuedMessages();
            }
            return hub.take();
        };
        const juce::Point<float> in{ 30.0f, 20.0f }, out{ 250.0f, 180.0f };
        EXPECT_EQ (moves ({ { in, false }, { in, true }, { in, false } }), juce::StringArray ("LDSQ "));
        EXPECT_TRUE (moves ({ { in, true }, { out, true }, { out, false } }).isEmpty());
        window.removeFromDesktop();
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
            // load, save, reset, edit; update, caption, version, web link
            { &sequences, Pictures::sequencesBackground(),
              { { 536, 232, 70, 55 }, { 696, 232, 70, 55 }, { 304, 232, 70, 55 }, { 856, 232, 70, 55 } } },
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
