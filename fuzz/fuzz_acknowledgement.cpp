// The bootloader updater's side of the link: any message arriving during a transfer, through
// the update driver's MIDI callback, either is ignored or is taken as the acknowledgement of
// the last message sent; the transfer only ever sends whole chunks of the image in order.

#include "firmware/HWUpdater.h"
#include "firmware/LPC23XXUpdater.h"
#include "fuzz/FuzzTarget.h"

#include <atomic>
#include <mutex>
#include <vector>

namespace tarnovelle::fuzz::acknowledgement
{
/** The bootloader's end: checks and remembers what the updater sends. */
struct Sink final : public MidiOutputPort
{
    void sendMessageNow (const juce::MidiMessage& message) override
    {
        const auto* b = message.getRawData();
        const int n = message.getRawDataSize();
        TARNOVELLE_FUZZ_CHECK (n >= 10 && n <= SysexMessage::capacity);
        TARNOVELLE_FUZZ_CHECK (b[0] == 0xf0 && b[n - 1] == 0xf7 && b[1] == 0x00 && b[2] == 0x5c && b[3] == 0x3d);
        TARNOVELLE_FUZZ_CHECK (b[8] <= LPC23XXUpdater::chunkCommand);

        if (b[8] == LPC23XXUpdater::chunkCommand)
        {
            const SysexMessage chunk (b, n);
            uint8 decoded[LPC23XXUpdater::chunkSize]{};
            int length = b[7];
            TARNOVELLE_FUZZ_CHECK (length >= 1 && length <= LPC23XXUpdater::chunkSize);
            TARNOVELLE_FUZZ_CHECK (chunk.decodePayload (decoded, length, 9, n - 11, LPC23XXUpdater::chunkSize) == 0);
        }

        lastCounter.store (b[6]);
    }

    juce::String getName() const override { return "bootloader"; }

    std::atomic<int> lastCounter{ 0 };
};

struct Link
{
    Link()
    {
        // A long image, and no time-outs: only the fuzzed acknowledgements move the transfer.
        image.resize (28 * 5000 + 13);

        for (size_t i = 0; i < image.size(); ++i)
            image[i] = (uint8) (i * 31 + 7);

        updater.setTiming ({ 0, 1000 * 1000, 0 });
    }

    ~Link() { updater.stopUpdate(); }

    void startIfIdle()
    {
        if (updater.isUpdating())
            return;

        updater.stopUpdate();
        source = std::make_unique<juce::MemoryInputStream> (image.data(), image.size(), false);
        TARNOVELLE_FUZZ_CHECK (updater.startUpdate (&sink, source.get()));
    }

    std::vector<uint8> image;
    Sink sink;
    LPC23XXUpdater updater;
    HWUpdater::MidiCallback callback{ updater };
    std::unique_ptr<juce::MemoryInputStream> source;
};
} // namespace tarnovelle::fuzz::acknowledgement

// Input: a flag byte (bit 0: give the message the counter of the last message sent), then the
// message's bytes.
TARNOVELLE_FUZZ_TARGET (fuzzAcknowledgement)
{
    using namespace tarnovelle;

    static fuzz::acknowledgement::Link link;

    if (size < 2)
        return 0;

    std::vector<uint8> bytes (data + 1, data + size);

    if ((data[0] & 1) != 0 && bytes.size() > 6)
        bytes[6] = (uint8) link.sink.lastCounter.load();

    link.startIfIdle();
    link.callback.handleIncomingMidiMessage (nullptr, juce::MidiMessage (bytes.data(), (int) bytes.size()));

    const auto progress = link.updater.getProgress();
    TARNOVELLE_FUZZ_CHECK (progress >= 0.0 && progress <= 1.0);
    return 0;
}
