// The window figures: the demo's start, memory and idle load against a bare JUCE window, as
// processes under the X server.

#include "Figures.h"
#include "Harness.h"

#include "emulator/EmulatedInstrument.h"

#include <juce_events/juce_events.h>

#include <X11/Xlib.h>
#include <X11/Xutil.h>

#include <atomic>
#include <cstdio>
#include <string>
#include <thread>

#include <csignal>
#include <fcntl.h>
#include <poll.h>
#include <spawn.h>
#include <sys/wait.h>
#include <unistd.h>

extern char** environ;

namespace tarnovelle::benchmark
{

namespace
{
    int ignoreXError (Display*, XErrorEvent*) { return 0; }
} // namespace

void ignoreXErrorsOfWindowsWithoutManager()
{
    // Without a window manager JUCE sets window properties whose atoms the X server does not
    // know; Xlib's default handler would end the program for it.
    XSetErrorHandler (&ignoreXError);
}

namespace
{
    //==============================================================================
    // The programs under an X server.

    /** Reports top-level windows as the X server maps them. */
    class WindowWatcher final
    {
    public:
        WindowWatcher()
            : display (XOpenDisplay (nullptr))
        {
            if (display == nullptr)
                return;

            // A window that goes away while it is looked at is no reason to end the benchmark.
            XSetErrorHandler (&ignoreErrors);
            XSelectInput (display, DefaultRootWindow (display), SubstructureNotifyMask);
            XSync (display, False);
        }

        ~WindowWatcher()
        {
            if (display != nullptr)
                XCloseDisplay (display);
        }

        bool isOpen() const noexcept { return display != nullptr; }

        struct Shown
        {
            Window window = 0;
            double mappedMs = -1.0; // from `since`; negative on time-out
        };

        /** Waits until a window of that title is mapped. A window mapped before its title was set
            counts from its mapping.
        */
        Shown waitForMappedWindow (const std::string& title, Clock::time_point since, int timeoutMs)
        {
            const auto start = Clock::now();
            std::vector<std::pair<Window, double>> untitled;

            while (millisecondsSince (start) < timeoutMs)
            {
                while (XPending (display) > 0)
                {
                    XEvent event;
                    XNextEvent (display, &event);

                    if (event.type == MapNotify)
                        untitled.push_back ({ event.xmap.window, millisecondsSince (since) });
                }

                for (auto& [window, mappedAt] : untitled)
                    if (titleOf (window) == title)
                        return { window, mappedAt };

                pollfd fd{ ConnectionNumber (display), POLLIN, 0 };
                poll (&fd, 1, 5);
            }

            return {};
        }

        /** Waits until the window's middle row shows a painted panel rather than a plain
            background (many colours instead of one or two); returns the milliseconds from
            `since`, or a negative number on time-out.
        */
        double waitForPaintedContent (Window window, Clock::time_point since, int timeoutMs)
        {
            const auto start = Clock::now();

            while (millisecondsSince (start) < timeoutMs)
            {
                if (countColoursInMiddleRow (window) >= 8)
                    return millisecondsSince (since);

                juce::Thread::sleep (5);
            }

            return -1.0;
        }

    private:
        static int ignoreErrors (Display*, XErrorEvent*) { return 0; }

        int countColoursInMiddleRow (Window window)
        {
            XWindowAttributes attributes{};

            if (XGetWindowAttributes (display, window, &attributes) == 0 || attributes.map_state != IsViewable)
                return 0;

            auto* image = XGetImage (display, window, 0, attributes.height / 2, (unsigned) attributes.width, 1,
                                     AllPlanes, ZPixmap);

            if (image == nullptr)
                return 0;

            std::vector<unsigned long> colours;

            for (int x = 0; x < attributes.width; ++x)
            {
                const auto pixel = XGetPixel (image, x, 0);

                if (std::find (colours.begin(), colours.end(), pixel) == colours.end())
                    colours.push_back (pixel);
            }

            XDestroyImage (image);
            return (int) colours.size();
        }

        /** WM_NAME as it is stored (JUCE stores UTF-8, which XFetchName does not return). */
        std::string titleOf (Window window)
        {
            XTextProperty property{};
            std::string title;

            if (XGetWMName (display, window, &property) != 0 && property.value != nullptr)
            {
                title.assign ((const char*) property.value, (size_t) property.nitems);
                XFree (property.value);
            }

            return title;
        }

        Display* display;

        JUCE_DECLARE_NON_COPYABLE (WindowWatcher)
    };

