#!/usr/bin/env python3
"""End-to-end tests of the built demo application.

Each test starts its own Xvfb server and the demo with a prepared memory file of the
emulated instrument, drives the real window with X mouse clicks and key presses (xdotool),
and checks the instrument's memory file afterwards. There is no window manager: windows
have no title bar, and every window and alert is found by its title.

    demo_e2e.py <test> --app build/bin/TarnovelleConnectionDemo --out build/e2e
    demo_e2e.py --list

Each test leaves a screenshot of its last state in <out>/<test>.png and the application's
output in <out>/<test>.log. Only the standard library is used; the X tools are Xvfb,
xdotool and ImageMagick's import.
"""

import argparse
import fcntl
import json
import os
import re
import shutil
import signal
import subprocess
import sys
import tempfile
import time
import traceback

MAIN_TITLE = "Tarnovelle Connection Demo"
OVERWRITE_TITLE = "File already exists"  # JUCE's own chooser asks this before replacing a file
DETECTION_TITLE = "Checking connection with Tarnovelle synthesizer"
SCREEN_W, SCREEN_H = 1280, 1024
WINDOW_W, WINDOW_H = 1000, 433
TAB_BAR = 30

# JUCE refuses a second instance through this lock file, whatever the display or the user.
INSTANCE_LOCKS = ["/var/tmp/juceAppLock_Tarnovelle Connection Demo"]

# A second start tells the first one through a pipe in /tmp named after the user (USER). Each
# test gives its demos a user name of their own, so that no other demo on the machine, in
# another test or another checkout, can reach them through it.
PIPE_PATH = "/tmp/TarnovelleConnectionDemo_instance_%s_%s"

# Where to click, in window coordinates: tab coordinates plus the tab bar above them.
def _tab(x, y):
    return (x, y + TAB_BAR)


def _knob(widget_x, widget_y):
    # The knob picture lies at 24, 24 (66 x 65) inside each one-knob widget.
    return _tab(widget_x + 24 + 33, widget_y + 24 + 32)


def _switch(x, y):
    return _tab(x + 14, y + 32)


CONTROLS = {
    "MKEY": _switch(151 + 8, 92 + 8),
    "LKEY": _switch(151 + 379, 92 + 135),
    "LFO": _switch(436, 226),
    "VELO": _switch(253, 100),
    "AFTE": _switch(629, 99),
    "ARP": _switch(439, 99),
    "BEND": _knob(599, 213),
    "STEP": _knob(808, 76),
    "SYNC": _knob(810, 206),
    "GLEN": _switch(743, 227),
    "TAP": _switch(756, 98),
    "MOUT": _tab(80 + 42 + 33, 220 + 17 + 32),
    "MIN": _tab(80 + 167 + 33, 220 + 15 + 32),
    "INGN": _switch(535, 99),
}

# The picture areas that show a control's state, in window coordinates (x, y, w, h).
KNOB_AREA = {
    "BEND": (599 + 24, 213 + 24 + TAB_BAR, 66, 65),
    "SYNC": (810 + 24, 206 + 24 + TAB_BAR, 66, 65),
}
LAMP = (964, 15)
LAMP_AREA = (952, 0, 24, 30)
AWAY = (20, 420)  # a point of the window where the mouse changes no picture

# The tab buttons, left-aligned on the tab bar and as wide as their names.
TABS = {"Configuration": (52, 15), "Firmware Update": (169, 15), "Sequences": (276, 15)}
TAB_CONTENT = (600, 100 + TAB_BAR, 120, 120)  # shows the bend knob on the first tab only
SEQ_LOAD = _tab(536 + 35, 232 + 27)
SEQ_SAVE = _tab(696 + 35, 232 + 27)


# What one click does to a setting's value (the widgets' advance rules).
def advance(code, value):
    if code == "BEND":
        return 1 if value + 1 > 12 else value + 1
    if code == "STEP":
        v = (value * 2) & 0xFF
        return 4 if v > 32 else v
    if code == "GLEN":
        return 1 if value + 1 > 3 else value + 1
    if code == "TAP":
        return 0 if value + 1 > 1 else value + 1
    modulo = {"MIN": 17, "MOUT": 16, "MKEY": 3, "LKEY": 2, "INGN": 3, "LFO": 2, "VELO": 3, "AFTE": 3, "ARP": 2,
              "SYNC": 3}
    return (value + 1) % modulo[code]


