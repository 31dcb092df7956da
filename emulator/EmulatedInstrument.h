#pragma once

#include "emulator/PortPresence.h"
#include "firmware/FirmwareFile.h"
#include "protocol/DeviceSettings.h"

#include <juce_audio_basics/juce_audio_basics.h>
#include <juce_core/juce_core.h>

#include <array>
#include <atomic>
#include <deque>
#include <functional>
#include <map>
#include <vector>

namespace tarnovelle
{

using juce::uint8;

/** A Tarnovelle instrument in software, for the demo and the tests.

    It behaves as the real instrument does on its USB-MIDI ports, on a thread of its own:

    - it answers the Identity Request (family 04 00, member 02 01 in its application
      firmware, 02 03 in its bootloader, its firmware version as software revision);
    - it sends Active Sensing every 250 ms while its application firmware runs;
    - it answers every setting get with the set command and the value, and stores every
      setting write; it answers sequence requests (3B) with a 3A half and stores 3A chunks;
    - on the update request (00) it restarts into its bootloader, which takes an image in
      packed chunks, acknowledges each message with 04 and the message's counter, checks the
      image at end_update and then runs the new firmware or stays in the bootloader.

    Its memory (firmware version, settings, sequences, and whether a failed update left it in
    its bootloader) is kept in a JSON file when one is given, written atomically after each
    change. Incoming messages are handled after a latency (2 ms unless changed). Replies go
    to the output sink, which the emulated MIDI backend delivers to the application's inputs.

    Fault switches let tests make it silent, slow, unplugged, forgetful of Active Sensing,
    or misbehave in its bootloader; the received messages are logged so that tests can check
    what the application sent. Every public function may be called from any thread.

    Sequences are kept as their steps without the terminating 0 (at most 64 steps, each 1 to
    127). A factory-fresh instrument holds the eight factory sequences.
*/
class EmulatedInstrument final : private juce::Thread
{
public:
    enum class Mode
    {
        application,
        bootloader
    };

    /** How the memory came to be when the instrument was created. */
    enum class StartState
    {
        inMemoryOnly, // no state file
        loaded,       // read from the state file
        missingFile,  // no state file yet: factory-fresh
        damagedFile   // the file was set aside as <name>.bak: factory-fresh
    };

    using Bytes = std::vector<uint8>;
    using Version = std::array<uint8, 4>;
    using OutputSink = std::function<void (const juce::MidiMessage&)>;

    static constexpr int numSequences = 8;
    static constexpr int maxSteps = 64;
    static constexpr int activeSensingIntervalMs = 250;
    static constexpr int reenumerationMs = 300;
    static constexpr int defaultLatencyMs = 2;
    static constexpr uint8 defaultDeviceId = 0x01;
    static constexpr Version factoryFirmwareVersion{ 1, 0, 2, 0 };

    /** The version of the firmware file that ships with the application. */
    static constexpr Version shippedFirmwareVersion{ FirmwareFile::version[0], FirmwareFile::version[1],
                                                     FirmwareFile::version[2], FirmwareFile::version[3] };

    /** An instrument whose memory lives only as long as the object (for tests). */
    EmulatedInstrument();

    /** An instrument whose memory is kept in the given JSON file. */
    explicit EmulatedInstrument (const juce::File& stateFile);

    ~EmulatedInstrument() override;

    /** "instrument.json" in the folder "Tarnovelle Emulator" of the user's application-data
        folder, or the file named by the environment variable TARNOVELLE_EMULATOR_STATE.
    */
    static juce::File getDefaultStateFile();

    juce::File getStateFile() const { return stateFile; }
    StartState getStartState() const noexcept { return startState; }

    //==============================================================================
    // The instrument's ports, as the emulated MIDI backend uses them.

    /** Whether its ports are listed; open ports die whenever the instrument vanishes. */
    const PortPresence& getPortPresence() const noexcept { return presence; }

    /** A message arriving on the instrument's MIDI input. Queued and handled on the
        instrument's thread after the latency; dropped while the ports are absent.
    */
    void receiveMidi (const juce::MidiMessage& message);

    /** The same for raw bytes of any length, as a broken driver might deliver them. */
    void receiveBytes (const uint8* bytes, int count);

    /** Where the instrument's output goes; called on the instrument's thread. */
    void setOutputSink (OutputSink sink);

    /** Called, on whichever thread made the change, whenever its ports vanish or appear. */
    void setPresenceListener (std::function<void()> listener);

    //==============================================================================
    // Memory. Changes made here are saved like those made over MIDI.

    Version getFirmwareVersion() const;
    void setFirmwareVersion (Version version);

    uint8 getSetting (DeviceSetting setting) const;
    void setSetting (DeviceSetting setting, uint8 value);

