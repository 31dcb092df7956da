#pragma once

#include "app/InstrumentView.h"
#include "app/PortWatcher.h"
#include "editor/SequenceEditorHost.h"
#include "editor/SequenceEditorModel.h"
#include "library/HistoryHost.h"
#include "library/InstrumentHistory.h"
#include "link/LinkMessage.h"
#include "platform/MidiPorts.h"
#include "playback/SequencePlayback.h"
#include "protocol/ActionVocabulary.h"
#include "protocol/DeviceSettings.h"

#include <atomic>
#include <functional>

namespace tarnovelle
{

/** The application's connection to the instrument and its action hub.

    Owns the MIDI input and output that lead to the instrument and the connection state; it
    is the input's callback (Active Sensing keeps the instrument alive, everything else goes
    to the reply slot) and the single receiver of the interface's action messages.
    Everything but the MIDI callback runs on the message thread.
*/
class ApplicationController final : public MidiPortCallback
{
public:
    explicit ApplicationController (InstrumentView& view);
    ~ApplicationController() override;

    /** The start-up sequence: connect, then offer the update; read every setting, after it too. */
    void startUp();

    /** Closes any connection and detects until the instrument is found or the user gives up. */
    void connect();

    /** Closes the connection if one is open. */
    void disconnect();

    /** Reads the fourteen settings and shows each; the first failure ends the connection. */
    void readAllSettings();

    /** What the program is doing, as the watcher of the MIDI ports must know it. */
    PortWatcher::Situation getPortSituation() const;

    /** The connection's ports are no longer listed: the connection ends at once, and the next
        device action tells the user with the box a silent instrument gets.
    */
    void instrumentPortsVanished();

    /** Asks ports that have just appeared for the instrument, without a window or a box, and
        connects when it answers: reading the settings as CONNECT does, or, when the start-up's
        question whether to retry is waiting, answering it as OK would.
    */
    void connectToAppearedPorts (const PortWatcher::Ports& appeared);

    /** The action hub: turns one action message into one operation. */
    void handleActionMessage (const juce::String& message);

    /** Where "EDSQ " opens the sequence editor; nothing opens while there is none. */
    void setSequenceEditorHost (SequenceEditorHost* host) noexcept { sequenceEditorHost = host; }
    SequenceEditorModel& getSequenceEditorModel() noexcept { return sequenceEditorModel; }
    SequencePlayback& getSequencePlayback() noexcept { return sequencePlayback; }

    /** The instrument's history, which keeps a snapshot of every state read or about to be
        overwritten, and where "HIST " opens its window; without them none is kept.
    */
    void setHistory (InstrumentHistory* historyToUse, HistoryHost* host) noexcept
    {
        history = historyToUse;
        historyHost = host;
    }

    bool isConnected() const noexcept { return connected; }
    MidiOutputPort* getOutput() const noexcept { return output.get(); }
    MidiInputPort* getInput() const noexcept { return input.get(); }
    juce::uint32 getLastActiveSenseTime() const noexcept
    {
        return lastActiveSenseTime.load (std::memory_order_acquire);
    }

    /** True when (rev1, rev2, rev3) is lower than the shipped firmware's 1.0.3. */
    static bool isFirmwareOutdated (uint8 rev1, uint8 rev2, uint8 rev3) noexcept;

    /** The longest silence, in milliseconds, after which the instrument counts as gone. */
    static constexpr juce::uint32 maxSilenceMs = 300;

    void handleIncomingMidiMessage (MidiInputPort* source, const juce::MidiMessage& message) override;

    /** The user closes the main window: with unsent changes in the sequence editor, asks in
        one box whether to send them and quit, quit discarding them, or stay. Returns true when
        the program may end.
    */
    bool confirmQuit();

    /** True while an operation that waits or opens dialogs runs. */
    bool isRunningOperation() const noexcept { return operationDepth > 0; }

    /** Told how far a request has come; returns false when it is to stop (the plug-in asked,
        or has gone).
    */
    using LinkProgressCallback = std::function<bool (int done, int total)>;

    /** Carries out a plug-in's request (take, send, compare or open in the editor) as one
        operation, and gives the answer: refused at once while another operation runs or the
        instrument is absent.
    */
    LinkMessage carryOutLinkRequest (const LinkMessage& request, const LinkProgressCallback& progress);

private:
    void sendEditorSequences();

    /** After an operation that may have changed the instrument's sequences behind the editor. */
    void instrumentSequencesChanged();

    void runFirmwareUpdate();
    void becomeConnected();
    void tellOfLoss (const juce::String& message);
    bool instrumentHasGoneSilent() const;

    /** True when the instrument has gone silent and no Active Sensing comes within one more
        allowed silence either.
    */
    bool instrumentStaysSilent() const;
    void showSetting (DeviceSetting setting, uint8 value);
    void carryOut (const juce::String& message);

    /** Ends playback, every note it started, and Record: called before anything else goes to
        the instrument, and whenever the connection ends.
    */
    void stopPlayback();
    void takeSettingForPlayback (DeviceSetting setting, uint8 value);

    /** Runs an operation that waits or opens dialogs; messages arriving meanwhile are queued
        and handled in order once it has finished.
    */
    template <typename Operation>
    void runExclusively (Operation&& operation);

    /** The same, for the parts of the controller kept in files of their own. */
    void runAlone (const std::function<void()>& operation);

    // The history's part of the hub (ApplicationControllerHistory.cpp).
    bool keepCopyBeforeFirmwareUpdate();
    void sendEditorSequencesKeepingHistory();
    void readEditorSequencesKeepingHistory();
    void carryOutHistoryAction (Action action, const juce::String& message);

    // The link's part of the hub (ApplicationControllerLink.cpp).
    bool readKeptSet (KeptSet& read, const LinkProgressCallback& progress);
    LinkMessage takeForLink (juce::uint32 requestId, const LinkProgressCallback& progress);
    LinkMessage sendForLink (juce::uint32 requestId, const KeptSet& set, const LinkProgressCallback& progress);
    LinkMessage compareForLink (juce::uint32 requestId, const KeptSet& set, const LinkProgressCallback& progress);
    LinkMessage openForLink (juce::uint32 requestId, const KeptSet& set);

    InstrumentView& view;
    std::unique_ptr<MidiInputPort> input;
    std::unique_ptr<MidiOutputPort> output;
    bool connected = false;
    std::atomic<juce::uint32> lastActiveSenseTime{ 0 };

    // The editor's sequences outlive its window: it reopens on the last set it held.
    SequenceEditorModel sequenceEditorModel;
    SequenceEditorHost* sequenceEditorHost = nullptr;
    InstrumentHistory* history = nullptr;
    HistoryHost* historyHost = nullptr;
    SequencePlayback sequencePlayback{ sequenceEditorModel };

    static constexpr const char* noInstrumentTitle = "No instrument found";

    int operationDepth = 0;
    bool switchedOffByUser = false; // CONNECT turned the connection off
    bool atRetryQuestion = false;
    bool lossUntold = false; // the ports vanished and no device action has been tried since
    juce::StringArray pendingMessages;

    JUCE_DECLARE_NON_COPYABLE_WITH_LEAK_DETECTOR (ApplicationController)
};

} // namespace tarnovelle
