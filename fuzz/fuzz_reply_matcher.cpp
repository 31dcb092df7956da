// The application's MIDI input: whatever arrives while a request waits, only a whole frame
// with the awaited command in byte 8 and a data byte in byte 9 fills the reply slot, and the
// slot then holds exactly that frame.

#include "app/ApplicationController.h"
#include "fuzz/FuzzTarget.h"
#include "protocol/Transactions.h"
#include "tests/support/RecordingView.h"

namespace tarnovelle::fuzz::reply_matcher
{
ApplicationController& getController()
{
    static test::RecordingView view;
    static ApplicationController controller (view);
    return controller;
}
} // namespace tarnovelle::fuzz::reply_matcher

// Input: the awaited command, then the bytes of one incoming message.
TARNOVELLE_FUZZ_TARGET (fuzzReplyMatcher)
{
    using namespace tarnovelle;

    // JUCE's MIDI inputs never deliver an empty message.
    if (size < 2)
        return 0;

    const uint8 awaited = data[0];
    const auto* bytes = data + 1;
    const int count = (int) size - 1;

    auto& slot = getReplySlot();
    slot.value = 0xaa;
    slot.reply = SysexMessage();
    slot.expectedCommand.store (awaited);
    slot.waiting.store (true);

    const juce::MidiMessage message (bytes, count);
    tarnovelle::fuzz::reply_matcher::getController().handleIncomingMidiMessage (nullptr, message);

    const bool matched = ! slot.waiting.load();

    if (matched)
    {
        TARNOVELLE_FUZZ_CHECK (count >= 11 && count <= SysexMessage::capacity);
        TARNOVELLE_FUZZ_CHECK (bytes[0] == 0xf0 && bytes[count - 1] == 0xf7);
        TARNOVELLE_FUZZ_CHECK (bytes[8] == awaited && bytes[9] < 0x80);
        TARNOVELLE_FUZZ_CHECK (slot.value == bytes[9]);
        TARNOVELLE_FUZZ_CHECK (slot.reply.size() == count);
        TARNOVELLE_FUZZ_CHECK (std::equal (bytes, bytes + count, slot.reply.data()));
    }
    else
    {
        TARNOVELLE_FUZZ_CHECK (slot.value == 0xaa && slot.reply.size() == 0);
        slot.waiting.store (false);
    }

    return 0;
}
