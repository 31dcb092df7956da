#include "app/MainAppWindow.h"

#include "settings/PanelGeometry.h"

namespace tarnovelle
{

MainAppWindow::MainAppWindow (const juce::String& title)
    : juce::DocumentWindow (title, juce::Colours::lightgrey, juce::DocumentWindow::allButtons, true)
{
    centreWithSize (PanelGeometry::mainWindowWidth, PanelGeometry::mainWindowHeight);
    setUsingNativeTitleBar (true);
    setVisible (true);

    mEditor = std::make_unique<GUIEditorWindow>();
    setContentNonOwned (mEditor.get(), false);
}

MainAppWindow::~MainAppWindow()
{
    // The editor goes first, exactly once; the window itself after it.
    clearContentComponent();
    mEditor.reset();
}

void MainAppWindow::closeButtonPressed()
{
    if (canClose && ! canClose())
        return;

    if (auto* app = juce::JUCEApplication::getInstance())
        app->systemRequestedQuit();
}

bool MainAppWindow::keyPressed (const juce::KeyPress& key) { return mEditor->keyPressed (key); }

void MainAppWindow::setListener (juce::ActionListener* listener)
{
    mEditor->setListener (listener);
    mEditor->addActionListener (listener);
}

void MainAppWindow::setConnected (bool connected) { mEditor->setConnected (connected); }

void MainAppWindow::showFirmwareVersion (uint8 rev1, uint8 rev2, uint8 rev3, uint8 rev4)
{
    mEditor->showFirmwareVersion (rev1, rev2, rev3, rev4);
}

void MainAppWindow::showSetting (DeviceSetting setting, int value) { mEditor->showSetting (setting, value); }

} // namespace tarnovelle
