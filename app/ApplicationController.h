#pragma once

#include "app/InstrumentView.h"
#include "library/HistoryHost.h"
#include "library/InstrumentHistory.h"
#include "link/LinkMessage.h"
#include "platform/MidiPorts.h"
#include "protocol/ActionVocabulary.h"
#include "protocol/DeviceSettings.h"
#include "sequences/SequenceEditorHost.h"
#include "sequences/SequenceEditorModel.h"
#include "sequences/SequencePlayback.h"

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

    /** The user closes the main window: with unsent changes in the sequence editor, asks
        whether to send them first; if not, whether to discard them or not quit. Returns true
        when the program may end.
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
    bool instrumentHasGoneSilent() const;

    /** True when the instrument has gone silent and no Active Sensing comes within one more
        allowed silence either.
    */
    bool instrumentStaysSilent() const;
    void showSetting (DeviceSetting setting, uint8 value);
    void carryOut (const juce::String& message);

    /** Ends playback and every note it started: called before anything else goes to the
        instrument, and whenever the connection ends.
    */
    void stopPlayback();
    void takeSettingForPlayback (DeviceSetting setting, uint8 value);

    /** Runs an operation that waits or opens dialogs; messages arriving meanwhile are queued
        and handled in order once it has finished.
    */
    template <typename Operation>
    void runExclusively (Operation&& operation);

    /** runExclusively for the hub's other files, which do not see its definition. */
    void runOperation (const std::function<void()>& operation);

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

    int operationDepth = 0;
    juce::StringArray pendingMessages;

    JUCE_DECLARE_NON_COPYABLE_WITH_LEAK_DETECTOR (ApplicationController)
};

} // namespace tarnovelle
