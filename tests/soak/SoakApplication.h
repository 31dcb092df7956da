#pragma once

#include "app/ApplicationController.h"
#include "app/MainAppWindow.h"
#include "editor/GUISequenceEditorWindow.h"
#include "emulator/InstrumentRig.h"

#include <functional>

namespace tarnovelle::soak
{

/** The whole application in this process, wired as the application object wires it (main
    window, action hub, sequence editor launcher), against an emulated instrument whose ports
    and scripted dialogs the rig installs. Every action message passes the observer first, so
    that the soak's oracle knows what the user asked of the hub.
*/
class SoakApplication final : public juce::ActionListener
{
public:
    SoakApplication()
    {
        mainWindow = std::make_unique<MainAppWindow> ("Tarnovelle Connection");
        controller = std::make_unique<ApplicationController> (*mainWindow);
        mainWindow->setListener (this);
        editorLauncher = std::make_unique<GUISequenceEditorLauncher> (controller->getSequenceEditorModel(), this,
                                                                      &controller->getSequencePlayback());
        controller->setSequenceEditorHost (editorLauncher.get());
    }

    ~SoakApplication() override
    {
        controller->setSequenceEditorHost (nullptr);
        editorLauncher.reset();
        controller.reset();
        mainWindow.reset();
    }

    SequenceEditorModel& model() noexcept { return controller->getSequenceEditorModel(); }

    /** The sequence editor window, or nullptr while it has never been opened. */
    GUISequenceEditorWindow* editorWindow() const noexcept { return editorLauncher->getWindow(); }

    bool isEditorShowing() const noexcept { return editorWindow() != nullptr && editorWindow()->isVisible(); }

    std::function<void (const juce::String&)> onActionMessage;

    // Declared first: destroyed last, after the windows that use its ports and dialogs.
    InstrumentRig rig;
    std::unique_ptr<MainAppWindow> mainWindow;
    std::unique_ptr<ApplicationController> controller;
    std::unique_ptr<GUISequenceEditorLauncher> editorLauncher;

    void actionListenerCallback (const juce::String& message) override
    {
        if (onActionMessage)
            onActionMessage (message);

        controller->handleActionMessage (message);
    }

private:
    JUCE_DECLARE_NON_COPYABLE_WITH_LEAK_DETECTOR (SoakApplication)
};

} // namespace tarnovelle::soak
