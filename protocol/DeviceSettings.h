#pragma once

#include "platform/MidiPorts.h"

#include <array>

namespace tarnovelle
{

using juce::uint8;

/** The instrument's fourteen global settings, named after their action codes. */
enum class DeviceSetting
{
    MIN,
    MOUT,
    MKEY,
    LKEY,
    INGN,
    LFO,
    VELO,
    AFTE,
    ARP,
    BEND,
    STEP,
    GLEN,
    TAP,
    SYNC
};

constexpr int numDeviceSettings = 14;

/** One row of the catalogue. The get command is always setCommand + 1, and the instrument
    answers a get with the set command and the value.
*/
struct DeviceSettingInfo
{
    DeviceSetting setting;
    const char* code; // the four-letter action code, unpadded ("MIN", "BEND")
    uint8 setCommand;
    uint8 getCommand() const noexcept { return (uint8) (setCommand + 1); }
};

/** The catalogue, in the order of the enumeration. */
const std::array<DeviceSettingInfo, numDeviceSettings>& getDeviceSettingTable() noexcept;

const DeviceSettingInfo& getDeviceSettingInfo (DeviceSetting setting) noexcept;

/** The setting whose set command (the command of a get reply) is `command`, or nullptr. */
const DeviceSettingInfo* findDeviceSettingBySetCommand (uint8 command) noexcept;

/** The setting whose get command is `command`, or nullptr. */
const DeviceSettingInfo* findDeviceSettingByGetCommand (uint8 command) noexcept;

/** The setting with this unpadded action code ("MIN", "SYNC"), or nullptr. */
const DeviceSettingInfo* findDeviceSettingByCode (const juce::String& code) noexcept;

/** The order in which the settings are read after connecting. */
const std::array<DeviceSetting, numDeviceSettings>& getSettingReadOrder() noexcept;

/** Sends the set command with the value; nothing is awaited. Holds deviceLock. */
void setSetting (MidiOutputPort* output, DeviceSetting setting, uint8 value);

/** Sends the get command and waits for the reply. Returns true when the instrument answered
    in time; the value is then the reply's byte 9, otherwise it is left untouched.
*/
bool getSetting (MidiOutputPort* output, DeviceSetting setting, uint8& value);

} // namespace tarnovelle
