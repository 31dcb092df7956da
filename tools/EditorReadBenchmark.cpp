#include "tools/EditorReadBenchmark.h"

#include "app/ApplicationController.h"
#include "emulator/EmulatedInstrument.h"
#include "emulator/EmulatedMidiBackend.h"
#include "platform/Platform.h"
#include "platform/ScriptedDialogs.h"
#include "sequences/SequenceEditorTransfer.h"

#include <chrono>

namespace tarnovelle::benchmark
{

namespace
{
    using Clock = std::chrono::steady_clock;

    double millisecondsSince (Clock::time_point start)
    {
        return std::chrono::duration<double, std::milli> (Clock::now() - start).count();
    }

    /** Shows nothing: the read needs no view. */
    struct SilentView final : public InstrumentView
    {
        void setConnected (bool) override {}
        void showFirmwareVersion (uint8, uint8, uint8, uint8) override {}
        void showMidiInChannel (int) override {}
        void showMidiOutChannel (int) override {}
        void showInputGain (int) override {}
        void showLfoRetrigger (bool) override {}
        void showArpHold (bool) override {}
        void showKeyboardMode (int) override {}
        void showKeyboardLegato (int) override {}
        void showVelocity (int) override {}
        void showAftertouch (int) override {}
        void showBendRange (int) override {}
        void showStepSize (int) override {}
        void showGateLength (int) override {}
        void showTapAverage (int) override {}
        void showClockSync (int) override {}
    };
} // namespace

EditorReadTimes measureEditorOpeningRead (int runs)
{
    EditorReadTimes times;
    EmulatedInstrument instrument;
    EmulatedMidiBackend midi;
    ScriptedDialogs dialogs;
    instrument.setFirmwareVersion ({ 1, 0, 3, 2 });
    midi.addInstrument (instrument);
    Platform::setMidiBackend (&midi);
    Platform::setDialogs (&dialogs);

    {
        SilentView view;
        ApplicationController controller (view);
        controller.connect();

        for (int run = 0; run < runs && controller.isConnected() && times.failure.isEmpty(); ++run)
        {
            SequenceSet read{};
            auto start = Clock::now();
            const bool complete = readEditorSequences (controller.getOutput(), read);
            times.sequencesMs.push_back (millisecondsSince (start));

            dialogs.clear();
            start = Clock::now();
            controller.handleActionMessage ("RDSQ ");
            times.wholeReadMs.push_back (millisecondsSince (start));

            const bool shownWhole =
                controller.getSequenceEditorModel().getSequence (3).length == (int) instrument.getSequence (3).size();

            if (! complete || ! shownWhole || dialogs.count (ScriptedDialogs::Kind::messageBox) != 0)
                times.failure = "editor read: a sequence went unanswered";
        }

        if (! controller.isConnected())
            times.failure = "editor read: the instrument was not found";
    }

    Platform::setDialogs (nullptr);
    Platform::setMidiBackend (nullptr);
    return times;
}

} // namespace tarnovelle::benchmark
