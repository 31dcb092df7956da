#pragma once

#include "editor/SequenceEditorKeeper.h"
#include "platform/Dialogs.h"
#include "platform/MidiPorts.h"

namespace juce
{
class Component;
}

namespace tarnovelle
{

/** What one build of the application talks to: the real one the system's MIDI ports, the
    demo the emulated instrument. Both use the native dialogs.
*/
class AppEnvironment
{
public:
    virtual ~AppEnvironment() = default;

    virtual juce::String getProductName() const = 0;
    virtual MidiBackend& getMidiBackend() = 0;
    virtual Dialogs& getDialogs() = 0;

    /** Where the sequence editor keeps its working set between runs. */
    virtual juce::File getSequenceEditorFile() const { return SequenceEditorKeeper::getDefaultFile(); }
    /** The instrument's history: the user's library file; the demo keeps its own. */
    virtual juce::File getHistoryFile() const = 0;

    /** The main window is on screen: a build may add what it brings of its own. */
    virtual void mainWindowShown (juce::Component& /*mainWindow*/) {}
};

} // namespace tarnovelle
