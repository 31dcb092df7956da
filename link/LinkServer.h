#pragma once

#include "link/LinkFrame.h"
#include "link/LinkMessage.h"

#include <juce_events/juce_events.h>

#include <map>

namespace tarnovelle
{

/** The program's end of the link: accepts the plug-ins of this user on the socket, greets
    them, reads their requests on a thread of its own and hands each, on the message thread,
    to the handler; replies go back from any thread.

    Whatever arrives is a stranger's: a peer of another user is closed at once; one that says
    nothing useful within the time allowed, sends a message that does not decode or is too
    large, or speaks no version this program knows, gets an error and is closed; one with too
    many requests under way gets "flood" for the next. None of that reaches the handler.
*/
class LinkServer final : private juce::Thread, private juce::AsyncUpdater
{
public:
    class Handler
    {
    public:
        virtual ~Handler() = default;

        /** A well-formed request from a greeted peer, on the message thread. */
        virtual void handleLinkRequest (juce::uint32 peerId, const LinkMessage& request) = 0;
    };

    /** Listens on the socket file given, answering hellos in the name given. Never waits for
        anyone: isListening() says whether the link is up.
    */
    LinkServer (const juce::File& socketFile, const juce::String& programName, Handler& handler);
    ~LinkServer() override;

    bool isListening() const noexcept { return listeningSocket >= 0; }
    const juce::String& getProblem() const noexcept { return problem; }

    /** Sends a message to a peer, from any thread; nothing when it has gone. A result or an
        error ends the request it answers.
    */
    void send (juce::uint32 peerId, const LinkMessage& message);

    int getNumPeers() const;

    /** False once the peer has gone (or was never there). */
    bool hasPeer (juce::uint32 peerId) const;

    /** True when the peer has gone or asked to stop this request of its. */
    bool isCancelled (juce::uint32 peerId, juce::uint32 requestId) const;

    /** The most requests one peer may have under way, and the most peers at once. */
    static constexpr int maxRequestsPerPeer = 4;
    static constexpr int maxPeers = 16;

    /** How long a peer may take to say hello, or to finish a message it has begun. */
    static constexpr juce::uint32 patienceMs = 5000;

private:
    struct Peer;

    void run() override;
    void handleAsyncUpdate() override;

    void acceptPeers();
    void readFrom (juce::uint32 peerId, Peer& peer);
    void takeMessage (juce::uint32 peerId, Peer& peer, const juce::MemoryBlock& payload);
    void greet (Peer& peer, const LinkMessage& hello);
    void refuse (Peer& peer, juce::uint32 requestId, LinkMessage::Error error, const juce::String& text);
    void writeTo (Peer& peer);
    void dropFinishedPeers();
    void wake();

    Handler& handler;
    const juce::String programName;
    const juce::File socketFile;
    juce::String problem;
    int listeningSocket = -1;
    int wakePipe[2] = { -1, -1 };

    mutable juce::CriticalSection lock;
    std::map<juce::uint32, std::unique_ptr<Peer>> peers;
    juce::uint32 nextPeerId = 1;
    std::vector<std::pair<juce::uint32, LinkMessage>> inbox;

    JUCE_DECLARE_NON_COPYABLE_WITH_LEAK_DETECTOR (LinkServer)
};

} // namespace tarnovelle
