// The controller's part in the coming and going of the instrument's ports: the loss of the
// connection's ports, and the instrument found on ports that have just appeared.

#include "app/ApplicationController.h"

#include "app/HWDetector.h"
#include "platform/Platform.h"

namespace tarnovelle
{

PortWatcher::Situation ApplicationController::getPortSituation() const
{
    PortWatcher::Situation situation;
    situation.connected = connected;
    situation.switchedOffByUser = switchedOffByUser;
    situation.busy = operationDepth > 0 || Platform::isDialogOpen();
    situation.atRetryQuestion = atRetryQuestion;
    return situation;
}

void ApplicationController::instrumentPortsVanished()
{
    // Inside an operation the ports are in use: it fails on its own, and the watcher comes back.
    if (! connected || operationDepth > 0)
        return;

    disconnect();
    lossUntold = true;
}

void ApplicationController::tellOfLoss (const juce::String& message)
{
    if (operationDepth > 0)
    {
        pendingMessages.add (message);
        return;
    }

    lossUntold = false;

    // The same box as when the instrument is found silent; the action is not carried out.
    runAlone ([] {
        Platform::dialogs().showMessageBox (DialogIcon::warning, "Connection", "Tarnovelle has been disconnected !");
    });
}

void ApplicationController::connectToAppearedPorts (const PortWatcher::Ports& appeared)
{
    if (connected)
        return;

    const bool answersRetryQuestion = atRetryQuestion;

    runAlone ([this, &appeared, answersRetryQuestion] {
        HWDetector::setExpectedFamily (0x04, 0x00);
        HWDetector::setExpectedMember (0x02, 0x01);

        if (! HWDetector::detectAmong (this, appeared.inputs, appeared.outputs, input, output))
            return;

        becomeConnected();

        // The start-up goes on from the question as after OK, and reads what it reads then.
        if (answersRetryQuestion)
            Platform::dialogs().acceptOkCancelBox (noInstrumentTitle);
        else
            readAllSettings();
    });
}

} // namespace tarnovelle
