#pragma once

#include "platform/MidiPorts.h"
#include "protocol/SysexMessage.h"

#include <atomic>

namespace tarnovelle
{

/** The one outstanding request of the process and the reply that answers it.

    Each request takes a new generation number. A matcher answers only the generation it saw
    waiting, and only after claiming it; a wait that gives up claims its own generation first.
    Exactly one of them wins the claim, so a reply that arrives at the moment a wait gives up
    either answers that wait or is dropped, and can never answer the request after it.

    The MIDI input thread writes value and reply, then clears waiting (release); the waiting
    thread reads them only after it has seen waiting cleared (acquire).
*/
struct ReplySlot
{
    std::atomic<bool> waiting{ false };
    std::atomic<uint8> expectedCommand{ 0 };
    uint8 value = 0;
    SysexMessage reply;

    /** Starts waiting for a reply with this command; returns the request's generation. */
    juce::uint32 arm (uint8 command) noexcept;

    /** The generation waiting for a reply with this command, or 0 when none is. */
    juce::uint32 findWaitingFor (uint8 command) const noexcept;

    /** Stores the reply as the answer to that generation and ends its wait. Returns false,
        storing nothing, when that wait has already been answered or has given up.
    */
    bool answer (juce::uint32 requestGeneration, const SysexMessage& received) noexcept;

    /** Ends the wait of that generation without an answer. Returns false when a reply has
        claimed it first: the wait then counts as answered, and this returns once the reply
        has been stored.
    */
    bool giveUp (juce::uint32 requestGeneration) noexcept;

private:
    bool claim (juce::uint32 requestGeneration) noexcept;

    std::atomic<juce::uint32> generation{ 0 };
    std::atomic<juce::uint32> claimedGeneration{ 0 };
};

/** The process-wide reply slot. */
ReplySlot& getReplySlot() noexcept;

/** The process-wide re-entrant lock held around every setting and sequence exchange. */
juce::CriticalSection& getDeviceLock() noexcept;

constexpr int replyWaitSlices = 25;
constexpr int replyWaitSliceMs = 20;

/** Sends the message at once; nothing is awaited. An empty message is not sent, nor anything
    once the program has been asked to end (QuitRequest).
*/
void sendSysex (MidiOutputPort* output, const SysexMessage& message);

/** Sends the request and waits for a reply whose byte 8 is expectedCommand, running the
    message loop in slices of 20 ms, at most 25 of them. Returns true when it came in time;
    the value is then byte 9 of the reply.

    A wait started while another wait is in progress is refused at once (returns false) and
    leaves the outer wait untouched. Once the program has been asked to end, nothing is sent
    and a running wait ends at once, as a time-out unless its reply is already in.
*/
bool sendAndWaitForValue (MidiOutputPort* output, const SysexMessage& request, uint8 expectedCommand, uint8& value);

/** As sendAndWaitForValue, handing back a copy of the whole reply. */
bool sendAndWaitForMessage (MidiOutputPort* output, const SysexMessage& request, uint8 expectedCommand,
                            SysexMessage& reply);

/** Offers an incoming message to the reply slot; called on the MIDI input thread for every
    message but Active Sensing. Only whole SysEx frames of 11 to 48 bytes whose byte 9 is a
    data byte (the value) can match.
*/
void handleSysexReply (const juce::MidiMessage& message);

} // namespace tarnovelle
