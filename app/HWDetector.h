#pragma once

#include "platform/MidiPorts.h"

#include <atomic>
#include <mutex>

namespace tarnovelle
{

using juce::uint8;

/** Finds the instrument among all MIDI ports with the MIDI Identity Request.

    Every input is opened; the request goes out on each output in turn; the first Identity
    Reply with the maker's ID and the expected family and member decides which input and
    output lead to the instrument. Runs under a modal progress window.
*/
class HWDetector final
{
public:
    static void setExpectedFamily (uint8 first, uint8 second);
    static void setExpectedMember (uint8 first, uint8 second);

    /** Returns true when the instrument was found; the input is then open and started with
        the given callback, and the output open. Otherwise both are null.
    */
    static bool detect (MidiPortCallback* callback, std::unique_ptr<MidiInputPort>& input,
                        std::unique_ptr<MidiOutputPort>& output);

    /** Asks the outputs named (by identifier) once each, without a window, listening on the
        inputs named: for ports that have just appeared, so that no other device hears more
        than one request. Returns as detect does.
    */
    static bool detectAmong (MidiPortCallback* callback, const juce::StringArray& inputIds,
                             const juce::StringArray& outputIds, std::unique_ptr<MidiInputPort>& input,
                             std::unique_ptr<MidiOutputPort>& output);

    /** The four version bytes of the last reply whose identity matched. */
    static void getFirmwareVersion (uint8& rev1, uint8& rev2, uint8& rev3, uint8& rev4);

    /** Sends F0 7E 7F 06 01 F7 on the output. */
    static void sendIdentityRequest (MidiOutputPort* output);

    /** Examines identity replies during one detection; shared by every opened input. */
    class MidiCallback final : public MidiPortCallback
    {
    public:
        MidiCallback() = default;

        void handleIncomingMidiMessage (MidiInputPort* source, const juce::MidiMessage& message) override;

        /** Clears the flag and the result before an output is probed. */
        void reset();

        /** Stops examining replies for the output being probed. */
        void stopListening();

        /** True once a reply has been examined, or when the detection stopped listening. */
        bool hasReceived() const noexcept { return received.load (std::memory_order_acquire); }

        /** Byte 2 of the matching reply, or FF when the examined reply did not match. */
        uint8 getDeviceId() const;

        /** The input on which the matching reply arrived. */
        MidiInputPort* getSource() const;

    private:
        void examine (MidiInputPort* source, const juce::MidiMessage& message);

        // Several inputs deliver at once: the first reply examined wins.
        mutable std::mutex mutex;
        std::atomic<bool> received{ false };
        uint8 deviceId = 0xff;
        MidiInputPort* source = nullptr;

        JUCE_DECLARE_NON_COPYABLE_WITH_LEAK_DETECTOR (MidiCallback)
    };

    class DetectionWindow;

private:
    static bool openFound (MidiPortCallback* callback, int inputIndex, int outputIndex,
                           std::unique_ptr<MidiInputPort>& input, std::unique_ptr<MidiOutputPort>& output);

    HWDetector() = delete;
};

} // namespace tarnovelle
