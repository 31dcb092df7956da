#include "app/PortWatch.h"

namespace tarnovelle
{

PortWatch::PortWatch (ApplicationController& controllerToUse, MidiBackend& backendToUse)
    : controller (controllerToUse)
    , backend (backendToUse)
{
    // What is listed at the start is the start-up detection's business.
    watcher.takeAsKnown (listNow());
    toldOfChanges = backend.setPortsChangedCallback ([this] { triggerAsyncUpdate(); });

    if (! toldOfChanges)
        startTimer (pollIntervalMs);
}

PortWatch::~PortWatch()
{
    backend.setPortsChangedCallback (nullptr);
    cancelPendingUpdate();
    stopTimer();
}

PortWatcher::Ports PortWatch::listNow() const
{
    return { backend.getInputIdentifiers(), backend.getOutputIdentifiers() };
}

void PortWatch::look()
{
    // A look that connects runs the message loop while the instrument answers: news arriving
    // meanwhile is looked at afterwards.
    if (looking)
    {
        startTimer (lookAgainMs);
        return;
    }

    const juce::ScopedValueSetter<bool> lookingNow (looking, true);

    if (controller.isConnected())
        watcher.setConnectionPorts (controller.getInput()->getIdentifier(), controller.getOutput()->getIdentifier());

    carryOut (watcher.look (listNow(), controller.getPortSituation()));
}

void PortWatch::carryOut (PortWatcher::Decision decision)
{
    using Decision = PortWatcher::Decision;

    if (decision == Decision::lookAgainLater)
    {
        startTimer (lookAgainMs);
        return;
    }

    if (toldOfChanges)
        stopTimer();
    else if (getTimerInterval() != pollIntervalMs)
        startTimer (pollIntervalMs);

    if (decision == Decision::instrumentGone)
    {
        controller.instrumentPortsVanished();
        // The instrument may already be back under new ports.
        carryOut (watcher.look (listNow(), controller.getPortSituation()));
    }
    else if (decision == Decision::askAppearedPorts)
    {
        const auto toAsk = watcher.getPortsToAsk();
        controller.connectToAppearedPorts (toAsk);
    }
}

} // namespace tarnovelle