    /** The steps of sequence 0 to 7, without the terminating 0. */
    Bytes getSequence (int index) const;

    /** Stores the steps up to the first 0 and at most 64 of them. */
    void setSequence (int index, const Bytes& steps);

    Mode getMode() const;

    /** Puts the instrument in a mode at once, without re-enumerating (for tests). */
    void setMode (Mode newMode);

    /** Factory settings and sequences, firmware 1.0.2.0, application firmware. */
    void resetToFactory();

    static uint8 getFactorySetting (DeviceSetting setting) noexcept;
    static Bytes getFactorySequence (int index);

    //==============================================================================
    // Fault switches.

    /** Answers nothing, stores nothing, sends no Active Sensing; its ports stay listed. */
    void setSilent (bool shouldBeSilent) noexcept;

    void setActiveSensingEnabled (bool shouldSend) noexcept;

    /** Time between a message's arrival and its handling. */
    void setLatencyMs (int milliseconds) noexcept;

    /** Pulls the USB cable: the ports vanish and nothing answers. Plugging it in again lists
        the ports anew; an instrument that lost power comes back in its bootloader.
    */
    void setUnplugged (bool shouldBeUnplugged);
    bool isUnplugged() const noexcept { return unplugged.load (std::memory_order_acquire); }

    /** The power switch: switched off, its ports vanish and nothing answers; switched on, it
        boots into whatever its flash holds (its bootloader after an interrupted update).
    */
    void setSwitchedOn (bool shouldBeOn);
    bool isSwitchedOn() const noexcept { return ! switchedOff.load (std::memory_order_acquire); }

    /** Answers that many more requests (identity, get, sequence and bootloader requests),
        then answers none; -1 answers all.
    */
    void setStopAnsweringAfter (int requests) noexcept;

    void setDeviceId (uint8 id) noexcept;
    uint8 getDeviceId() const noexcept { return deviceId.load (std::memory_order_acquire); }

    // Bootloader faults. A chunk number counts the chunks of the image from 1 (a repeated
    // chunk keeps its number); number 0 stands for start_update. Each fault fires once.

    /** Acknowledges that chunk once with the status (FF or FE) and does not store it. */
    void rejectChunkOnce (int chunkNumber, uint8 status = 0xff) noexcept;

    /** Acknowledges that chunk once with a counter byte other than the chunk's. */
    void acknowledgeWithWrongCounterOnce (int chunkNumber) noexcept;

    /** Stores that chunk but loses its acknowledgement once. */
    void dropAcknowledgementOnce (int chunkNumber) noexcept;

    /** Every acknowledgement without payload (length byte 0) instead of status 00. */
    void setAcknowledgeWithoutPayload (bool shouldOmitPayload) noexcept;

    /** Acknowledges that chunk, then answers nothing more until the faults are cleared. */
    void stallAfterChunk (int chunkNumber) noexcept;

    /** Acknowledges that chunk, then loses power: its ports vanish until it is plugged in
        again (setUnplugged (false)), and it comes back in its bootloader.
    */
    void losePowerAfterChunk (int chunkNumber) noexcept;

    /** Clears every fault switch above and the stall, and restores latency, Active Sensing
        and the answer limit. Does not plug the instrument in.
    */
    void clearFaults() noexcept;

    //==============================================================================
    // What the instrument received, for tests.

    /** Messages in the maker's frame received with this command byte (byte 8). */
    int countReceived (uint8 command) const;

    int countIdentityRequests() const;

    /** Every message received, whatever it was. */
    int countAllReceived() const;

    /** The last messages received (at most maxMessages, the oldest first). */
    std::vector<Bytes> getLastReceived (int maxMessages = 64) const;

    /** Of the last messages received, those in the maker's frame with this command. */
    std::vector<Bytes> getReceivedFrames (uint8 command) const;

    void clearReceived();

    /** Messages received and not yet handled (they wait out the latency): lets a test wait
        until everything sent has taken effect.
    */
    int countQueued();

    /** A channel message (note, controller, ...) received, with its arrival time in
        milliseconds since the instrument was created.
    */
    struct ChannelMessage
    {
        double timeMs;
        Bytes bytes;
    };

    /** The clock of the arrival times: milliseconds since the instrument was created. */
    double getMillisecondsSinceStart() const noexcept;

    /** The channel messages received since the last clearReceived(), the oldest first: the
        last 65,536 of them.
    */
    std::vector<ChannelMessage> getReceivedChannelMessages() const;

    /** Called on the sender's thread for each channel message as it arrives. */
    void setChannelMessageListener (std::function<void (const ChannelMessage&)> listener);

    /** A key of the instrument: a note-on (velocity above 0) or note-off on its transmit
        channel (the MOUT setting), sent at once while its application firmware runs.
    */
    void playKey (int note, int velocity);