    /** A program started by the benchmark, ended with it. */
    class ChildProcess final
    {
    public:
        ChildProcess (const std::vector<std::string>& arguments, const std::vector<std::string>& extraEnvironment,
                      const std::string& logFile)
        {
            std::vector<std::string> environment (extraEnvironment);

            for (char** e = environ; *e != nullptr; ++e)
                environment.push_back (*e);

            std::vector<char*> argv, envp;

            for (auto& a : arguments)
                argv.push_back (const_cast<char*> (a.c_str()));

            for (auto& e : environment)
                envp.push_back (const_cast<char*> (e.c_str()));

            argv.push_back (nullptr);
            envp.push_back (nullptr);

            posix_spawn_file_actions_t actions;
            posix_spawn_file_actions_init (&actions);
            posix_spawn_file_actions_addopen (&actions, 1, logFile.c_str(), O_WRONLY | O_CREAT | O_TRUNC, 0644);
            posix_spawn_file_actions_adddup2 (&actions, 1, 2);

            if (posix_spawnp (&pid, argv[0], &actions, nullptr, argv.data(), envp.data()) != 0)
                pid = -1;

            posix_spawn_file_actions_destroy (&actions);
        }

        ~ChildProcess() { stop(); }

        pid_t getPid() const noexcept { return pid; }
        bool isRunning() { return pid > 0 && waitpid (pid, nullptr, WNOHANG) == 0; }

        void stop()
        {
            if (pid <= 0)
                return;

            kill (pid, SIGTERM);

            for (int i = 0; i < 100 && waitpid (pid, nullptr, WNOHANG) == 0; ++i)
                juce::Thread::sleep (20);

            if (waitpid (pid, nullptr, WNOHANG) == 0)
            {
                kill (pid, SIGKILL);
                waitpid (pid, nullptr, 0);
            }

            pid = -1;
        }

        /** utime + stime of every thread so far, in seconds. */
        double cpuSeconds() const
        {
            const auto stat = readWholeFile ("/proc/" + std::to_string (pid) + "/stat");
            std::istringstream fields (stat.substr (stat.rfind (')') + 2));
            std::vector<std::string> values;
            std::string value;

            while (fields >> value)
                values.push_back (value);

            // The fields after the name start with the third (state); utime and stime are the 14th and 15th.
            if (values.size() < 13)
                return 0.0;

            const auto ticks = std::stod (values[11]) + std::stod (values[12]);
            return ticks / (double) sysconf (_SC_CLK_TCK);
        }

        /** A line of /proc/<pid>/status in MiB, e.g. "VmHWM". */
        double statusMiB (const std::string& key) const
        {
            std::istringstream status (readWholeFile ("/proc/" + std::to_string (pid) + "/status"));
            std::string line;

            while (std::getline (status, line))
                if (line.rfind (key + ":", 0) == 0)
                    return std::stod (line.substr (key.size() + 1)) / 1024.0;

            return 0.0;
        }

    private:
        pid_t pid = -1;

        JUCE_DECLARE_NON_COPYABLE (ChildProcess)
    };

