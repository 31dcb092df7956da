#pragma once

#include "link/LinkFrame.h"
#include "link/LinkMessage.h"

#include <functional>

namespace tarnovelle
{

/** A plug-in's end of the link: connects to the program, greets it, and makes one request at
    a time, waiting a bounded time for each answer. Blocking: it belongs on a thread of its own,
    never on the audio thread or the message thread.
*/
class LinkClient final
{
public:
    LinkClient() = default;
    ~LinkClient();

    /** Connects and greets within the time given. False (see getProblem) when no program
        listens, it runs as another user, or it speaks no version this build knows.
    */
    bool connect (const juce::File& socketFile, int timeoutMs);
    void disconnect();

    /** Connects without a hello: how a test speaks for a peer that never says one. */
    bool open (const juce::File& socketFile, int timeoutMs);

    bool isConnected() const noexcept { return socket >= 0; }

    /** Looks, without waiting, whether the program has closed the link; closes this end if so. */
    bool isStillOpen();

    /** The program's name as it gave it ("Tarnovelle Connection", or its demo's). */
    const juce::String& getPeerName() const noexcept { return peerName; }
    const juce::String& getProblem() const noexcept { return problem; }

    /** Sends the request (its number filled in) and waits for its result or error, calling
        onProgress for each progress on the way; when that returns false, the program is asked
        to stop the request. Each answer has silenceLimitMs to come; when none comes, or the
        link drops, the answer is an "interrupted" error and the link is closed.
    */
    LinkMessage request (LinkMessage message, const std::function<bool (int done, int total)>& onProgress,
                         int silenceLimitMs);

    /** Sends bytes as they are, framed or not: how a test speaks for a broken peer. */
    bool sendBytes (const void* data, size_t size, int timeoutMs);

    /** The next message that arrives within the time, or nothing (the problem then says why). */
    std::optional<LinkMessage> receive (int timeoutMs);

private:
    LinkMessage lose (juce::uint32 requestId, const juce::String& why);

    int socket = -1;
    juce::uint32 nextRequestId = 1;
    LinkFrameReader reader{ maxLinkMessageBytes };
    juce::String peerName, problem;

    JUCE_DECLARE_NON_COPYABLE_WITH_LEAK_DETECTOR (LinkClient)
};

} // namespace tarnovelle
