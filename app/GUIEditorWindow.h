#pragma once

#include "app/PanelKeyboard.h"
#include "app/TabbedComponentWarp.h"
#include "firmware/GUIFirmwareTab.h"
#include "sequences/GUIPatternTab.h"
#include "settings/GUIParametersTab.h"
#include "settings/SettingDisplayOperations.h"
#include "settings/SwitchButton.h"

namespace tarnovelle
{

/** The content of the main window: the "Configuration", "Firmware Update" and "Sequences"
    tabs, and over the right end of the tab bar the CONNECT switch with the connection status.

    Every control can be reached and used from the keyboard as well (PanelKeyboard).

    A click on CONNECT broadcasts "COMI "; the application shows the outcome through
    setConnected. The values read from the instrument are passed on to the tabs that show
    them, and none of these calls broadcasts anything.
*/
class GUIEditorWindow final :
    public juce::Component,
    public TabbedComponentWarp::TabbedComponentListener,
    public juce::ActionBroadcaster,
    public juce::Button::Listener,
    public SettingDisplayOperations<GUIEditorWindow>
{
public:
    GUIEditorWindow();
    ~GUIEditorWindow() override;

    void paint (juce::Graphics& g) override;
    void resized() override;
    void tabChanged (TabbedComponentWarp*, int, const juce::String&) override {}
    void buttonClicked (juce::Button* button) override;

    /** Tab and Shift+Tab move the focus over the controls (see PanelKeyboard). */
    bool keyPressed (const juce::KeyPress& key) override;

    PanelKeyboard& getKeyboard() noexcept { return *mKeyboard; }

    /** Registers the listener with every component of the tabs that broadcasts, then with
        the tabs themselves. The editor window's own broadcaster is left to the caller.
    */
    void setListener (juce::ActionListener* listener);

    /** Lights the lamp and shows "Connected", or puts both out. */
    void setConnected (bool connected);

    void showFirmwareVersion (juce::uint8 rev1, juce::uint8 rev2, juce::uint8 rev3, juce::uint8 rev4);

    void showSetting (DeviceSetting setting, int value);

private:
    // The tab contents belong to mTabs.
    GUIParametersTab* mParametersTab = nullptr;
    GUIFirmwareTab* mFirmwareTab = nullptr;
    GUIPatternTab* mPatternTab = nullptr;

    std::unique_ptr<TabbedComponentWarp> mTabs;
    std::unique_ptr<SwitchButton> mConnectButton;
    std::unique_ptr<juce::Label> mStatusLabel;
    std::unique_ptr<PanelKeyboard> mKeyboard; // after the controls it serves

    JUCE_DECLARE_NON_COPYABLE_WITH_LEAK_DETECTOR (GUIEditorWindow)
};

} // namespace tarnovelle
