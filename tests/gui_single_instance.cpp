// One instance per user: the lock is a name only a running instance of the same user holds,
// wherever its runtime folder is. (Starts close together, and the running instance told of
// each by a box, are tested end to end on the demo.)

#include "app/SingleInstance.h"
#include "platform/Platform.h"
#include "tests/support/GuiTestSupport.h"

#include <sys/socket.h>
#include <sys/un.h>
#include <sys/wait.h>
#include <unistd.h>

namespace tarnovelle
{
namespace
{
    using namespace test;

    constexpr int nobody = 65534;

    /** A name no other test process uses, so that their locks never meet. */
    juce::String uniqueName (const char* what)
    {
        return "TarnovelleInstanceTest" + juce::String (what) + juce::String ((int) getpid());
    }

    /** Runs the work in a child process, as another start of the program (as user nobody when
        asked), and returns its exit status.
    */
    int inChild (const std::function<int()>& work, bool asNobody = false)
    {
        const auto child = fork();

        if (child == 0)
        {
            if (asNobody && (setgid ((gid_t) nobody) != 0 || setuid ((uid_t) nobody) != 0))
                _exit (2);

            _exit (work());
        }

        int status = -1;
        waitpid (child, &status, 0);
        return WIFEXITED (status) ? WEXITSTATUS (status) : -1;
    }

    /** A socket bound to the instance check's name (made by getSocketName) or connected to it
        without waiting, as `use` is bind or connect; -1 when that fails.
    */
    template <typename Use>
    int socketAt (const std::string& socketName, Use&& use, int flags = 0)
    {
        sockaddr_un address{};
        address.sun_family = AF_UNIX;
        std::copy (socketName.begin(), socketName.end(), address.sun_path + 1);
        const auto length = (socklen_t) (offsetof (sockaddr_un, sun_path) + 1 + socketName.size());
        const auto handle = socket (AF_UNIX, SOCK_STREAM | SOCK_CLOEXEC | flags, 0);

        if (use (handle, reinterpret_cast<sockaddr*> (&address), length) == 0)
            return handle;

        close (handle);
        return -1;
    }

    int bindName (const std::string& socketName) { return socketAt (socketName, ::bind); }
    int connectToName (const std::string& socketName) { return socketAt (socketName, ::connect, SOCK_NONBLOCK); }

    /** 1 when another instance runs, 0 when this start is the first. */
    int startAnother (const juce::String& name, const juce::String& runtimeFolder = {})
    {
        return inChild ([&] {
            if (runtimeFolder.isNotEmpty())
                setenv ("XDG_RUNTIME_DIR", runtimeFolder.toRawUTF8(), 1);

            SingleInstance instance (name);
            return instance.isAnotherInstanceRunning() && instance.notifyRunningInstance ("--from " + runtimeFolder)
                       ? 1
                       : 0;
        });
    }
} // namespace

TEST (SingleInstance, OneInstancePerUserWhateverItsRuntimeFolderAndEveryLaterStartTold)
{
    const auto name = uniqueName ("First");
    SingleInstance first (name);
    ASSERT_FALSE (first.isAnotherInstanceRunning());
    EXPECT_EQ (first.getProblem(), "");

    juce::StringArray told;
    first.listen ([&told] (const juce::String& commandLine) { told.add (commandLine.substring (0, 40)); });

    // A note longer than any command line is no start of this program: dropped, not told (it
    // is taken before the starts below, which find it handled when they are told).
    const auto flood = connectToName (SingleInstance::getSocketName (name).toStdString());
    const std::string tooLong (8192, 'x');
    EXPECT_EQ (send (flood, tooLong.data(), tooLong.size(), MSG_NOSIGNAL), (ssize_t) tooLong.size());
    close (flood);

    // A start from a desktop and one over ssh see different runtime folders, or none.
    EXPECT_EQ (startAnother (name, "/run/user/elsewhere"), 1);
    EXPECT_EQ (startAnother (name, "/nonexistent"), 1);

    for (int i = 0; i < 100 && told.size() < 2; ++i)
        Platform::runMessageLoopFor (20);

    told.sort (false);
    EXPECT_EQ (told, juce::StringArray ({ "--from /nonexistent", "--from /run/user/elsewhere" }));

    if (geteuid() == 0)
    {
        EXPECT_EQ (inChild ([&] { return SingleInstance (name).isAnotherInstanceRunning() ? 1 : 0; }, true), 0)
            << "another user gets an instance of their own";
    }
}

TEST (SingleInstance, AHolderOfTheNameThatTakesNoConnectionDelaysTheStartOneSecondAtMost)
{
    // Whoever took the name first listens with the shortest queue and fills it: a connect that
    // waits for a place in it waits for ever.
    const auto name = uniqueName ("Full");
    const auto socketName = SingleInstance::getSocketName (name).toStdString();
    const auto holder = bindName (socketName);
    ASSERT_EQ (listen (holder, 0), 0);
    std::vector<int> queued{ holder };

    for (int handle; (handle = connectToName (socketName)) >= 0;)
        queued.push_back (handle);

    // The start, in a process of its own, which ends after 5 s if the start waits.
    const juce::String noAnswer ("The name of its instance check is held by a program that does not answer.");
    const auto started = juce::Time::getMillisecondCounter();
    const auto startAlone = [&] {
        alarm (5);
        const SingleInstance start (name);
        return start.getProblem() == noAnswer && ! start.isAnotherInstanceRunning() ? 0 : 1;
    };
    EXPECT_EQ (inChild (startAlone), 0);
    EXPECT_LT (juce::Time::getMillisecondCounter() - started, 1500u);

    for (auto handle : queued)
        close (handle);
}

TEST (SingleInstance, ANameHeldByAnotherUserIsNoInstanceButAProblemTold)
{
    if (geteuid() != 0)
        GTEST_SKIP() << "starting as another user needs root";

    // Another user's program takes the name this user's instance would use, and holds it.
    const auto name = uniqueName ("Taken");
    const auto socketName = SingleInstance::getSocketName (name).toStdString();
    int ready[2];
    ASSERT_EQ (pipe (ready), 0);

    const auto squatter = fork();

    if (squatter == 0)
    {
        if (setgid ((gid_t) nobody) != 0 || setuid ((uid_t) nobody) != 0)
            _exit (2);

        const auto handle = bindName (socketName);

        if (handle < 0 || listen (handle, 4) != 0)
            _exit (3);

        (void) ! write (ready[1], "r", 1);
        pause();
        _exit (0);
    }

    char c = 0;
    close (ready[1]);
    ASSERT_EQ (read (ready[0], &c, 1), 1);

    const SingleInstance start (name);
    EXPECT_FALSE (start.isAnotherInstanceRunning());
    EXPECT_EQ (start.getProblem(), "The name of its instance check is held by a program of user id 65534.");

    kill (squatter, SIGKILL);
    waitpid (squatter, nullptr, 0);
    close (ready[0]);
}

} // namespace tarnovelle
