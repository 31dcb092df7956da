#include "link/LinkClient.h"

#include "link/LinkSocket.h"

#include <sys/socket.h>
#include <unistd.h>

namespace tarnovelle
{

LinkClient::~LinkClient() { disconnect(); }

void LinkClient::disconnect()
{
    LinkSocket::close (socket);
    socket = -1;
    reader.reset();
}

bool LinkClient::open (const juce::File& socketFile, int timeoutMs)
{
    disconnect();
    socket = LinkSocket::connectTo (socketFile, timeoutMs, problem);
    return socket >= 0;
}

bool LinkClient::connect (const juce::File& socketFile, int timeoutMs)
{
    if (! open (socketFile, timeoutMs))
        return false;

    LinkMessage hello;
    hello.type = LinkMessage::Type::hello;
    hello.lowestVersion = oldestLinkVersion;
    hello.highestVersion = linkVersion;
    const auto frame = frameLinkPayload (encodeLinkMessage (hello));
    const auto answer = sendBytes (frame.getData(), frame.getSize(), timeoutMs) ? receive (timeoutMs) : std::nullopt;

    if (answer.has_value() && answer->type == LinkMessage::Type::hello)
    {
        peerName = answer->peerName;
        return true;
    }

    if (answer.has_value())
        problem = answer->text;

    disconnect();
    return false;
}

bool LinkClient::isStillOpen()
{
    char byte;

    // Between requests the program sends nothing: a readable link is one it has closed.
    if (socket >= 0 && LinkSocket::waitFor (socket, false, 0) && ::recv (socket, &byte, 1, MSG_PEEK) <= 0)
        disconnect();

    return socket >= 0;
}

bool LinkClient::sendBytes (const void* data, size_t size, int timeoutMs)
{
    const auto* bytes = static_cast<const char*> (data);
    const auto end = juce::Time::getMillisecondCounter() + (juce::uint32) timeoutMs;

    while (size > 0 && socket >= 0)
    {
        const auto sent = ::send (socket, bytes, size, MSG_NOSIGNAL);

        if (sent > 0)
        {
            bytes += sent;
            size -= (size_t) sent;
            continue;
        }

        const auto left = (int) (end - juce::Time::getMillisecondCounter());

        if ((sent < 0 && errno != EAGAIN && errno != EINTR) || left <= 0 || ! LinkSocket::waitFor (socket, true, left))
            return (problem = "the program does not take what is sent"), false;
    }

    return size == 0;
}

std::optional<LinkMessage> LinkClient::receive (int timeoutMs)
{
    const auto end = juce::Time::getMillisecondCounter() + (juce::uint32) timeoutMs;

    while (socket >= 0)
    {
        if (auto payload = reader.next())
        {
            const auto message = decodeLinkMessage (payload->getData(), payload->getSize(), problem);

            if (! message.has_value())
                problem = "the program's answer could not be read: " + problem;

            return message;
        }

        const auto left = (int) (end - juce::Time::getMillisecondCounter());

        if (left <= 0 || ! LinkSocket::waitFor (socket, false, left))
            return (problem = "the program did not answer in time"), std::nullopt;

        char bytes[4096];
        const auto count = ::read (socket, bytes, sizeof (bytes));

        if (count == 0 || (count < 0 && errno != EAGAIN && errno != EINTR))
            return (problem = "the program closed the link"), std::nullopt;

        if (count > 0 && ! reader.append (bytes, (size_t) count))
            return (problem = "the program's answer is larger than the link allows"), std::nullopt;
    }

    return std::nullopt;
}

LinkMessage LinkClient::lose (juce::uint32 requestId, const juce::String& why)
{
    disconnect();
    return LinkMessage::makeError (requestId, LinkMessage::Error::interrupted,
                                   "The link to the program was lost: " + why + ".");
}

LinkMessage LinkClient::request (LinkMessage message, const std::function<bool (int, int)>& onProgress,
                                 int silenceLimitMs)
{
    message.requestId = nextRequestId++;
    const auto frame = frameLinkPayload (encodeLinkMessage (message));

    if (! sendBytes (frame.getData(), frame.getSize(), silenceLimitMs))
        return lose (message.requestId, problem);

    bool cancelSent = false;

    // Answers to other requests (one given up earlier) are passed over, but not without end.
    for (int passedOver = 0; passedOver < 64; ++passedOver)
    {
        const auto answer = receive (silenceLimitMs);

        if (! answer.has_value())
            return lose (message.requestId, problem);

        // An error that answers no request (number 0) ends the link: the program closes it.
        if (answer->type == LinkMessage::Type::error && answer->requestId == 0)
            return (disconnect(), *answer);

        if (answer->requestId != message.requestId)
            continue;

        if (answer->type == LinkMessage::Type::progress)
        {
            if (onProgress && ! onProgress (answer->done, answer->total) && ! cancelSent)
            {
                LinkMessage cancel;
                cancel.type = LinkMessage::Type::cancel;
                cancel.requestId = message.requestId;
                const auto cancelFrame = frameLinkPayload (encodeLinkMessage (cancel));
                cancelSent = sendBytes (cancelFrame.getData(), cancelFrame.getSize(), silenceLimitMs);
            }

            continue;
        }

        if (answer->type == LinkMessage::Type::result || answer->type == LinkMessage::Type::error)
            return *answer;

        return lose (message.requestId, "it gave an answer of the wrong kind");
    }

    return lose (message.requestId, "it keeps answering other requests");
}

} // namespace tarnovelle