    bool waitForText (const juce::File& log, const juce::String& text, int timeoutMs)
    {
        const auto end = juce::Time::getMillisecondCounter() + (juce::uint32) timeoutMs;

        while (juce::Time::getMillisecondCounter() < end)
        {
            if (log.loadFileAsString().contains (text))
                return true;

            juce::Thread::sleep (20);
        }

        return false;
    }
} // namespace

void measureWindows (const juce::File& binFolder, int idleSeconds, const juce::File& screenshot)
{
    const auto demo = binFolder.getChildFile ("TarnovelleConnectionDemo");
    const auto bare = binFolder.getChildFile ("tarnovelle_bare_window");

    if (! demo.existsAsFile() || ! bare.existsAsFile())
    {
        failures.push_back ("windows: build TarnovelleConnectionDemo and tarnovelle_bare_window first");
        return;
    }

    WindowWatcher watcher;

    if (! watcher.isOpen())
    {
        failures.push_back ("windows: no X display (run under xvfb-run, see scripts/run-benchmark.sh)");
        return;
    }

    const auto folder = juce::File::getSpecialLocation (juce::File::tempDirectory)
                            .getChildFile ("tarnovelle-benchmark-windows-" + juce::String (getpid()));
    folder.createDirectory();

    // The demo's instrument with the shipped firmware: the start-up offers no update and reads
    // every setting.
    const auto stateFile = folder.getChildFile ("instrument.json");
    {
        EmulatedInstrument instrument (stateFile);
        instrument.resetToFactory();
        instrument.setFirmwareVersion (EmulatedInstrument::shippedFirmwareVersion);
    }

    const auto bareLog = folder.getChildFile ("bare.log");
    const auto demoLog = folder.getChildFile ("demo.log");

    auto start = Clock::now();
    ChildProcess bareProcess ({ bare.getFullPathName().toStdString() }, {}, bareLog.getFullPathName().toStdString());
    const auto bareShown = watcher.waitForMappedWindow ("Bare JUCE Window", start, 10000);

    // stdbuf keeps the demo's trace lines unbuffered, so the log tells when detection is over.
    start = Clock::now();
    ChildProcess demoProcess ({ "stdbuf", "-oL", demo.getFullPathName().toStdString() },
                              { "TARNOVELLE_EMULATOR_STATE=" + stateFile.getFullPathName().toStdString() },
                              demoLog.getFullPathName().toStdString());
    const auto demoShown = watcher.waitForMappedWindow ("Tarnovelle Connection Demo", start, 10000);
    const auto demoPaintedMs =
        demoShown.window != 0 ? watcher.waitForPaintedContent (demoShown.window, start, 10000) : -1.0;
    const auto bareStartMs = bareShown.mappedMs;
    const auto demoStartMs = demoShown.mappedMs;

    if (bareStartMs < 0.0 || demoStartMs < 0.0 || demoPaintedMs < 0.0)
    {
        failures.push_back ("windows: a window did not show within 10 s");
        folder.deleteRecursively();
        return;
    }

    // The trace line of the matching identity reply, then the fourteen settings.
    if (! waitForText (demoLog, "Device family member2 : 1 !", 15000))
    {
        failures.push_back ("windows: the demo did not find its instrument");
        folder.deleteRecursively();
        return;
    }

    juce::Thread::sleep (1500);

    const auto demoPeak = demoProcess.statusMiB ("VmHWM");
    const auto barePeak = bareProcess.statusMiB ("VmHWM");

    const auto demoCpuBefore = demoProcess.cpuSeconds();
    const auto bareCpuBefore = bareProcess.cpuSeconds();
    juce::Thread::sleep (idleSeconds * 1000);
    const auto demoIdle = demoProcess.cpuSeconds() - demoCpuBefore;
    const auto bareIdle = bareProcess.cpuSeconds() - bareCpuBefore;
    const bool stillRunning = demoProcess.isRunning() && bareProcess.isRunning();

    if (screenshot != juce::File())
        std::system (("import -window root '" + screenshot.getFullPathName().toStdString() + "' 2>/dev/null").c_str());

    demoProcess.stop();
    bareProcess.stop();
    folder.deleteRecursively();

    if (! stillRunning)
    {
        failures.push_back ("windows: a program ended during the idle measurement");
        return;
    }

    Figure idle;
    idle.name = "idle connected, " + juce::String (idleSeconds) + " s, CPU time";
    idle.measured = demoIdle;
    idle.unit = "s";
    idle.floor = bareIdle;
    idle.floorMeaning = "s (bare window)";
    idle.goalRatio = 1.5;
    idle.detail = "demo " + juce::String (100.0 * demoIdle / idleSeconds, 2) + "% of a core, bare window "
                  + juce::String (100.0 * bareIdle / idleSeconds, 2) + "%; /proc/<pid>/stat has 10 ms ticks";
    results.push_back (idle);

    Figure memory;
    memory.name = "demo peak resident memory, connected";
    memory.measured = demoPeak;
    memory.unit = "MiB";
    memory.floor = barePeak;
    memory.floorMeaning = "MiB (bare window)";
    memory.absoluteLimit = 40.0;
    memory.ratioIsGoal = false;
    memory.detail = "VmHWM from /proc/<pid>/status";
    results.push_back (memory);

    Figure startUp;
    startUp.name = "demo start until its panel shows";
    startUp.measured = demoPaintedMs;
    startUp.unit = "ms";
    startUp.floor = bareStartMs;
    startUp.floorMeaning = "ms (bare window)";
    startUp.absoluteLimit = 300.0;
    startUp.ratioIsGoal = false;
    startUp.detail = "from the spawn to the panel painted in the main window (its window was mapped after "
                     + juce::String (demoStartMs, 1) + " ms); detection runs meanwhile, on its own thread";
    results.push_back (startUp);
}

} // namespace tarnovelle::benchmark
