#!/usr/bin/env python3
# End-to-end tests of the built demo application. Each test starts its own Xvfb server and the
# demo with a prepared memory file of the emulated instrument, drives the real window with X
# mouse clicks and key presses (xdotool), and checks the instrument's memory file afterwards.
# There is no window manager: windows have no title bar, and each one is found by its title.
#
#     demo_e2e.py <test> --app build/bin/TarnovelleConnectionDemo --out build/e2e \
#                 --geometry build/e2e/geometry.json
#     demo_e2e.py --list
#
# Each test leaves a screenshot of its last state in <out>/<test>.png and the application's
# output in <out>/<test>.log. Where to click and look comes from the geometry file that the build
# writes from the windows' own geometry table (e2e_geometry). Only the standard library is used;
# the X tools are Xvfb, xdotool and ImageMagick's import.

import argparse, contextlib, ctypes, fcntl, json, os, pathlib, re, shutil, signal, socket, struct, subprocess, sys, tempfile, time, traceback

MAIN_TITLE, DETECTION_TITLE = "Tarnovelle Connection Demo", "Checking connection with Tarnovelle synthesizer"
SCREEN = (1280, 1024)

# The demo keeps one instance per user by binding this name in the abstract namespace of Unix
# sockets, which each network namespace has to itself: each test runs in a network namespace of
# its own (see run_isolated), so that no other demo on the machine, in another test or another
# checkout, counts as running, while the demos of one test meet as they would on a desktop.
INSTANCE_NAME = "\0TarnovelleConnectionDemo/instance/%d" % os.getuid()

# The lowest and highest value one click on a setting's control steps through: past the highest
# it comes back to the lowest. The step knob doubles its value instead of adding one.
RANGES = {"MIN": (0, 16), "MOUT": (0, 15), "MKEY": (0, 2), "LKEY": (0, 1), "INGN": (0, 2), "LFO": (0, 1),
          "VELO": (0, 2), "AFTE": (0, 2), "ARP": (0, 1), "BEND": (1, 12), "STEP": (4, 32), "GLEN": (1, 3),
          "TAP": (0, 1), "SYNC": (0, 2)}


# What one click does to a setting's value.
def advance(code, value):
    low, high = RANGES[code]
    value = value * 2 if code == "STEP" else value + 1
    return low if value > high else value


# Read from the geometry file by load_geometry, in window coordinates: the window's size; each
# setting's control (the middle of a knob's picture or of a switch); the picture areas (x, y, w,
# h) of the bend and sync knobs and of the CONNECT switch with its lamp; the buttons of the
# Sequences tab (the editor's among them); and the version of the shipped firmware.
WINDOW = CONTROLS = BEND_KNOB = SYNC_KNOB = LAMP = LAMP_AREA = SEQ_LOAD = SEQ_SAVE = SEQ_EDIT = SEQ_FACTORY = None
SEQUENCES_TAB = FIRMWARE = None

# A point where the mouse changes no picture, and an area that shows the bend knob on the first
# tab only.
AWAY, TAB_CONTENT = (20, 420), (600, 130, 120, 120)


