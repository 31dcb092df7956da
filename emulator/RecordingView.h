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

    /** The names of the display operations called, in order, without the connection calls. */
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

    void showMidiInChannel (int v) override { add ("showMidiInChannel", v); }
    void showMidiOutChannel (int v) override { add ("showMidiOutChannel", v); }
    void showInputGain (int v) override { add ("showInputGain", v); }
    void showLfoRetrigger (bool on) override { add ("showLfoRetrigger", on ? 1 : 0); }
    void showArpHold (bool on) override { add ("showArpHold", on ? 1 : 0); }
    void showKeyboardMode (int v) override { add ("showKeyboardMode", v); }
    void showKeyboardLegato (int v) override { add ("showKeyboardLegato", v); }
    void showVelocity (int v) override { add ("showVelocity", v); }
    void showAftertouch (int v) override { add ("showAftertouch", v); }
    void showBendRange (int v) override { add ("showBendRange", v); }
    void showStepSize (int v) override { add ("showStepSize", v); }
    void showGateLength (int v) override { add ("showGateLength", v); }
    void showTapAverage (int v) override { add ("showTapAverage", v); }
    void showClockSync (int v) override { add ("showClockSync", v); }

private:
    void add (const juce::String& name, int value) { calls.push_back ({ name, value }); }
};

} // namespace tarnovelle::test
