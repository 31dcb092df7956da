#include "emulator/EmulatedInstrument.h"

#include "emulator/FirmwareImage.h"
#include "protocol/SysexMessage.h"

#include <cmath>
#include <cstdio>

namespace tarnovelle
{

namespace
{
    using Bytes = EmulatedInstrument::Bytes;
    using Version = EmulatedInstrument::Version;

    constexpr uint8 sysexStart = 0xf0;
    constexpr uint8 sysexEnd = 0xf7;
    constexpr uint8 activeSensing = 0xfe;
    constexpr uint8 universalNonRealTime = 0x7e;
    constexpr uint8 allDevices = 0x7f;
    // The instrument keeps its own copy of the frame's constants and of its command numbers,
    // written out from the protocol rather than taken from the application's code, so that the
    // tests check the application against an independent instrument. (The settings' command
    // numbers are looked up in the application's catalogue; the catalogue's own test writes
    // each of them out.)
    constexpr uint8 manufacturerId[3] = { 0x00, 0x5c, 0x3d };
    constexpr uint8 productByte = 0x05;
    constexpr uint8 headerByte5 = 0x01;

    namespace Command
    {
        constexpr uint8 updateRequest = 0x00;
        constexpr uint8 startUpdate = 0x01;
        constexpr uint8 endUpdate = 0x02;
        constexpr uint8 imageChunk = 0x03;
        constexpr uint8 acknowledgement = 0x04;
        constexpr uint8 sequenceChunk = 0x3a;
        constexpr uint8 sequenceRequest = 0x3b;
    } // namespace Command

    namespace Status
    {
        constexpr uint8 accepted = 0x00;
        constexpr uint8 badLength = 0xff;
        constexpr uint8 badChecksum = 0xfe;
    } // namespace Status

    constexpr int halfSequence = 32;
    constexpr int stepChunkSize = 35;
    constexpr int maxImageChunk = 28;
    constexpr uint8 restStep = 127;

    // What the bootloader's flash can take; a longer image fails its check.
    constexpr size_t maxImageSize = 1u << 20;

    constexpr int logCapacity = 256;

    // Every event the thread waits for has its time (a due message, the end of a restart, the
    // next Active Sensing) or wakes it (a new message, plugging in), so it need not poll: an
    // idle instrument wakes only for Active Sensing.
    constexpr int longestIdleWaitMs = 1000;

    double now() noexcept { return juce::Time::getMillisecondCounterHiRes(); }

    bool isIdentityRequest (const Bytes& b) noexcept
    {
        return b.size() == 6 && b[0] == sysexStart && b[1] == universalNonRealTime && b[3] == 0x06 && b[4] == 0x01
               && b[5] == sysexEnd;
    }

    bool isIdentityRequestFor (const Bytes& b, uint8 id) noexcept
    {
        return isIdentityRequest (b) && (b[2] == allDevices || b[2] == id);
    }

    /** A complete message in the maker's frame whose data bytes are all 7-bit. */
    bool isMakerFrame (const Bytes& b) noexcept
    {
        if (b.size() < (size_t) SysexMessage::headerSize + 1 || b.front() != sysexStart || b.back() != sysexEnd)
            return false;

        if (b[1] != manufacturerId[0] || b[2] != manufacturerId[1] || b[3] != manufacturerId[2] || b[4] != productByte)
            return false;

        for (size_t i = 1; i + 1 < b.size(); ++i)
            if (b[i] >= 0x80)
                return false;

        return true;
    }

    int packedFrameSize (int payloadLength) noexcept { return 11 + 8 * ((payloadLength + 6) / 7); }

    bool isEmptyPayloadFrame (const Bytes& b) noexcept
    {
        // raw (10 bytes) or packed with its checksum 00 (11 bytes)
        return b[7] == 0 && (b.size() == 10 || (b.size() == 11 && b[9] == 0));
    }

    Bytes stepsFromText (const char* text)
    {
        Bytes steps;

        for (auto& token : juce::StringArray::fromTokens (text, " ", {}))
            steps.push_back (token == "x" ? restStep : (uint8) token.getIntValue());

        return steps;
    }

