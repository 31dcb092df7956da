#include "app/VarokEditorApplication.h"

#include "platform/Platform.h"
#include "platform/QuitRequest.h"

namespace tarnovelle
{

VarokEditorApplication::VarokEditorApplication (std::unique_ptr<AppEnvironment> environmentToUse)
    : environment (std::move (environmentToUse))
    , singleInstance (environment->getProductName())
{
    Platform::setMidiBackend (&environment->getMidiBackend());
    Platform::setDialogs (&environment->getDialogs());

    // A later start ends at once, without a window (initialiseApp tells the running one).
    if (singleInstance.isAnotherInstanceRunning())
        return;

    mainWindow = std::make_unique<MainAppWindow> (getApplicationName());
    controller = std::make_unique<ApplicationController> (*mainWindow);
    mainWindow->setListener (this);
    sequenceEditor = std::make_unique<GUISequenceEditorLauncher> (controller->getSequenceEditorModel(), this,
                                                                  &controller->getSequencePlayback());
    controller->setSequenceEditorHost (sequenceEditor.get());
}

VarokEditorApplication::~VarokEditorApplication()
{
    // The editor window shows the controller's model: it goes first.
    if (controller != nullptr)
        controller->setSequenceEditorHost (nullptr);

    sequenceEditor.reset();
    controller.reset();
    mainWindow.reset();
    Platform::setDialogs (nullptr);
    Platform::setMidiBackend (nullptr);
}

bool VarokEditorApplication::initialiseApp()
{
    // Only one instance runs, but the decision is the program's own per-user lock, taken once
    // in the constructor before any window: JUCE's own handling would take a second,
    // machine-wide lock at another moment, and two starts close together could then each win
    // one of them and neither show a working window.
    if (singleInstance.isAnotherInstanceRunning())
    {
        singleInstance.notifyRunningInstance (getCommandLineParameters());
        return false;
    }

    initialise (getCommandLineParameters());
    return ! juce::MessageManager::getInstance()->hasStopMessageBeenSent();
}

void VarokEditorApplication::initialise (const juce::String&)
{
    if (controller == nullptr)
        return;

    singleInstance.listen ([this] (const juce::String& commandLine) { anotherInstanceStarted (commandLine); });
    controller->startUp();
}

void VarokEditorApplication::shutdown()
{
    if (controller != nullptr)
        controller->disconnect();
}

const juce::String VarokEditorApplication::getApplicationName() { return environment->getProductName(); }

const juce::String VarokEditorApplication::getApplicationVersion() { return environment->getProductName(); }

void VarokEditorApplication::anotherInstanceStarted (const juce::String&)
{
    Platform::dialogs().showMessageBox (DialogIcon::info, "Multiple instance",
                                        "Only one Tarnovelle Connection can be opened at the same time !");
}

void VarokEditorApplication::systemRequestedQuit()
{
    // Recorded first: every wait and dialog under way ends at once, and nothing more is shown.
    QuitRequest::raise();
    juce::JUCEApplication::systemRequestedQuit();
}

void VarokEditorApplication::actionListenerCallback (const juce::String& message)
{
    if (controller != nullptr)
        controller->handleActionMessage (message);
}

} // namespace tarnovelle