    /** Number of image chunks the bootloader accepted in the current or last transfer. */
    int getAcceptedChunkCount() const;

    /** How often the instrument restarted (update request, new firmware). */
    int getRestartCount() const noexcept { return restarts.load (std::memory_order_acquire); }

    /** How often the Active Sensing interval has come round, whether a message was sent then or
        not (in the bootloader, silent or unplugged it is not): lets a test wait for intervals
        to pass instead of sleeping through them.
    */
    int getActiveSensingTicks() const noexcept { return activeSensingTicks.load (std::memory_order_acquire); }

private:
    struct Pending
    {
        Bytes bytes;
        double due;
    };

    struct Memory
    {
        Version firmware = factoryFirmwareVersion;
        std::array<uint8, numDeviceSettings> settings{};
        std::array<Bytes, numSequences> sequences;
        Mode mode = Mode::application;
    };

    struct Transfer
    {
        bool open = false;
        juce::MemoryBlock image;
        int acceptedChunks = 0;
        int lastAcceptedCounter = -1;
        bool overflowed = false;
    };

    void run() override;
    double millisecondsUntilNextEvent (double now) const;
    void handleDueMessages (double now);
    void finishReenumerationIfDue (double now);
    void sendActiveSensingIfDue (double now);

    void handleMessage (const Bytes& bytes);
    void handleIdentityRequest();
    void handleApplicationFrame (const Bytes& frame);
    void handleBootloaderFrame (const Bytes& frame);
    void handleSettingGet (const DeviceSettingInfo& info);
    void handleSequenceRequest (const Bytes& frame);
    void handleSequenceChunk (const Bytes& frame);
    void handleStartUpdate (uint8 counter);
    void handleImageChunk (const Bytes& frame);
    void handleEndUpdate();
    void acknowledge (int chunkNumber, uint8 counter, uint8 status);

    bool mayAnswer();
    void send (const Bytes& bytes);
    Bytes makeFrame (uint8 command, const Bytes& rawPayload);
    void restart (Mode newMode);
    void losePower();
    void updatePresence();
    void logReceived (const Bytes& bytes);
    void logChannelMessage (const Bytes& bytes);

    void loadOrStartFresh();
    bool loadFrom (const juce::String& json);
    void save();
    juce::String toJson() const;
    static Memory makeFactoryMemory();

    const juce::File stateFile;
    StartState startState = StartState::inMemoryOnly;

    mutable juce::CriticalSection memoryLock;
    Memory memory;
    Transfer transfer;

    juce::CriticalSection saveLock;

    juce::CriticalSection queueLock;
    std::deque<Pending> incoming;
    std::atomic<int> messagesInHand{ 0 }; // taken from the queue, being handled

    juce::CriticalSection sinkLock;
    OutputSink outputSink;

    juce::CriticalSection presenceLock;
    PortPresence presence;
    std::function<void()> presenceListener; // guarded by presenceLock
    std::atomic<bool> unplugged{ false };
    std::atomic<bool> reenumerating{ false };
    std::atomic<bool> poweredOff{ false };
    std::atomic<bool> switchedOff{ false };
    std::atomic<double> reenumerationDue{ 0.0 };
    std::atomic<double> nextActiveSensing{ 0.0 };
    std::atomic<int> activeSensingTicks{ 0 };
    std::atomic<int> restarts{ 0 };

    std::atomic<bool> silent{ false };
    std::atomic<bool> activeSensingEnabled{ true };
    std::atomic<int> latencyMs{ defaultLatencyMs };
    std::atomic<int> answersLeft{ -1 };
    std::atomic<uint8> deviceId{ defaultDeviceId };
    std::atomic<int> rejectChunk{ -1 };
    std::atomic<uint8> rejectStatus{ 0xff };
    std::atomic<int> wrongCounterChunk{ -1 };
    std::atomic<int> dropAckChunk{ -1 };
    std::atomic<bool> ackWithoutPayload{ false };
    std::atomic<int> stallChunk{ -1 };
    std::atomic<bool> stalled{ false };
    std::atomic<int> powerLossChunk{ -1 };
    std::atomic<int> acceptedChunkCount{ 0 };

    uint8 replyCounter = 0; // only touched on the instrument's thread

    mutable juce::CriticalSection logLock;
    std::deque<Bytes> receivedLog;
    std::map<int, int> receivedByCommand;
    int identityRequests = 0;
    int allReceived = 0;
    const double createdAt;
    std::deque<ChannelMessage> channelMessages;
    std::function<void (const ChannelMessage&)> channelMessageListener;

    JUCE_DECLARE_NON_COPYABLE_WITH_LEAK_DETECTOR (EmulatedInstrument)
};

} // namespace tarnovelle