    // The eight sequences a new instrument leaves the factory with. Written out here on purpose
    // as well as in the application: the tests that reset the sequences compare the two.
    const std::array<Bytes, EmulatedInstrument::numSequences>& factorySequences()
    {
        static const std::array<Bytes, EmulatedInstrument::numSequences> sequences{
            stepsFromText ("60 60 60 60 60 60 60 60 60 60 60 60 60 60 60 60"),
            stepsFromText ("60 60 60 48 60 60 60 72 60 60 60 48 60 60 72 48"),
            stepsFromText ("48 60 48 60 48 60 63 51 48 60 48 60 63 51 67 55 48 60 48 60 48 60 63 51 48 60 48 60 63 51 "
                           "67 61"),
            stepsFromText ("60 48 x 72 60 x 72 x 60 48 x 72 60 x 72 x 60 48 x 72 60 x 72 x 63 51 x 63 51 x 65 x"),
            stepsFromText ("48 60 72 70 48 67 60 55 48 x 65 72 48 62 72 62 51 58 63 72 51 70 63 58 51 x 62 72 51 72 "
                           "62 64"),
            stepsFromText ("48 x x 60 48 x 60 x 60 x x 72 60 x 60 x 48 x x 60 48 x 60 x 65 x x 65 x x 68 x 48 x x 60 "
                           "48 x 60 x 60 x x 72 60 x 60 x 48 x x 60 48 x 60 x 53 65 52 64 51 63 50 49"),
            stepsFromText ("60 72 48 60 60 x x 48 60 72 x 60 60 x x 73 48 72 60 61 60 x 72 84 72 48 79 82 48 77 81 70"),
            stepsFromText ("48 48 x x 72 60 48 48 x x 48 x 72 x 82 x 48 48 x x 72 60 48 48 x x 48 x 72 x 75 x 48 48 "
                           "x x 72 49 48 48 x x 60 x 72 x 82 x 48 48 x x x x 48 48 x 48 48 x x 48 x x"),
        };

        return sequences;
    }

    /** Steps up to the first 0, at most 64, each within 7 bits. */
    Bytes cleanSteps (const uint8* steps, size_t count)
    {
        Bytes result;

        for (size_t i = 0; i < count && result.size() < (size_t) EmulatedInstrument::maxSteps; ++i)
        {
            if (steps[i] == 0)
                break;

            result.push_back ((uint8) (steps[i] & 0x7f));
        }

        return result;
    }

    juce::String versionToString (const Version& v)
    {
        return juce::String (v[0]) + "." + juce::String (v[1]) + "." + juce::String (v[2]) + "." + juce::String (v[3]);
    }

    bool parseVersion (const juce::var& value, Version& version)
    {
        if (! value.isString())
            return false;

        auto parts = juce::StringArray::fromTokens (value.toString(), ".", {});

        if (parts.size() != 4)
            return false;

        for (int i = 0; i < 4; ++i)
        {
            if (parts[i].isEmpty() || ! parts[i].containsOnly ("0123456789") || parts[i].length() > 3)
                return false;

            const auto number = parts[i].getIntValue();

            if (number > 127)
                return false;

            version[(size_t) i] = (uint8) number;
        }

        return true;
    }

    bool readByte (const juce::var& value, int minimum, uint8& result)
    {
        if (! (value.isInt() || value.isInt64()))
            return false;

        const auto number = (juce::int64) value;

        if (number < minimum || number > 127)
            return false;

        result = (uint8) number;
        return true;
    }

    /** Fires a once-only switch set to `number`: true the first time, and the switch is off. */
    bool fireOnce (std::atomic<int>& switchValue, int number) noexcept
    {
        auto expected = number;
        return number >= 0 && switchValue.compare_exchange_strong (expected, -1, std::memory_order_acq_rel);
    }

