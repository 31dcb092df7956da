#pragma once

#include "protocol/Transactions.h"

#include <algorithm>
#include <chrono>
#include <functional>
#include <thread>
#include <vector>

namespace tarnovelle::test
{

/** An output whose "instrument" answers each message sent from a script: on the sending thread
    before sendMessageNow returns, or on a thread of its own, a delay before each reply. Keeps
    every message sent.
*/
struct ScriptedOutput final : public MidiOutputPort
{
    using Bytes = std::vector<juce::uint8>;

    std::function<std::vector<juce::MidiMessage> (const Bytes& request)> answer;
    int delayMs = -1; // -1: answer inside sendMessageNow
    std::vector<Bytes> sent;
    std::vector<std::thread> threads;

    ~ScriptedOutput() override
    {
        for (auto& t : threads)
            t.join();
    }

    /** Answers every message with these replies. */
    void answerWith (std::vector<juce::MidiMessage> replies)
    {
        answer = [replies] (const Bytes&) { return replies; };
    }

    void write (const juce::MidiMessage& m) override
    {
        sent.emplace_back (m.getRawData(), m.getRawData() + m.getRawDataSize());
        auto play = [replies = answer ? answer (sent.back()) : std::vector<juce::MidiMessage>(),
                     delay = std::max (delayMs, 0)] {
            for (auto& reply : replies)
            {
                // The instrument's own slowness, which the tests of late replies are about.
                std::this_thread::sleep_for (std::chrono::milliseconds (delay));
                handleSysexReply (reply);
            }
        };

        if (delayMs < 0)
            play();
        else
            threads.emplace_back (std::move (play));
    }

    juce::String getName() const override { return "scripted"; }
};

} // namespace tarnovelle::test
