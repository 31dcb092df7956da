#pragma once

#include "platform/Dialogs.h"
#include "platform/MidiPorts.h"

namespace tarnovelle
{

/** The process-wide seams: which MIDI ports and which dialogs the program talks to.

    The real application installs the JUCE implementations, the demo the emulated ports,
    and tests install emulated ports and scripted dialogs. Neither is owned here.
*/
namespace Platform
{
    MidiBackend& midi();

    /** The installed dialogs, silenced once the program has been asked to end (QuitAwareDialogs). */
    Dialogs& dialogs();

    void setMidiBackend (MidiBackend* backend);
    void setDialogs (Dialogs* dialogs);

    /** True while a dialog, a file chooser or a progress window is shown. */
    bool isDialogOpen();

    /** Runs the message loop for the given time, or returns at once when there is none or
        the program has been asked to end (QuitRequest); a request made meanwhile ends it early.
    */
    void runMessageLoopFor (int milliseconds);
} // namespace Platform

} // namespace tarnovelle
