#pragma once

#include "settings/GUISettingWidgets.h"
#include "settings/SettingDisplayOperations.h"

#include <array>

namespace tarnovelle
{

/** The "Configuration" tab: the picture of the instrument's settings panel with the twelve
    setting widgets laid over their printed switches and knobs.

    The display operations show the values read from the instrument; like the widgets' own,
    they never broadcast anything. Nothing is broadcast through the tab itself either: the
    widgets send their own messages to the listener given to setListener.
*/
class GUIParametersTab final :
    public juce::Component,
    public juce::ActionBroadcaster,
    public SettingDisplayOperations<GUIParametersTab>
{
public:
    GUIParametersTab();
    ~GUIParametersTab() override;

    void paint (juce::Graphics& g) override;
    void resized() override;

    /** Registers the listener with every widget. */
    void setListener (juce::ActionListener* listener);

    /** Shows one setting on its widget. LFO and ARP are on for 1; the keyboard's legato is on
        for any value greater than 0; the other widgets take the low byte of the value.
    */
    void showSetting (DeviceSetting setting, int value);

private:
    /** The widgets in the order they are laid out, later ones above earlier ones. */
    std::array<SelectorWidget*, 12> getWidgets() const noexcept;

    std::unique_ptr<GUIKeyboard> mKeyboard;
    std::unique_ptr<GUILFO> mLfo;
    std::unique_ptr<GUIVelocitySelector> mVelocity;
    std::unique_ptr<GUIAftertouchSelector> mAftertouch;
    std::unique_ptr<GUIArpHold> mArpHold;
    std::unique_ptr<GUIBendRange> mBendRange;
    std::unique_ptr<GUIStepSize> mStepSize;
    std::unique_ptr<GUIClkSync> mClockSync;
    std::unique_ptr<GUIGateLen> mGateLength;
    std::unique_ptr<GUITapAvg> mTapAverage;
    std::unique_ptr<GUIMIDIChooser> mMidiChooser;
    std::unique_ptr<GUIInputGain> mInputGain;
    juce::Image mBackground;

    JUCE_DECLARE_NON_COPYABLE_WITH_LEAK_DETECTOR (GUIParametersTab)
};

} // namespace tarnovelle
