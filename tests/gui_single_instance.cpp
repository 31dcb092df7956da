// One instance per user: the lock is the user's own. (Starts close together, and the running
// instance told of each, are tested end to end on the demo.)

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
        status: 0 when it is the first instance. As another user when uid is given.
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
