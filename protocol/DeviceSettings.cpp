#include "protocol/DeviceSettings.h"

#include "protocol/Transactions.h"

namespace tarnovelle
{

void setSetting (MidiOutputPort* output, DeviceSetting setting, uint8 value)
{
    const juce::ScopedLock lock (getDeviceLock());
    const SysexMessage message (getDeviceSettingInfo (setting).setCommand, &value, 1, 0x01, false);
    sendSysex (output, message);
}

bool getSetting (MidiOutputPort* output, DeviceSetting setting, uint8& value)
{
    const juce::ScopedLock lock (getDeviceLock());
    const auto& info = getDeviceSettingInfo (setting);
    const SysexMessage request (info.getCommand(), nullptr, 0, 0x01, false);
    return sendAndWaitForValue (output, request, info.setCommand, value);
}

} // namespace tarnovelle
