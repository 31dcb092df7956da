#include "app/MainAppWindow.h"

namespace tarnovelle
{

MainAppWindow::MainAppWindow (const juce::String& title)
    : juce::DocumentWindow (title, juce::Colours::lightgrey, juce::DocumentWindow::allButtons, true)
{
    centreWithSize (1000, 433);
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
    if (auto* app = juce::JUCEApplication::getInstance())
        app->systemRequestedQuit();
}

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

void MainAppWindow::showMidiInChannel (int value) { mEditor->showMidiInChannel (value); }
void MainAppWindow::showMidiOutChannel (int value) { mEditor->showMidiOutChannel (value); }
void MainAppWindow::showInputGain (int value) { mEditor->showInputGain (value); }
void MainAppWindow::showLfoRetrigger (bool on) { mEditor->showLfoRetrigger (on); }
void MainAppWindow::showArpHold (bool on) { mEditor->showArpHold (on); }
void MainAppWindow::showKeyboardMode (int value) { mEditor->showKeyboardMode (value); }
void MainAppWindow::showKeyboardLegato (int value) { mEditor->showKeyboardLegato (value); }
void MainAppWindow::showVelocity (int value) { mEditor->showVelocity (value); }
void MainAppWindow::showAftertouch (int value) { mEditor->showAftertouch (value); }
void MainAppWindow::showBendRange (int value) { mEditor->showBendRange (value); }
void MainAppWindow::showStepSize (int value) { mEditor->showStepSize (value); }
void MainAppWindow::showGateLength (int value) { mEditor->showGateLength (value); }
void MainAppWindow::showTapAverage (int value) { mEditor->showTapAverage (value); }
void MainAppWindow::showClockSync (int value) { mEditor->showClockSync (value); }

} // namespace tarnovelle
