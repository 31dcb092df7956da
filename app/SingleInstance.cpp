#include "app/SingleInstance.h"

#include <cerrno>
#include <cstring>
#include <sys/socket.h>
#include <sys/un.h>
#include <unistd.h>

namespace tarnovelle
{

namespace
{
    constexpr int pollIntervalMs = 100;

    // A later start never waits longer than this for the holder of the name: whoever fills its
    // queue (another user may bind the name first) must not keep the program from starting.
    // Within it, a refused or full queue is tried again: the first instance binds before it
    // listens, and takes a moment to empty a queue that many starts close together filled.
    constexpr juce::uint32 connectDeadlineMs = 1000;
    constexpr int connectRetryMs = 20;

    // A later start that connected but never finished its note is dropped after this long.
    constexpr juce::uint32 noteTimeoutMs = 5000;

    // What one later start may send and how many may be pending: a note is a command line, and
    // anything longer or more numerous is not a start of this program.
    constexpr size_t maxNoteBytes = 4096;
    constexpr size_t maxPendingNotes = 16;
    constexpr int maxAcceptsPerPoll = 64;

    sockaddr_un addressOf (const juce::String& name, socklen_t& length)
    {
        sockaddr_un address{};
        address.sun_family = AF_UNIX;
        const auto bytes = name.toStdString();
        // The leading NUL puts the name in the abstract namespace, not in the file system.
        const auto size = std::min (bytes.size(), sizeof (address.sun_path) - 1);
        std::memcpy (address.sun_path + 1, bytes.data(), size);
        length = (socklen_t) (offsetof (sockaddr_un, sun_path) + 1 + size);
        return address;
    }

    /** The user id of the process at the other end of a connected socket, or -1. */
    int peerUserId (int handle)
    {
        ucred credentials{};
        socklen_t size = sizeof (credentials);

        if (getsockopt (handle, SOL_SOCKET, SO_PEERCRED, &credentials, &size) != 0)
            return -1;

        return (int) credentials.uid;
    }

    // Never inherited: a chooser or browser started from the program must not hold the name.
    int newSocket (int flags = 0) { return socket (AF_UNIX, SOCK_STREAM | SOCK_CLOEXEC | flags, 0); }

    juce::String systemError (const char* what)
    {
        return juce::String (what) + ": " + juce::String (std::strerror (errno));
    }
} // namespace

//==============================================================================
/** Accepts the connections of later starts from the message loop and hands each finished note
    to the callback. Notes of other users are never read.
*/
class SingleInstance::Listener final : private juce::Timer
{
public:
    Listener (int socketToWatch, std::function<void (const juce::String&)> callback)
        : listening (socketToWatch)
        , onStart (std::move (callback))
    {
        startTimer (pollIntervalMs);
    }

    ~Listener() override
    {
        stopTimer();

        for (auto& note : notes)
            close (note.handle);
    }

private:
    struct Note
    {
        int handle;
        juce::uint32 openedAt;
        std::string text;
    };

    void timerCallback() override
    {
        // The callback shows a modal box, whose loop calls the timers again: one at a time.
        if (handling)
            return;

        const juce::ScopedValueSetter<bool> busy (handling, true);
        acceptNewStarts();

        for (auto& commandLine : takeFinishedNotes())
            if (onStart)
                onStart (commandLine);
    }

    void acceptNewStarts()
    {
        // Bounded, so that a flood of connections cannot hold the message thread.
        for (int i = 0; i < maxAcceptsPerPoll; ++i)
        {
            const int handle = accept4 (listening, nullptr, nullptr, SOCK_NONBLOCK | SOCK_CLOEXEC);

            if (handle < 0)
                return;

            if (peerUserId (handle) == (int) getuid() && notes.size() < maxPendingNotes)
                notes.push_back ({ handle, juce::Time::getMillisecondCounter(), {} });
            else
                close (handle);
        }
    }