    bool writeFileAtomically (const juce::File& target, const juce::String& text, const void* owner)
    {
        if (! target.getParentDirectory().createDirectory())
            return false;

        // Same folder, so that the rename replaces the old file in one step: a reader sees
        // either the old memory or the new one, never a half-written file.
        const auto temporary = target.getSiblingFile (
            "." + target.getFileName() + "." + juce::String::toHexString ((juce::pointer_sized_int) owner) + "."
            + juce::String::toHexString (juce::Time::getHighResolutionTicks()) + ".tmp");

        {
            juce::FileOutputStream out (temporary);

            if (! out.openedOk())
                return false;

            out.writeText (text, false, false, "\n");
            out.flush();

            if (out.getStatus().failed())
            {
                temporary.deleteFile();
                return false;
            }
        }

        if (std::rename (temporary.getFullPathName().toRawUTF8(), target.getFullPathName().toRawUTF8()) != 0)
        {
            temporary.deleteFile();
            return false;
        }

        return true;
    }
} // namespace

//==============================================================================
EmulatedInstrument::EmulatedInstrument()
    : EmulatedInstrument (juce::File())
{}

EmulatedInstrument::EmulatedInstrument (const juce::File& file)
    : juce::Thread ("Emulated Tarnovelle")
    , stateFile (file)
{
    memory = makeFactoryMemory();

    if (stateFile.getFullPathName().isNotEmpty())
        loadOrStartFresh();

    nextActiveSensing = now() + activeSensingIntervalMs;
    startThread();
}

EmulatedInstrument::~EmulatedInstrument() { stopThread (2000); }

juce::File EmulatedInstrument::getDefaultStateFile()
{
    const auto fromEnvironment = juce::SystemStats::getEnvironmentVariable ("TARNOVELLE_EMULATOR_STATE", {});

    if (fromEnvironment.isNotEmpty())
        return juce::File::getCurrentWorkingDirectory().getChildFile (fromEnvironment);

    return juce::File::getSpecialLocation (juce::File::userApplicationDataDirectory)
        .getChildFile ("Tarnovelle Emulator")
        .getChildFile ("instrument.json");
}

//==============================================================================
void EmulatedInstrument::receiveMidi (const juce::MidiMessage& message)
{
    receiveBytes (message.getRawData(), message.getRawDataSize());
}

void EmulatedInstrument::receiveBytes (const uint8* bytes, int count)
{
    if (! presence.isPresent())
        return;

    Bytes message;

    if (bytes != nullptr && count > 0)
        message.assign (bytes, bytes + count);

    logReceived (message);

    {
        const juce::ScopedLock sl (queueLock);
        incoming.push_back ({ std::move (message), now() + latencyMs.load (std::memory_order_acquire) });
    }

    notify();
}

void EmulatedInstrument::setOutputSink (OutputSink sink)
{
    const juce::ScopedLock sl (sinkLock);
    outputSink = std::move (sink);
}

//==============================================================================
void EmulatedInstrument::run()
{
    while (! threadShouldExit())
    {
        const auto t = now();
        handleDueMessages (t);
        finishReenumerationIfDue (t);
        sendActiveSensingIfDue (t);

        wait ((int) std::ceil (millisecondsUntilNextEvent (now())));
    }
}

double EmulatedInstrument::millisecondsUntilNextEvent (double t) const
{
    double next = t + longestIdleWaitMs;

    {
        const juce::ScopedLock sl (queueLock);

        if (! incoming.empty())
            next = juce::jmin (next, incoming.front().due);
    }

    if (reenumerating.load (std::memory_order_acquire))
        next = juce::jmin (next, reenumerationDue.load());

    next = juce::jmin (next, nextActiveSensing.load());

    return juce::jlimit (1.0, (double) longestIdleWaitMs, next - t);
}

void EmulatedInstrument::handleDueMessages (double t)
{
    while (! threadShouldExit())
    {
        Bytes message;

        {
            const juce::ScopedLock sl (queueLock);

            if (incoming.empty() || incoming.front().due > t)
                return;

            message = std::move (incoming.front().bytes);
            incoming.pop_front();
        }

        handleMessage (message);
    }
}

void EmulatedInstrument::finishReenumerationIfDue (double t)
{
    if (reenumerating.load (std::memory_order_acquire) && t >= reenumerationDue.load())
    {
        reenumerating.store (false, std::memory_order_release);
        updatePresence();
        nextActiveSensing = t + activeSensingIntervalMs;
    }
}

void EmulatedInstrument::sendActiveSensingIfDue (double t)
{
    if (t < nextActiveSensing.load())
        return;

    nextActiveSensing = juce::jmax (nextActiveSensing.load() + activeSensingIntervalMs, t + 1.0);
    activeSensingTicks.fetch_add (1, std::memory_order_acq_rel);

    if (presence.isPresent() && ! silent.load (std::memory_order_acquire)
        && activeSensingEnabled.load (std::memory_order_acquire) && ! stalled.load (std::memory_order_acquire)
        && getMode() == Mode::application)
        send ({ activeSensing });
}

//==============================================================================
void EmulatedInstrument::handleMessage (const Bytes& bytes)
{
    if (! presence.isPresent() || silent.load (std::memory_order_acquire) || stalled.load (std::memory_order_acquire))
        return;

    if (isIdentityRequestFor (bytes, getDeviceId()))
    {
        handleIdentityRequest();
        return;
    }

    // Everything else the instrument understands is in the maker's frame; notes, clock and
    // foreign SysEx are of no concern to it.
    if (! isMakerFrame (bytes))
        return;

    if (getMode() == Mode::application)
        handleApplicationFrame (bytes);
    else
        handleBootloaderFrame (bytes);
}

void EmulatedInstrument::handleIdentityRequest()
{
    if (! mayAnswer())
        return;

    const auto version = getFirmwareVersion();
    const uint8 member2 = getMode() == Mode::application ? 0x01 : 0x03;

    send ({ sysexStart, universalNonRealTime, getDeviceId(), 0x06, 0x02, manufacturerId[0], manufacturerId[1],
            manufacturerId[2], 0x04, 0x00, 0x02, member2, version[0], version[1], version[2], version[3], sysexEnd });
}

void EmulatedInstrument::handleApplicationFrame (const Bytes& frame)
{
    const auto size = frame.size();
    const auto length = frame[7];
    const auto command = frame[8];

    if (auto* info = findDeviceSettingByGetCommand (command))
    {
        if (length == 0 && size == 10)
            handleSettingGet (*info);

        return;
    }

    if (auto* info = findDeviceSettingBySetCommand (command))
    {
        if (length == 1 && size == 11)
            setSetting (info->setting, frame[9]);

        return;
    }

    switch (command)
    {
        case Command::sequenceRequest:
            if (length == 3 && size == 13)
                handleSequenceRequest (frame);
            break;

        case Command::sequenceChunk:
            if (length == stepChunkSize && size == 10 + stepChunkSize)
                handleSequenceChunk (frame);
            break;

        case Command::updateRequest:
            if (isEmptyPayloadFrame (frame))
                restart (Mode::bootloader);
            break;

        default: break;
    }
}

void EmulatedInstrument::handleSettingGet (const DeviceSettingInfo& info)
{
    if (mayAnswer())
        send (makeFrame (info.setCommand, { getSetting (info.setting) }));
}

void EmulatedInstrument::handleSequenceRequest (const Bytes& frame)
{
    const int index = frame[9];
    const int first = frame[10];

    if (index >= numSequences || (first != 0 && first != halfSequence))
        return;

    if (! mayAnswer())
        return;

    const auto steps = getSequence (index);
    const auto count = juce::jlimit (0, halfSequence, (int) steps.size() - first);

    Bytes payload ((size_t) stepChunkSize, 0);
    payload[0] = (uint8) index;
    payload[1] = (uint8) first;
    payload[2] = (uint8) count;

    for (int i = 0; i < count; ++i)
        payload[(size_t) (3 + i)] = steps[(size_t) (first + i)];

    send (makeFrame (Command::sequenceChunk, payload));
}

void EmulatedInstrument::handleSequenceChunk (const Bytes& frame)
{
    const int index = frame[9];
    const int first = frame[10];
    const int count = frame[11];

    if (index >= numSequences || (first != 0 && first != halfSequence) || count > halfSequence)
        return;

    const auto steps = cleanSteps (frame.data() + 12, (size_t) count);

    {
        const juce::ScopedLock sl (memoryLock);
        auto& sequence = memory.sequences[(size_t) index];

        if (first == 0)
        {
            // The first half ends the sequence after its steps.
            sequence = steps;
        }
        else if (steps.empty())
        {
            sequence.resize (juce::jmin (sequence.size(), (size_t) halfSequence));
        }
        else
        {
            // Steps from 32 on; a shorter first half is filled up with rests so that the
            // new steps belong to the sequence.
            sequence.resize ((size_t) halfSequence, restStep);
            sequence.insert (sequence.end(), steps.begin(), steps.end());
        }
    }

    save();
}

//==============================================================================
void EmulatedInstrument::handleBootloaderFrame (const Bytes& frame)
{
    const int length = frame[7];

    switch (frame[8])
    {
        case Command::startUpdate:
            if (isEmptyPayloadFrame (frame))
                handleStartUpdate (frame[6]);
            break;

        case Command::imageChunk:
            if (length >= 1 && length <= maxImageChunk && (int) frame.size() == packedFrameSize (length))
                handleImageChunk (frame);
            break;

        case Command::endUpdate:
            if (isEmptyPayloadFrame (frame))
                handleEndUpdate();
            break;

        default: break;
    }
}

void EmulatedInstrument::handleStartUpdate (uint8 counter)
{
    if (! mayAnswer())
        return;

    if (fireOnce (rejectChunk, 0))
    {
        acknowledge (0, counter, rejectStatus.load());
        return;
    }

    {
        const juce::ScopedLock sl (memoryLock);
        transfer = Transfer();
        transfer.open = true;
        memory.mode = Mode::bootloader;
    }

    acceptedChunkCount.store (0, std::memory_order_release);

    // From here on the old firmware is being erased: an instrument that loses power now
    // comes back in its bootloader.
    save();
    acknowledge (0, counter, Status::accepted);
}

void EmulatedInstrument::handleImageChunk (const Bytes& frame)
{
    const uint8 counter = frame[6];
    int chunkNumber = 0;
    bool repeated = false;

    {
        const juce::ScopedLock sl (memoryLock);

        if (! transfer.open)
            return;

        // A chunk sent again after a lost acknowledgement carries the counter of the chunk
        // already taken: it is acknowledged again, not stored twice.
        repeated = counter == transfer.lastAcceptedCounter;
        chunkNumber = repeated ? transfer.acceptedChunks : transfer.acceptedChunks + 1;
    }

    if (! mayAnswer())
        return;

    if (! repeated)
    {
        if (fireOnce (rejectChunk, chunkNumber))
        {
            acknowledge (chunkNumber, counter, rejectStatus.load());
            return;
        }

        const SysexMessage message (frame.data(), (int) frame.size());
        uint8 decoded[maxImageChunk]{};
        int length = frame[7];
        const auto result = message.decodePayload (decoded, length, 9, (int) frame.size() - 11, maxImageChunk);

        if (result != 0)
        {
            acknowledge (chunkNumber, counter, result == -3 ? Status::badChecksum : Status::badLength);
            return;
        }

        const juce::ScopedLock sl (memoryLock);

        if (transfer.image.getSize() + (size_t) length > maxImageSize)
            transfer.overflowed = true;
        else
            transfer.image.append (decoded, (size_t) length);

        transfer.acceptedChunks = chunkNumber;
        transfer.lastAcceptedCounter = counter;
        acceptedChunkCount.store (chunkNumber, std::memory_order_release);
    }

    acknowledge (chunkNumber, counter, Status::accepted);

    if (fireOnce (stallChunk, chunkNumber))
        stalled.store (true, std::memory_order_release);

    if (fireOnce (powerLossChunk, chunkNumber))
        losePower();
}

void EmulatedInstrument::handleEndUpdate()
{
    juce::MemoryBlock image;
    bool overflowed = false;

    {
        const juce::ScopedLock sl (memoryLock);

        if (! transfer.open)
            return;

        image.swapWith (transfer.image); // (copying an empty MemoryBlock hands memcpy a null pointer)
        overflowed = transfer.overflowed;
        transfer.open = false;
    }

    uint8 version[4]{};
    const bool sound = ! overflowed && parseFirmwareImage (image.getData(), image.getSize(), version);

    {
        const juce::ScopedLock sl (memoryLock);

        if (sound)
        {
            std::copy (version, version + 4, memory.firmware.begin());
            memory.mode = Mode::application;
        }
        else
        {
            // No runnable firmware: the bootloader stays in charge until an update succeeds.
            memory.mode = Mode::bootloader;
        }
    }

    save();

    if (sound)
        restart (Mode::application);
}

void EmulatedInstrument::acknowledge (int chunkNumber, uint8 counter, uint8 status)
{
    if (fireOnce (dropAckChunk, chunkNumber))
        return;

    if (fireOnce (wrongCounterChunk, chunkNumber))
        counter = (uint8) ((counter + 1) & 0x7f);

    const bool withPayload = status != Status::accepted || ! ackWithoutPayload.load (std::memory_order_acquire);

    Bytes ack{
        sysexStart, manufacturerId[0],       manufacturerId[1], manufacturerId[2], productByte, headerByte5, counter,
        0,          Command::acknowledgement
    };

    if (withPayload)
    {
        uint8 encoded[8]{};
        int capacity = (int) sizeof (encoded);
        uint8 checksum = 0;
        packPayload (&status, 1, encoded, capacity, checksum);

        ack[7] = 1;
        ack.push_back (checksum);
        ack.insert (ack.end(), encoded, encoded + capacity);
    }
    else
    {
        ack.push_back (0); // the checksum of an empty payload
    }

    ack.push_back (sysexEnd);
    send (ack);
}

//==============================================================================
bool EmulatedInstrument::mayAnswer()
{
    auto left = answersLeft.load (std::memory_order_acquire);

    while (left >= 0)
    {
        if (left == 0)
            return false;

        if (answersLeft.compare_exchange_weak (left, left - 1, std::memory_order_acq_rel))
            return true;
    }

    return true;
}

void EmulatedInstrument::send (const Bytes& bytes)
{
    const juce::ScopedLock sl (sinkLock);

    if (outputSink != nullptr && ! bytes.empty())
        outputSink (juce::MidiMessage (bytes.data(), (int) bytes.size()));
}

EmulatedInstrument::Bytes EmulatedInstrument::makeFrame (uint8 command, const Bytes& rawPayload)
{
    // Built here rather than with SysexMessage: the message counter belongs to the
    // application's process, and the instrument has a counter of its own.
    Bytes frame{ sysexStart,  manufacturerId[0], manufacturerId[1], manufacturerId[2],
                 productByte, headerByte5,       replyCounter,      (uint8) rawPayload.size(),
                 command };
    frame.insert (frame.end(), rawPayload.begin(), rawPayload.end());
    frame.push_back (sysexEnd);

    replyCounter = (uint8) ((replyCounter + 1) & 0x7f);
    return frame;
}

void EmulatedInstrument::restart (Mode newMode)
{
    {
        const juce::ScopedLock sl (memoryLock);
        memory.mode = newMode;
        transfer = Transfer();
    }

    restarts.fetch_add (1, std::memory_order_acq_rel);

    // The USB device re-enumerates: its ports vanish for a moment and come back as new ones.
    reenumerationDue = now() + reenumerationMs;
    reenumerating.store (true, std::memory_order_release);
    updatePresence();

    const juce::ScopedLock sl (queueLock);
    incoming.clear();
}

void EmulatedInstrument::losePower()
{
    poweredOff.store (true, std::memory_order_release);
    unplugged.store (true, std::memory_order_release);
    updatePresence();

    {
        const juce::ScopedLock sl (memoryLock);
        transfer = Transfer();
    }

    const juce::ScopedLock sl (queueLock);
    incoming.clear();
}

void EmulatedInstrument::updatePresence()
{
    const juce::ScopedLock sl (presenceLock);
    presence.setPresent (! unplugged.load (std::memory_order_acquire)
                         && ! reenumerating.load (std::memory_order_acquire));
}

//==============================================================================
EmulatedInstrument::Version EmulatedInstrument::getFirmwareVersion() const
{
    const juce::ScopedLock sl (memoryLock);
    return memory.firmware;
}

void EmulatedInstrument::setFirmwareVersion (Version version)
{
    {
        const juce::ScopedLock sl (memoryLock);
        memory.firmware = version;
    }

    save();
}

uint8 EmulatedInstrument::getSetting (DeviceSetting setting) const
{
    const juce::ScopedLock sl (memoryLock);
    return memory.settings[(size_t) setting];
}

void EmulatedInstrument::setSetting (DeviceSetting setting, uint8 value)
{
    {
        const juce::ScopedLock sl (memoryLock);
        memory.settings[(size_t) setting] = (uint8) (value & 0x7f);
    }

    save();
}

EmulatedInstrument::Bytes EmulatedInstrument::getSequence (int index) const
{
    if (! juce::isPositiveAndBelow (index, numSequences))
        return {};

    const juce::ScopedLock sl (memoryLock);
    return memory.sequences[(size_t) index];
}

void EmulatedInstrument::setSequence (int index, const Bytes& steps)
{
    if (! juce::isPositiveAndBelow (index, numSequences))
        return;

    {
        const juce::ScopedLock sl (memoryLock);
        memory.sequences[(size_t) index] = cleanSteps (steps.data(), steps.size());
    }

    save();
}

EmulatedInstrument::Mode EmulatedInstrument::getMode() const
{
    const juce::ScopedLock sl (memoryLock);
    return memory.mode;
}

void EmulatedInstrument::setMode (Mode newMode)
{
    {
        const juce::ScopedLock sl (memoryLock);
        memory.mode = newMode;
        transfer = Transfer();
    }

    save();
}

void EmulatedInstrument::resetToFactory()
{
    {
        const juce::ScopedLock sl (memoryLock);
        memory = makeFactoryMemory();
        transfer = Transfer();
    }

    save();
}

uint8 EmulatedInstrument::getFactorySetting (DeviceSetting setting) noexcept
{
    switch (setting)
    {
        case DeviceSetting::MIN: return 16; // receive on all channels
        case DeviceSetting::BEND: return 2;
        case DeviceSetting::STEP: return 16;
        case DeviceSetting::GLEN: return 2;
        case DeviceSetting::MOUT:
        case DeviceSetting::MKEY:
        case DeviceSetting::LKEY:
        case DeviceSetting::INGN:
        case DeviceSetting::LFO:
        case DeviceSetting::VELO:
        case DeviceSetting::AFTE:
        case DeviceSetting::ARP:
        case DeviceSetting::TAP:
        case DeviceSetting::SYNC:
        default: return 0;
    }
}

EmulatedInstrument::Bytes EmulatedInstrument::getFactorySequence (int index)
{
    if (! juce::isPositiveAndBelow (index, numSequences))
        return {};

    return factorySequences()[(size_t) index];
}

EmulatedInstrument::Memory EmulatedInstrument::makeFactoryMemory()
{
    Memory fresh;

    for (auto& info : getDeviceSettingTable())
        fresh.settings[(size_t) info.setting] = getFactorySetting (info.setting);

    fresh.sequences = factorySequences();
    return fresh;
}

//==============================================================================
void EmulatedInstrument::setSilent (bool shouldBeSilent) noexcept
{
    silent.store (shouldBeSilent, std::memory_order_release);
}

void EmulatedInstrument::setActiveSensingEnabled (bool shouldSend) noexcept
{
    activeSensingEnabled.store (shouldSend, std::memory_order_release);
}

void EmulatedInstrument::setLatencyMs (int milliseconds) noexcept
{
    latencyMs.store (juce::jmax (0, milliseconds), std::memory_order_release);
}

void EmulatedInstrument::setUnplugged (bool shouldBeUnplugged)
{
    if (! shouldBeUnplugged && poweredOff.exchange (false, std::memory_order_acq_rel))
    {
        // Power is back: the instrument boots into whatever its flash holds.
        const juce::ScopedLock sl (memoryLock);
        transfer = Transfer();
    }

    unplugged.store (shouldBeUnplugged, std::memory_order_release);
    updatePresence();

    if (shouldBeUnplugged)
    {
        const juce::ScopedLock sl (queueLock);
        incoming.clear();
    }

    notify();
}

void EmulatedInstrument::setStopAnsweringAfter (int requests) noexcept
{
    answersLeft.store (requests < 0 ? -1 : requests, std::memory_order_release);
}

void EmulatedInstrument::setDeviceId (uint8 id) noexcept
{
    deviceId.store ((uint8) (id & 0x7f), std::memory_order_release);
}

void EmulatedInstrument::rejectChunkOnce (int chunkNumber, uint8 status) noexcept
{
    rejectStatus.store (status, std::memory_order_release);
    rejectChunk.store (chunkNumber, std::memory_order_release);
}

void EmulatedInstrument::acknowledgeWithWrongCounterOnce (int chunkNumber) noexcept
{
    wrongCounterChunk.store (chunkNumber, std::memory_order_release);
}

void EmulatedInstrument::dropAcknowledgementOnce (int chunkNumber) noexcept
{
    dropAckChunk.store (chunkNumber, std::memory_order_release);
}

void EmulatedInstrument::setAcknowledgeWithoutPayload (bool shouldOmitPayload) noexcept
{
    ackWithoutPayload.store (shouldOmitPayload, std::memory_order_release);
}

void EmulatedInstrument::stallAfterChunk (int chunkNumber) noexcept
{
    stallChunk.store (chunkNumber, std::memory_order_release);
}

void EmulatedInstrument::losePowerAfterChunk (int chunkNumber) noexcept
{
    powerLossChunk.store (chunkNumber, std::memory_order_release);
}

void EmulatedInstrument::clearFaults() noexcept
{
    silent.store (false, std::memory_order_release);
    activeSensingEnabled.store (true, std::memory_order_release);
    latencyMs.store (defaultLatencyMs, std::memory_order_release);
    answersLeft.store (-1, std::memory_order_release);
    rejectChunk.store (-1, std::memory_order_release);
    wrongCounterChunk.store (-1, std::memory_order_release);
    dropAckChunk.store (-1, std::memory_order_release);
    ackWithoutPayload.store (false, std::memory_order_release);
    stallChunk.store (-1, std::memory_order_release);
    stalled.store (false, std::memory_order_release);
    powerLossChunk.store (-1, std::memory_order_release);
}

//==============================================================================
void EmulatedInstrument::logReceived (const Bytes& bytes)
{
    const juce::ScopedLock sl (logLock);
    ++allReceived;

    if (isIdentityRequest (bytes))
        ++identityRequests;
    else if (isMakerFrame (bytes))
        ++receivedByCommand[bytes[8]];

    receivedLog.push_back (bytes);

    while (receivedLog.size() > (size_t) logCapacity)
        receivedLog.pop_front();
}

int EmulatedInstrument::countReceived (uint8 command) const
{
    const juce::ScopedLock sl (logLock);
    auto found = receivedByCommand.find (command);
    return found != receivedByCommand.end() ? found->second : 0;
}

int EmulatedInstrument::countIdentityRequests() const
{
    const juce::ScopedLock sl (logLock);
    return identityRequests;
}

int EmulatedInstrument::countAllReceived() const
{
    const juce::ScopedLock sl (logLock);
    return allReceived;
}

std::vector<EmulatedInstrument::Bytes> EmulatedInstrument::getLastReceived (int maxMessages) const
{
    const juce::ScopedLock sl (logLock);
    const auto count = (size_t) juce::jlimit (0, (int) receivedLog.size(), maxMessages);
    return { receivedLog.end() - (std::ptrdiff_t) count, receivedLog.end() };
}

std::vector<EmulatedInstrument::Bytes> EmulatedInstrument::getReceivedFrames (uint8 command) const
{
    const juce::ScopedLock sl (logLock);
    std::vector<Bytes> frames;

    for (auto& message : receivedLog)
        if (isMakerFrame (message) && message[8] == command)
            frames.push_back (message);

    return frames;
}

void EmulatedInstrument::clearReceived()
{
    const juce::ScopedLock sl (logLock);
    receivedLog.clear();
    receivedByCommand.clear();
    identityRequests = 0;
    allReceived = 0;
}

int EmulatedInstrument::getAcceptedChunkCount() const { return acceptedChunkCount.load (std::memory_order_acquire); }

//==============================================================================
void EmulatedInstrument::loadOrStartFresh()
{
    if (! stateFile.existsAsFile())
    {
        startState = StartState::missingFile;
        save();
        return;
    }

    if (loadFrom (stateFile.loadFileAsString()))
    {
        startState = StartState::loaded;
        return;
    }

    // Keep the damaged memory for whoever wants to look at it, and start afresh.
    const auto backup = stateFile.getSiblingFile (stateFile.getFileName() + ".bak");
    backup.deleteFile();
    std::rename (stateFile.getFullPathName().toRawUTF8(), backup.getFullPathName().toRawUTF8());

    startState = StartState::damagedFile;
    memory = makeFactoryMemory();
    save();
}

bool EmulatedInstrument::loadFrom (const juce::String& json)
{
    juce::var root;

    if (json.isEmpty() || juce::JSON::parse (json, root).failed() || ! root.isObject())
        return false;

    auto loaded = makeFactoryMemory();

    if (! parseVersion (root["firmware"], loaded.firmware))
        return false;

    // A setting left out keeps its factory value; one that is there must be a 7-bit number.
    const auto settings = root["settings"];

    if (! settings.isObject())
        return false;

    for (auto& info : getDeviceSettingTable())
    {
        const auto value = settings[info.code];

        if (! value.isVoid() && ! readByte (value, 0, loaded.settings[(size_t) info.setting]))
            return false;
    }

    const auto* sequences = root["sequences"].getArray();

    if (sequences == nullptr || sequences->size() != numSequences)
        return false;

    for (int i = 0; i < numSequences; ++i)
    {
        const auto* steps = sequences->getReference (i).getArray();

        if (steps == nullptr || steps->size() > maxSteps)
            return false;

        auto& target = loaded.sequences[(size_t) i];
        target.clear();

        for (auto& step : *steps)
        {
            uint8 value = 0;

            if (! readByte (step, 1, value))
                return false;

            target.push_back (value);
        }
    }

    const auto mode = root["mode"];

    if (mode.isVoid() || mode.toString() == "application")
        loaded.mode = Mode::application;
    else if (mode.toString() == "bootloader")
        loaded.mode = Mode::bootloader;
    else
        return false;

    memory = loaded;
    return true;
}

juce::String EmulatedInstrument::toJson() const
{
    // Laid out by hand so that a person can read it: one line per setting, one per sequence.
    juce::StringArray settingLines;

    for (auto& info : getDeviceSettingTable())
        settingLines.add ("    " + juce::JSON::toString (juce::String (info.code)) + ": "
                          + juce::String ((int) memory.settings[(size_t) info.setting]));

    juce::StringArray sequenceLines;

    for (auto& sequence : memory.sequences)
    {
        juce::StringArray steps;

        for (auto step : sequence)
            steps.add (juce::String ((int) step));

        sequenceLines.add ("    [" + steps.joinIntoString (", ") + "]");
    }

    return "{\n"
           "  \"firmware\": \""
           + versionToString (memory.firmware)
           + "\",\n"
             "  \"mode\": \""
           + juce::String (memory.mode == Mode::application ? "application" : "bootloader")
           + "\",\n"
             "  \"settings\": {\n"
           + settingLines.joinIntoString (",\n")
           + "\n  },\n"
             "  \"sequences\": [\n"
           + sequenceLines.joinIntoString (",\n") + "\n  ]\n}\n";
}

void EmulatedInstrument::save()
{
    if (stateFile.getFullPathName().isEmpty())
        return;

    // Serialised under the save lock, so that the last file written holds the newest memory.
    const juce::ScopedLock sl (saveLock);
    juce::String text;

    {
        const juce::ScopedLock ml (memoryLock);
        text = toJson();
    }

    writeFileAtomically (stateFile, text, this);
}

} // namespace tarnovelle
