#pragma once

#include "protocol/DeviceSettings.h"

namespace tarnovelle
{

/** The fourteen display operations of the windows and the settings tab, each named after what
    it shows. Every one of them ends in the owner's showSetting (DeviceSetting, int), so the
    link between an operation and its setting is made here and nowhere else.

    The owner derives from SettingDisplayOperations<Owner> and has a public
    showSetting (DeviceSetting setting, int value). LFO and ARP are shown as 1 for on and 0
    for off; every other value goes on unchanged.
*/
template <typename Owner>
class SettingDisplayOperations
{
public:
    void showMidiInChannel (int value) { show (DeviceSetting::MIN, value); }
    void showMidiOutChannel (int value) { show (DeviceSetting::MOUT, value); }
    void showInputGain (int value) { show (DeviceSetting::INGN, value); }
    void showLfoRetrigger (bool on) { show (DeviceSetting::LFO, on ? 1 : 0); }
    void showArpHold (bool on) { show (DeviceSetting::ARP, on ? 1 : 0); }
    void showKeyboardMode (int value) { show (DeviceSetting::MKEY, value); }
    void showKeyboardLegato (int value) { show (DeviceSetting::LKEY, value); }
    void showVelocity (int value) { show (DeviceSetting::VELO, value); }
    void showAftertouch (int value) { show (DeviceSetting::AFTE, value); }
    void showBendRange (int value) { show (DeviceSetting::BEND, value); }
    void showStepSize (int value) { show (DeviceSetting::STEP, value); }
    void showGateLength (int value) { show (DeviceSetting::GLEN, value); }
    void showTapAverage (int value) { show (DeviceSetting::TAP, value); }
    void showClockSync (int value) { show (DeviceSetting::SYNC, value); }

protected:
    SettingDisplayOperations() = default;
    ~SettingDisplayOperations() = default;

private:
    void show (DeviceSetting setting, int value) { static_cast<Owner&> (*this).showSetting (setting, value); }
};

} // namespace tarnovelle
