#pragma once

#include "emulator/EmulatedInstrument.h"
#include "emulator/EmulatedMidiBackend.h"
#include "platform/Platform.h"
#include "platform/ScriptedDialogs.h"

namespace tarnovelle
{

/** An emulated instrument on emulated MIDI ports, with scripted dialogs: what the demo, the
    tests and the benchmark run the application against.

    By default the rig points the process's seams (Platform's MIDI backend and dialogs) at
    itself for its lifetime. The demo leaves them alone, since the application object installs
    its environment's ports and the system's dialogs itself.
*/
class InstrumentRig final
{
public:
    struct Options
    {
        bool addInstrument = true;   // false: the ports list no instrument at all
        bool addMidiThrough = false; // a loop-back port besides, as a computer usually lists
        juce::File stateFile;        // the instrument's memory file; none: memory only
        bool installSeams = true;    // point Platform's MIDI backend and dialogs at the rig
    };

    InstrumentRig()
        : InstrumentRig (Options{})
    {}

    explicit InstrumentRig (bool addInstrument)
        : InstrumentRig (withInstrument (addInstrument))
    {}

    explicit InstrumentRig (const Options& options)
        : instrument (options.stateFile)
        , seamsInstalled (options.installSeams)
    {
        if (options.addInstrument)
            midi.addInstrument (instrument);

        if (options.addMidiThrough)
            midi.addMidiThrough();

        if (seamsInstalled)
        {
            Platform::setMidiBackend (&midi);
            Platform::setDialogs (&dialogs);
        }
    }

    ~InstrumentRig()
    {
        if (seamsInstalled)
        {
            Platform::setDialogs (nullptr);
            Platform::setMidiBackend (nullptr);
        }
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

    EmulatedInstrument instrument;
    EmulatedMidiBackend midi;
    ScriptedDialogs dialogs;

private:
    static Options withInstrument (bool addInstrument)
    {
        Options options;
        options.addInstrument = addInstrument;
        return options;
    }

    const bool seamsInstalled;

    JUCE_DECLARE_NON_COPYABLE_WITH_LEAK_DETECTOR (InstrumentRig)
};

} // namespace tarnovelle
