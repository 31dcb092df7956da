#pragma once

#include "protocol/DeviceSettings.h"

#include <optional>

namespace tarnovelle
{

/** The name a setting carries on the instrument's panel ("Receive Channel", "Next Seq"). */
juce::String getSettingPanelName (DeviceSetting setting);

/** A setting's value as the panel shows it ("Ch 3", "All", "Instant reset", "1/16"); "unknown"
    when it was not read, and the number itself for a value the panel has no word for.
*/
juce::String describeSettingValue (DeviceSetting setting, std::optional<uint8> value);

} // namespace tarnovelle
