// One instance per user: the lock taken once, before any window, and the notes of later starts.

#include "app/SingleInstance.h"
#include "tests/support/GuiTestSupport.h"

#include <sys/wait.h>
#include <unistd.h>

namespace tarnovelle
{
namespace
{
    using namespace test;

    /** A name no other test process uses, so that their locks never meet. */
    juce::String uniqueName() { return "TarnovelleInstanceTest" + juce::String ((int) getpid()); }

    /** Runs the check in a child process, as another start of the program, and returns its exit
        status; as another user when uid is given.
    */
    int startElsewhere (const juce::String& name, int uid = -1)
    {
        const auto child = fork();

        if (child == 0)
        {
            if (uid >= 0 && (setgid ((gid_t) uid) != 0 || setuid ((uid_t) uid) != 0))
                _exit (2);

            const SingleInstance instance (name);
            _exit (instance.isAnotherInstanceRunning() ? 1 : 0);
        }

        int status = -1;
        waitpid (child, &status, 0);
        return WIFEXITED (status) ? WEXITSTATUS (status) : -1;
    }
} // namespace

TEST (SingleInstance, TheFirstStartHoldsTheLockUntilItEndsAndHearsOfEveryLaterStart)
{
    const auto name = uniqueName();
    juce::StringArray heard;
    juce::File folder;

    {
        SingleInstance first (name);
        folder = first.getFolder();
        ASSERT_FALSE (first.isAnotherInstanceRunning());
        EXPECT_EQ (startElsewhere (name), 1);

        // Later starts before the first one listens, and while it does: each is heard once.
        SingleInstance second (name);
        EXPECT_TRUE (second.isAnotherInstanceRunning());
        EXPECT_TRUE (second.notifyRunningInstance ("one"));
        first.listen ([&] (const juce::String& commandLine) { heard.add (commandLine); });
        EXPECT_TRUE (second.notifyRunningInstance ("two"));

        const auto end = juce::Time::getMillisecondCounter() + 5000;

        while (heard.size() < 2 && juce::Time::getMillisecondCounter() < end)
            pumpMessages();

        pumpMessages (300);
        heard.sort (false);
        EXPECT_EQ (heard, juce::StringArray ({ "one", "two" }));
    }

    // Once it has ended, a new start is the first again.
    EXPECT_EQ (startElsewhere (name), 0);
    folder.deleteRecursively();
}

TEST (SingleInstance, AnotherUserGetsAnInstanceOfTheirOwn)
{
    if (geteuid() != 0)
        GTEST_SKIP() << "starting as another user needs root";

    // Without a runtime folder each user's lock lies in a folder named after the user id.
    const auto runtime = juce::SystemStats::getEnvironmentVariable ("XDG_RUNTIME_DIR", {});
    unsetenv ("XDG_RUNTIME_DIR");
    const auto name = uniqueName();
    constexpr int nobody = 65534;

    {
        const SingleInstance first (name);
        ASSERT_FALSE (first.isAnotherInstanceRunning());
        EXPECT_EQ (startElsewhere (name), 1);
        EXPECT_EQ (startElsewhere (name, nobody), 0);
    }

    for (auto uid : { (int) getuid(), nobody })
        juce::File ("/tmp").getChildFile (name + "-" + juce::String (uid)).deleteRecursively();

    if (runtime.isNotEmpty())
        setenv ("XDG_RUNTIME_DIR", runtime.toRawUTF8(), 1);
}

} // namespace tarnovelle
