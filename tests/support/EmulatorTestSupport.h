#pragma once

#include "emulator/EmulatedInstrument.h"
#include "emulator/EmulatedMidiBackend.h"
#include "tests/support/InstrumentRig.h"
#include "tests/support/MakerFrames.h"
#include "tests/support/Wait.h"

#include <functional>
#include <mutex>
#include <optional>
#include <thread>
#include <vector>

namespace tarnovelle::testing
{

using test::waitFor;

using Bytes = std::vector<juce::uint8>;
using Predicate = std::function<bool (const Bytes&)>;

/** One message as an input port or an output sink received it. */
struct ReceivedMessage
{
    MidiInputPort* source = nullptr;
    Bytes bytes;
    double time = 0.0; // Time::getMillisecondCounterHiRes on arrival
    std::thread::id thread;
};

/** Records everything that reaches it, from any thread. */
class RecordingCallback final : public MidiPortCallback
{
public:
    void handleIncomingMidiMessage (MidiInputPort* source, const juce::MidiMessage& m) override
    {
        const std::lock_guard<std::mutex> lock (mutex);
        messages.push_back ({ source, Bytes (m.getRawData(), m.getRawData() + m.getRawDataSize()),
                              juce::Time::getMillisecondCounterHiRes(), std::this_thread::get_id() });
    }

    /** A sink for EmulatedInstrument::setOutputSink that records into this object. */
    EmulatedInstrument::OutputSink asSink()
    {
        return [this] (const juce::MidiMessage& m) { handleIncomingMidiMessage (nullptr, m); };
    }

    std::vector<ReceivedMessage> getMessages (const Predicate& predicate = {}) const
    {
        const std::lock_guard<std::mutex> lock (mutex);
        std::vector<ReceivedMessage> result;

        for (auto& m : messages)
            if (! predicate || predicate (m.bytes))
                result.push_back (m);

        return result;
    }

    int count (const Predicate& predicate) const { return (int) getMessages (predicate).size(); }

    /** Waits for the n-th message matching the predicate; returns it, or nothing in time. */
    std::optional<ReceivedMessage> waitFor (const Predicate& predicate, int n = 1, int timeoutMs = 2000) const
    {
        if (! test::waitFor ([&] { return count (predicate) >= n; }, timeoutMs))
            return std::nullopt;

        return getMessages (predicate)[(size_t) n - 1];
    }

private:
    mutable std::mutex mutex;
    std::vector<ReceivedMessage> messages;
};

inline bool isActiveSensing (const Bytes& b) { return b.size() == 1 && b[0] == 0xfe; }

inline bool isIdentityReply (const Bytes& b) { return b.size() == 17 && b[0] == 0xf0 && b[1] == 0x7e && b[4] == 0x02; }

inline juce::MidiMessage toMessage (const Bytes& b) { return juce::MidiMessage (b.data(), (int) b.size()); }

inline juce::MidiMessage identityRequest (juce::uint8 deviceId = 0x7f)
{
    return toMessage ({ 0xf0, 0x7e, deviceId, 0x06, 0x01, 0xf7 });
}

/** A frame in the maker's format with a raw payload and the given counter byte, built by hand
    so that tests do not move the process's message counter.
*/
inline juce::MidiMessage rawFrame (juce::uint8 command, const Bytes& payload, juce::uint8 counter = 0)
{
    return toMessage (test::MakerFrames::frame (counter, (juce::uint8) payload.size(), command, payload));
}

} // namespace tarnovelle::testing
