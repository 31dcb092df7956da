#pragma once

#include "app/GUIEditorWindow.h"
#include "app/InstrumentView.h"
#include "settings/SettingDisplayOperations.h"

#include <juce_gui_basics/juce_gui_basics.h>

namespace tarnovelle
{

/** The application's only top-level window; it holds the editor window and passes the
    application's calls down to it.
*/
class MainAppWindow final :
    public juce::DocumentWindow,
    public InstrumentView,
    public SettingDisplayOperations<MainAppWindow>
{
public:
    explicit MainAppWindow (const juce::String& title);
    ~MainAppWindow() override;

    void closeButtonPressed() override;

    /** With the focus on the window itself, Tab goes to the editor window's first control. */
    bool keyPressed (const juce::KeyPress& key) override;

    /** Registers the listener with every component that sends action messages. */
    void setListener (juce::ActionListener* listener);

    GUIEditorWindow& getEditor() noexcept { return *mEditor; }

    /** Asked when the user closes the window; the program ends only when it returns true. */
    std::function<bool()> canClose;

    void setConnected (bool connected) override;
    void showFirmwareVersion (uint8 rev1, uint8 rev2, uint8 rev3, uint8 rev4) override;
    void showSetting (DeviceSetting setting, int value) override;

private:
    std::unique_ptr<GUIEditorWindow> mEditor;

    JUCE_DECLARE_NON_COPYABLE_WITH_LEAK_DETECTOR (MainAppWindow)
};

} // namespace tarnovelle
