#pragma once

#include "app/ApplicationController.h"
#include "link/LinkServer.h"

#include <deque>

namespace tarnovelle
{

/** The program's side of the link to its plug-ins: listens (when this user's runtime folder
    allows it, without ever holding up the start), queues the plug-ins' requests and carries
    them out one at a time through the application controller, answering each.
*/
class LinkService final : public LinkServer::Handler
{
public:
    /** Listens at the socket file given, or at the usual place when none is given. */
    LinkService (ApplicationController& controller, const juce::String& programName,
                 std::optional<juce::File> socketFile = std::nullopt);
    ~LinkService() override;

    bool isListening() const noexcept { return server != nullptr && server->isListening(); }
    int getNumPeers() const { return server != nullptr ? server->getNumPeers() : 0; }

    /** The most requests waiting their turn, from all plug-ins together. */
    static constexpr int maxWaiting = 16;

    void handleLinkRequest (juce::uint32 peerId, const LinkMessage& request) override;

private:
    void carryOutWaiting();

    ApplicationController& controller;
    std::unique_ptr<LinkServer> server;
    std::deque<std::pair<juce::uint32, LinkMessage>> waiting;
    bool carryingOut = false;

    JUCE_DECLARE_NON_COPYABLE_WITH_LEAK_DETECTOR (LinkService)
};

} // namespace tarnovelle
