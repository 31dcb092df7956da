// The sequence editor's figure: its opening read of the eight sequences while connected,
// against the emulated instrument in this process.

#include "ConnectedApplication.h"
#include "Figures.h"
#include "Harness.h"

#include "editor/SequenceEditorTransfer.h"

namespace tarnovelle::benchmark
{

void measureEditorRead (int runs)
{
    ConnectedApplication application;

    if (! application.connect ("editor read"))
        return;

    auto& rig = application.rig;
    auto& controller = application.controller;

    std::vector<double> halves, whole;

    for (int run = 0; run < runs; ++run)
    {
        SequenceSet read{};
        auto start = Clock::now();
        const bool complete = readEditorSequences (controller.getOutput(), read);
        halves.push_back (millisecondsSince (start));

        // The hub's "RDSQ ": the halves, the step size and the gate, under the progress window.
        rig.dialogs.clear();
        start = Clock::now();
        controller.handleActionMessage ("RDSQ ");
        whole.push_back (millisecondsSince (start));

        const bool shownWhole =
            controller.getSequenceEditorModel().getSequence (3).length == (int) rig.instrument.getSequence (3).size();

        if (! complete || ! shownWhole || rig.dialogs.count (ScriptedDialogs::Kind::messageBox) != 0)
        {
            failures.push_back ("editor read: a sequence went unanswered");
            return;
        }
    }

    Figure f;
    f.name = "sequence editor's opening read";
    f.measured = median (halves);
    f.unit = "ms";
    f.floor = 16 * 20.0;
    f.floorMeaning = "ms (16 halves x 20)";
    f.goalRatio = 1.15;
    f.detail = "median " + spread (halves, 1) + "; with step size, gate and progress window "
               + number (median (whole), 1) + " ms";
    results.push_back (f);
}

} // namespace tarnovelle::benchmark
