#include "app/ApplicationController.h"

#include "app/HWDetector.h"
#include "firmware/FirmwareFile.h"
#include "firmware/HWUpdater.h"
#include "platform/Platform.h"
#include "platform/QuitRequest.h"
#include "protocol/ActionVocabulary.h"
#include "protocol/Transactions.h"
#include "sequences/SequenceEditorTransfer.h"
#include "sequences/SequenceFileOperations.h"
#include "sequences/SequenceTransfer.h"

namespace tarnovelle
{

namespace
{
    const juce::String noInstrumentTitle ("No instrument found");

    const juce::String retryMessage ("The software was not able to find a Tarnovelle connected to the computer.\n"
                                     "Please make sure:\n"
                                     "1. The USB connection is correctly set between Tarnovelle and your computer.\n"
                                     "2. Tarnovelle is switched on.\n"
                                     "3. Tarnovelle has been correctly rebooted after a firmware update.\n"
                                     "\n"
                                     "Do you want to retry ?");

    constexpr int retryPauseMs = 100;
    constexpr juce::uint32 playbackSilenceLimitMs = 1000;
    constexpr uint8 activeSensing = 0xfe;
} // namespace

ApplicationController::ApplicationController (InstrumentView& viewToUse)
    : view (viewToUse)
{
    // Playback ends on its own only when the instrument has been silent for much longer than
    // an action tolerates: one late Active Sensing on a busy computer must not stop it.
    sequencePlayback.isInstrumentPresent = [this] {
        return juce::Time::getMillisecondCounter() - getLastActiveSenseTime() <= playbackSilenceLimitMs;
    };
}

ApplicationController::~ApplicationController() { disconnect(); }

bool ApplicationController::isFirmwareOutdated (uint8 rev1, uint8 rev2, uint8 rev3) noexcept
{
    // The shipped firmware's first three version bytes, 1.0.3, are the threshold; the fourth
    // byte is not compared.
    using FirmwareFile::version;
    return rev1 != version[0] ? rev1 < version[0] : (rev2 != version[1] ? rev2 < version[1] : rev3 < version[2]);
}

template <typename Operation>
void ApplicationController::runExclusively (Operation&& operation)
{
    ++operationDepth;
    operation();
    --operationDepth;

    // A program that is ending carries out nothing that was queued.
    if (QuitRequest::isRaised())
        pendingMessages.clear();

    while (operationDepth == 0 && ! pendingMessages.isEmpty())
    {
        const auto next = pendingMessages[0];
        pendingMessages.remove (0);
        handleActionMessage (next);
    }
}

void ApplicationController::runOperation (const std::function<void()>& operation) { runExclusively (operation); }

void ApplicationController::startUp()
{
    runExclusively ([this] {
        connect();

        if (! connected)
            return;

        uint8 rev1 = 0, rev2 = 0, rev3 = 0, rev4 = 0;
        HWDetector::getFirmwareVersion (rev1, rev2, rev3, rev4);

        if (! isFirmwareOutdated (rev1, rev2, rev3))
        {
            readAllSettings();
            return;
        }

        if (Platform::dialogs().showOkCancelBox (
                DialogIcon::warning, "Firmware version",
                "The firmware version is outdated. Would you like to update the firmware to the latest version?"))
            runFirmwareUpdate();
    });
}

void ApplicationController::connect()
{
    disconnect();

    HWDetector::setExpectedFamily (0x04, 0x00);
    HWDetector::setExpectedMember (0x02, 0x01);

    // A quit cuts the attempts short: a detection ends as one that found nothing, and no box
    // asks to retry.
    while (! connected && ! QuitRequest::isRaised())
    {
        if (HWDetector::detect (this, input, output))
        {
            // The identity reply has just shown the instrument alive; its Active Sensing takes
            // over from here. Without this, an action made before the first Active Sensing of
            // a new connection would be judged by the silence of the previous one.
            lastActiveSenseTime.store (juce::Time::getMillisecondCounter(), std::memory_order_release);
            connected = true;
            view.setConnected (true);
            // Another instrument, or the same one changed at its panel meanwhile.
            sequenceEditorModel.markInstrumentStale();
            sequenceEditorModel.setConnected (true);
            sequencePlayback.setOutput (output.get());

            uint8 rev1 = 0, rev2 = 0, rev3 = 0, rev4 = 0;
            HWDetector::getFirmwareVersion (rev1, rev2, rev3, rev4);
            view.showFirmwareVersion (rev1, rev2, rev3, rev4);

            if (history != nullptr)
                history->noteConnected ({ rev1, rev2, rev3, rev4 });
            break;
        }

        if (QuitRequest::isRaised())
            break;

        if (! Platform::dialogs().showOkCancelBox (DialogIcon::warning, noInstrumentTitle, retryMessage))
        {
            Platform::dialogs().showMessageBox (DialogIcon::warning, noInstrumentTitle,
                                                "Editing is disabled until a valid connection is made.");
            break;
        }

        Platform::runMessageLoopFor (retryPauseMs);
    }

    // The CONNECT switch flips itself when clicked: show the real state whatever the outcome.
    if (! connected)
        view.setConnected (false);

    sequenceEditorModel.setConnected (connected);
}

void ApplicationController::disconnect()
{
    if (! connected)
        return;

    stopPlayback();
    sequencePlayback.setOutput (nullptr);

    view.setConnected (false);
    connected = false;
    sequenceEditorModel.setConnected (false);

    if (input != nullptr)
    {
        input->stop();
        input.reset();
    }

    output.reset();
}

void ApplicationController::readAllSettings()
{
    if (! connected)
        return;

    for (auto setting : getSettingReadOrder())
    {
        uint8 value = 0;

        if (! getSetting (output.get(), setting, value))
        {
            disconnect();
            Platform::dialogs().showMessageBox (DialogIcon::warning, "Update error",
                                                "Unable to communicate with Tarnovelle. Closing connection !");
            return;
        }

        showSetting (setting, value);
        takeSettingForPlayback (setting, value);

        if (history != nullptr)
            history->noteSetting (setting, value);
    }

    if (history != nullptr)
        history->readAndRecord (output.get(), "Read at connection");
}

void ApplicationController::showSetting (DeviceSetting setting, uint8 value)
{
    // The two on/off settings are on exactly when the byte is 1; the others go on as read.
    const bool isOnOff = setting == DeviceSetting::LFO || setting == DeviceSetting::ARP;
    view.showSetting (setting, isOnOff ? (value == 1 ? 1 : 0) : (int) value);
}

void ApplicationController::instrumentSequencesChanged()
{
    sequenceEditorModel.markInstrumentStale();

    // An open editor shows at once what the instrument now holds, keeping the user's changes.
    if (connected && sequenceEditorHost != nullptr && sequenceEditorHost->isSequenceEditorOpen())
        readSequencesIntoEditor (output.get(), sequenceEditorModel);
}

void ApplicationController::sendEditorSequences() { sendChangedSequences (output.get(), sequenceEditorModel); }

bool ApplicationController::confirmQuit()
{
    const auto changed = sequenceEditorModel.getChangedIndices();

    if (changed.empty() || operationDepth > 0)
        return true;

    auto& dialogs = Platform::dialogs();
    const auto which = describeSequences (changed);

    if (! dialogs.showOkCancelBox (DialogIcon::warning, "Sequence Editor",
                                   "The sequence editor holds changes not sent to Tarnovelle: " + which
                                       + ".\nSend them before quitting?"))
    {
        // Not sent: discarded only when the user says so, otherwise the program stays.
        if (! dialogs.showOkCancelBox (DialogIcon::warning, "Sequence Editor",
                                       "Quit and discard the changes to " + which + "?"))
            return false;

        sequenceEditorModel.revertChanges();
        return true;
    }

    if (connected && ! instrumentStaysSilent())
        runExclusively ([this] { sendEditorSequences(); });

    // Whatever could not be sent is kept, and offered again at the next start.
    if (! sequenceEditorModel.hasUnsentChanges())
        return true;

    return ! dialogs.showOkCancelBox (DialogIcon::warning, "Sequence Editor",
                                      "The changes to " + describeSequences (sequenceEditorModel.getChangedIndices())
                                          + " could not be sent to Tarnovelle.\nKeep the program open? If not, "
                                            "they are kept and offered again at the next start.");
}

void ApplicationController::runFirmwareUpdate()
{
    if (! keepCopyBeforeFirmwareUpdate())
        return;

    disconnect();
    HWUpdater::update (getShippedFirmwareFile());
    sequenceEditorModel.markInstrumentStale();
    connect();
    // The panel has to show what the instrument holds now: its settings are read again, as at
    // any connection, or a click would step on from a value the instrument does not hold.
    readAllSettings();
}

void ApplicationController::stopPlayback() { sequencePlayback.stop(); }

void ApplicationController::takeSettingForPlayback (DeviceSetting setting, uint8 value)
{
    if (setting == DeviceSetting::MIN)
        sequencePlayback.setReceiveChannelSetting (value);
    else if (setting == DeviceSetting::MOUT)
        sequencePlayback.setTransmitChannelSetting (value);
    else if (setting == DeviceSetting::STEP)
        sequenceEditorModel.setStepSize (value);
    else if (setting == DeviceSetting::GLEN)
        sequenceEditorModel.setGateLength (value);
}

bool ApplicationController::instrumentHasGoneSilent() const
{
    // Unsigned arithmetic keeps the difference right when the counter wraps.
    const juce::uint32 silence = juce::Time::getMillisecondCounter() - getLastActiveSenseTime();
    return silence > maxSilenceMs;
}

bool ApplicationController::instrumentStaysSilent() const
{
    // A loaded computer can run the input thread late, so that an Active Sensing the instrument
    // sent in time arrives after the limit; a Send made then was dropped with a disconnection.
    // The input thread updates the time by itself: waiting here needs no message loop.
    const auto end = juce::Time::getMillisecondCounter() + maxSilenceMs;

    while (instrumentHasGoneSilent() && juce::Time::getMillisecondCounter() < end && ! QuitRequest::isRaised())
        juce::Thread::sleep (5);

    return instrumentHasGoneSilent();
}

void ApplicationController::handleActionMessage (const juce::String& message)
{
    const auto* action = findAction (message);

    if (action == nullptr || QuitRequest::isRaised())
        return;

    // A device action made while disconnected is dropped, even if a connection is being made.
    if (action->needsConnection && ! connected)
        return;

    // A CONNECT click made while an operation runs (a connect and its retry pause, a read, the
    // disconnection box) belongs to what is already under way: carried out afterwards it would
    // undo the connection just made, or detect under the box. The switch flipped itself when
    // clicked; it is set back to the real state.
    if (action->action == Action::connect && operationDepth > 0)
    {
        view.setConnected (connected);
        return;
    }

    // Setting writes await nothing and go out at once, even while another operation waits.
    const bool goesOutAtOnce = action->action == Action::setSetting && connected && ! instrumentHasGoneSilent();

    if (operationDepth > 0 && ! goesOutAtOnce)
    {
        pendingMessages.add (message);
        return;
    }

    carryOut (message);
}

void ApplicationController::carryOut (const juce::String& message)
{
    const auto* action = findAction (message);
    jassert (action != nullptr);

    if (action->action == Action::stopPlaying)
    {
        stopPlayback();
        return;
    }

    // Nothing goes to the instrument while a sequence plays on it.
    if (action->action != Action::playSequence && action->action != Action::openSequenceEditor
        && action->action != Action::openHistory)
        stopPlayback();

    if (action->action == Action::connect)
    {
        runExclusively ([this] {
            if (connected)
            {
                disconnect();
                return;
            }

            connect();
            readAllSettings();
        });
        return;
    }

    if (action->action == Action::firmwareUpdate)
    {
        runExclusively ([this] { runFirmwareUpdate(); });
        return;
    }

    // The editor opens connected or not; its reads and sends are device actions.
    if (action->action == Action::openHistory)
        return carryOutHistoryAction (action->action, message);

    if (action->action == Action::openSequenceEditor)
    {
        if (sequenceEditorHost != nullptr)
            sequenceEditorHost->openSequenceEditor();

        return;
    }

    if (! connected)
        return;

    if (instrumentStaysSilent())
    {
        // Messages that arrive while the box is open wait until it has been closed.
        runExclusively ([this] {
            disconnect();
            Platform::dialogs().showMessageBox (DialogIcon::warning, "Connection",
                                                "Tarnovelle has been disconnected !");
        });
        return;
    }

    switch (action->action)
    {
        case Action::setSetting:
            setSetting (output.get(), *action->setting, getActionValue (message));
            takeSettingForPlayback (*action->setting, getActionValue (message));

            if (history != nullptr)
                history->noteSetting (*action->setting, getActionValue (message));

            break;

        case Action::factorySequences:
            runExclusively ([this] {
                sendFactorySequences (output.get(), history);
                instrumentSequencesChanged();
            });
            break;

        case Action::loadSequences:
            runExclusively ([this] {
                loadSequenceFile (output.get(), history);
                instrumentSequencesChanged();
            });
            break;

        case Action::saveSequences: runExclusively ([this] { saveSequenceFile (output.get(), history); }); break;

        case Action::readEditorSequences: runExclusively ([this] { readEditorSequencesKeepingHistory(); }); break;

        case Action::sendEditorSequences: runExclusively ([this] { sendEditorSequencesKeepingHistory(); }); break;

        case Action::restoreSnapshot:
        case Action::readForComparison:
            runExclusively ([this, action, message] {
                carryOutHistoryAction (action->action, message);

                if (action->action == Action::restoreSnapshot)
                    instrumentSequencesChanged();
            });
            break;

        case Action::playSequence: sequencePlayback.play(); break;

        case Action::connect:
        case Action::firmwareUpdate:
        case Action::openSequenceEditor:
        case Action::openHistory:
        case Action::stopPlaying: break;
    }
}

void ApplicationController::handleIncomingMidiMessage (MidiInputPort*, const juce::MidiMessage& message)
{
    if (message.getRawDataSize() > 0 && message.getRawData()[0] == activeSensing)
    {
        lastActiveSenseTime.store (juce::Time::getMillisecondCounter(), std::memory_order_release);
        return;
    }

    sequencePlayback.handleIncomingMessage (message);
    handleSysexReply (message);
}

} // namespace tarnovelle
