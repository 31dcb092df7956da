#include "library/SettingTexts.h"

#include <map>
#include <vector>

namespace tarnovelle
{

namespace
{
    struct SettingText
    {
        const char* panelName;
        std::vector<const char*> values; // by value, from 0; empty: shown as the number
    };

    const SettingText& getText (DeviceSetting setting)
    {
        using S = DeviceSetting;
        static const std::map<S, SettingText> texts{
            { S::MIN, { "Receive Channel", {} } },
            { S::MOUT, { "Transmit Channel", {} } },
            { S::MKEY, { "Note Priority", { "Last", "Low", "High" } } },
            { S::LKEY, { "Envelope Legato Mode", { "Off", "On" } } },
            { S::LFO, { "LFO Key Retrigger", { "Off", "On" } } },
            { S::VELO, { "Velocity Response", { "Linear", "Fast rise", "Slow rise" } } },
            { S::TAP, { "Step On", { "Clk", "Gate" } } },
            { S::BEND, { "Bend Range", {} } },
            { S::ARP, { "Play", { "Hold", "Note On" } } },
            { S::AFTE, { "Next Seq", { "End", "Instant reset", "Instant conti" } } },
            { S::INGN, { "Seq Retrig", { "Reset", "Legato", "None" } } },
            { S::GLEN, { "Gate", { "", "Short", "Med", "long" } } },
            { S::STEP, { "Step", {} } },
            { S::SYNC, { "Sync", { "Auto", "Int", "Ext" } } },
        };

        return texts.at (setting);
    }
} // namespace

juce::String getSettingPanelName (DeviceSetting setting) { return getText (setting).panelName; }

juce::String describeSettingValue (DeviceSetting setting, std::optional<uint8> value)
{
    if (! value.has_value())
        return "unknown";

    const int v = *value;

    if (setting == DeviceSetting::MIN || setting == DeviceSetting::MOUT)
        return v < 16 ? "Ch " + juce::String (v + 1)
                      : (setting == DeviceSetting::MIN && v == 16 ? "All" : juce::String (v));

    if (setting == DeviceSetting::STEP && (v == 4 || v == 8 || v == 16 || v == 32))
        return "1/" + juce::String (v);

    const auto& words = getText (setting).values;

    if (v < (int) words.size() && juce::String (words[(size_t) v]).isNotEmpty())
        return words[(size_t) v];

    return juce::String (v);
}

} // namespace tarnovelle
