#pragma once

#include "emulator/EmulatedInstrument.h"
#include "emulator/EmulatedMidiBackend.h"
#include "platform/Platform.h"
#include "platform/ScriptedDialogs.h"
#include "protocol/Transactions.h"

namespace tarnovelle::test
{

/** An emulated instrument on the computer's MIDI ports, scripted dialogs, and the process's
    seams pointed at them for the lifetime of the rig.
*/
struct InstrumentRig
{
    EmulatedInstrument instrument;
    EmulatedMidiBackend midi;
    ScriptedDialogs dialogs;

    explicit InstrumentRig (bool addInstrument = true)
    {
        if (addInstrument)
            midi.addInstrument (instrument);

        Platform::setMidiBackend (&midi);
        Platform::setDialogs (&dialogs);
    }

    ~InstrumentRig()
    {
        Platform::setDialogs (nullptr);
        Platform::setMidiBackend (nullptr);
    }

    /** Runs the message loop until the condition holds or the time is up. */
    template <typename Condition>
    static bool waitFor (Condition&& condition, int timeoutMs = 2000)
    {
        const auto end = juce::Time::getMillisecondCounter() + (juce::uint32) timeoutMs;

        while (! condition())
        {
            if (juce::Time::getMillisecondCounter() > end)
                return false;

            Platform::runMessageLoopFor (5);
        }

        return true;
    }
};

/** A MIDI input callback that hands every message but Active Sensing to the reply slot, as the
    application's own callback does.
*/
struct ReplyForwarder final : public MidiPortCallback
{
    std::atomic<int> activeSensingCount{ 0 };

    void handleIncomingMidiMessage (MidiInputPort*, const juce::MidiMessage& message) override
    {
        if (message.getRawDataSize() > 0 && message.getRawData()[0] == 0xfe)
            ++activeSensingCount;
        else
            handleSysexReply (message);
    }
};

} // namespace tarnovelle::test
