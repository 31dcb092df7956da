#pragma once

#include "settings/GUISettingWidgets.h"

#include <array>

namespace tarnovelle
{

/** The "Configuration" tab: the picture of the instrument's settings panel with the twelve
    setting widgets laid over their printed switches and knobs.

    The display operations show the values read from the instrument; like the widgets' own,
    they never broadcast anything. Nothing is broadcast through the tab itself either: the
    widgets send their own messages to the listener given to setListener.
*/
class GUIParametersTab final : public juce::Component, public juce::ActionBroadcaster
{
public:
    GUIParametersTab();
    ~GUIParametersTab() override;

    void paint (juce::Graphics& g) override;
    void resized() override;

    /** Registers the listener with every widget. */
    void setListener (juce::ActionListener* listener);

    void showMidiInChannel (int value);
    void showMidiOutChannel (int value);
    void showInputGain (int value);
    void showLfoRetrigger (bool on);
    void showArpHold (bool on);
    void showKeyboardMode (int value);
    /** On exactly when the value is greater than 0. */
    void showKeyboardLegato (int value);
    void showVelocity (int value);
    void showAftertouch (int value);
    void showBendRange (int value);
    void showStepSize (int value);
    void showGateLength (int value);
    void showTapAverage (int value);
    void showClockSync (int value);

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
