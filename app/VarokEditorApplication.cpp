#include "app/VarokEditorApplication.h"

#include "platform/DesktopScaleX11.h"
#include "platform/Platform.h"
#include "platform/QuitRequest.h"
#include "platform/TerminationSignals.h"

namespace tarnovelle
{

VarokEditorApplication::VarokEditorApplication (std::unique_ptr<AppEnvironment> environmentToUse)
    : environment (std::move (environmentToUse))
    , singleInstance (environment->getProductName())
{
    // A later start ends at once, without a window (initialiseApp tells the running one), and
    // before it has touched any instrument.
    if (singleInstance.isAnotherInstanceRunning())
        return;

    Platform::setMidiBackend (&environment->getMidiBackend());
    Platform::setDialogs (&environment->getDialogs());
    terminationSignals = std::make_unique<TerminationSignals>();

    // Every window at the desktop's scale, also where JUCE does not find it by itself.
    DesktopScale::applyToDesktop();
    juce::LookAndFeel::setDefaultLookAndFeel (&lookAndFeel);
    mainWindow = std::make_unique<MainAppWindow> (getApplicationName());
    environment->mainWindowShown (*mainWindow);
    xEventQueueGuard = std::make_unique<XEventQueueGuard>();
    controller = std::make_unique<ApplicationController> (*mainWindow);
    mainWindow->setListener (this);
    sequenceEditor = std::make_unique<GUISequenceEditorLauncher> (controller->getSequenceEditorModel(), this,
                                                                  &controller->getSequencePlayback());
    controller->setSequenceEditorHost (sequenceEditor.get());
    sequenceEditorKeeper = std::make_unique<SequenceEditorKeeper> (controller->getSequenceEditorModel(),
                                                                   environment->getSequenceEditorFile());
    // Only a close the user makes asks about unsent changes; a quit from the system keeps them.
    mainWindow->canClose = [this] { return controller->confirmQuit(); };
    history = std::make_unique<InstrumentHistory> (environment->getHistoryFile());
    historyWindow = std::make_unique<GUIHistoryLauncher> (*history, controller->getSequenceEditorModel(), this);

    const ProgramFacts facts{ getApplicationName(), environment->getHistoryFile(),
                              environment->getSequenceEditorFile() };
    sequenceEditor->setProgramFacts (facts);
    historyWindow->setProgramFacts (facts);
    controller->setHistory (history.get(), historyWindow.get());
    // From before the start-up, so that an instrument switched on under its question is found.
    portWatch = std::make_unique<PortWatch> (*controller, environment->getMidiBackend());
}

VarokEditorApplication::~VarokEditorApplication()
{
    // No plug-in reaches the controller once it begins to go.
    link.reset();
    portWatch.reset();

    // The editor window shows the controller's model: it goes first.
    if (controller != nullptr)
    {
        controller->setSequenceEditorHost (nullptr);
        controller->setHistory (nullptr, nullptr);
    }

    historyWindow.reset();
    history.reset();
    sequenceEditor.reset();
    sequenceEditorKeeper.reset();
    controller.reset();
    xEventQueueGuard.reset();
    mainWindow.reset();
    terminationSignals.reset();
    juce::LookAndFeel::setDefaultLookAndFeel (nullptr);
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

    if (singleInstance.getProblem().isNotEmpty())
        Platform::dialogs().showMessageBox (DialogIcon::warning, "Single instance",
                                            "Tarnovelle Connection cannot make sure that it is the only one running:\n"
                                                + singleInstance.getProblem() + "\nIt runs anyway.");

    // The plug-ins' link listens at once: a request that comes while the start-up connects is
    // refused as busy, not held.
    link = std::make_unique<LinkService> (*controller, environment->getProductName());
    sequenceEditorKeeper->offerKeptChanges();
    controller->startUp();
}

void VarokEditorApplication::shutdown()
{
    link.reset();

    if (sequenceEditorKeeper != nullptr)
        sequenceEditorKeeper->flush();

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
