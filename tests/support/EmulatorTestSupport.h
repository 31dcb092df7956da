#pragma once

#include "emulator/EmulatedInstrument.h"
#include "emulator/EmulatedMidiBackend.h"

#include <chrono>
#include <condition_variable>
#include <functional>
#include <mutex>
#include <optional>
#include <vector>

namespace tarnovelle::testing
{

using Bytes = std::vector<juce::uint8>;

/** Polls the condition until it holds or the time is up; returns its last result. */
inline bool waitUntil (const std::function<bool()>& condition, int timeoutMs = 2000)
{
    const auto end = juce::Time::getMillisecondCounterHiRes() + timeoutMs;

    while (! condition())
    {
        if (juce::Time::getMillisecondCounterHiRes() >= end)
            return condition();

        juce::Thread::sleep (2);
    }

    return true;
}

inline Bytes bytesOf (const juce::MidiMessage& message)
{
    return { message.getRawData(), message.getRawData() + message.getRawDataSize() };
}

/** One message as an input port or an output sink received it. */
struct ReceivedMessage
{
    MidiInputPort* source = nullptr;
    Bytes bytes;
    double time = 0.0; // Time::getMillisecondCounterHiRes on arrival
};

/** Records everything that reaches it, from any thread. */
class RecordingCallback final : public MidiPortCallback
{
public:
    using Predicate = std::function<bool (const Bytes&)>;

    void handleIncomingMidiMessage (MidiInputPort* source, const juce::MidiMessage& message) override
    {
        record (source, bytesOf (message));
    }

    /** A sink for EmulatedInstrument::setOutputSink that records into this object. */
    EmulatedInstrument::OutputSink asSink()
    {
        return [this] (const juce::MidiMessage& message) { record (nullptr, bytesOf (message)); };
    }

    std::vector<ReceivedMessage> getMessages() const
    {
        const std::lock_guard<std::mutex> lock (mutex);
        return messages;
    }

    std::vector<ReceivedMessage> getMatching (const Predicate& predicate) const
    {
        const std::lock_guard<std::mutex> lock (mutex);
        std::vector<ReceivedMessage> result;

        for (auto& m : messages)
            if (predicate (m.bytes))
                result.push_back (m);

        return result;
    }

    int count (const Predicate& predicate) const
    {
        const std::lock_guard<std::mutex> lock (mutex);
        return countLocked (predicate);
    }

    /** Waits for the n-th message matching the predicate; returns it, or nothing in time. */
    std::optional<ReceivedMessage> waitFor (const Predicate& predicate, int n = 1, int timeoutMs = 2000) const
    {
        std::unique_lock<std::mutex> lock (mutex);

        if (! arrived.wait_for (lock, std::chrono::milliseconds (timeoutMs),
                                [&] { return countLocked (predicate) >= n; }))
            return std::nullopt;

        for (auto& m : messages)
            if (predicate (m.bytes) && --n == 0)
                return m;

        return std::nullopt;
    }

    void clear()
    {
        const std::lock_guard<std::mutex> lock (mutex);
        messages.clear();
    }

private:
    int countLocked (const Predicate& predicate) const
    {
        int n = 0;

        for (auto& m : messages)
            if (predicate (m.bytes))
                ++n;

        return n;
    }

    void record (MidiInputPort* source, Bytes bytes)
    {
        {
            const std::lock_guard<std::mutex> lock (mutex);
            messages.push_back ({ source, std::move (bytes), juce::Time::getMillisecondCounterHiRes() });
        }

        arrived.notify_all();
    }

    mutable std::mutex mutex;
    mutable std::condition_variable arrived;
    std::vector<ReceivedMessage> messages;
};

inline bool isActiveSensing (const Bytes& b) { return b.size() == 1 && b[0] == 0xfe; }

inline bool isIdentityReply (const Bytes& b) { return b.size() == 17 && b[0] == 0xf0 && b[1] == 0x7e && b[4] == 0x02; }

/** A frame in the maker's format with this command byte. */
inline std::function<bool (const Bytes&)> isFrameWithCommand (juce::uint8 command)
{
    return [command] (const Bytes& b) {
        return b.size() >= 10 && b[0] == 0xf0 && b[1] == 0x00 && b[2] == 0x5c && b[3] == 0x3d && b[8] == command;
    };
}

inline juce::MidiMessage identityRequest()
{
    const juce::uint8 bytes[] = { 0xf0, 0x7e, 0x7f, 0x06, 0x01, 0xf7 };
    return juce::MidiMessage (bytes, (int) sizeof (bytes));
}

/** A frame in the maker's format with a raw payload and the given counter byte, built by hand
    so that tests do not move the process's message counter.
*/
inline juce::MidiMessage rawFrame (juce::uint8 command, const Bytes& payload, juce::uint8 counter = 0)
{
    Bytes b{ 0xf0, 0x00, 0x5c, 0x3d, 0x05, 0x01, counter, (juce::uint8) payload.size(), command };
    b.insert (b.end(), payload.begin(), payload.end());
    b.push_back (0xf7);
    return juce::MidiMessage (b.data(), (int) b.size());
}

} // namespace tarnovelle::testing
