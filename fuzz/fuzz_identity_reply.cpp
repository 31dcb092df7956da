// Detection's examination of identity replies: any message is either ignored, a reply that
// does not match (device ID FF), or a whole identity reply with the maker's ID and the
// expected family and member, whose version bytes are then the firmware version.

#include "app/HWDetector.h"
#include "fuzz/FuzzTarget.h"

#include <array>

namespace tarnovelle::fuzz
{
struct IdentityPort final : public MidiInputPort
{
    void start() override {}
    void stop() override {}
    juce::String getName() const override { return "fuzz"; }
};
} // namespace tarnovelle::fuzz

// Input: one byte choosing the expected member (application or bootloader), then the message.
TARNOVELLE_FUZZ_TARGET (fuzzIdentityReply, 1, 1)
{
    static IdentityPort port;
    const uint8 member2 = (header[0] & 1) != 0 ? 0x03 : 0x01;
    HWDetector::setExpectedFamily (0x04, 0x00);
    HWDetector::setExpectedMember (0x02, member2);
    std::array<uint8, 4> before, version;
    HWDetector::getFirmwareVersion (before[0], before[1], before[2], before[3]);

    HWDetector::MidiCallback callback;
    callback.reset();
    callback.handleIncomingMidiMessage (&port, juce::MidiMessage (bytes, count));
    HWDetector::getFirmwareVersion (version[0], version[1], version[2], version[3]);

    const bool examined = count >= 5 && bytes[0] == 0xf0 && bytes[4] == 0x02;
    TARNOVELLE_FUZZ_CHECK (callback.hasReceived() == examined);

    const bool matches = examined && count >= 17 && isMakerId (bytes + 5) && bytes[8] == 0x04 && bytes[9] == 0x00
                         && bytes[10] == 0x02 && bytes[11] == member2;

    if (matches)
    {
        TARNOVELLE_FUZZ_CHECK (callback.getDeviceId() == bytes[2]);
        TARNOVELLE_FUZZ_CHECK (callback.getSource() == &port);
        TARNOVELLE_FUZZ_CHECK (std::equal (version.begin(), version.end(), bytes + 12));
    }
    else
    {
        TARNOVELLE_FUZZ_CHECK (callback.getDeviceId() == 0xff);
        TARNOVELLE_FUZZ_CHECK (callback.getSource() == nullptr);
        TARNOVELLE_FUZZ_CHECK (version == before);
    }

    // A second message after the first examined one is not looked at.
    if (examined)
    {
        callback.handleIncomingMidiMessage (nullptr, juce::MidiMessage (bytes, count));
        TARNOVELLE_FUZZ_CHECK (callback.getSource() == (matches ? &port : nullptr));
    }
}