class Failure(Exception):
    pass


# Slower builds (the sanitizers) stretch every time-out by this factor.
TIME_SCALE = float(os.environ.get("TARNOVELLE_E2E_TIME_SCALE", "1"))


def wait_for(what, condition, timeout=10.0, interval=0.05):
    """Polls until the condition returns something true; returns it, or fails after the timeout."""
    timeout *= TIME_SCALE
    end = time.monotonic() + timeout
    while True:
        result = condition()
        if result:
            return result
        if time.monotonic() > end:
            raise Failure("timed out after %.1f s waiting for %s" % (timeout, what))
        time.sleep(interval)


def log(message):
    print("[%8.3f] %s" % (time.monotonic() - START, message), flush=True)


START = time.monotonic()


class Xvfb:
    """An X server of our own; -displayfd lets it choose a free display number."""

    def __init__(self):
        read_end, write_end = os.pipe()
        self.process = subprocess.Popen(
            ["Xvfb", "-displayfd", str(write_end), "-screen", "0", "%dx%dx24" % (SCREEN_W, SCREEN_H), "-nolisten",
             "tcp", "-dpi", "96"],
            pass_fds=(write_end,), stdout=subprocess.DEVNULL, stderr=subprocess.DEVNULL)
        os.close(write_end)
        with os.fdopen(read_end) as pipe:
            number = pipe.readline().strip()
        if not number:
            raise Failure("Xvfb did not start")
        self.display = ":" + number
        log("Xvfb %s, pid %d" % (self.display, self.process.pid))

    def stop(self):
        stop_process(self.process, "Xvfb", signal.SIGTERM)


def stop_process(process, name, first_signal=signal.SIGINT, grace=5.0):
    """Stops one process by its own id: the signal, then SIGKILL after the grace time."""
    grace *= TIME_SCALE
    if process.poll() is not None:
        return process.returncode
    try:
        os.kill(process.pid, first_signal)
        return process.wait(timeout=grace)
    except subprocess.TimeoutExpired:
        log("%s (pid %d) did not end after %s; killing it" % (name, process.pid, signal.Signals(first_signal).name))
        os.kill(process.pid, signal.SIGKILL)
        return process.wait(timeout=grace)
    except ProcessLookupError:
        return process.wait(timeout=grace)


class X:
    """The display, through xdotool and ImageMagick."""

    def __init__(self, display):
        self.env = dict(os.environ, DISPLAY=display)

    def run(self, *args, check=True):
        try:
            result = subprocess.run(list(args), env=self.env, stdout=subprocess.PIPE, stderr=subprocess.PIPE,
                                    timeout=20)
        except subprocess.TimeoutExpired:
            raise Failure("%s did not end within 20 s" % " ".join(args))
        if check and result.returncode != 0:
            raise Failure("%s failed: %s" % (" ".join(args), result.stderr.decode(errors="replace").strip()))
        return result.stdout

    def windows(self, title):
        """The visible windows whose title is exactly this one."""
        out = self.run("xdotool", "search", "--onlyvisible", "--name", "^%s$" % re.escape(title), check=False)
        return [int(w) for w in out.split()]

    def titles(self):
        """The titles of every visible window, for diagnostics."""
        names = []
        out = self.run("xdotool", "search", "--onlyvisible", "--name", ".", check=False)
        for w in out.split():
            name = self.run("xdotool", "getwindowname", w.decode(), check=False).decode(errors="replace").strip()
            names.append(name)
        return names

    def geometry(self, window):
        out = self.run("xdotool", "getwindowgeometry", "--shell", str(window)).decode()
        values = dict(line.split("=", 1) for line in out.split() if "=" in line)
        return int(values["X"]), int(values["Y"]), int(values["WIDTH"]), int(values["HEIGHT"])

    def click_at(self, x, y):
        # The X server takes the fake motion before the fake press. (--sync would wait for a
        # motion that never comes when the pointer is already there.)
        self.run("xdotool", "mousemove", str(x), str(y), "click", "1")

    def move_to(self, x, y):
        self.run("xdotool", "mousemove", str(x), str(y))

    def key(self, window, keysym):
        """Focuses the window, then presses the key."""
        self.run("xdotool", "windowfocus", "--sync", str(window))
        self.run("xdotool", "key", "--clearmodifiers", keysym)

    def type_text(self, text):
        self.run("xdotool", "type", "--delay", "5", "--clearmodifiers", text)

    def pixels(self, area):
        """The raw pixels of an area of the screen, for comparisons."""
        x, y, w, h = area
        return self.run("import", "-window", "root", "-crop", "%dx%d+%d+%d" % (w, h, x, y), "rgb:-")

    def screenshot(self, path):
        self.run("import", "-window", "root", path, check=False)


