#pragma once

#include "app/AppEnvironment.h"
#include "app/ApplicationController.h"
#include "app/LinkService.h"
#include "app/MainAppWindow.h"
#include "app/PortWatch.h"
#include "app/SingleInstance.h"
#include "editor/GUISequenceEditorWindow.h"
#include "library/GUIHistoryWindow.h"
#include "platform/DialogLookAndFeel.h"
#include "platform/TerminationSignals.h"
#include "platform/XEventQueueGuard.h"

#include <juce_gui_basics/juce_gui_basics.h>

namespace tarnovelle
{

/** An ActionListener that adds nothing: the application implements its callback as the hub. */
class actionListenerProxy : public juce::ActionListener
{};

/** The application object: owns the main window and the connection to the instrument. */
class VarokEditorApplication final : public juce::JUCEApplication, public actionListenerProxy
{
public:
    explicit VarokEditorApplication (std::unique_ptr<AppEnvironment> environment);
    ~VarokEditorApplication() override;

    void initialise (const juce::String& commandLine) override;
    void shutdown() override;
    const juce::String getApplicationName() override;
    const juce::String getApplicationVersion() override;
    bool moreThanOneInstanceAllowed() override { return false; }
    bool initialiseApp() override;
    void anotherInstanceStarted (const juce::String& commandLine) override;
    void systemRequestedQuit() override;

    void actionListenerCallback (const juce::String& message) override;

private:
    std::unique_ptr<AppEnvironment> environment;
    SingleInstance singleInstance;
    DialogLookAndFeel lookAndFeel; // outlives every window
    std::unique_ptr<TerminationSignals> terminationSignals;
    std::unique_ptr<MainAppWindow> mainWindow;
    std::unique_ptr<XEventQueueGuard> xEventQueueGuard;
    std::unique_ptr<ApplicationController> controller;
    std::unique_ptr<GUISequenceEditorLauncher> sequenceEditor;
    std::unique_ptr<SequenceEditorKeeper> sequenceEditorKeeper;
    std::unique_ptr<InstrumentHistory> history;
    std::unique_ptr<GUIHistoryLauncher> historyWindow;
    std::unique_ptr<PortWatch> portWatch;
    std::unique_ptr<LinkService> link;

    JUCE_DECLARE_NON_COPYABLE_WITH_LEAK_DETECTOR (VarokEditorApplication)
};

} // namespace tarnovelle