def load_geometry(path):
    global WINDOW, CONTROLS, BEND_KNOB, SYNC_KNOB, LAMP, LAMP_AREA, SEQ_LOAD, SEQ_SAVE, SEQ_EDIT, SEQ_FACTORY
    global SEQUENCES_TAB, FIRMWARE
    g = json.loads(pathlib.Path(path).read_text())
    WINDOW, FIRMWARE = tuple(g["window"]), g["firmware"]
    CONTROLS = {code: tuple(point) for code, point in g["controls"].items()}
    if set(CONTROLS) != set(RANGES):
        raise Failure("the geometry file names the controls %s" % sorted(CONTROLS))
    BEND_KNOB, SYNC_KNOB, LAMP, LAMP_AREA = (tuple(g[k]) for k in ["bendKnob", "syncKnob", "lamp", "lampArea"])
    SEQ_LOAD, SEQ_SAVE, SEQ_EDIT = tuple(g["seqLoad"]), tuple(g["seqSave"]), tuple(g["seqEdit"])
    SEQ_FACTORY = tuple(g["seqFactory"])
    # The editor's and the History window's places below their menu bars.
    global EDITOR_LIST_ROW_2, HISTORY_FIND, HISTORY_ROW_1, HISTORY_ROW_2_AREA
    below_menu_bar = lambda p: (p[0], p[1] + g["menuBarHeight"]) + tuple(p[2:])
    EDITOR_LIST_ROW_2, HISTORY_FIND, HISTORY_ROW_1, HISTORY_ROW_2_AREA = map(
        below_menu_bar, (EDITOR_LIST_ROW_2, HISTORY_FIND, HISTORY_ROW_1, HISTORY_ROW_2_AREA))
    # The third tab's button, where JUCE's tab bar lays it out, halfway down the bar.
    SEQUENCES_TAB = (276, g["tabBarDepth"] // 2)


EDITOR_TITLE, READING_TITLE = "Sequence Editor", "Reading Sequences"
# The sequence editor's list, in its window below the menu bar: the second sequence's row below a
# toolbar of three rows (its width at the editor's default size), and the colour of the notes its
# previews draw.
EDITOR_LIST_ROW_2, NOTE_COLOUR = (120, 215), (0xf2, 0xa0, 0x3d)

HISTORY_TITLE, RESTORE_TITLE = "History", "Restore Snapshot"
# The History window's find field and first row, from its top left corner below the menu bar, and
# its "Restore to Tarnovelle" button, from its bottom right corner.
HISTORY_FIND, HISTORY_ROW_1, HISTORY_ROW_2_AREA, HISTORY_RESTORE = (100, 20), (206, 67), (10, 100, 300, 30), (81, 45)

# Slower builds (the sanitizers) stretch every time-out by this factor.
TIME_SCALE = float(os.environ.get("TARNOVELLE_E2E_TIME_SCALE", "1"))

# The desktop's chooser is a program of its own, which takes some seconds to show on a busy
# machine: a second click meanwhile would open a second one.
CHOOSER_START = 20.0

# Long enough for the emulated instrument's ports to be listed again after it has restarted.
REENUMERATION_PAUSE = 1.0


class Failure(Exception):
    pass


# Polls until the condition returns something true and returns it; after the time-out it fails,
# or, quiet, returns None.
def wait_for(what, condition, timeout=10.0, interval=0.05, quiet=False):
    timeout *= TIME_SCALE
    end = time.monotonic() + timeout
    while not (result := condition()):
        if time.monotonic() > end:
            if quiet:
                return None
            raise Failure("timed out after %.1f s waiting for %s" % (timeout, what))
        time.sleep(interval)
    return result


# Stops one process by its own id: the signal, then SIGKILL after a grace time. Returns its code.
def stop_process(process, first_signal=signal.SIGINT):
    process.send_signal(first_signal)  # nothing happens if it has already ended
    with contextlib.suppress(subprocess.TimeoutExpired):
        return process.wait(timeout=5.0 * TIME_SCALE)
    process.kill()
    return process.wait()


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


# The emulated instrument's memory file. A step of 127 is a rest, written x in a sequence file.
DEFAULT_SETTINGS = {"MIN": 3, "MOUT": 5, "MKEY": 1, "LKEY": 0, "INGN": 2, "LFO": 0, "VELO": 1, "AFTE": 0, "ARP": 1,
                    "BEND": 5, "STEP": 8, "GLEN": 2, "TAP": 0, "SYNC": 2}


DEFAULT_SEQUENCES = [[60, 62, 64, 65, 67, 69, 71, 72], [48, 127, 48, 127, 51, 127, 53, 55], [],
                     [36, 48, 60, 72, 84, 96, 108, 120] + list(range(1, 57)), [60], [127, 127, 127, 61],
                     list(range(70, 103)), [125, 127, 1]]


# A file's contents; nothing while it does not exist.
def read(path, mode="r"):
    with contextlib.suppress(FileNotFoundError), open(path, mode) as f:
        return f.read()
    return "" if mode == "r" else b""


def write_state(path, firmware=None, settings=DEFAULT_SETTINGS):
    state = {"firmware": firmware or FIRMWARE, "mode": "application", "settings": dict(settings), "sequences": DEFAULT_SEQUENCES}
    pathlib.Path(path).write_text(json.dumps(state))
    return state


# The memory file, or None while it cannot be read (it is replaced by renaming, so this is rare).
def read_state(path):
    with contextlib.suppress(ValueError):
        return json.loads(read(path))


def wait_for_state(path, what, predicate, timeout=5.0):
    try:
        return wait_for("the instrument's memory to show " + what,
                        lambda: (state := read_state(path)) is not None and predicate(state) and state, timeout)
    except Failure as failure:
        raise Failure("%s; its sequences: %s" % (failure, (read_state(path) or {}).get("sequences"))) from None


def sequence_file_text(sequences):
    return "\n".join("%d:%s" % (i + 1, " ".join("x" if s == 127 else str(s) for s in steps))
                     for i, steps in enumerate(sequences))


# No demo holds the single-instance name (bound here for a moment, and let go at once).
def instance_name_free():
    with socket.socket(socket.AF_UNIX, socket.SOCK_STREAM) as probe:
        with contextlib.suppress(OSError):
            return probe.bind(INSTANCE_NAME) or True
    return False


# The window manager's close request: a WM_DELETE_WINDOW client message sent to the window,
# through the X library itself (there is no window manager to send it).
class XClientMessage(ctypes.Structure):
    _fields_ = [("type", ctypes.c_int), ("serial", ctypes.c_ulong), ("send_event", ctypes.c_int),
                ("display", ctypes.c_void_p), ("window", ctypes.c_ulong), ("message_type", ctypes.c_ulong),
                ("format", ctypes.c_int), ("data", ctypes.c_long * 5)]


class XEvent(ctypes.Union):
    _fields_ = [("xclient", XClientMessage), ("pad", ctypes.c_long * 24)]


# A window may close between the look and the request sent to it: Xlib's own handler would end
# the test's process on that BadWindow, where the caller goes on to wait for what it expects.
X_ERROR_HANDLER = ctypes.CFUNCTYPE(ctypes.c_int, ctypes.c_void_p, ctypes.c_void_p)
IGNORE_X_ERRORS = X_ERROR_HANDLER(lambda display, error: 0)


def x11():
    lib = ctypes.cdll.LoadLibrary("libX11.so.6")
    lib.XSetErrorHandler.argtypes = [X_ERROR_HANDLER]
    lib.XSetErrorHandler(IGNORE_X_ERRORS)
    lib.XOpenDisplay.restype, lib.XOpenDisplay.argtypes = ctypes.c_void_p, [ctypes.c_char_p]
    lib.XInternAtom.restype, lib.XInternAtom.argtypes = ctypes.c_ulong, [ctypes.c_void_p, ctypes.c_char_p, ctypes.c_int]
    lib.XSendEvent.argtypes = [ctypes.c_void_p, ctypes.c_ulong, ctypes.c_int, ctypes.c_long, ctypes.POINTER(XEvent)]
    lib.XFlush.argtypes = lib.XCloseDisplay.argtypes = [ctypes.c_void_p]
    return lib


def open_display(lib, display_name):
    display = lib.XOpenDisplay(display_name.encode())
    if not display:
        raise Failure("cannot open the display %s" % display_name)
    return display


# JUCE looks the window manager's atoms up when it starts, only if they already exist, as they do
# wherever a window manager runs. This connection makes them and keeps the X server from resetting
# (and forgetting them) between demos.
def make_window_manager_atoms(display_name):
    lib = x11()
    display = open_display(lib, display_name)
    for name in [b"WM_PROTOCOLS", b"WM_DELETE_WINDOW", b"WM_TAKE_FOCUS", b"_NET_WM_PING"]:
        lib.XInternAtom(display, name, 0)
    lib.XFlush(display)
    return display


def send_close_request(display_name, window):
    lib = x11()
    display = open_display(lib, display_name)
    event = XEvent()
    event.xclient.type, event.xclient.window, event.xclient.format = 33, window, 32  # ClientMessage
    event.xclient.message_type = lib.XInternAtom(display, b"WM_PROTOCOLS", 0)
    event.xclient.data[0] = lib.XInternAtom(display, b"WM_DELETE_WINDOW", 0)
    lib.XSendEvent(display, window, 0, 0, ctypes.byref(event))
    lib.XFlush(display)
    lib.XCloseDisplay(display)


# One test: its X server (driven through xdotool and ImageMagick), scratch folder, instrument
# memory file and demo.
class Session:
    # scale: the desktop's scale, for the screen's size; the desktop is set to it by the caller.
    def __init__(self, name, app, out, scale=1):
        self.app, out = os.path.abspath(app), os.path.abspath(out)
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
        size = tuple(n * self.scale for n in WINDOW)
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
        state = write_state(self.state_file)
        kept = snapshots_with_cause(self.library(), "Read at connection")
        self.start_demo()
        self.wait_until_settings_read()
        wait_for("the sequences read at connection kept in the history",
                 lambda: snapshots_with_cause(self.library(), "Read at connection") > kept, 20.0)
        return state

    # A point in the main window's points, on the screen.
    def at(self, point):
        return self.origin[0] + point[0] * self.scale, self.origin[1] + point[1] * self.scale

    # The lit lamp holds bright red; nothing in its area is brighter than 141 while it is dark.
    def lamp_lit(self):
        return max(self.pixels(LAMP_AREA)) >= 220

    # The raw pixels of an area of the main window (in points), for comparisons.
    def pixels(self, area):
        x, y = self.at(area)
        return self.screen_pixels((x, y, area[2] * self.scale, area[3] * self.scale))

    # The raw pixels of an area of the screen (x, y, w, h), 8-bit RGB.
    def screen_pixels(self, area):
        x, y, w, h = area
        return self.run("import", "-window", "root", "-crop", "%dx%d+%d+%d" % (w, h, x, y), "-depth", "8", "rgb:-")

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
        self.run("xdotool", "mousemove", *map(str, self.at(AWAY)))

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

    # The settings are read after detection, the clock sync setting last: its knob then leaves
    # its first picture. That first picture is taken once the window has been painted (shows more
    # than an empty window's single colour), and again whenever the detection window is seen (no
    # setting is read while it is open).
    def wait_until_settings_read(self):
        def painted():
            p = self.pixels(SYNC_KNOB)
            return len({p[i:i + 3] for i in range(0, len(p), 3)}) > 8 and p

        first = wait_for("the main window to be painted", painted, 10.0)

        def turned():
            nonlocal first
            first = self.pixels(SYNC_KNOB) if self.windows(DETECTION_TITLE) else first
            return self.pixels(SYNC_KNOB) != first

        wait_for("the settings to be read (the SYNC knob turning)", turned, 15.0)

    # Clicks the setting's control and waits for the instrument to hold its next value.
    def click_setting(self, code, expected_settings):
        self.click(CONTROLS[code])
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


def test_startup_update_declined(s):
    """Outdated firmware: the update offer is declined; connected, no setting read, nothing changed."""
    settings = write_state(s.state_file, "1.0.2.9", dict(DEFAULT_SETTINGS, STEP=4))["settings"]
    s.start_demo()
    s.answer("Firmware version", "Escape")
    # No setting was read, so the widgets still hold their first values: the step knob starts
    # at 16, and its first click sends 32 although the instrument held 4. The click is carried
    # out once the start-up has ended, so the update, had it run, would have shown by then.
    s.click(CONTROLS["STEP"])
    state = wait_for_state(s.state_file, "STEP = 32", lambda m: m["settings"]["STEP"] == 32)
    if s.windows("Firmware update:") or s.windows("Firmware update: complete"):
        raise Failure("the update ran although it was declined")
    if state["firmware"] != "1.0.2.9" or dict(state["settings"], STEP=4) != settings:
        raise Failure("the firmware or another setting changed: %s" % state)


def test_startup_update_accepted(s):
    """A factory-fresh instrument (no memory file, firmware 1.0.2.0): the offered update runs to the end, and the
    settings are read afterwards."""
    s.start_demo()
    s.wait_window("Firmware version")
    s.answer("Firmware version", "Return")
    # The instrument restarts into its bootloader (5 s), is found there, takes the image.
    s.wait_window("Firmware update:", 30.0)
    # The box asks to reboot the instrument first; it restarts by itself into its new application
    # firmware, and OK is pressed only then. Its memory file shows the restart, but not the end
    # of the USB re-enumeration that follows (300 ms), which nothing outside the program shows:
    # for that one, a pause.
    def restarted():
        wait_for_state(s.state_file, "firmware %s in its application firmware" % FIRMWARE,
                       lambda m: m["firmware"] == FIRMWARE and m.get("mode", "application") == "application", 10.0)
        time.sleep(REENUMERATION_PAUSE * TIME_SCALE)

    s.answer("Firmware update: complete", "Return", 60.0, first=restarted)

    # Connected again afterwards, with the settings read as at any connection and kept in the
    # history: the bend knob, which starts at 1, steps on from the instrument's 2.
    def reconnected():
        if s.windows("No instrument found"):
            raise Failure("the instrument was not found after the update")
        return not s.windows(DETECTION_TITLE) and s.lamp_lit()

    wait_for("the reconnection (the lamp lit)", reconnected, 15.0)
    wait_for("the settings read after the update, kept in the history",
             lambda: snapshots_with_cause(s.library(), "Read at connection") > 0, 20.0)
    s.click_setting("BEND", read_state(s.state_file)["settings"])


def test_settings_clicks(s):
    """Every setting read from the instrument is shown; clicks on knobs and switches change its memory."""
    state = s.start_connected()
    expected = dict(state["settings"])
    for code in list(CONTROLS) + ["STEP", "STEP", "GLEN"]:  # the step knob and the glide switch wrap round
        s.click_setting(code, expected)
    final = read_state(s.state_file)
    if final["settings"] != expected or final["sequences"] != state["sequences"] or final["firmware"] != FIRMWARE:
        raise Failure("the memory holds %s, expected the settings %s and nothing else changed" % (final, expected))


def test_connect_off_and_on(s):
    """CONNECT off: clicks change nothing on the instrument; CONNECT on: detected, read, clicks work again."""
    state = s.start_connected()
    s.move_away()
    bend_read = s.pixels(BEND_KNOB)
    wait_for("the lamp lit while connected", s.lamp_lit, 5.0)

    s.click(LAMP)
    s.move_away()
    wait_for("the lamp to go out", lambda: not s.lamp_lit(), 5.0)

    # While disconnected the knob turns but nothing reaches the instrument.
    s.click(CONTROLS["BEND"])
    s.move_away()
    wait_for("the bend knob to turn", lambda: s.pixels(BEND_KNOB) != bend_read, 5.0)
    if s.windows(DETECTION_TITLE) or s.windows("Connection"):
        raise Failure("a click while disconnected opened a window")

    # The application handles the knob's message before the CONNECT switch's, and reads the
    # settings after any write it might have sent: once the knob shows the instrument's value
    # again, whatever the click did has reached the instrument.
    s.click(LAMP)
    s.move_away()
    wait_for("the lamp to light again", s.lamp_lit, 10.0)
    # Reading the settings again brings the knob back to the instrument's value.
    wait_for("the bend knob to show the instrument's value again", lambda: s.pixels(BEND_KNOB) == bend_read, 10.0)
    if read_state(s.state_file)["settings"] != state["settings"]:
        raise Failure("a click while disconnected changed the instrument: %s" % read_state(s.state_file))
    if s.windows("Connection"):
        raise Failure("a click while disconnected opened a window")
    expected = dict(state["settings"])
    s.click_setting("BEND", expected)
    s.click_setting("LFO", expected)


def test_sequences_save_and_load(s):
    """The sequence set is saved through the "Save Sequences" chooser and loaded through "Load Sequences"."""
    state = s.start_connected()
    before = s.pixels(TAB_CONTENT)
    s.click(SEQUENCES_TAB)
    wait_for("the Sequences tab", lambda: s.pixels(TAB_CONTENT) != before, 5.0)
    sequences_tab = s.pixels(TAB_CONTENT)

    # Save, with the MIDI files.
    saved = os.path.join(s.work, "saved set.tvseq")
    s.click_until_window(SEQ_SAVE, "Save Sequences", wait=CHOOSER_START)
    s.choose_file("Save Sequences", saved)
    s.answer("Generate MidiFiles?", "Return")
    wait_for("the sequence file", lambda: read(saved) == sequence_file_text(state["sequences"]), 10.0)
    wait_for("the eight MIDI files", lambda: all(read("%s_%d.mid" % (saved, n), "rb")[:4] == b"MThd"
                                                  for n in range(1, 9)), 5.0)

    # Load another set.
    loaded = [[50, 127, 52, 127]] + DEFAULT_SEQUENCES[-2::-1]
    to_load = os.path.join(s.work, "other.tvseq")
    pathlib.Path(to_load).write_text(sequence_file_text(loaded))
    s.click_until_window(SEQ_LOAD, "Load Sequences", wait=CHOOSER_START)
    s.choose_file("Load Sequences", to_load)
    wait_for_state(s.state_file, "the loaded sequences", lambda m: m["sequences"] == loaded, 10.0)

    # Saving over the first file asks before overwriting; the file then holds the new set.
    s.click_until_window(SEQ_SAVE, "Save Sequences", wait=CHOOSER_START)
    s.choose_file("Save Sequences", saved, replacing=True)
    s.confirm_replace("Save Sequences")
    s.answer("Generate MidiFiles?", "Escape")
    wait_for("the sequence file to hold the loaded set", lambda: read(saved) == sequence_file_text(loaded), 10.0)
    # Without a window manager nothing but the program itself paints over a closed box.
    wait_for("the tab painted again where the boxes were", lambda: s.pixels(TAB_CONTENT) == sequences_tab, 5.0)


# Opens the sequence editor from the Sequences tab and waits until it shows what it read; returns
# the editor's window.
def open_editor(s):
    before = s.pixels(TAB_CONTENT)
    s.click(SEQUENCES_TAB)
    wait_for("the Sequences tab", lambda: s.pixels(TAB_CONTENT) != before, 5.0)
    return open_editor_from_sequences_tab(s)


def open_editor_from_sequences_tab(s):
    reads = snapshots_with_cause(s.library(), "Read by the editor")
    s.click(SEQ_EDIT)
    editor = s.wait_window(EDITOR_TITLE)
    x, y, width, height = s.geometry(editor)

    # The opening read is over when it is kept in the history, its progress window is gone and
    # the previews show notes (the previews may show the sequences read at connection before its
    # progress window opens, which then holds the keyboard).
    def read_shown():
        if s.windows(READING_TITLE) or snapshots_with_cause(s.library(), "Read by the editor") <= reads:
            return False
        p = s.run("import", "-window", "root", "-crop", "%dx%d+%d+%d" % (width, height, x, y), "-depth", "8", "rgb:-")
        return sum(1 for i in range(0, len(p), 3) if tuple(p[i:i + 3]) == NOTE_COLOUR) > 50

    wait_for("the editor to show the sequences it read", read_shown, 15.0)
    return editor


# Sequence 2 chosen in the list (which gives the editor the keyboard); its fourth step, a rest,
# becomes the first note (60), then an octave higher. Returns the sequences the edit makes.
def edit_second_sequence(s, editor, state):
    x, y = s.geometry(editor)[:2]
    s.click_at(x + EDITOR_LIST_ROW_2[0], y + EDITOR_LIST_ROW_2[1])
    for keysym in ["Right", "Right", "Right", "Up", "shift+Up"]:
        s.key(keysym, editor)
    expected = [list(q) for q in state["sequences"]]
    expected[1][3] = 72
    return expected


# Ctrl+Return in the editor sends the changed sequences (numbered as the history names them),
# answering the question a send that empties or halves a sequence asks with Send Anyway (its
# letter: Return takes Cancel there). The send has ended once the instrument's new state is kept
# in the history: until then its progress window holds the keyboard. On a slow (sanitized) build a key typed just as a window closes can be lost, so the
# key is pressed again when nothing came of it; a second Send finds nothing left to send.
def send_from_editor(s, editor, numbers, asks=False):
    cause = "Sent from the editor: " + numbers
    sent_before = snapshots_with_cause(s.library(), cause)

    def sent():
        return snapshots_with_cause(s.library(), cause) > sent_before

    s.press_until("ctrl+Return", lambda: sent() or (asks and s.windows("Send Sequences")), 3, editor, 5.0)
    if asks:
        s.answer("Send Sequences", "s")
    wait_for("the send of sequence %s to end" % numbers, sent, 15.0)


def test_sequence_editor(s):
    """EDIT SEQUENCES opens the editor, which reads the sequences; keys change a step, Ctrl+Return sends it;
    steps copied and pasted through the clipboard go to another sequence."""
    state = s.start_connected()
    editor = open_editor(s)
    expected = edit_second_sequence(s, editor, state)
    send_from_editor(s, editor, "2")
    wait_for_state(s.state_file, "sequence 2 with its edited step", lambda m: m["sequences"] == expected, 10.0)

    # Its first four steps selected with Shift+Left, copied through the X clipboard and pasted
    # over the start of sequence 3, which alone is sent then.
    for keysym in ["shift+Left", "shift+Left", "shift+Left", "ctrl+c", "3", "Home", "ctrl+v"]:
        s.key(keysym, editor)
    send_from_editor(s, editor, "3")
    expected[2][0:4] = expected[1][0:4]
    wait_for_state(s.state_file, "sequence 3 with the pasted steps", lambda m: m["sequences"] == expected, 10.0)

    # Ctrl+I imports a song into sequence 3: the "Import MIDI Tracks" window offers the melody
    # without the drums (channel 10), whose hi-hat would otherwise sound between its notes.
    song = os.path.join(s.work, "song.mid")
    pathlib.Path(song).write_bytes(two_track_song(state["settings"]["STEP"]))
    s.press_until("ctrl+i", lambda: s.windows("Import MIDI File"), 3, editor, 15.0)
    s.choose_file("Import MIDI File", song)
    s.answer("Import MIDI Tracks", "Return")
    melody = [60, 127, 62, 127, 64, 127, 65]
    # Shortened by more than half, the send asks first.
    send_from_editor(s, editor, "3", asks=len(melody) * 2 < len(expected[2]))
    expected[2] = melody
    wait_for_state(s.state_file, "sequence 3 as the song's melody", lambda m: m["sequences"] == expected, 10.0)


# A Standard MIDI File of a drum track (a hi-hat on channel 10 on every step) and a melody
# (60 62 64 65 on every second step, a step long), for the given step size.
def two_track_song(step_size):
    step = 4 * 96 // step_size  # ticks, at 96 a quarter note; below 128, so one byte as a delay

    def track(channel, notes, every):
        body = b"".join(bytes([0 if i == 0 else (every - 1) * step, 0x90 | channel, note, 100,
                               step, 0x80 | channel, note, 0]) for i, note in enumerate(notes))
        body += b"\x00\xff\x2f\x00"
        return b"MTrk" + struct.pack(">I", len(body)) + body

    tracks = [track(9, [42] * 8, 1), track(0, [60, 62, 64, 65], 2)]
    return b"MThd" + struct.pack(">IHHH", 6, 1, len(tracks), 96) + b"".join(tracks)

# How many snapshots of the demo's history library have this cause (0 while it cannot be read).
def snapshots_with_cause(library, cause):
    import sqlite3
    try:
        with contextlib.closing(sqlite3.connect("file:%s?mode=ro" % library, uri=True, timeout=1.0)) as db:
            return db.execute("SELECT count(*) FROM snapshots WHERE cause = ?", (cause,)).fetchone()[0]
    except sqlite3.Error:
        return 0


# Sends the window manager's close request to the main window until a box with the title shows,
# then answers each box with that title in turn with its key (a box that follows another may share
# its title: each is told apart by its window).
def close_and_answer(s, title, keys):
    window, answered = s.wait_window(MAIN_TITLE), set()
    for _ in range(5):
        send_close_request(s.env["DISPLAY"], window)
        if wait_for("", lambda: s.windows(title), 3.0, quiet=True):
            break
    for keysym in keys:
        box = wait_for('a "%s" box' % title, lambda: next((w for w in s.windows(title) if w not in answered), None))
        answered.add(box)
        for _ in range(4):
            with contextlib.suppress(Failure):  # the box may close between the look and the key
                s.key(keysym, box)
            if wait_for("", lambda: box not in s.windows(title), 1.0, quiet=True):
                break


def test_editor_keeps_unsent_changes(s):
    """An unsent edit outlives SIGTERM and is offered back at the next start. Closing the main window with it asks
    once: Cancel (Escape) keeps the program, Send and Quit (Return) sends and ends; after another start and edit,
    Quit Without Sending ends without sending and discards the edit."""
    state = s.start_connected()
    sync_read = s.pixels(SYNC_KNOB)
    editor = open_editor(s)
    expected = edit_second_sequence(s, editor, state)
    kept = os.path.join(s.work, "Sequence Editor.json")
    wait_for("the edit kept on disk", lambda: (k := read_state(kept)) and k["sequences"][1] == expected[1], 5.0)
    stop_process(s.demo, signal.SIGTERM)
    if read_state(s.state_file)["sequences"] != state["sequences"]:
        raise Failure("the instrument changed without a send: %s" % read_state(s.state_file)["sequences"])

    s.quit_sent = True
    s.start_demo()
    s.answer(EDITOR_TITLE, "Return")  # "The sequence editor holds unsent changes from ... Keep them?": Keep Them
    # The same settings read again show the same knob (the read may have ended before the box did).
    wait_for("the settings to be read", lambda: s.pixels(SYNC_KNOB) == sync_read and not s.windows(DETECTION_TITLE), 15.0)
    # The start ends with the sequences kept in the history; a close made while the start still
    # runs ends the program without a question (the edits stay kept for the next start).
    wait_for("the second start's read kept in the history",
             lambda: snapshots_with_cause(s.library(), "Read at connection") >= 2, 20.0)
    close_and_answer(s, EDITOR_TITLE, ["Escape"])  # Cancel: one key keeps the program
    s.check_alive()
    close_and_answer(s, EDITOR_TITLE, ["Return"])  # Send and Quit
    wait_for("the demo to end after sending", lambda: s.demo.poll() is not None, 15.0)
    if s.demo.returncode != 0:
        raise Failure("the demo ended with status %d" % s.demo.returncode)
    wait_for_state(s.state_file, "sequence 2 with its kept edit", lambda m: m["sequences"] == expected, 5.0)

    # Another edit, not sent: Quit Without Sending (its letter) ends the program and forgets it.
    s.start_demo()
    s.wait_until_settings_read()
    wait_for("the third start's read kept in the history",
             lambda: snapshots_with_cause(s.library(), "Read at connection") >= 3, 20.0)
    editor = open_editor(s)
    edit_second_sequence(s, editor, read_state(s.state_file))
    wait_for("the new edit kept on disk", lambda: (k := read_state(kept)) and k["sequences"] != k["instrument"], 5.0)
    close_and_answer(s, EDITOR_TITLE, ["q"])
    wait_for("the demo to end without sending", lambda: s.demo.poll() is not None, 15.0)
    if read_state(s.state_file)["sequences"] != expected:
        raise Failure("the instrument changed without a send: %s" % read_state(s.state_file)["sequences"])
    if (k := read_state(kept))["sequences"] != k["instrument"]:
        raise Failure("the discarded edit is still kept: %s" % k["sequences"])


def test_quit_at_kept_changes_question(s):
    """SIGTERM while the start asks whether to keep the editor's unsent changes: no answer, so the kept
    file stays as it was and the next start asks again."""
    write_state(s.state_file)
    kept = os.path.join(s.work, "Sequence Editor.json")
    edited = [[60, 127, 67]] + [[]] * 7
    pathlib.Path(kept).write_text(json.dumps({"savedAt": "2026-01-05T09:30:00.000+00:00", "selected": 0, "cursor": 0,
                                              "instrumentKnown": False, "sequences": edited, "instrument": [[]] * 8}))
    before = read(kept, "rb")
    s.start_demo()
    s.wait_window(EDITOR_TITLE)
    s.quit_sent = True
    if stop_process(s.demo, signal.SIGTERM) != 0:
        raise Failure("the demo ended with status %d" % s.demo.returncode)
    if read(kept, "rb") != before:
        raise Failure("the kept file changed: %s" % read(kept))

    s.quit_sent = False
    s.start_demo()
    s.answer(EDITOR_TITLE, "Return")  # kept this time
    wait_for("the kept changes written back", lambda: (k := read_state(kept)) and k["sequences"] == edited
             and read(kept, "rb") != before, 5.0)


# The emulated instrument's window (Ctrl+K on the main window): its power switch and cable.
INSTRUMENT_TITLE = "Tarnovelle"
INSTRUMENT_CABLE = (238, 26)


def open_instrument_window(s):
    s.press_until("ctrl+k", lambda: s.windows(INSTRUMENT_TITLE), 3, s.wait_window(MAIN_TITLE))
    return s.wait_window(INSTRUMENT_TITLE)


# Without a window manager, the window clicked or looked at is raised above the others first.
def click_in_window(s, window, point):
    s.run("xdotool", "windowraise", str(window))
    x, y = s.geometry(window)[:2]
    s.click_at(x + point[0], y + point[1])


def raise_main_window(s):
    s.run("xdotool", "windowraise", str(s.wait_window(MAIN_TITLE)))
    s.move_away()


def test_cable_pulled_and_plugged(s):
    """The demo's cable pulled: the lamp goes out at once and the next click says so; plugged back it
    reconnects without a click, reads the settings again, and the editor's unsent change is sent."""
    state = s.start_connected()
    bend_read = s.pixels(BEND_KNOB)
    editor = open_editor(s)
    expected = edit_second_sequence(s, editor, state)
    instrument = open_instrument_window(s)

    click_in_window(s, instrument, INSTRUMENT_CABLE)
    pulled = time.monotonic()
    raise_main_window(s)
    wait_for("the lamp to go out", lambda: not s.lamp_lit(), 5.0)
    print("NOT Connected seen %.2f s after the cable was pulled" % (time.monotonic() - pulled), flush=True)
    s.click((50, SEQUENCES_TAB[1]))  # the Configuration tab, left of the Sequences tab the editor was opened from
    s.click(CONTROLS["BEND"])
    s.answer("Connection", "Return")
    if read_state(s.state_file)["settings"] != state["settings"]:
        raise Failure("a click after the cable was pulled reached the instrument")

    click_in_window(s, instrument, INSTRUMENT_CABLE)
    raise_main_window(s)
    wait_for("the lamp to light again without a click", s.lamp_lit, 10.0)
    wait_for("the bend knob to show the instrument's value again", lambda: s.pixels(BEND_KNOB) == bend_read, 10.0)
    if s.windows(DETECTION_TITLE) or s.windows("No instrument found") or s.windows("Connection"):
        raise Failure("reconnecting opened a window")
    send_from_editor(s, editor, "2")
    wait_for_state(s.state_file, "sequence 2 with the edit kept over the pull", lambda m: m["sequences"] == expected)


def test_history_restore(s):
    """After RESET ALL SEQUENCES, the History window restores the snapshot taken before it."""
    state = s.start_connected()
    before = s.pixels(TAB_CONTENT)
    s.click(SEQUENCES_TAB)
    wait_for("the Sequences tab", lambda: s.pixels(TAB_CONTENT) != before, 5.0)
    s.click_until_window(SEQ_FACTORY, "Reset All Sequences")
    s.answer("Reset All Sequences", "Return")
    wait_for_state(s.state_file, "the factory sequences", lambda m: m["sequences"] != state["sequences"], 15.0)
    wait_for("the reset to end, kept in the history",
             lambda: snapshots_with_cause(s.library(), "After RESET ALL SEQUENCES") > 0, 15.0)

    # Ctrl+H in the editor opens the History window.
    editor = open_editor_from_sequences_tab(s)
    s.press_until("ctrl+h", lambda: s.windows(HISTORY_TITLE), 4, editor)
    history = s.wait_window(HISTORY_TITLE)
    x, y, width, height = s.geometry(history)

    # Found by its cause, it is the only row left; selected, it goes back to the instrument.
    s.run("xdotool", "windowfocus", "--sync", str(history))
    s.click_at(x + HISTORY_FIND[0], y + HISTORY_FIND[1])
    s.run("xdotool", "type", "--delay", "5", "--clearmodifiers", "Before RESET ALL SEQUENCES")
    second_row = (HISTORY_ROW_2_AREA[0] + x - s.origin[0], HISTORY_ROW_2_AREA[1] + y - s.origin[1]) + HISTORY_ROW_2_AREA[2:]
    wait_for("the list to hold one row", lambda: len(set(s.pixels(second_row))) <= 3, 10.0)
    # A click that comes while the list is still being drawn again may select nothing: clicked
    # until the snapshot shows beside the list.
    detail = (x + 350, y + 100, width - 400, height - 250)
    unselected = s.screen_pixels(detail)
    for _ in range(3):
        s.click_at(x + HISTORY_ROW_1[0], y + HISTORY_ROW_1[1])
        if wait_for("", lambda: s.screen_pixels(detail) != unselected, 3.0, quiet=True):
            break
    restore = (x + width - HISTORY_RESTORE[0], y + height - HISTORY_RESTORE[1])
    for _ in range(3):
        s.click_at(*restore)
        if wait_for("", lambda: s.windows(RESTORE_TITLE), 3.0, quiet=True):
            break
    s.answer(RESTORE_TITLE, "r")  # Restore (Return takes Cancel)
    wait_for_state(s.state_file, "the sequences held before the reset",
                   lambda m: m["sequences"] == state["sequences"], 15.0)


# The channel messages an instrument received, as tarnovelle-emulator --notes prints them
# ("1234.567 90 3c 64"): (milliseconds, bytes) for each such line of the file.
def received_notes(path):
    lines = re.findall(r"^(\d+\.\d{3})((?: [0-9a-f]{2})+)$", read(path), re.M)
    return [(float(t), [int(b, 16) for b in hex_bytes.split()]) for t, hex_bytes in lines]


# Space in the editor plays the selected sequence; once the instrument has heard it through
# more than twice, Escape stops. Checks that the notes came in order, each ended by its own
# note-off before the next began and All Notes Off last, and returns the onset times.
def play_and_stop(s, editor, notes_path, state, loops=2):
    channel, steps = state["settings"]["MIN"], state["sequences"][0]

    def note_ons():
        return [(t, m[1]) for t, m in received_notes(notes_path) if m[0] == 0x90 + channel and m[2] > 0]

    s.key("space", editor)
    wait_for("the instrument to hear the sequence", lambda: len(note_ons()) > loops * len(steps), 20.0 * loops)
    s.key("Escape", editor)
    all_notes_off = [0xb0 + channel, 123, 0]
    wait_for("All Notes Off after the last note",
             lambda: (m := received_notes(notes_path)) and m[-1][1] == all_notes_off, 10.0)

    ons = note_ons()
    if [key for _, key in ons] != (steps * (loops + 2))[:len(ons)]:
        raise Failure("the notes came in another order: %s" % [key for _, key in ons])

    gates, sounding = [], None
    for t, m in received_notes(notes_path)[:-1]:
        if m[0] == 0x90 + channel and m[2] > 0:
            if sounding is not None:
                raise Failure("note %d started while %d sounds" % (m[1], sounding[1]))
            sounding = (t, m[1])
        elif m[0] == 0x80 + channel and sounding is not None and m[1] == sounding[1]:
            gates.append(t - sounding[0])
            sounding = None
        else:
            raise Failure("an unexpected message %s" % m)
    if sounding is not None:
        raise Failure("note %d was left on" % sounding[1])
    return [t for t, _ in ons], gates


def test_sequence_editor_plays(s):
    """Space plays sequence 1 on the instrument, in order with its gates; Escape stops and no note is left on."""
    notes_path = os.path.join(s.work, "notes.txt")
    s.env["TARNOVELLE_EMULATOR_NOTES"] = notes_path
    state = s.start_connected()
    editor = open_editor(s)
    onsets, gates = play_and_stop(s, editor, notes_path, state)

    # Eighths at 120 BPM last 250 ms; gate length 2 sounds half of each. The medians, so that
    # a loaded machine does not decide; the benchmark measures the precision.
    step_ms = 4 * 60000.0 / (120 * state["settings"]["STEP"])
    gate_ms = step_ms * state["settings"]["GLEN"] / 4
    spacing = sorted(b - a for a, b in zip(onsets, onsets[1:]))[len(onsets) // 2 - 1]
    gate = sorted(gates)[len(gates) // 2]
    if abs(spacing - step_ms) > 0.2 * step_ms or abs(gate - gate_ms) > 0.2 * gate_ms:
        raise Failure("steps of %.1f ms and gates of %.1f ms, not %.1f and %.1f" % (spacing, gate, step_ms, gate_ms))


def test_second_instance(s):
    """A second start, with another runtime folder (as over ssh), exits at once without a window and without touching
    the instrument; the first shows the "Multiple instance" box."""
    state = s.start_connected()
    memory_before = read(s.state_file, "rb")
    other_runtime = os.path.join(s.work, "other runtime")
    os.makedirs(other_runtime, mode=0o700)
    second = s.launch("the second instance", other_runtime)

    def ended():
        if len(s.windows(MAIN_TITLE)) > 1:
            raise Failure("the second instance opened a window")
        return second.poll() is not None

    try:
        wait_for("the second instance to end", ended, 10.0)
    finally:
        stop_process(second)
    if read(s.state_file, "rb") != memory_before:
        raise Failure("the second instance changed the instrument's memory file")

    s.answer("Multiple instance", "Return")
    if len(s.windows(MAIN_TITLE)) != 1:
        raise Failure("the first instance's window is gone")
    s.click_setting("BEND", dict(state["settings"]))  # the first instance still works


# Binds the name, listens with the shortest queue, fills it and never takes a connection.
NAME_HOLDER = """import signal, socket, sys
name, queued = "\\0" + sys.argv[1], [socket.socket(socket.AF_UNIX, socket.SOCK_STREAM)]
queued[0].bind(name), queued[0].listen(0)
try:
    while True:
        queued.append(socket.socket(socket.AF_UNIX, socket.SOCK_STREAM | socket.SOCK_NONBLOCK))
        queued[-1].connect(name)
except BlockingIOError:
    print("full", flush=True)
signal.pause()"""


def test_instance_name_held_by_a_stranger(s):
    """Another user's program holds the single-instance name, its queue full, and never answers: the demo shows its
    window and the "Single instance" box within seconds, and runs."""
    write_state(s.state_file)
    # The system's Python, which the user nobody may run.
    command = [shutil.which("python3", path="/usr/bin:/bin") or sys.executable, "-c", NAME_HOLDER, INSTANCE_NAME[1:]]
    try:  # as the user nobody where the test may start one, else as the same user, to the demo alike
        holder = subprocess.Popen(command, stdout=subprocess.PIPE, user=65534, group=65534, extra_groups=[], cwd="/")
    except OSError:
        holder = subprocess.Popen(command, stdout=subprocess.PIPE)
    try:
        if holder.stdout.readline().strip() != b"full":
            raise Failure("the name's holder could not fill its queue")
        started, s.demo = time.monotonic(), s.launch("demo")
        s.wait_window("Single instance")
        print("user %d holds the name; the box showed %.2f s after the start"
              % (os.stat("/proc/%d" % holder.pid).st_uid, time.monotonic() - started), flush=True)
        s.origin = s.geometry(s.wait_window(MAIN_TITLE, 1.0))[:2]
        s.answer("Single instance", "Return")
        s.wait_until_settings_read()
    finally:
        stop_process(holder, signal.SIGKILL)


# The screen's windows from the bottom up (without a window manager, the program's windows are
# the root window's children).
def stacking(display_name):
    lib, unused, count, children = x11(), ctypes.c_ulong(), ctypes.c_uint(), ctypes.POINTER(ctypes.c_ulong)()
    lib.XDefaultRootWindow.restype, lib.XDefaultRootWindow.argtypes = ctypes.c_ulong, [ctypes.c_void_p]
    lib.XQueryTree.argtypes = [ctypes.c_void_p, ctypes.c_ulong] + [ctypes.c_void_p] * 4
    display = open_display(lib, display_name)
    lib.XQueryTree(display, lib.XDefaultRootWindow(display), ctypes.byref(unused), ctypes.byref(unused),
                   ctypes.byref(children), ctypes.byref(count))
    order = children[:count.value]
    lib.XFree(children)
    lib.XCloseDisplay(display)
    return order


def test_second_instance_box_over_the_editor(s):
    """With the sequence editor open, a second start's "Multiple instance" box comes over it, and back to the front
    when the editor is put over it (as a window manager does with a new window while the user types elsewhere) and
    typed into; once the box is answered, the editor takes the keys again."""
    s.start_connected()
    editor = open_editor(s)
    second = s.launch("the second instance")
    try:
        second.wait(10.0 * TIME_SCALE)
    finally:
        stop_process(second)
    box = s.wait_window("Multiple instance")
    over = lambda: (order := stacking(s.env["DISPLAY"])) and order.index(box) > order.index(editor)
    wait_for("the box over the editor", over, 5.0)
    s.run("xdotool", "windowraise", str(editor))
    if over():
        raise Failure("the editor could not be put over the box")
    s.key("x", editor)
    wait_for("the box to come back over the editor", over, 5.0)
    s.answer("Multiple instance", "Return")
    kept = lambda: read_state(os.path.join(s.work, "Sequence Editor.json")) or {}
    s.press_until("3", lambda: kept().get("selected") == 2, 3, editor)
    if kept().get("selected") != 2 or kept()["sequences"] != kept()["instrument"]:
        raise Failure("the editor did not take the key 3, or took the x: %s" % kept())


# Closes the main window as a window manager would, whatever is open on it, and checks that the
# demo ends within the limit with exit status 0, without showing the box in never_shown.
def close_and_expect_end(s, limit=5.0, never_shown=()):
    s.quit_sent, start = True, time.monotonic()
    window = s.wait_window(MAIN_TITLE)
    last_sent = [0.0]

    # A close request that arrives while a box is being opened can be read into Xlib's own queue
    # by the box's X calls; JUCE only looks again when the X connection next becomes readable,
    # which on a desktop the next mouse move does, and here nothing does. So, like a person
    # clicking the close button again, the test sends it again once a second, within the limit.
    def ended():
        for title in never_shown:
            if s.windows(title):
                raise Failure('the "%s" box was shown after the close request' % title)
        if s.demo.poll() is not None:
            return True
        if time.monotonic() - last_sent[0] >= 1.0:
            send_close_request(s.env["DISPLAY"], window)
            last_sent[0] = time.monotonic()
        return False

    wait_for("the demo to end after the close request", ended, limit)
    print("ended %.2f s after the close request, status %d" % (time.monotonic() - start, s.demo.returncode), flush=True)
    if s.demo.returncode != 0:
        raise Failure("the demo ended with status %d" % s.demo.returncode)


# An instrument in its bootloader is not what the application looks for: detection finds nothing.
def start_without_instrument(s):
    pathlib.Path(s.state_file).write_text(json.dumps(dict(write_state(s.state_file), mode="bootloader")))
    s.start_demo()


def test_quit_during_detection(s):
    """Closed while the detection window looks in vain: ends, no retry box."""
    start_without_instrument(s)
    s.wait_window(DETECTION_TITLE)
    close_and_expect_end(s, never_shown=["No instrument found"])


def test_quit_at_retry_box(s):
    """Closed while the retry box asks whether to look again: ends, nothing more is shown."""
    start_without_instrument(s)
    s.wait_window("No instrument found")
    close_and_expect_end(s, never_shown=[DETECTION_TITLE])


def test_quit_at_update_offer(s):
    """Closed while the update is offered: counts as declined, the instrument is left as it was."""
    before = write_state(s.state_file, "1.0.2.9")
    s.start_demo()
    s.wait_window("Firmware version")
    close_and_expect_end(s, never_shown=["Firmware update:"])
    if read_state(s.state_file) != before:
        raise Failure("the instrument changed: %s" % read_state(s.state_file))


def test_quit_during_update_pause(s):
    """Closed in the pause while the instrument restarts into its bootloader: ends at once."""
    write_state(s.state_file, "1.0.2.9")
    s.start_demo()
    s.answer("Firmware version", "Return")
    # The connection is closed (the lamp goes out), the instrument found and asked to restart;
    # once no detection window has been seen for half a second, the five-second pause runs.
    wait_for("the lamp to go out", lambda: not s.lamp_lit(), 5.0)
    last_seen = [time.monotonic()]

    def pausing():
        if s.windows(DETECTION_TITLE) or s.windows("Firmware update:"):
            last_seen[0] = time.monotonic()
        return time.monotonic() - last_seen[0] > 0.5

    wait_for("the pause after the update request", pausing, 5.0)
    close_and_expect_end(s, never_shown=["Firmware update:", "Update error"])


def test_quit_during_update_transfer(s):
    """Closed while the image is sent: the transfer runs to its end, then the demo ends without its box."""
    write_state(s.state_file, "1.0.2.9")
    s.start_demo()
    s.answer("Firmware version", "Return")
    s.wait_window("Firmware update:", 30.0)
    close_and_expect_end(s, 60.0, never_shown=["Firmware update: complete", "Update error"])
    if read_state(s.state_file)["firmware"] != "1.0.3.2":
        raise Failure("the instrument does not hold the whole new firmware: %s" % read_state(s.state_file))


# Opens the "Save Sequences" chooser, ends the demo as given, and checks that nothing was saved
# and that the chooser went with the demo.
def quit_in_file_chooser(s, end):
    s.start_connected()
    s.click(SEQUENCES_TAB)
    s.click_until_window(SEQ_SAVE, "Save Sequences", wait=CHOOSER_START)
    choosers = wait_for("the chooser's process", s.chooser_processes, 5.0)
    end()
    if [f for f in os.listdir(s.work) if f.endswith(".tvseq")]:
        raise Failure("a sequence file was written")
    gone = lambda pid: not os.path.exists("/proc/%d" % pid) or read("/proc/%d/stat" % pid).rsplit(")", 1)[1].split()[0] == "Z"
    wait_for("the chooser to end with the demo", lambda: all(gone(pid) for pid in choosers), 2.0)


def test_quit_in_file_chooser(s):
    """Closed while the desktop's "Save Sequences" chooser is open: nothing is saved, the demo ends, the chooser with it."""
    quit_in_file_chooser(s, lambda: close_and_expect_end(s, never_shown=["Generate MidiFiles?"]))


def test_terminated_in_file_chooser(s):
    """SIGTERM while the desktop's "Save Sequences" chooser is open: the demo ends within 5 s, the chooser with it."""
    def terminate():
        s.quit_sent, start = True, time.monotonic()
        s.demo.send_signal(signal.SIGTERM)
        wait_for("the demo to end after SIGTERM", lambda: s.demo.poll() is not None, 5.0)
        print("ended %.2f s after SIGTERM, status %d" % (time.monotonic() - start, s.demo.returncode), flush=True)
        if s.demo.returncode != 0:
            raise Failure("the demo ended with status %d" % s.demo.returncode)

    quit_in_file_chooser(s, terminate)


def test_quit_at_parse_error(s):
    """Closed while a parsing error is shown: the file was checked whole, so nothing was loaded."""
    state = s.start_connected()
    bad = os.path.join(s.work, "bad.tvseq")
    pathlib.Path(bad).write_text("1:50 51\n2:60 200\n3:70")
    s.click(SEQUENCES_TAB)
    s.click(SEQ_LOAD)
    s.choose_file("Load Sequences", bad)
    s.wait_window("Sequence file parsing error")
    close_and_expect_end(s)
    if read_state(s.state_file)["sequences"] != state["sequences"]:
        raise Failure("the instrument holds %s" % read_state(s.state_file)["sequences"])


def test_instance_starts_close_together(s):
    """Three starts 0, 20 and 50 ms apart, three times: one window, the others end within 2 s and are
    each told by a "Multiple instance" box; once it has ended, a new start works."""
    write_state(s.state_file)
    for round in range(3):
        wait_for("the last instance's name to be free", instance_name_free, 10.0)
        started, processes = time.monotonic(), []
        for delay in [0.0, 0.02, 0.05]:
            time.sleep(max(0.0, started + delay - time.monotonic()))
            processes.append((s.launch("start %d of round %d" % (len(processes) + 1, round + 1)), time.monotonic()))

        def two_ended():
            return sum(p.poll() is not None for p, _ in processes) >= 2

        wait_for("two of the three starts to end", two_ended, 2.0)
        ended = [(p, t) for p, t in processes if p.poll() is not None]
        for p, t in ended:
            if p.returncode != 0:
                raise Failure("a refused start ended with status %d" % p.returncode)
        s.demo = next(p for p, _ in processes if p.poll() is None)
        s.wait_window(MAIN_TITLE)
        if len(s.windows(MAIN_TITLE)) != 1:
            raise Failure("%d main windows" % len(s.windows(MAIN_TITLE)))
        # One box for each refused start, one after the other.
        for _ in ended:
            box = s.wait_window("Multiple instance", 20.0)
            for _ in range(4):
                with contextlib.suppress(Failure):  # the box may close between the look and the key
                    s.key("Return", box)
                if wait_for("the box to close", lambda: box not in s.windows("Multiple instance"), 1.0, quiet=True):
                    break
        close_and_expect_end(s, never_shown=["Multiple instance"])
    s.quit_sent = False
    s.start_demo()


TESTS = {name[len("test_"):]: fn for name, fn in sorted(globals().items()) if name.startswith("test_")}


# Runs one test in its session; a program the test did not end must still be running after it.
# Returns the exit status of the test.
def run_session(name, session, test, program_should_live):
    ok = False
    try:
        test(session)
        if program_should_live(session):
            session.check_alive()
        ok = True
    except Exception as e:
        traceback.print_exc()
        print("FAILED: %s" % e, flush=True)
    finally:
        ok = session.close(ok)
    print("%s: %s (screenshot %s)" % (name, "passed" if ok else "FAILED", session.screenshot), flush=True)
    return 0 if ok else 1


def run_test(name, app, out, tests):
    return run_session(name, Session(name, app, out), tests[name], lambda s: not s.quit_sent)


# Runs this script again in a mount and network namespace of its own, with an empty X socket
# folder and /var/tmp: the demo's single-instance name (abstract Unix socket names belong to a
# network namespace), and the X server's socket, are then invisible to every other demo and test
# on the machine, while the demos of this test meet as on any desktop. Returns None when the
# system does not allow it; the test then runs in the shared namespace, waiting for other demos
# to end.
def run_isolated(argv, app, script):
    here, unshare = os.path.abspath(script), shutil.which("unshare")
    if unshare is None or any(os.path.abspath(p).startswith("/var/tmp/") for p in [here, app]):
        return None
    command = [unshare, "--mount", "--net", "--fork", "--kill-child"] + (["--map-root-user"] if os.geteuid() else [])
    # /tmp itself stays shared (the checkout and the build may live there); only the X sockets
    # and /var/tmp, which holds the lock, are private.
    mounts = ("mkdir -p /tmp/.X11-unix && mount -t tmpfs tarnovelle-e2e /tmp/.X11-unix"
              " && chmod 1777 /tmp/.X11-unix && mount -t tmpfs tarnovelle-e2e /var/tmp")
    if subprocess.run(command + ["--", "sh", "-c", mounts], capture_output=True).returncode != 0:
        return None
    return subprocess.call(command + ["--", "sh", "-c", mounts + ' && exec "$@"', "sh", sys.executable, here] + argv,
                           env=dict(os.environ, TARNOVELLE_E2E_ISOLATED="1"))


# Runs the test named on the command line, one of `tests` (a script with tests of its own passes
# them, and itself as the script to run again in isolation).
def main(tests=TESTS, script=__file__):
    parser = argparse.ArgumentParser(description="End-to-end tests of the built demo application.")
    parser.add_argument("test", nargs="?", choices=sorted(tests))
    parser.add_argument("--app")
    parser.add_argument("--out", default="e2e")
    parser.add_argument("--geometry", help="the geometry file the build writes (e2e/geometry.json)")
    parser.add_argument("--list", action="store_true")
    args = parser.parse_args()
    if args.list or not args.test or not args.app or not args.geometry:
        print("\n".join(sorted(tests)))
        return 0 if args.list else 2
    load_geometry(args.geometry)
    isolated = os.environ.get("TARNOVELLE_E2E_ISOLATED") == "1"
    code = None if isolated else run_isolated(sys.argv[1:], args.app, script)
    return run_test(args.test, args.app, args.out, tests) if code is None else code


if __name__ == "__main__":
    sys.exit(main())
