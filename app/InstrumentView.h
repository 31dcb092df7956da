#pragma once

#include "protocol/DeviceSettings.h"

namespace tarnovelle
{

using juce::uint8;

/** What the application shows of the instrument: implemented by the main window, which passes
    every call down to the editor window and its tabs. None of these calls broadcasts anything.

    The fourteen display operations of the windows (showMidiInChannel and the others) all end
    in showSetting, so a setting and its value take one path whichever way they are shown.
*/
class InstrumentView
{
public:
    virtual ~InstrumentView() = default;

    virtual void setConnected (bool connected) = 0;
    virtual void showFirmwareVersion (uint8 rev1, uint8 rev2, uint8 rev3, uint8 rev4) = 0;

    /** Shows one setting as read from the instrument. The value is the byte as read, except
        for LFO and ARP, which are 1 for on and 0 for off.
    */
    virtual void showSetting (DeviceSetting setting, int value) = 0;
};

} // namespace tarnovelle
