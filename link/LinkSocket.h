#pragma once

#include <juce_core/juce_core.h>

#include <optional>

namespace tarnovelle
{

/** Where and how the program and its plug-ins meet: a Unix socket in a folder of
    $XDG_RUNTIME_DIR that only this user can enter, and checks of who is at the other end.
    Every descriptor these functions give out is non-blocking and closed on exec.
*/
namespace LinkSocket
{
    /** `$XDG_RUNTIME_DIR/tarnovelle-connection/link`, its folder made (0700) when `create` is
        true. Nothing when XDG_RUNTIME_DIR is unset or not absolute, or when the folder is not
        a real folder of this user's that no one else may enter: the link is then off.
    */
    std::optional<juce::File> findSocketFile (bool create);

    /** Listens at the socket file, replacing a file left behind by a program that has ended.
        Returns the descriptor, or -1 (with the reason) when another program answers there or
        the socket cannot be made.
    */
    int listenAt (const juce::File& socketFile, juce::String& problem);

    /** Connects within the time given; -1 (with the reason) when no program listens there,
        or when the one that does runs as another user.
    */
    int connectTo (const juce::File& socketFile, int timeoutMs, juce::String& problem);

    /** Accepts one waiting peer: its descriptor, or -1 when none waits or the peer runs as
        another user (that connection is closed at once).
    */
    int acceptPeer (int listeningSocket);

    /** True when the process at the other end runs as this user. */
    bool isPeerThisUser (int socket);

    /** Waits up to timeoutMs for the socket to become readable (or writable); false on timeout. */
    bool waitFor (int socket, bool forWriting, int timeoutMs);

    void close (int socket);
} // namespace LinkSocket

} // namespace tarnovelle
