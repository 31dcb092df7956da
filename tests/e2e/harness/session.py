# One test's X server, scratch folder, instrument memory file and demo.

import contextlib, json, os, pathlib, re, shutil, signal, socket, subprocess, tempfile

from . import waits
from .instrument import DEFAULT_SEQUENCES, DEFAULT_SETTINGS, advance, read_state, snapshots_with_cause, wait_for_state
from .waits import Failure, read, stop_process, wait_for
from .xlib import make_window_manager_atoms

MAIN_TITLE, DETECTION_TITLE = "Tarnovelle Connection Demo", "Checking connection with Tarnovelle synthesizer"
SCREEN = (1280, 1024)

# The demo keeps one instance per user by binding this name in the abstract namespace of Unix
# sockets, which each network namespace has to itself: each test runs in a network namespace of
# its own (see run_isolated), so that no other demo on the machine, in another test or another
# checkout, counts as running, while the demos of one test meet as they would on a desktop.
INSTANCE_NAME = "\0TarnovelleConnectionDemo/instance/%d" % os.getuid()

EDITOR_TITLE, READING_TITLE = "Sequence Editor", "Reading Sequences"
HISTORY_TITLE, RESTORE_TITLE = "History", "Restore Snapshot"

# The desktop's chooser is a program of its own, which takes some seconds to show on a busy
# machine: a second click meanwhile would open a second one.
CHOOSER_START = 20.0

# Long enough for the emulated instrument's ports to be listed again after it has restarted.
REENUMERATION_PAUSE = 1.0


# JUCE opens the X libraries at run time and closes them at exit. Built with AddressSanitizer,
# the demo then reports whatever those libraries still held as leaks that LeakSanitizer can no
# longer trace to any code. Loaded from the start, they stay mapped and what they keep stays
# reachable, so what LeakSanitizer still reports is a real leak.
X_LIBRARIES = "libX11.so.6 libXext.so.6 libXcursor.so.1 libXinerama.so.1 libXrender.so.1 libXrandr.so.2"


def sanitizer_environment(app):
    if b"libasan" not in subprocess.run(["ldd", app], stdout=subprocess.PIPE, stderr=subprocess.DEVNULL).stdout:
        return {}
    options = [os.environ.get("ASAN_OPTIONS", ""), "verify_asan_link_order=0"]
    return {"LD_PRELOAD": X_LIBRARIES, "ASAN_OPTIONS": ":".join(filter(None, options))}


# No demo holds the single-instance name (bound here for a moment, and let go at once).
def instance_name_free():
    with socket.socket(socket.AF_UNIX, socket.SOCK_STREAM) as probe:
        with contextlib.suppress(OSError):
            return probe.bind(INSTANCE_NAME) or True
    return False


