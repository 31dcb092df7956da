#pragma once

#include "app/ApplicationController.h"
#include "app/PortWatcher.h"

#include <juce_events/juce_events.h>

#include <atomic>

namespace tarnovelle
{

/** Watches the computer's MIDI ports while the program runs and carries out the watcher's
    decisions on the controller, on the message thread.

    The backend tells when ports may have changed (the ALSA sequencer's announcements, the
    emulated instrument's cable and power); where it cannot, the lists are compared once a
    second. A decision that waits for the program to be free is looked at again shortly.
*/
class PortWatch final : private juce::AsyncUpdater, private juce::Timer
{
public:
    PortWatch (ApplicationController& controller, MidiBackend& backend);
    ~PortWatch() override;

    /** True when the backend tells of its changes; false when the lists are compared instead. */
    bool isToldOfChanges() const noexcept { return toldOfChanges; }

    static constexpr int pollIntervalMs = 1000;
    static constexpr int lookAgainMs = 100;

private:
    void handleAsyncUpdate() override { look(); }
    void timerCallback() override { look(); }
    void look();
    void carryOut (PortWatcher::Decision decision);
    PortWatcher::Ports listNow() const;

    ApplicationController& controller;
    MidiBackend& backend;
    PortWatcher watcher;
    bool toldOfChanges = false;
    bool looking = false;

    JUCE_DECLARE_NON_COPYABLE_WITH_LEAK_DETECTOR (PortWatch)
};

} // namespace tarnovelle