# JUCE opens the X libraries at run time and closes them at exit. Built with AddressSanitizer,
# the demo then reports whatever those libraries still held as leaks that LeakSanitizer can no
# longer trace to any code. Loaded from the start, they stay mapped and what they keep stays
# reachable, so what LeakSanitizer still reports is a real leak.
X_LIBRARIES = "libX11.so.6 libXext.so.6 libXcursor.so.1 libXinerama.so.1 libXrender.so.1 libXrandr.so.2"


def sanitizer_environment(app):
    linked = subprocess.run(["ldd", app], stdout=subprocess.PIPE, stderr=subprocess.DEVNULL).stdout
    if b"libasan" not in linked:
        return {}
    options = os.environ.get("ASAN_OPTIONS", "")
    return {"LD_PRELOAD": X_LIBRARIES, "ASAN_OPTIONS": (options + ":" if options else "") + "verify_asan_link_order=0"}


class Demo:
    """One run of the demo application on the display."""

    def __init__(self, x, app, state_file, home, user, log_path, name="demo"):
        self.x = x
        self.name = name
        env = dict(x.env, TARNOVELLE_EMULATOR_STATE=state_file, HOME=home, USER=user, **sanitizer_environment(app))
        self.log_file = open(log_path, "ab")
        self.process = subprocess.Popen([app], env=env, stdout=self.log_file, stderr=subprocess.STDOUT,
                                        cwd=home)
        log("%s started, pid %d" % (name, self.process.pid))
        self.window = None
        self.origin = None

    def alive(self):
        return self.process.poll() is None

    def check_alive(self):
        if not self.alive():
            raise Failure("%s ended unexpectedly with code %s" % (self.name, self.process.returncode))

    def wait_for_main_window(self, timeout=15.0):
        def found():
            self.check_alive()
            windows = self.x.windows(MAIN_TITLE)
            return windows[0] if len(windows) == 1 else None

        self.window = wait_for("the main window", found, timeout)
        self.origin = self.x.geometry(self.window)[:2]
        geometry = self.x.geometry(self.window)
        log("main window %d at %s" % (self.window, geometry))
        if geometry[2:] != (WINDOW_W, WINDOW_H):
            raise Failure("the main window is %dx%d, not %dx%d" % (geometry[2], geometry[3], WINDOW_W, WINDOW_H))
        centre = ((SCREEN_W - WINDOW_W) // 2, (SCREEN_H - WINDOW_H) // 2)
        if abs(geometry[0] - centre[0]) > 1 or abs(geometry[1] - centre[1]) > 1:
            raise Failure("the main window is not centred: %s" % (geometry,))
        return self.window

    def at(self, point):
        return self.origin[0] + point[0], self.origin[1] + point[1]

    def area(self, area):
        x, y, w, h = area
        return self.origin[0] + x, self.origin[1] + y, w, h

    def click(self, point):
        self.check_alive()
        self.x.click_at(*self.at(point))

    def move_away(self):
        self.x.move_to(*self.at(AWAY))

    def wait_for_dialog(self, title, timeout=15.0):
        def found():
            self.check_alive()
            windows = self.x.windows(title)
            return windows[0] if windows else None

        window = wait_for('the "%s" window' % title, found, timeout)
        log('"%s" is shown' % title)
        return window

    def wait_until_gone(self, title, timeout=15.0):
        def gone():
            self.check_alive()
            return not self.x.windows(title)

        wait_for('the "%s" window to close' % title, gone, timeout)

    def answer(self, title, keysym, timeout=15.0, pause=0.0):
        """Waits for the box, presses the key on it (after reading it for a pause) and waits
        until it has closed."""
        window = self.wait_for_dialog(title, timeout)
        time.sleep(pause)
        end = time.monotonic() + 5.0
        while self.x.windows(title):
            self.x.key(window, keysym)
            if wait_quietly(lambda: not self.x.windows(title), 1.0) or time.monotonic() > end:
                break
        self.wait_until_gone(title, 2.0)
        log('answered "%s" with %s' % (title, keysym))

    def stop(self):
        code = stop_process(self.process, self.name)
        log("%s ended with %s" % (self.name, code))
        self.log_file.close()
        return code


def wait_quietly(condition, timeout):
    try:
        return wait_for("", condition, timeout)
    except Failure:
        return False


#==============================================================================
# The emulated instrument's memory file.

def sequences_from_text(lines):
    return [[127 if token == "x" else int(token) for token in line.split()] for line in lines]


def default_sequences():
    seqs = sequences_from_text([
        "60 62 64 65 67 69 71 72",
        "48 x 48 x 51 x 53 55",
        "",
        "36 48 60 72 84 96 108 120 1 2 3 4 5 6 7 8 9 10 11 12 13 14 15 16 17 18 19 20 21 22 23 24 25 26 27 28 29 30 "
        "31 32 33 34 35 36 37 38 39 40 41 42 43 44 45 46 47 48 49 50 51 52 53 54 55 56",
        "60",
        "x x x 61",
        "70 71 72 73 74 75 76 77 78 79 80 81 82 83 84 85 86 87 88 89 90 91 92 93 94 95 96 97 98 99 100 101 102",
        "125 x 1",
    ])
    return seqs


DEFAULT_SETTINGS = {"MIN": 3, "MOUT": 5, "MKEY": 1, "LKEY": 0, "INGN": 2, "LFO": 0, "VELO": 1, "AFTE": 0, "ARP": 1,
                    "BEND": 5, "STEP": 8, "GLEN": 2, "TAP": 0, "SYNC": 2}


def write_state(path, firmware="1.0.3.2", settings=None, sequences=None):
    state = {"firmware": firmware, "mode": "application", "settings": dict(settings or DEFAULT_SETTINGS),
             "sequences": sequences if sequences is not None else default_sequences()}
    with open(path, "w") as f:
        json.dump(state, f)
    return state


def read_state(path):
    """The memory file, or None while it cannot be read (it is replaced by renaming, so this is rare)."""
    try:
        with open(path) as f:
            return json.load(f)
    except (OSError, ValueError):
        return None


def wait_for_state(path, what, predicate, timeout=5.0):
    def matches():
        state = read_state(path)
        return state if state is not None and predicate(state) else None

    return wait_for("the instrument's memory to show " + what, matches, timeout)


def sequence_file_text(sequences):
    lines = []
    for i, steps in enumerate(sequences):
        lines.append("%d:%s" % (i + 1, " ".join("x" if s == 127 else str(s) for s in steps)))
    return "\n".join(lines)


#==============================================================================
# Scenario helpers.

def wait_for_instance_locks(timeout=120.0):
    """Another engineer's or test's demo holds JUCE's single-instance lock: wait until it is free."""

    def free():
        for path in INSTANCE_LOCKS:
            if not os.path.exists(path):
                continue
            with open(path, "a+") as f:
                try:
                    fcntl.lockf(f, fcntl.LOCK_EX | fcntl.LOCK_NB)
                    fcntl.lockf(f, fcntl.LOCK_UN)
                except OSError:
                    return False
        return True

    if not free():
        log("another instance of the demo is running; waiting for it to end")
    wait_for("another running demo to end", free, timeout, 0.5)


def painted(pixels):
    """True once the area shows a picture rather than an empty window's single colour."""
    return len({pixels[i:i + 3] for i in range(0, len(pixels), 3)}) > 8


def wait_until_settings_read(ctx, demo):
    """The settings are read after detection, the clock sync setting last: its knob then leaves
    its first picture. That first picture is taken once the window has been painted, and again
    whenever the detection window is seen (no setting is read while it is open)."""
    x = ctx.x
    area = demo.area(KNOB_AREA["SYNC"])
    first = wait_for("the main window to be painted", lambda: (lambda p: p if painted(p) else None)(x.pixels(area)),
                     10.0)

    def read():
        nonlocal first
        if x.windows(DETECTION_TITLE):
            first = x.pixels(area)
            return False
        return x.pixels(area) != first

    wait_for("the settings to be read (the SYNC knob turning)", read, 15.0)
    # The settings after it are shown as their replies come: let the reading end.
    time.sleep(0.2)


def start_connected(ctx, settings=None, sequences=None):
    """Starts the demo with firmware 1.0.3.2 and waits until every setting has been read."""
    state = write_state(ctx.state_file, settings=settings, sequences=sequences)
    demo = ctx.start_demo()
    demo.wait_for_main_window()
    wait_until_settings_read(ctx, demo)
    return demo, state


def click_setting(ctx, demo, code, expected_settings):
    demo.click(CONTROLS[code])
    expected_settings[code] = advance(code, expected_settings[code])
    value = expected_settings[code]
    wait_for_state(ctx.state_file, "%s = %d" % (code, value), lambda s: s["settings"][code] == value)
    log("clicked %s: the instrument holds %d" % (code, value))


def choose_file(demo, x, title, path):
    """JUCE's own file chooser: type the full path into its file name box and press Return."""
    window = demo.wait_for_dialog(title)
    # The name box lies along the bottom of the dialog, above its buttons: click into it.
    left, top, width, height = wait_for("the chooser's size", lambda: (lambda g: g if g[2] > 300 else None)(
        x.geometry(window)), 5.0)
    time.sleep(0.3)  # the chooser scans its folder first
    x.click_at(left + width // 2, top + height - 64)
    x.run("xdotool", "key", "--clearmodifiers", "ctrl+a")
    x.type_text(path)
    # The first Return takes the chooser to the file's folder and leaves the bare name in the
    # box; the next one chooses it. Choosing an existing file to save asks first.
    for _ in range(3):
        x.run("xdotool", "key", "--clearmodifiers", "Return")
        if wait_quietly(lambda: not x.windows(title) or x.windows(OVERWRITE_TITLE), 1.0):
            break
    if x.windows(OVERWRITE_TITLE):
        log('chose %s in "%s": it asks "%s"' % (path, title, OVERWRITE_TITLE))
        return
    demo.wait_until_gone(title, 5.0)
    log('chose %s in "%s"' % (path, title))


#==============================================================================
# The tests.

def test_startup_update_declined(ctx):
    """Outdated firmware: the update offer is declined; connected, no setting read, nothing changed."""
    settings = dict(DEFAULT_SETTINGS, STEP=4)
    write_state(ctx.state_file, firmware="1.0.2.9", settings=settings)
    demo = ctx.start_demo()
    demo.wait_for_main_window()
    demo.answer("Firmware version", "Escape")

    # No setting was read, so the widgets still hold their first values: the step knob starts
    # at 16, and its first click sends 32 although the instrument held 4.
    time.sleep(0.3)
    if ctx.x.windows("Firmware update:") or ctx.x.windows("Firmware update: complete"):
        raise Failure("the update ran although it was declined")
    demo.click(CONTROLS["STEP"])
    state = wait_for_state(ctx.state_file, "STEP = 32", lambda s: s["settings"]["STEP"] == 32)
    if state["firmware"] != "1.0.2.9":
        raise Failure("the firmware changed to %s" % state["firmware"])
    if {k: v for k, v in state["settings"].items() if k != "STEP"} != {k: v for k, v in settings.items()
                                                                        if k != "STEP"}:
        raise Failure("settings changed: %s" % state["settings"])
    demo.move_away()
    return demo


def test_startup_update_accepted(ctx):
    """A factory-fresh instrument (no memory file, firmware 1.0.2.0): the offered update runs to the end."""
    if os.path.exists(ctx.state_file):
        os.remove(ctx.state_file)
    demo = ctx.start_demo()
    demo.wait_for_main_window()
    demo.wait_for_dialog("Firmware version")
    lamp_on = ctx.x.pixels(demo.area(LAMP_AREA))  # connected while the offer is shown
    demo.answer("Firmware version", "Return")
    # The instrument restarts into its bootloader (5 s), is found there, takes the image.
    demo.wait_for_dialog("Firmware update:", 30.0)
    # The box asks to reboot the instrument first; it restarts by itself, within a second.
    demo.answer("Firmware update: complete", "Return", 60.0, pause=1.0)
    state = wait_for_state(ctx.state_file, "firmware 1.0.3.2 in its application firmware",
                           lambda s: s["firmware"] == "1.0.3.2" and s.get("mode", "application") == "application",
                           10.0)
    log("the instrument now runs %s" % state["firmware"])

    # Connected again afterwards (the settings are not read again: the step knob sends 32).
    def reconnected():
        if ctx.x.windows("No instrument found"):
            raise Failure("the instrument was not found after the update")
        return not ctx.x.windows(DETECTION_TITLE) and ctx.x.pixels(demo.area(LAMP_AREA)) == lamp_on

    wait_for("the reconnection (the lamp lit)", reconnected, 15.0)
    demo.click(CONTROLS["STEP"])
    wait_for_state(ctx.state_file, "STEP = 32", lambda s: s["settings"]["STEP"] == 32)
    demo.move_away()
    return demo


def test_settings_clicks(ctx):
    """Every setting read from the instrument is shown; clicks on knobs and switches change its memory."""
    demo, state = start_connected(ctx)
    expected = dict(state["settings"])
    for code in ["BEND", "BEND", "STEP", "STEP", "STEP", "LFO", "GLEN", "GLEN", "MIN", "MOUT", "MKEY", "LKEY",
                 "INGN", "VELO", "AFTE", "ARP", "TAP", "SYNC"]:
        click_setting(ctx, demo, code, expected)

    final = read_state(ctx.state_file)
    if final["settings"] != expected:
        raise Failure("the memory holds %s, expected %s" % (final["settings"], expected))
    if final["sequences"] != state["sequences"] or final["firmware"] != "1.0.3.2":
        raise Failure("clicking the settings changed the sequences or the firmware")
    demo.move_away()
    return demo


def test_connect_off_and_on(ctx):
    """CONNECT off: clicks change nothing on the instrument; CONNECT on: detected, read, clicks work again."""
    demo, state = start_connected(ctx)
    x = ctx.x
    demo.move_away()
    lamp_on = x.pixels(demo.area(LAMP_AREA))
    bend_read = x.pixels(demo.area(KNOB_AREA["BEND"]))

    demo.click(LAMP)
    demo.move_away()
    wait_for("the lamp to go out", lambda: x.pixels(demo.area(LAMP_AREA)) != lamp_on, 5.0)
    lamp_off = x.pixels(demo.area(LAMP_AREA))
    log("disconnected")

    # While disconnected the knob turns but nothing reaches the instrument.
    demo.click(CONTROLS["BEND"])
    demo.move_away()
    wait_for("the bend knob to turn", lambda: x.pixels(demo.area(KNOB_AREA["BEND"])) != bend_read, 5.0)
    time.sleep(1.0)
    if read_state(ctx.state_file)["settings"] != state["settings"]:
        raise Failure("a click while disconnected changed the instrument: %s" % read_state(ctx.state_file))
    if x.windows(DETECTION_TITLE) or x.windows("Connection"):
        raise Failure("a click while disconnected opened a window")

    demo.click(LAMP)
    demo.move_away()
    wait_for("the lamp to light again", lambda: x.pixels(demo.area(LAMP_AREA)) == lamp_on, 10.0)
    # Reading the settings again brings the knob back to the instrument's value.
    wait_for("the bend knob to show the instrument's value again",
             lambda: x.pixels(demo.area(KNOB_AREA["BEND"])) == bend_read, 10.0)
    log("connected again, settings read")
    if lamp_off == lamp_on:
        raise Failure("the lamp looks the same on and off")

    expected = dict(state["settings"])
    click_setting(ctx, demo, "BEND", expected)
    click_setting(ctx, demo, "LFO", expected)
    demo.move_away()
    return demo


def test_sequences_save_and_load(ctx):
    """The sequence set is saved through the "Save Sequences" chooser and loaded through "Load Sequences"."""
    demo, state = start_connected(ctx)
    x = ctx.x
    before = x.pixels(demo.area(TAB_CONTENT))
    demo.click(TABS["Sequences"])
    wait_for("the Sequences tab", lambda: x.pixels(demo.area(TAB_CONTENT)) != before, 5.0)

    # Save, with the MIDI files.
    saved = os.path.join(ctx.work, "saved set.tvseq")
    demo.click(SEQ_SAVE)
    choose_file(demo, x, "Save Sequences", saved)
    demo.answer("Generate MidiFiles?", "Return")
    expected_text = sequence_file_text(state["sequences"])
    wait_for("the sequence file", lambda: os.path.exists(saved) and open(saved).read() == expected_text, 10.0)
    midi_files = [saved + "_%d.mid" % n for n in range(1, 9)]
    wait_for("the eight MIDI files", lambda: all(os.path.exists(m) for m in midi_files), 5.0)
    for m in midi_files:
        with open(m, "rb") as f:
            if f.read(4) != b"MThd":
                raise Failure("%s is not a MIDI file" % m)
    log("saved %s and its eight MIDI files" % saved)

    # Load another set.
    loaded = default_sequences()
    loaded.reverse()
    loaded[0] = [50, 127, 52, 127]
    to_load = os.path.join(ctx.work, "other.tvseq")
    with open(to_load, "w") as f:
        f.write(sequence_file_text(loaded))
    demo.click(SEQ_LOAD)
    choose_file(demo, x, "Load Sequences", to_load)
    wait_for_state(ctx.state_file, "the loaded sequences", lambda s: s["sequences"] == loaded, 10.0)
    log("loaded %s" % to_load)

    # A file with a bad token is refused as a whole.
    bad = os.path.join(ctx.work, "bad.tvseq")
    with open(bad, "w") as f:
        f.write("1:60 61\n2:62\n3:60 126 x\n")
    demo.click(SEQ_LOAD)
    choose_file(demo, x, "Load Sequences", bad)
    demo.answer("Sequence file parsing error", "Return")
    time.sleep(0.5)
    if read_state(ctx.state_file)["sequences"] != loaded:
        raise Failure("a refused file changed the sequences")

    # Saving over the first file asks before overwriting; the file then holds the new set.
    demo.click(SEQ_SAVE)
    choose_file(demo, x, "Save Sequences", saved)
    demo.answer(OVERWRITE_TITLE, "Return")
    demo.wait_until_gone("Save Sequences", 5.0)
    demo.answer("Generate MidiFiles?", "Escape")
    wait_for("the sequence file to hold the loaded set",
             lambda: open(saved).read() == sequence_file_text(loaded), 10.0)
    demo.move_away()
    return demo


def test_second_instance(ctx):
    """A second start exits at once without a window; the first shows the "Multiple instance" box."""
    demo, state = start_connected(ctx)
    with open(ctx.state_file, "rb") as f:
        memory_before = f.read()
    second = Demo(ctx.x, ctx.app, ctx.state_file, ctx.home, ctx.user, ctx.log_path, "second instance")
    started = time.monotonic()
    code = None
    while code is None:
        code = second.process.poll()
        if len(ctx.x.windows(MAIN_TITLE)) > 1:
            stop_process(second.process, "second instance")
            raise Failure("the second instance opened a window")
        if time.monotonic() - started > 10.0:
            stop_process(second.process, "second instance")
            raise Failure("the second instance is still running after 10 s")
        time.sleep(0.05)
    second.log_file.close()
    log("the second instance ended after %.2f s with code %d" % (time.monotonic() - started, code))
    with open(ctx.state_file, "rb") as f:
        if f.read() != memory_before:
            raise Failure("the second instance changed the instrument's memory file")

    demo.answer("Multiple instance", "Return")
    if len(ctx.x.windows(MAIN_TITLE)) != 1:
        raise Failure("the first instance's window is gone")
    # The first instance still works.
    expected = dict(state["settings"])
    click_setting(ctx, demo, "BEND", expected)
    demo.move_away()
    return demo


TESTS = {name[len("test_"):]: fn for name, fn in sorted(globals().items()) if name.startswith("test_")}


class Context:
    def __init__(self, name, app, out):
        self.name = name
        self.app = os.path.abspath(app)
        self.out = os.path.abspath(out)
        os.makedirs(self.out, exist_ok=True)
        self.work = tempfile.mkdtemp(prefix="tarnovelle-e2e-%s-" % name)
        self.home = os.path.join(self.work, "home")
        os.makedirs(self.home)
        self.state_file = os.path.join(self.work, "instrument.json")
        self.user = "tarnovellee2e%d" % os.getpid()
        self.log_path = os.path.join(self.out, name + ".log")
        self.screenshot = os.path.join(self.out, name + ".png")
        self.x = None
        self.demos = []

    def start_demo(self):
        wait_for_instance_locks()
        demo = Demo(self.x, self.app, self.state_file, self.home, self.user, self.log_path)
        self.demos.append(demo)
        return demo


def run_test(name, app, out):
    for tool in ["Xvfb", "xdotool", "import"]:
        if shutil.which(tool) is None:
            print("missing tool: %s (scripts/install-deps.sh installs it)" % tool)
            return 1
    ctx = Context(name, app, out)
    if os.path.exists(ctx.log_path):
        os.remove(ctx.log_path)
    xvfb = Xvfb()
    ctx.x = X(xvfb.display)
    ok = False
    try:
        TESTS[name](ctx)
        ok = True
        for demo in ctx.demos:
            demo.check_alive()
    except Exception as e:
        if not isinstance(e, Failure):
            traceback.print_exc()
        print("FAILED: %s" % e, flush=True)
        try:
            print("visible windows: %s" % ctx.x.titles())
        except Exception:
            pass
    finally:
        ctx.x.screenshot(ctx.screenshot)
        for demo in ctx.demos:
            code = demo.stop()
            if ok and code != 0:
                print("FAILED: the demo ended with code %s" % code)
                ok = False
        xvfb.stop()
        state = read_state(ctx.state_file)
        if state is None and os.path.exists(ctx.state_file):
            print("FAILED: the memory file is not valid JSON after the run")
            ok = False
        shutil.rmtree(ctx.work, ignore_errors=True)
        for end in ["in", "out"]:
            if os.path.exists(PIPE_PATH % (ctx.user, end)):
                os.remove(PIPE_PATH % (ctx.user, end))
    print("%s: %s (screenshot %s)" % (name, "passed" if ok else "FAILED", ctx.screenshot), flush=True)
    return 0 if ok else 1


def argv_app(argv):
    """The --app argument of a command line, or an empty text."""
    return argv[argv.index("--app") + 1] if "--app" in argv[:-1] else ""


def run_isolated(argv):
    """Runs this script again in a mount and network namespace of its own, with empty X socket
    folder and /var/tmp: the demo's single-instance lock and pipe, and the X server's socket, are then
    invisible to every other demo and test on the machine. Returns None when the system does
    not allow it; the test then runs in the shared namespace, waiting for other demos to end."""
    unshare = shutil.which("unshare")
    if unshare is None or os.environ.get("TARNOVELLE_E2E_SHARED") == "1":
        return None
    command = [unshare, "--mount", "--net", "--fork", "--kill-child"]
    if os.geteuid() != 0:
        command.append("--map-root-user")
    # /tmp itself stays shared (the checkout and the build may live there); only the X
    # sockets and /var/tmp, which holds the locks and the pipe, are private.
    here = os.path.abspath(__file__)
    if here.startswith("/var/tmp/") or os.path.abspath(argv_app(argv)).startswith("/var/tmp/"):
        return None
    mounts = ("mkdir -p /tmp/.X11-unix && mount -t tmpfs tarnovelle-e2e /tmp/.X11-unix"
              " && chmod 1777 /tmp/.X11-unix && mount -t tmpfs tarnovelle-e2e /var/tmp")
    probe = subprocess.run(command + ["--", "sh", "-c", mounts], stdout=subprocess.DEVNULL,
                           stderr=subprocess.DEVNULL)
    if probe.returncode != 0:
        return None
    env = dict(os.environ, TARNOVELLE_E2E_ISOLATED="1")
    script = [sys.executable, os.path.abspath(__file__)] + argv
    return subprocess.call(command + ["--", "sh", "-c", mounts + ' && exec "$@"', "sh"] + script, env=env)


def main():
    parser = argparse.ArgumentParser(description=__doc__, formatter_class=argparse.RawDescriptionHelpFormatter)
    parser.add_argument("test", nargs="?", choices=sorted(TESTS))
    parser.add_argument("--app", help="the built TarnovelleConnectionDemo")
    parser.add_argument("--out", default="e2e", help="folder for screenshots and logs")
    parser.add_argument("--list", action="store_true", help="list the tests")
    args = parser.parse_args()
    if args.list or not args.test:
        print("\n".join(sorted(TESTS)))
        return 0
    if not args.app:
        parser.error("--app is required")
    if os.environ.get("TARNOVELLE_E2E_ISOLATED") != "1":
        code = run_isolated(sys.argv[1:])
        if code is not None:
            return code
        log("no namespace of its own: sharing the machine's /tmp and /var/tmp")
    return run_test(args.test, args.app, args.out)


if __name__ == "__main__":
    sys.exit(main())
