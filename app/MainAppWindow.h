#pragma once

#include "app/GUIEditorWindow.h"
#include "app/InstrumentView.h"

#include <juce_gui_basics/juce_gui_basics.h>

namespace tarnovelle
{

/** The application's only top-level window; it holds the editor window and passes the
    application's calls down to it.
*/
class MainAppWindow final : public juce::DocumentWindow, public InstrumentView
{
public:
    explicit MainAppWindow (const juce::String& title);
    ~MainAppWindow() override;

    void closeButtonPressed() override;

    /** Registers the listener with every component that sends action messages. */
    void setListener (juce::ActionListener* listener);

    GUIEditorWindow& getEditor() noexcept { return *mEditor; }

    void setConnected (bool connected) override;
    void showFirmwareVersion (uint8 rev1, uint8 rev2, uint8 rev3, uint8 rev4) override;
    void showMidiInChannel (int value) override;
    void showMidiOutChannel (int value) override;
    void showInputGain (int value) override;
    void showLfoRetrigger (bool on) override;
    void showArpHold (bool on) override;
    void showKeyboardMode (int value) override;
    void showKeyboardLegato (int value) override;
    void showVelocity (int value) override;
    void showAftertouch (int value) override;
    void showBendRange (int value) override;
    void showStepSize (int value) override;
    void showGateLength (int value) override;
    void showTapAverage (int value) override;
    void showClockSync (int value) override;

private:
    std::unique_ptr<GUIEditorWindow> mEditor;

    JUCE_DECLARE_NON_COPYABLE_WITH_LEAK_DETECTOR (MainAppWindow)
};

} // namespace tarnovelle