    juce::StringArray takeFinishedNotes()
    {
        juce::StringArray finished;

        for (auto note = notes.begin(); note != notes.end();)
        {
            char buffer[512];
            auto numRead = read (note->handle, buffer, sizeof (buffer));

            for (; numRead > 0 && note->text.size() <= maxNoteBytes;
                 numRead = read (note->handle, buffer, sizeof (buffer)))
                note->text.append (buffer, (size_t) numRead);

            const bool tooLong = note->text.size() > maxNoteBytes;
            const bool ended = numRead == 0 && ! tooLong;
            const bool stuck =
                tooLong
                || (numRead < 0
                    && (errno != EAGAIN || juce::Time::getMillisecondCounter() - note->openedAt > noteTimeoutMs));

            if (! ended && ! stuck)
            {
                ++note;
                continue;
            }

            if (ended)
                finished.add (juce::String::fromUTF8 (note->text.data(), (int) note->text.size()));

            close (note->handle);
            note = notes.erase (note);
        }

        return finished;
    }

    const int listening;
    std::function<void (const juce::String&)> onStart;
    std::vector<Note> notes;
    bool handling = false;
};

//==============================================================================
juce::String SingleInstance::getSocketName (const juce::String& applicationName)
{
    return applicationName.retainCharacters ("abcdefghijklmnopqrstuvwxyzABCDEFGHIJKLMNOPQRSTUVWXYZ0123456789")
           + "/instance/" + juce::String ((int) getuid());
}

SingleInstance::SingleInstance (const juce::String& applicationName)
{
    const auto name = getSocketName (applicationName);
    ownSocket = newSocket (SOCK_NONBLOCK);

    if (ownSocket < 0)
    {
        problem = systemError ("No socket for the instance check");
        return;
    }

    socklen_t length = 0;
    const auto address = addressOf (name, length);

    if (bind (ownSocket, reinterpret_cast<const sockaddr*> (&address), length) == 0)
    {
        if (::listen (ownSocket, SOMAXCONN) != 0)
            problem = systemError ("The instance check cannot listen");

        return;
    }

    const bool nameTaken = errno == EADDRINUSE;
    problem = systemError ("The instance check cannot bind its socket");
    close (ownSocket);
    ownSocket = -1;

    if (nameTaken)
        findOutWhoHoldsTheName (name);
}

void SingleInstance::findOutWhoHoldsTheName (const juce::String& name)
{
    socklen_t length = 0;
    const auto address = addressOf (name, length);
    const auto started = juce::Time::getMillisecondCounter();

    // Never a blocking connect: with the holder's queue full it would sleep until the holder
    // takes a connection, which a stranger never does.
    for (;;)
    {
        const int handle = newSocket (SOCK_NONBLOCK);

        if (handle < 0)
        {
            problem = systemError ("No socket for the instance check");
            return;
        }

        if (connect (handle, reinterpret_cast<const sockaddr*> (&address), length) == 0)
        {
            if (const int owner = peerUserId (handle); owner == (int) getuid())
            {
                runningInstance = handle;
                anotherInstance = true;
                problem = {};
            }
            else
            {
                problem =
                    "The name of its instance check is held by a program of user id " + juce::String (owner) + ".";
                close (handle);
            }

            return;
        }

        const bool mayAnswerLater = errno == EAGAIN || errno == ECONNREFUSED;
        problem = mayAnswerLater ? "The name of its instance check is held by a program that does not answer."
                                 : systemError ("The instance check cannot reach the holder of its name");
        close (handle);

        if (! mayAnswerLater || juce::Time::getMillisecondCounter() - started + connectRetryMs > connectDeadlineMs)
            return;

        juce::Thread::sleep (connectRetryMs);
    }
}

SingleInstance::~SingleInstance()
{
    listener.reset();

    for (auto handle : { ownSocket, runningInstance })
        if (handle >= 0)
            close (handle);
}

bool SingleInstance::notifyRunningInstance (const juce::String& commandLine)
{
    if (runningInstance < 0)
        return false;

    // The running instance reads no more than this; a note never waits for it to read.
    const auto text = commandLine.toStdString().substr (0, maxNoteBytes);
    size_t sent = 0;

    while (sent < text.size())
    {
        const auto numSent =
            send (runningInstance, text.data() + sent, text.size() - sent, MSG_NOSIGNAL | MSG_DONTWAIT);

        if (numSent <= 0)
            break;

        sent += (size_t) numSent;
    }

    // Closing ends the note: the running instance shows it once it has read to the end.
    close (runningInstance);
    runningInstance = -1;
    return sent == text.size();
}

void SingleInstance::listen (std::function<void (const juce::String&)> onAnotherInstance)
{
    if (ownSocket >= 0 && problem.isEmpty())
        listener = std::make_unique<Listener> (ownSocket, std::move (onAnotherInstance));
}

} // namespace tarnovelle
