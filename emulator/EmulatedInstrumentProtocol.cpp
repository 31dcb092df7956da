// The emulated instrument's two firmwares: the application, which answers the identity
// request, the settings and the sequences, and the bootloader, which takes a new image.

#include "emulator/EmulatedInstrument.h"

#include "EmulatedInstrumentWire.h"
#include "emulator/FirmwareImage.h"

namespace tarnovelle
{

using namespace emulated;

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

} // namespace tarnovelle
