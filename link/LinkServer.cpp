#include "link/LinkServer.h"

#include "link/LinkSocket.h"

#include <fcntl.h>
#include <poll.h>
#include <sys/socket.h>
#include <unistd.h>

namespace tarnovelle
{

namespace
{
    constexpr size_t readChunk = 4096;

    /** What a peer that stops reading may leave unsent before it is dropped. */
    constexpr size_t maxUnsentBytes = 16 * (size_t) maxLinkMessageBytes;
} // namespace

struct LinkServer::Peer
{
    explicit Peer (int socketToUse)
        : socket (socketToUse)
    {}

    ~Peer() { LinkSocket::close (socket); }

    const int socket;
    LinkFrameReader reader{ maxLinkMessageBytes };
    juce::MemoryBlock unsent;
    std::vector<juce::uint32> cancelled; // at most one per request under way
    bool greeted = false;
    bool closing = false; // closed once what is unsent has gone
    bool gone = false;
    int requestsUnderWay = 0;
    juce::uint32 waitingSince = juce::Time::getMillisecondCounter();

    JUCE_DECLARE_NON_COPYABLE_WITH_LEAK_DETECTOR (Peer)
};

LinkServer::LinkServer (const juce::File& socketFileToUse, const juce::String& name, Handler& handlerToUse)
    : juce::Thread ("link")
    , handler (handlerToUse)
    , programName (name)
    , socketFile (socketFileToUse)
{
    if (::pipe2 (wakePipe, O_NONBLOCK | O_CLOEXEC) != 0)
    {
        problem = "no pipe for the link";
        return;
    }

    listeningSocket = LinkSocket::listenAt (socketFile, problem);

    if (listeningSocket >= 0)
        startThread();
}

LinkServer::~LinkServer()
{
    signalThreadShouldExit();
    wake();
    stopThread (2000);
    cancelPendingUpdate();

    if (listeningSocket >= 0)
        socketFile.deleteFile();

    LinkSocket::close (listeningSocket);
    LinkSocket::close (wakePipe[0]);
    LinkSocket::close (wakePipe[1]);
}

int LinkServer::getNumPeers() const
{
    const juce::ScopedLock sl (lock);
    return (int) peers.size();
}

bool LinkServer::hasPeer (juce::uint32 peerId) const
{
    const juce::ScopedLock sl (lock);
    const auto found = peers.find (peerId);
    return found != peers.end() && ! found->second->gone;
}

bool LinkServer::isCancelled (juce::uint32 peerId, juce::uint32 requestId) const
{
    const juce::ScopedLock sl (lock);
    const auto found = peers.find (peerId);

    if (found == peers.end() || found->second->gone)
        return true;

    const auto& cancelled = found->second->cancelled;
    return std::find (cancelled.begin(), cancelled.end(), requestId) != cancelled.end();
}

void LinkServer::wake()
{
    const char byte = 0;

    if (wakePipe[1] >= 0) [[maybe_unused]]
        auto written = ::write (wakePipe[1], &byte, 1);
}

void LinkServer::send (juce::uint32 peerId, const LinkMessage& message)
{
    {
        const juce::ScopedLock sl (lock);
        const auto found = peers.find (peerId);

        if (found == peers.end() || found->second->gone)
            return;

        auto& peer = *found->second;
        const auto frame = frameLinkPayload (encodeLinkMessage (message));
        peer.unsent.append (frame.getData(), frame.getSize());

        if (message.type == LinkMessage::Type::result || message.type == LinkMessage::Type::error)
        {
            peer.requestsUnderWay = juce::jmax (0, peer.requestsUnderWay - 1);
            auto& cancelled = peer.cancelled;
            cancelled.erase (std::remove (cancelled.begin(), cancelled.end(), message.requestId), cancelled.end());
        }
    }

    wake();
}

void LinkServer::run()
{
    while (! threadShouldExit())
    {
        std::vector<pollfd> entries{ { wakePipe[0], POLLIN, 0 }, { listeningSocket, POLLIN, 0 } };
        std::vector<juce::uint32> ids;

        {
            const juce::ScopedLock sl (lock);

            for (auto& [id, peer] : peers)
            {
                entries.push_back ({ peer->socket, (short) (POLLIN | (peer->unsent.isEmpty() ? 0 : POLLOUT)), 0 });
                ids.push_back (id);
            }
        }

        // A second's sleep at most, so that a peer's patience is checked even when all is quiet.
        if (::poll (entries.data(), (nfds_t) entries.size(), 1000) < 0 && errno != EINTR)
            break;

        char drained[64];
        while (::read (wakePipe[0], drained, sizeof (drained)) > 0)
        {}

        if (entries[1].revents & POLLIN)
            acceptPeers();

        const juce::ScopedLock sl (lock);

        for (size_t i = 0; i < ids.size(); ++i)
        {
            const auto found = peers.find (ids[i]);

            if (found == peers.end())
                continue;

            if (entries[i + 2].revents & (POLLIN | POLLHUP | POLLERR))
                readFrom (ids[i], *found->second);

            writeTo (*found->second);
        }

        dropFinishedPeers();
    }
}

void LinkServer::acceptPeers()
{
    for (int fd; (fd = LinkSocket::acceptPeer (listeningSocket)) >= 0;)
    {
        const juce::ScopedLock sl (lock);

        if ((int) peers.size() >= maxPeers)
        {
            LinkSocket::close (fd);
            continue;
        }

        peers.emplace (nextPeerId++, std::make_unique<Peer> (fd));
    }
}

void LinkServer::readFrom (juce::uint32 peerId, Peer& peer)
{
    char bytes[readChunk];
    const auto count = ::read (peer.socket, bytes, sizeof (bytes));

    if (count <= 0)
    {
        if (count == 0 || (errno != EAGAIN && errno != EINTR))
            peer.gone = true;

        return;
    }

    // After an error the peer is only waited on to take it; what else it sends is not read.
    if (peer.closing)
        return;

    const bool wasInsideFrame = peer.reader.isInsideFrame();
    bool completed = false;

    if (! peer.reader.append (bytes, (size_t) count))
        return refuse (peer, 0, LinkMessage::Error::oversized, "The message is larger than the link allows.");

    while (auto payload = peer.reader.next())
    {
        takeMessage (peerId, peer, *payload);
        completed = true;

        if (peer.closing)
            return;
    }

    // The patience runs from the start of each message, and for the hello from the connection:
    // a peer trickling a message byte by byte is not waited on for ever.
    if (peer.greeted && (completed || ! wasInsideFrame))
        peer.waitingSince = juce::Time::getMillisecondCounter();
}

void LinkServer::takeMessage (juce::uint32 peerId, Peer& peer, const juce::MemoryBlock& payload)
{
    juce::String why;
    const auto message = decodeLinkMessage (payload.getData(), payload.getSize(), why);

    if (! message.has_value())
        return refuse (peer, 0, LinkMessage::Error::malformed, "The message could not be read: " + why + ".");

    if (message->type == LinkMessage::Type::hello)
        return greet (peer, *message);

    const bool isRequest = message->type == LinkMessage::Type::take || message->type == LinkMessage::Type::send
                           || message->type == LinkMessage::Type::compare
                           || message->type == LinkMessage::Type::openInEditor;

    // Kept only while a request can be under way for it: a peer cannot grow the list.
    if (message->type == LinkMessage::Type::cancel && peer.greeted)
    {
        if ((int) peer.cancelled.size() < maxRequestsPerPeer)
            peer.cancelled.push_back (message->requestId);

        return;
    }

    if (! peer.greeted || ! isRequest)
        return refuse (peer, message->requestId, LinkMessage::Error::malformed,
                       peer.greeted ? "Only requests are taken here." : "A hello comes first.");

    if (peer.requestsUnderWay >= maxRequestsPerPeer)
    {
        // The peer stays: it may wait for what it asked before and ask again.
        const auto frame = frameLinkPayload (encodeLinkMessage (LinkMessage::makeError (
            message->requestId, LinkMessage::Error::flood, "Too many requests at once; this one was not taken.")));
        peer.unsent.append (frame.getData(), frame.getSize());
        return;
    }

    ++peer.requestsUnderWay;
    inbox.emplace_back (peerId, *message);
    triggerAsyncUpdate();
}

void LinkServer::greet (Peer& peer, const LinkMessage& hello)
{
    const int version = juce::jmin (hello.highestVersion, linkVersion);

    if (peer.greeted || version < juce::jmax (hello.lowestVersion, oldestLinkVersion))
        return refuse (peer, hello.requestId, LinkMessage::Error::version,
                       peer.greeted ? "The hello was already made."
                                    : "This program speaks versions " + juce::String (oldestLinkVersion) + " to "
                                          + juce::String (linkVersion) + " of the link.");

    LinkMessage answer;
    answer.type = LinkMessage::Type::hello;
    answer.requestId = hello.requestId;
    answer.lowestVersion = answer.highestVersion = version;
    answer.peerName = programName;

    const auto frame = frameLinkPayload (encodeLinkMessage (answer));
    peer.unsent.append (frame.getData(), frame.getSize());
    peer.greeted = true;
}

void LinkServer::refuse (Peer& peer, juce::uint32 requestId, LinkMessage::Error error, const juce::String& text)
{
    const auto frame = frameLinkPayload (encodeLinkMessage (LinkMessage::makeError (requestId, error, text)));
    peer.unsent.append (frame.getData(), frame.getSize());
    peer.closing = true;
    peer.waitingSince = juce::Time::getMillisecondCounter();
}

void LinkServer::writeTo (Peer& peer)
{
    while (! peer.unsent.isEmpty() && ! peer.gone)
    {
        const auto count = ::send (peer.socket, peer.unsent.getData(), peer.unsent.getSize(), MSG_NOSIGNAL);

        if (count < 0)
        {
            if (errno != EAGAIN && errno != EINTR)
                peer.gone = true;

            break;
        }

        peer.unsent.removeSection (0, (size_t) count);
    }

    if (peer.unsent.getSize() > maxUnsentBytes)
        peer.gone = true;

    if (peer.closing && peer.unsent.isEmpty())
        peer.gone = true;
}

void LinkServer::dropFinishedPeers()
{
    const auto now = juce::Time::getMillisecondCounter();

    for (auto it = peers.begin(); it != peers.end();)
    {
        auto& peer = *it->second;
        // Waiting for a hello, for the rest of a message, or for an error to be taken.
        const bool waiting = ! peer.greeted || peer.reader.isInsideFrame() || peer.closing;

        if (peer.gone || (waiting && now - peer.waitingSince > patienceMs))
            it = peers.erase (it);
        else
            ++it;
    }
}

void LinkServer::handleAsyncUpdate()
{
    decltype (inbox) requests;

    {
        const juce::ScopedLock sl (lock);
        requests.swap (inbox);
    }

    for (auto& [peerId, request] : requests)
        handler.handleLinkRequest (peerId, request);
}

} // namespace tarnovelle
