// The application's hub connected to the emulated instrument in this process, as the figures
// that drive the whole application start it.

#pragma once

#include "Harness.h"

#include "app/ApplicationController.h"
#include "emulator/InstrumentRig.h"
#include "emulator/RecordingView.h"

namespace tarnovelle::benchmark
{

struct ConnectedApplication
{
    ConnectedApplication() { rig.instrument.setFirmwareVersion (EmulatedInstrument::shippedFirmwareVersion); }

    /** Connects; when the instrument is not found, the figure's failure is noted and false returned. */
    bool connect (const juce::String& figure)
    {
        controller.connect();

        if (controller.isConnected())
            return true;

        failures.push_back (figure + ": the instrument was not found");
        return false;
    }

    InstrumentRig rig;
    test::RecordingView view;
    ApplicationController controller{ view };
};

} // namespace tarnovelle::benchmark
