#pragma once

#include "app/ApplicationController.h"
#include "emulator/RecordingView.h"
#include "protocol/DeviceSettings.h"
#include "sequences/StepBuffer.h"
#include "tests/support/DialogsShown.h"
#include "tests/support/InstrumentRig.h"
#include "tests/support/Wait.h"

#include <gtest/gtest.h>

#include <algorithm>

namespace tarnovelle::test
{

/** The application on the emulated instrument, which runs the shipped firmware unless told otherwise. */
struct ApplicationRig
{
    InstrumentRig rig;
    RecordingView view;
    ApplicationController controller{ view };

    ApplicationRig() { rig.instrument.setFirmwareVersion (EmulatedInstrument::shippedFirmwareVersion); }

    /** Starts the application up, connected, and forgets the boxes shown on the way. */
    ::testing::AssertionResult startConnected()
    {
        controller.startUp();
        rig.dialogs.clear();

        if (! controller.isConnected())
            return ::testing::AssertionFailure() << "not connected after start-up";

        return ::testing::AssertionSuccess();
    }
};

/** How many settings the instrument has been asked for. */
inline int countSettingReads (const EmulatedInstrument& instrument)
{
    int n = 0;

    for (auto& info : getDeviceSettingTable())
        n += instrument.countReceived (info.getCommand());

    return n;
}

/** A set of sequences, each holding the steps that `sequenceOf` gives for its index. */
template <typename SequenceOf>
SequenceSet setOf (SequenceOf&& sequenceOf)
{
    SequenceSet set{};

    for (int index = 0; index < numSequences; ++index)
    {
        const auto steps = sequenceOf (index);
        std::copy (steps.begin(), steps.end(), set[(size_t) index].begin());
    }

    return set;
}

/** What the emulated instrument holds, as a set of sequences. */
inline SequenceSet sequencesIn (const EmulatedInstrument& instrument)
{
    return setOf ([&instrument] (int index) { return instrument.getSequence (index); });
}

} // namespace tarnovelle::test
