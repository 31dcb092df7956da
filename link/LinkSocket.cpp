#include "link/LinkSocket.h"

#include <cerrno>
#include <cstring>
#include <fcntl.h>
#include <poll.h>
#include <sys/socket.h>
#include <sys/stat.h>
#include <sys/un.h>
#include <unistd.h>

namespace tarnovelle::LinkSocket
{

namespace
{
    const char* folderName = "tarnovelle-connection";
    const char* socketName = "link";

    /** A folder of this user's that no one else may enter, not reached through a link. */
    bool isPrivateFolder (const juce::String& path, bool mayBeShared)
    {
        struct stat info
        {};

        if (::lstat (path.toRawUTF8(), &info) != 0 || ! S_ISDIR (info.st_mode) || info.st_uid != ::getuid())
            return false;

        return mayBeShared || (info.st_mode & 077) == 0;
    }

    bool makeAddress (const juce::File& socketFile, sockaddr_un& address)
    {
        const auto path = socketFile.getFullPathName();
        address = {};
        address.sun_family = AF_UNIX;

        if ((size_t) path.getNumBytesAsUTF8() >= sizeof (address.sun_path))
            return false;

        std::memcpy (address.sun_path, path.toRawUTF8(), (size_t) path.getNumBytesAsUTF8());
        return true;
    }

    int makeSocket() { return ::socket (AF_UNIX, SOCK_STREAM | SOCK_NONBLOCK | SOCK_CLOEXEC, 0); }

    /** Starts a connection and waits for it; the descriptor, or -1 with errno telling why. */
    int connectWithin (const sockaddr_un& address, int timeoutMs)
    {
        const int fd = makeSocket();

        if (fd < 0)
            return -1;

        if (::connect (fd, reinterpret_cast<const sockaddr*> (&address), sizeof (address)) == 0)
            return fd;

        int error = errno;

        if (error == EINPROGRESS || error == EAGAIN)
        {
            socklen_t length = sizeof (error);
            error = ETIMEDOUT;

            if (waitFor (fd, true, timeoutMs))
                ::getsockopt (fd, SOL_SOCKET, SO_ERROR, &error, &length);

            if (error == 0)
                return fd;
        }

        ::close (fd);
        errno = error;
        return -1;
    }
} // namespace

std::optional<juce::File> findSocketFile (bool create)
{
    const auto* runtime = ::getenv ("XDG_RUNTIME_DIR");

    if (runtime == nullptr || runtime[0] != '/')
        return std::nullopt;

    // The runtime folder itself is the system's, made for this user; ours inside it is checked
    // after it is made, so a folder someone else put there first is never used.
    const juce::File folder = juce::File (juce::String::fromUTF8 (runtime)).getChildFile (folderName);

    if (! isPrivateFolder (folder.getParentDirectory().getFullPathName(), true))
        return std::nullopt;

    if (create)
        ::mkdir (folder.getFullPathName().toRawUTF8(), 0700);

    if (! isPrivateFolder (folder.getFullPathName(), false))
        return std::nullopt;

    return folder.getChildFile (socketName);
}

int listenAt (const juce::File& socketFile, juce::String& problem)
{
    sockaddr_un address;

    if (! makeAddress (socketFile, address))
        return (problem = "the link's path is too long"), -1;

    // A socket file whose program has ended refuses connections and is replaced; one that
    // answers belongs to a program still running, which keeps it.
    struct stat info
    {};

    if (::lstat (address.sun_path, &info) == 0)
    {
        if (! S_ISSOCK (info.st_mode))
            return (problem = "something other than a socket is in the link's place"), -1;

        if (const int other = connectWithin (address, 100); other >= 0)
        {
            ::close (other);
            return (problem = "another program already listens on the link"), -1;
        }

        ::unlink (address.sun_path);
    }

    const int fd = makeSocket();

    if (fd < 0 || ::bind (fd, reinterpret_cast<const sockaddr*> (&address), sizeof (address)) != 0
        || ::listen (fd, 8) != 0)
    {
        problem = juce::String ("the link cannot listen: ") + juce::String (std::strerror (errno));

        if (fd >= 0)
            ::close (fd);

        return -1;
    }

    ::chmod (address.sun_path, 0600);
    return fd;
}

int connectTo (const juce::File& socketFile, int timeoutMs, juce::String& problem)
{
    sockaddr_un address;

    if (! makeAddress (socketFile, address))
        return (problem = "the link's path is too long"), -1;

    const int fd = connectWithin (address, timeoutMs);

    if (fd < 0)
        return (problem = juce::String ("no program answers on the link: ") + juce::String (std::strerror (errno))), -1;

    if (! isPeerThisUser (fd))
    {
        ::close (fd);
        return (problem = "the program on the link runs as another user"), -1;
    }

    return fd;
}

int acceptPeer (int listeningSocket)
{
    const int fd = ::accept4 (listeningSocket, nullptr, nullptr, SOCK_NONBLOCK | SOCK_CLOEXEC);

    if (fd >= 0 && ! isPeerThisUser (fd))
    {
        ::close (fd);
        return -1;
    }

    return fd;
}

bool isPeerThisUser (int socket)
{
    ucred peer{};
    socklen_t length = sizeof (peer);
    return ::getsockopt (socket, SOL_SOCKET, SO_PEERCRED, &peer, &length) == 0 && length == sizeof (peer)
           && peer.uid == ::getuid();
}

bool waitFor (int socket, bool forWriting, int timeoutMs)
{
    pollfd entry{ socket, (short) (forWriting ? POLLOUT : POLLIN), 0 };
    const auto end = juce::Time::getMillisecondCounter() + (juce::uint32) juce::jmax (0, timeoutMs);

    for (;;)
    {
        const auto left = (int) (end - juce::Time::getMillisecondCounter());
        const int ready = ::poll (&entry, 1, juce::jmax (0, left));

        if (ready > 0)
            return true;

        if (ready == 0 || errno != EINTR || left <= 0)
            return false;
    }
}

void close (int socket)
{
    if (socket >= 0)
        ::close (socket);
}

} // namespace tarnovelle::LinkSocket
