// The bootloader updater's side of the link: any message arriving during a transfer, through
// the update driver's MIDI callback, either is ignored or is taken as the acknowledgement of
// the last message sent; the transfer only ever sends whole chunks of the image in order.

#include "firmware/HWUpdater.h"
#include "firmware/LPC23XXUpdater.h"
#include "fuzz/FuzzTarget.h"

#include <atomic>
#include <vector>

namespace tarnovelle::fuzz
{
/** The updater and, as its output, the bootloader's end, which checks what the updater sends. */
struct BootloaderLink final : public MidiOutputPort
{
    BootloaderLink()
    {
        // A long image, and no time-outs: only the fuzzed acknowledgements move the transfer.
        for (size_t i = 0; i < image.size(); ++i)
            image[i] = (uint8) (i * 31 + 7);

        updater.setTiming ({ 0, 1000 * 1000, 0 });
    }

    ~BootloaderLink() override { updater.stopUpdate(); }

    void write (const juce::MidiMessage& message) override
    {
        const auto* b = message.getRawData();
        const int n = message.getRawDataSize();
        TARNOVELLE_FUZZ_CHECK (n >= 10 && n <= SysexMessage::capacity);
        TARNOVELLE_FUZZ_CHECK (b[0] == 0xf0 && b[n - 1] == 0xf7 && isMakerId (b + 1));
        TARNOVELLE_FUZZ_CHECK (b[8] <= LPC23XXUpdater::chunkCommand);

        if (b[8] == LPC23XXUpdater::chunkCommand)
        {
            uint8 decoded[LPC23XXUpdater::chunkSize]{};
            int length = b[7];
            TARNOVELLE_FUZZ_CHECK (length >= 1 && length <= LPC23XXUpdater::chunkSize);
            TARNOVELLE_FUZZ_CHECK (
                SysexMessage (b, n).decodePayload (decoded, length, 9, n - 11, LPC23XXUpdater::chunkSize) == 0);
        }

        lastCounter.store (b[6]);
    }

    juce::String getName() const override { return "bootloader"; }

    void startIfIdle()
    {
        if (updater.isUpdating())
            return;

        updater.stopUpdate();
        source = std::make_unique<juce::MemoryInputStream> (image.data(), image.size(), false);
        TARNOVELLE_FUZZ_CHECK (updater.startUpdate (this, source.get()));
    }

    std::atomic<int> lastCounter{ 0 };
    std::vector<uint8> image = std::vector<uint8> (28 * 5000 + 13);
    LPC23XXUpdater updater;
    HWUpdater::MidiCallback callback{ updater };
    // Made with the link, so that JUCE's leak detector for the stream is set up before the
    // static link is, and still counts when the link is destroyed at exit.
    std::unique_ptr<juce::MemoryInputStream> source =
        std::make_unique<juce::MemoryInputStream> (image.data(), image.size(), false);
};
} // namespace tarnovelle::fuzz

// Input: a flag byte (bit 0: give the message the counter of the last message sent), then the
// message's bytes.
TARNOVELLE_FUZZ_TARGET (fuzzAcknowledgement, 1, 1)
{
    static BootloaderLink link;
    std::vector<uint8> message (bytes, bytes + count);

    if ((header[0] & 1) != 0 && message.size() > 6)
        message[6] = (uint8) link.lastCounter.load();

    link.startIfIdle();
    link.callback.handleIncomingMidiMessage (nullptr, juce::MidiMessage (message.data(), count));

    const auto progress = link.updater.getProgress();
    TARNOVELLE_FUZZ_CHECK (progress >= 0.0 && progress <= 1.0);
}
