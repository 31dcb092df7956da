#pragma once

#include "app/InstrumentView.h"

#include <map>
#include <vector>

namespace tarnovelle::test
{

/** An InstrumentView that remembers every call, in order. */
class RecordingView final : public InstrumentView
{
public:
    struct Call
    {
        juce::String name;
        int value;
    };

    std::vector<Call> calls;

    /** The value of the last call with this name, or -1000 when there was none. */
    int lastValueOf (const juce::String& name) const
    {
        for (auto it = calls.rbegin(); it != calls.rend(); ++it)
            if (it->name == name)
                return it->value;

        return -1000;
    }

    /** The settings shown, in order, by their action codes, without the connection calls. */
    juce::StringArray displayedSettings() const
    {
        juce::StringArray names;

        for (auto& c : calls)
            if (c.name != "setConnected" && c.name != "showFirmwareVersion")
                names.add (c.name);

        return names;
    }

    void setConnected (bool connected) override { add ("setConnected", connected ? 1 : 0); }

    void showFirmwareVersion (uint8 rev1, uint8 rev2, uint8 rev3, uint8 rev4) override
    {
        add ("showFirmwareVersion", (rev1 << 24) | (rev2 << 16) | (rev3 << 8) | rev4);
    }

    /** Recorded under the setting's action code ("MIN", "LFO"). */
    void showSetting (DeviceSetting setting, int value) override { add (getDeviceSettingInfo (setting).code, value); }

private:
    void add (const juce::String& name, int value) { calls.push_back ({ name, value }); }
};

} // namespace tarnovelle::test
