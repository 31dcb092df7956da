#include "app/LinkService.h"

#include "link/LinkSocket.h"

namespace tarnovelle
{

LinkService::LinkService (ApplicationController& controllerToUse, const juce::String& programName,
                          std::optional<juce::File> socketFile)
    : controller (controllerToUse)
{
    if (! socketFile.has_value())
        socketFile = LinkSocket::findSocketFile (true);

    if (socketFile.has_value())
        server = std::make_unique<LinkServer> (*socketFile, programName, *this);

    if (server != nullptr && ! server->isListening())
    {
        DBG ("No link to plug-ins: " << server->getProblem());
    }
}

LinkService::~LinkService() = default;

void LinkService::handleLinkRequest (juce::uint32 peerId, const LinkMessage& request)
{
    if ((int) waiting.size() >= maxWaiting)
        return server->send (peerId, LinkMessage::makeError (request.requestId, LinkMessage::Error::flood,
                                                             "Too many requests are waiting; this one was not taken."));

    waiting.emplace_back (peerId, request);

    // A request that comes while another is carried out (its transfer runs the message loop)
    // waits its turn; it is not refused as busy, which is for the user's own operations.
    if (! carryingOut)
        carryOutWaiting();
}

void LinkService::carryOutWaiting()
{
    const juce::ScopedValueSetter<bool> busy (carryingOut, true);

    while (! waiting.empty())
    {
        const auto [peerId, request] = waiting.front();
        waiting.pop_front();

        // A plug-in that has gone (its host closed the project) is not acted for: nobody would
        // learn how its request ended.
        if (! server->hasPeer (peerId))
            continue;

        auto progress = [this, peerId = peerId, requestId = request.requestId] (int done, int total) {
            LinkMessage message;
            message.type = LinkMessage::Type::progress;
            message.requestId = requestId;
            message.done = done;
            message.total = total;
            server->send (peerId, message);
            return ! server->isCancelled (peerId, requestId);
        };

        server->send (peerId, controller.carryOutLinkRequest (request, progress));
    }
}

} // namespace tarnovelle
