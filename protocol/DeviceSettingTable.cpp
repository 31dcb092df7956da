// The settings' catalogue on its own, without the transactions that read and write them: the
// plug-in, which never talks to the instrument, is built with it.

#include "protocol/DeviceSettings.h"

namespace tarnovelle
{

const std::array<DeviceSettingInfo, numDeviceSettings>& getDeviceSettingTable() noexcept
{
    static const std::array<DeviceSettingInfo, numDeviceSettings> table{ {
        { DeviceSetting::MIN, "MIN", 0x05 },
        { DeviceSetting::MOUT, "MOUT", 0x07 },
        { DeviceSetting::MKEY, "MKEY", 0x0b },
        { DeviceSetting::LKEY, "LKEY", 0x0d },
        { DeviceSetting::INGN, "INGN", 0x34 },
        { DeviceSetting::LFO, "LFO", 0x0f },
        { DeviceSetting::VELO, "VELO", 0x11 },
        { DeviceSetting::AFTE, "AFTE", 0x32 },
        { DeviceSetting::ARP, "ARP", 0x2e },
        { DeviceSetting::BEND, "BEND", 0x2c },
        { DeviceSetting::STEP, "STEP", 0x38 },
        { DeviceSetting::GLEN, "GLEN", 0x36 },
        { DeviceSetting::TAP, "TAP", 0x2a },
        { DeviceSetting::SYNC, "SYNC", 0x3c },
    } };

    return table;
}

const DeviceSettingInfo& getDeviceSettingInfo (DeviceSetting setting) noexcept
{
    return getDeviceSettingTable()[(size_t) setting];
}

const DeviceSettingInfo* findDeviceSettingBySetCommand (uint8 command) noexcept
{
    for (auto& info : getDeviceSettingTable())
        if (info.setCommand == command)
            return &info;

    return nullptr;
}

const DeviceSettingInfo* findDeviceSettingByGetCommand (uint8 command) noexcept
{
    for (auto& info : getDeviceSettingTable())
        if (info.getCommand() == command)
            return &info;

    return nullptr;
}

const DeviceSettingInfo* findDeviceSettingByCode (const juce::String& code) noexcept
{
    for (auto& info : getDeviceSettingTable())
        if (code == info.code)
            return &info;

    return nullptr;
}

const std::array<DeviceSetting, numDeviceSettings>& getSettingReadOrder() noexcept
{
    using S = DeviceSetting;
    static const std::array<DeviceSetting, numDeviceSettings> order{ S::MIN,  S::MOUT, S::INGN, S::LFO,  S::ARP,
                                                                     S::MKEY, S::LKEY, S::VELO, S::AFTE, S::BEND,
                                                                     S::STEP, S::GLEN, S::TAP,  S::SYNC };
    return order;
}

} // namespace tarnovelle
