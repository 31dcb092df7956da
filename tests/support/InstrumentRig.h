#pragma once

#include "emulator/InstrumentRig.h"
#include "protocol/Transactions.h"

namespace tarnovelle::test
{

/** The tests name the rig they share with the demo and the benchmark by its old place. */
using tarnovelle::InstrumentRig;

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