# One test: its X server (driven through xdotool and ImageMagick), scratch folder, instrument
# memory file and demo.
class Session:
    # geo: where to click and look (a Geometry); scale: the desktop's scale, for the screen's
    # size (the desktop is set to it by the caller).
    def __init__(self, name, app, out, geo, scale=1):
        self.app, out, self.geo, self.time_scale = os.path.abspath(app), os.path.abspath(out), geo, waits.read_time_scale()
        os.makedirs(out, exist_ok=True)
        self.screenshot, self.log_path = os.path.join(out, name + ".png"), os.path.join(out, name + ".log")
        pathlib.Path(self.log_path).write_bytes(b"")
        self.work = tempfile.mkdtemp(prefix="tarnovelle-e2e-%s-" % name)
        # The scratch folder is the demo's home and working folder too.
        self.state_file = os.path.join(self.work, "instrument.json")
        self.runtime = os.path.join(self.work, "runtime")
        os.makedirs(self.runtime, mode=0o700)
        self.demo, self.quit_sent, self.scale = None, False, scale
        # An X server of our own; -displayfd lets it choose a free display number.
        read_end, write_end = os.pipe()
        screen = "%dx%dx24" % (SCREEN[0] * scale, SCREEN[1] * scale)
        xvfb = ["Xvfb", "-displayfd", str(write_end), "-screen", "0", screen, "-nolisten", "tcp"]
        self.xvfb = subprocess.Popen(xvfb + ["-dpi", "96"], pass_fds=(write_end,), stderr=subprocess.DEVNULL)
        os.close(write_end)
        with os.fdopen(read_end) as pipe:
            self.env = dict(os.environ, DISPLAY=":" + pipe.readline().strip())
        if self.env["DISPLAY"] == ":":
            raise Failure("Xvfb did not start")
        self.atoms = make_window_manager_atoms(self.env["DISPLAY"])

    def run(self, *args, check=True):
        result = subprocess.run(args, env=self.env, capture_output=True, timeout=20)
        if check and result.returncode != 0:
            raise Failure("%s failed: %s" % (" ".join(args), result.stderr.decode(errors="replace").strip()))
        return result.stdout

    # The visible windows whose title is exactly this one.
    def windows(self, title):
        return [int(w) for w in self.run("xdotool", "search", "--onlyvisible", "--name", "^%s$" % re.escape(title),
                                         check=False).split()]

    def geometry(self, window):
        out = self.run("xdotool", "getwindowgeometry", "--shell", str(window)).decode()
        return tuple(int(re.search("^%s=(\\d+)$" % k, out, re.M)[1]) for k in ["X", "Y", "WIDTH", "HEIGHT"])

    def click_at(self, x, y):
        # The X server takes the fake motion before the fake press. (--sync would wait for a
        # motion that never comes when the pointer is already there.)
        self.run("xdotool", "mousemove", str(x), str(y), "click", "1")

    # Presses the key, on the window if one is given (focusing it first).
    def key(self, keysym, window=None):
        if window is not None:
            self.run("xdotool", "windowfocus", "--sync", str(window))
        self.run("xdotool", "key", "--clearmodifiers", keysym)

    # Starts the demo on the display, with the test's memory file, home folder and user name, and
    # the test's runtime folder unless another is given.
    def launch(self, name, runtime=None):
        # NO_AT_BRIDGE: the desktop's chooser would otherwise look for an accessibility bus first.
        env = dict(self.env, TARNOVELLE_EMULATOR_STATE=self.state_file, HOME=self.work, XDG_RUNTIME_DIR=runtime or self.runtime,
                   NO_AT_BRIDGE="1", **sanitizer_environment(self.app))
        with open(self.log_path, "ab") as log_file:
            process = subprocess.Popen([self.app], env=env, stdout=log_file, stderr=subprocess.STDOUT, cwd=self.work)
        print("%s started, pid %d" % (name, process.pid), flush=True)
        return process

    def check_alive(self):
        if self.demo.poll() is not None:
            raise Failure("the demo ended unexpectedly with code %s" % self.demo.returncode)

    # Starts the demo and waits for its main window, as large as it should be at the desktop's
    # scale and centred.
    def start_demo(self):
        wait_for("another running demo to end", instance_name_free, 10.0)
        self.demo = self.launch("demo")
        geometry = self.geometry(self.wait_window(MAIN_TITLE))
        self.origin = geometry[:2]
        size = tuple(n * self.scale for n in self.geo.window)
        centre = ((SCREEN[0] * self.scale - size[0]) // 2, (SCREEN[1] * self.scale - size[1]) // 2)
        if geometry[2:] != size or abs(geometry[0] - centre[0]) > 1 or abs(geometry[1] - centre[1]) > 1:
            raise Failure("the main window is at %s, not %dx%d in the middle of the screen" % (geometry, *size))

    # The demo's history library, beside its instrument's memory.
    def library(self):
        return os.path.join(os.path.dirname(self.state_file), "library.sqlite")

    # Starts the demo with the shipped firmware and waits until every setting has been read and
    # the sequences read after them are kept in the history: until then the start is still under
    # way, and a CONNECT click belongs to it (the switch springs back).
    def start_connected(self):
        state = self.write_state()
        kept = snapshots_with_cause(self.library(), "Read at connection")
        self.start_demo()
        self.wait_until_settings_read()
        wait_for("the sequences read at connection kept in the history",
                 lambda: snapshots_with_cause(self.library(), "Read at connection") > kept, 20.0)
        return state

    # Writes the instrument's memory file: the shipped firmware unless another is given.
    def write_state(self, firmware=None, settings=DEFAULT_SETTINGS):
        state = {"firmware": firmware or self.geo.firmware, "mode": "application", "settings": dict(settings),
                 "sequences": DEFAULT_SEQUENCES}
        pathlib.Path(self.state_file).write_text(json.dumps(state))
        return state

    # A point in the main window's points, on the screen.
    def at(self, point):
        return self.origin[0] + point[0] * self.scale, self.origin[1] + point[1] * self.scale

    # The lit lamp holds bright red; nothing in its area is brighter than 141 while it is dark.
    def lamp_lit(self):
        return max(self.pixels(self.geo.lamp_area)) >= 220

    # The raw pixels of an area of the main window (in points), for comparisons.
    def pixels(self, area):
        x, y = self.at(area)
        return self.screen_pixels((x, y, area[2] * self.scale, area[3] * self.scale))

    # The raw pixels of an area of the screen (x, y, w, h), 8-bit RGB.
    def screen_pixels(self, area):
        x, y, w, h = area
        return self.run("import", "-window", "root", "-crop", "%dx%d+%d+%d" % (w, h, x, y), "-depth", "8", "rgb:-")

    # Shows the Sequences tab, and returns its picture once it is painted.
    def show_sequences_tab(self):
        before = self.pixels(self.geo.tab_content)
        self.click(self.geo.sequences_tab)
        return wait_for("the Sequences tab", lambda: (p := self.pixels(self.geo.tab_content)) != before and p, 5.0)

    def click(self, point):
        self.check_alive()
        self.click_at(*self.at(point))

    # Clicks the point until a window with the title shows (a click may be lost while the window
    # is still busy painting a tab it has just shown), waiting this long after each click.
    def click_until_window(self, point, title, tries=3, wait=5.0):
        for _ in range(tries):
            self.click(point)
            if wait_for("", lambda: self.windows(title), wait, quiet=True):
                return
        self.wait_window(title, 1.0)

    def move_away(self):
        self.run("xdotool", "mousemove", *map(str, self.at(self.geo.away)))

    # Waits for a window with the title (and returns it), or, gone, until none is left.
    def wait_window(self, title, timeout=15.0, gone=False):
        def seen():
            self.check_alive()
            windows = self.windows(title)
            return not windows if gone else windows and windows[0]

        return wait_for('the "%s" window %s' % (title, "to close" if gone else "to show"), seen, timeout)

    # Waits for the box, presses the key on it (once the condition holds, if one is given) and
    # waits until it has closed; the key is pressed again if it was lost.
    def answer(self, title, keysym, timeout=15.0, first=None):
        window = self.wait_window(title, timeout)
        if first:
            first()
        self.press_until(keysym, lambda: not self.windows(title), 4, window)
        self.wait_window(title, 2.0, gone=True)

    # Presses the key until the condition holds, a second at most each time.
    def press_until(self, keysym, condition, tries, window=None, wait=1.0):
        for _ in range(tries):
            self.key(keysym, window)
            if wait_for("", condition, wait, quiet=True):
                return

    # Presses the key on the box with the title until it has closed, a second at most each time.
    def press_on_box(self, keysym, box, title):
        for _ in range(4):
            with contextlib.suppress(Failure):  # the box may close between the look and the key
                self.key(keysym, box)
            if wait_for("", lambda: box not in self.windows(title), 1.0, quiet=True):
                return

    # The settings are read after detection, the clock sync setting last: its knob then leaves
    # its first picture. That first picture is taken once the window has been painted (shows more
    # than an empty window's single colour), and again whenever the detection window is seen (no
    # setting is read while it is open).
    def wait_until_settings_read(self):
        def painted():
            p = self.pixels(self.geo.sync_knob)
            return len({p[i:i + 3] for i in range(0, len(p), 3)}) > 8 and p

        first = wait_for("the main window to be painted", painted, 10.0)

        def turned():
            nonlocal first
            first = self.pixels(self.geo.sync_knob) if self.windows(DETECTION_TITLE) else first
            return self.pixels(self.geo.sync_knob) != first

        wait_for("the settings to be read (the SYNC knob turning)", turned, 15.0)

    # Clicks the setting's control and waits for the instrument to hold its next value.
    def click_setting(self, code, expected_settings):
        self.click(self.geo.controls[code])
        value = expected_settings[code] = advance(code, expected_settings[code])
        wait_for_state(self.state_file, "%s = %d" % (code, value), lambda s: s["settings"][code] == value)

    # The unnamed boxes of the desktop's chooser: zenity asks in one before it replaces a file.
    def replace_boxes(self):
        found = self.run("xdotool", "search", "--onlyvisible", "--classname", "^zenity$", check=False).split()
        return [int(w) for w in found if not self.run("xdotool", "getwindowname", w, check=False).strip()]

    # The desktop's chooser, as GNOME users see it (zenity, which JUCE runs where it is
    # installed): Ctrl+L takes the keyboard to its name box (save) or opens its location box
    # (open), the full path is typed there, and Return chooses it. Choosing an existing file to
    # save asks first (see confirm_replace). Typed again if the chooser, still starting, lost it.
    def choose_file(self, title, path, replacing=False):
        if not shutil.which("zenity"):
            raise Failure("zenity is not installed (scripts/install-deps.sh installs it); the chooser tests drive it")
        window = self.wait_window(title, 30.0)
        # The chooser's own boxes have no name: the question before replacing a file, where one is
        # expected, and otherwise the error of a path mistyped by a slow X server, which OK closes.
        done = lambda: not self.windows(title) or (replacing and self.replace_boxes())
        for _ in range(3):
            # A key sent once the chooser asks before replacing would answer it.
            if done():
                break
            with contextlib.suppress(Failure):  # the chooser may close between the look and the key
                for box in self.replace_boxes():
                    self.key("Return", box)
                self.key("ctrl+l", window)
                self.key("ctrl+a")
                self.run("xdotool", "type", "--delay", "5", "--clearmodifiers", path)
                # In an open chooser the first Return may only close the location box's completion;
                # a second one, once the chooser has had time to ask before replacing, chooses.
                self.key("Return")
                if not wait_for("", done, 3.0, quiet=True) and not done():
                    self.key("Return")
            if wait_for("", done, 5.0, quiet=True):
                break
        if not replacing:
            self.wait_window(title, 5.0, gone=True)

    # Answers the chooser's question before it replaces a file with Replace (Return), and waits
    # until the chooser has closed.
    def confirm_replace(self, title):
        box = wait_for("the chooser to ask before replacing the file", lambda: self.replace_boxes(), 10.0)[0]
        self.press_until("Return", lambda: not self.replace_boxes() and not self.windows(title), 4, box)
        self.wait_window(title, 5.0, gone=True)

    # The choosers the demo has started (zenity processes whose parent it is).
    def chooser_processes(self):
        found = []
        for stat in pathlib.Path("/proc").glob("[0-9]*/stat"):
            with contextlib.suppress(OSError, IndexError):
                fields = stat.read_text().rsplit(")", 1)
                if fields[0].endswith("(zenity") and int(fields[1].split()[1]) == self.demo.pid:
                    found.append(int(stat.parent.name))
        return found

    # Keeps a screenshot, stops the demo and the X server by their ids, checks that the demo ended
    # cleanly and left a readable memory file, and removes the scratch files.
    def close(self, ok):
        with contextlib.suppress(subprocess.TimeoutExpired):
            self.run("import", "-window", "root", self.screenshot, check=False)
        code = stop_process(self.demo) if self.demo else 0
        stop_process(self.xvfb, signal.SIGTERM)
        failures = ["the demo ended with code %s" % code] if code else []
        # Built with JUCE's assertions, the demo logs each one that fails, and each class with
        # objects never deleted when it ends.
        failures += [line for line in read(self.log_path, "rb").decode(errors="replace").splitlines()
                     if line.startswith("JUCE Assertion failure") or "Leaked objects detected" in line]
        if os.path.exists(self.state_file) and read_state(self.state_file) is None:
            failures.append("the memory file is not valid JSON after the run")
        print("".join("FAILED: %s\n" % f for f in failures), end="", flush=True)
        shutil.rmtree(self.work, ignore_errors=True)
        return ok and not failures
