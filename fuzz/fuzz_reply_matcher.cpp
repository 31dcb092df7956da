// The application's MIDI input: whatever arrives while a request waits, only a whole frame
// with the awaited command in byte 8 and a data byte in byte 9 fills the reply slot, and the
// slot then holds exactly that frame.

#include "app/ApplicationController.h"
#include "emulator/RecordingView.h"
#include "fuzz/FuzzTarget.h"
#include "protocol/Transactions.h"

// Input: the awaited command, then the bytes of one incoming message (JUCE's MIDI inputs never
// deliver an empty one).
TARNOVELLE_FUZZ_TARGET (fuzzReplyMatcher, 1, 1)
{
    static test::RecordingView view;
    static ApplicationController controller (view);

    const uint8 awaited = header[0];
    auto& slot = getReplySlot();
    slot.value = 0xaa;
    slot.reply = SysexMessage();
    const auto requestGeneration = slot.arm (awaited);

    controller.handleIncomingMidiMessage (nullptr, juce::MidiMessage (bytes, count));

    if (! slot.waiting.load())
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
        TARNOVELLE_FUZZ_CHECK (slot.giveUp (requestGeneration));
    }
}
