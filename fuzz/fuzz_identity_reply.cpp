// Detection's examination of identity replies: any message is either ignored, a reply that
// does not match (device ID FF), or a whole identity reply with the maker's ID and the
// expected family and member, whose version bytes are then the firmware version.

#include "app/HWDetector.h"
#include "fuzz/FuzzTarget.h"

namespace tarnovelle::fuzz::identity_reply
{
struct Port final : public MidiInputPort
{
    void start() override {}
    void stop() override {}
    juce::String getName() const override { return "fuzz"; }
};

struct QuietStdout
{
    // The examination writes a trace line per reply; it would drown the fuzzer's output.
    // Replayed in the test suite, the trace lines stay.
    QuietStdout()
    {
#ifndef TARNOVELLE_FUZZ_REPLAY
        if (std::freopen ("/dev/null", "w", stdout) == nullptr)
            std::perror ("stdout");
#endif
    }
};
} // namespace tarnovelle::fuzz::identity_reply

// Input: one byte choosing the expected member (application or bootloader), then the message.
TARNOVELLE_FUZZ_TARGET (fuzzIdentityReply)
{
    using namespace tarnovelle;

    static fuzz::identity_reply::QuietStdout quiet;

    if (size < 2)
        return 0;

    const uint8 member2 = (data[0] & 1) != 0 ? 0x03 : 0x01;
    const auto* bytes = data + 1;
    const int count = (int) size - 1;

    HWDetector::setExpectedFamily (0x04, 0x00);
    HWDetector::setExpectedMember (0x02, member2);

    uint8 before[4];
    HWDetector::getFirmwareVersion (before[0], before[1], before[2], before[3]);

    HWDetector::MidiCallback callback;
    callback.reset();
    static fuzz::identity_reply::Port port;
    auto* source = &port;
    callback.handleIncomingMidiMessage (source, juce::MidiMessage (bytes, count));

    uint8 version[4];
    HWDetector::getFirmwareVersion (version[0], version[1], version[2], version[3]);

    const bool isSysEx = count > 0 && bytes[0] == 0xf0;
    const bool examined = isSysEx && count >= 5 && bytes[4] == 0x02;
    TARNOVELLE_FUZZ_CHECK (callback.hasReceived() == examined);

    const bool matches = examined && count >= 17 && bytes[5] == 0x00 && bytes[6] == 0x5c && bytes[7] == 0x3d
                         && bytes[8] == 0x04 && bytes[9] == 0x00 && bytes[10] == 0x02 && bytes[11] == member2;

    if (matches)
    {
        TARNOVELLE_FUZZ_CHECK (callback.getDeviceId() == bytes[2]);
        TARNOVELLE_FUZZ_CHECK (callback.getSource() == source);
        TARNOVELLE_FUZZ_CHECK (std::equal (version, version + 4, bytes + 12));
    }
    else
    {
        TARNOVELLE_FUZZ_CHECK (callback.getDeviceId() == 0xff);
        TARNOVELLE_FUZZ_CHECK (callback.getSource() == nullptr);
        TARNOVELLE_FUZZ_CHECK (std::equal (version, version + 4, before));
    }

    // A second message after the first examined one is not looked at.
    if (examined)
    {
        callback.handleIncomingMidiMessage (nullptr, juce::MidiMessage (bytes, count));
        TARNOVELLE_FUZZ_CHECK (callback.getSource() == (matches ? source : nullptr));
    }

    return 0;
}
