#!/usr/bin/env python3
# End-to-end tests of the real application on a real ALSA sequencer: TarnovelleConnection and
# tarnovelle-emulator, each test in a User-Mode Linux guest of its own (scripts/alsa-guest.sh)
# with an X server, "Midi Through" and four silent virtual raw MIDI ports (VirMIDI), the
# emulator's ports coming last. The window is driven as in the demo's end-to-end tests
# (tests/e2e/harness, whose session and tests are reused here); what crosses the
# sequencer is checked in the emulator's --verbose log, with aseqdump and on the raw MIDI
# devices behind the VirMIDI ports.
#
#     alsa_e2e.py [TEST ...] --build build --out build/alsa     every test (or those named), each in a guest
#     alsa_e2e.py TEST --in-guest --build build --out build/alsa    one test, inside a guest already
#     alsa_e2e.py --list
#
# Each test leaves in <out>: <test>.png (the screen at its end), <test>.log (the application's
# output), <test>.emulator.log (every message the instrument received and sent, but Active
# Sensing), <test>.instrument.json (its memory), and the logs of the listeners it ran.
# TARNOVELLE_E2E_TIME_SCALE stretches every time-out (default 4 here: the guest is slow).

import argparse, contextlib, glob, os, re, signal, subprocess, sys, threading, time

HERE = os.path.dirname(os.path.abspath(__file__))
ROOT = os.path.dirname(os.path.dirname(HERE))
os.environ.setdefault("TARNOVELLE_E2E_TIME_SCALE", "4")  # read as each session starts
sys.path.insert(0, os.path.join(ROOT, "tests", "e2e"))
import harness as e2e  # noqa: E402
import connection_e2e, sequences_e2e  # noqa: E402
from harness import Failure, wait_for, read, read_state, wait_for_state, stop_process  # noqa: E402

MAIN_TITLE = "Tarnovelle Connection"
IDENTITY_REQUEST = "f0 7e 7f 06 01 f7"
# The instrument's running firmware answers with family 04 00 and member 02 01; its bootloader
# with member 02 03. The device ID (01) and the version follow as bytes 2 and 12 to 15.
IDENTITY_REPLY = re.compile(r"^f0 7e (..) 06 02 00 5c 3d 04 00 02 (0[13]) (.. .. .. ..) f7$")
# The order in which the application reads the settings, with each one's get command.
READ_ORDER = [("MIN", 0x06), ("MOUT", 0x08), ("INGN", 0x35), ("LFO", 0x10), ("ARP", 0x2f), ("MKEY", 0x0c),
              ("LKEY", 0x0e), ("VELO", 0x12), ("AFTE", 0x33), ("BEND", 0x2d), ("STEP", 0x39), ("GLEN", 0x37),
              ("TAP", 0x2b), ("SYNC", 0x3d)]
SET_COMMAND = {code: get - 1 for code, get in READ_ORDER}
SILENT_PORTS = ["Midi Through", "VirMIDI 0-0", "VirMIDI 0-1", "VirMIDI 0-2", "VirMIDI 0-3"]
# The application judges the instrument gone when its Active Sensing is older than this.
SILENCE_LIMIT = 0.3


# The lines of a program's output, or the chunks of a device's bytes, each with the time it came.
class Listener:
    def __init__(self, source, log_path, lines=True):
        self.source, self.log_path, self.lines = source, log_path, lines
        self.received, self.lock = [], threading.Lock()
        self.thread = threading.Thread(target=self._read, daemon=True)
        self.thread.start()

    def _read(self):
        with open(self.log_path, "a") as log:
            while data := self.source.readline() if self.lines else os.read(self.source, 256):
                with self.lock:
                    self.received.append((time.monotonic(), data))
                log.write(data if self.lines else data.hex(" ") + "\n")
                log.flush()

    def items(self):
        with self.lock:
            return list(self.received)


# The ALSA sequencer's ports, as aconnect lists them: (client, port, client name, port name).
def sequencer_ports(option):
    ports, client = [], None
    for line in subprocess.run(["aconnect", option], capture_output=True, text=True, check=True).stdout.splitlines():
        if m := re.match(r"client (\d+): '([^']*)'", line):
            client = (int(m[1]), m[2])
        elif (m := re.match(r"\s+(\d+) '([^']*?)\s*'", line)) and client:
            ports.append((client[0], int(m[1]), client[1], m[2]))
    return ports


# One test in the guest: the demo tests' session, with the real application, the emulator on
# the sequencer and the listeners around them.
class RealSession(e2e.Session):
    def __init__(self, name, build, out, geo):
        super().__init__(name, os.path.join(build, "bin", "TarnovelleConnection"), out, geo)
        self.emulator_path = os.path.join(os.path.abspath(build), "bin", "tarnovelle-emulator")
        self.prefix = os.path.join(os.path.abspath(out), name)
        # The memory file stays beside the logs, for a look after the test.
        self.state_file = self.prefix + ".instrument.json"
        for path in glob.glob(glob.escape(self.prefix) + ".*"):  # what an earlier run left
            if path != self.log_path:
                os.unlink(path)
        self.emulator, self.helpers, self.listeners = None, [], []
        # The application's own data (its history library, the editor's kept work) in the scratch
        # folder, never in the data folder of whoever runs the tests.
        self.env["XDG_DATA_HOME"] = os.path.join(self.work, "data")

    def library(self):
        return os.path.join(self.env["XDG_DATA_HOME"], "Tarnovelle Connection", "library.sqlite")

    # Starts the emulator on its memory file and waits until its ports are published.
    # With keys, its standard input is a pipe the test plays the instrument's keys on.
    def start_emulator(self, *options, keys=False):
        log = open(self.prefix + ".emulator.log", "a")
        start = os.path.getsize(log.name)
        self.emulator = subprocess.Popen([self.emulator_path, "--state", self.state_file, "--verbose", *options],
                                         stdout=log, stderr=subprocess.STDOUT, cwd=self.work,
                                         stdin=subprocess.PIPE if keys else subprocess.DEVNULL, text=True)
        log.close()

        def published():
            if self.emulator.poll() is not None:
                raise Failure("the emulator ended with code %s: %s" % (self.emulator.returncode, read(log.name)))
            return "published" in read(log.name)[start:]

        wait_for("the emulator's ports", published, 10.0)

    # The messages the instrument received ("in") or sent ("out"), in lower-case hex.
    def emulator_messages(self, direction):
        return re.findall(r"^%s\s+([0-9a-f ]+?)\s*$" % direction, read(self.prefix + ".emulator.log"), re.M)

    # The instrument's ports the computer writes to ("-o") or reads from ("-i").
    # The emulator's input (-o: ports one may write to) is its own stamped client; its output is JUCE's.
    def instrument_ports(self, option="-o"):
        client = "Tarnovelle emulator" if option == "-o" else "JUCE"
        return [p for p in sequencer_ports(option) if p[2] == client and p[3] == "Tarnovelle"]

    # The demo's start, with the emulator (when none runs yet) and the real application.
    def start_demo(self):
        if self.emulator is None:
            self.start_emulator()
        self.demo = self.launch("TarnovelleConnection")
        self.origin = self.geometry(self.wait_window(MAIN_TITLE))[:2]

    # The settings are read once the instrument has answered for the clock sync, read last, and
    # its knob has left the picture it showed before that answer. (Judged by the pictures alone,
    # a slow guest may take the "before" picture after the reading.)
    def wait_until_settings_read(self):
        def sync_answers():
            return len(frames_with_command(self.emulator_messages("out"), SET_COMMAND["SYNC"]))

        answered = sync_answers()
        before = None

        def turned():
            nonlocal before
            picture = self.pixels(self.geo.sync_knob)
            if sync_answers() == answered:
                before = picture if len(set(picture[i:i + 3] for i in range(0, len(picture), 3))) > 8 else None
                return False
            return before is not None and picture != before

        wait_for("the settings to be read (the SYNC knob turning after its answer)", turned, 30.0)

    # Under the guest's slowness a click sent in one burst (motion, press, release) is now and
    # then taken by a push button without a click. A real pointer arrives before its button goes
    # down and holds it until the button shows itself pressed; so does this one, where the
    # control has a pressed picture (the release follows at once where it has none).
    def click_at(self, x, y):
        self.run("xdotool", "mousemove", str(x), str(y))
        area = (x - self.origin[0] - 10, y - self.origin[1] - 10, 20, 20)
        before = self.pixels(area)
        self.run("xdotool", "mousedown", "1")
        wait_for("the control to show itself pressed", lambda: self.pixels(area) != before, 1.0, quiet=True)
        self.run("xdotool", "mouseup", "1")

    def listen(self, name, source, lines=True):
        listener = Listener(source, "%s.%s.log" % (self.prefix, name.replace(" ", "-")), lines)
        self.listeners.append(listener)
        return listener

    # aseqdump on a readable port, its output lines with the times they came.
    def aseqdump(self, client, port):
        process = subprocess.Popen(["stdbuf", "-oL", "aseqdump", "-p", "%d:%d" % (client, port)], stdout=subprocess.PIPE,
                                   stderr=subprocess.STDOUT, text=True, bufsize=1)
        self.helpers.append(process)
        listener = self.listen("aseqdump %d:%d" % (client, port), process.stdout)

        def subscribed():
            if process.poll() is not None:
                raise Failure("aseqdump ended: %s" % "".join(line for _, line in listener.items()))
            return any("Waiting for data" in line for _, line in listener.items())

        wait_for("aseqdump to subscribe", subscribed, 10.0)
        return listener

    def close(self, ok):
        ok = super().close(ok)
        for helper in self.helpers:
            stop_process(helper, signal.SIGTERM)
        if self.emulator is not None and self.emulator.poll() is None:
            code = stop_process(self.emulator)
            if code != 0:
                print("FAILED: the emulator ended with code %s" % code, flush=True)
                ok = False
        return ok


def frames_with_command(frames, command):
    return [f for f in frames if len(f.split()) > 8 and int(f.split()[8], 16) == command]


def test_detection_and_settings(s):
    """Found behind the five silent outputs; the fourteen settings read; clicks send their frames."""
    # The emulator before the application, on a memory it reads when it starts; its ports come
    # after the kernel's.
    state = s.write_state()
    s.start_emulator()
    outputs = [p[3] for p in sequencer_ports("-o") if p[0] != 0]  # client 0 is the sequencer itself
    if len(outputs) != 6 or not all(o.startswith(n) for o, n in zip(outputs, SILENT_PORTS)) or outputs[5] != "Tarnovelle":
        raise Failure("the sequencer's outputs are %s, not the five silent ones and the instrument" % outputs)

    # Everything sent to the silent outputs: Midi Through passes it on to aseqdump, a VirMIDI
    # port to its raw MIDI device.
    through = s.aseqdump(*next(p[:2] for p in sequencer_ports("-i") if p[2] == "Midi Through"))
    virmidi = [s.listen("virmidi %d" % n, os.open("/dev/snd/midiC0D%d" % n, os.O_RDONLY), False)
               for n in range(4)]

    s.start_demo()
    s.wait_until_settings_read()

    # Each silent output was asked twice (a request, a second's wait, one more request) before
    # the instrument was asked once.
    requests = [sum(l.count("F0 7E 7F 06 01 F7") for _, l in through.items())]
    requests += [" ".join(chunk.hex(" ") for _, chunk in v.items()).count(IDENTITY_REQUEST) for v in virmidi]
    asked = s.emulator_messages("in").count(IDENTITY_REQUEST)
    if requests != [2] * 5 or asked != 1:
        raise Failure("Identity Requests: %s on the silent outputs, %d to the instrument" % (requests, asked))

    gets = [int(f.split()[8], 16) for f in s.emulator_messages("in") if len(f.split()) == 10]
    if gets != [command for _, command in READ_ORDER]:
        raise Failure("the instrument was asked %s, not the fourteen settings in order" % [hex(g) for g in gets])

    # Clicks: each sends one set frame with the next value, and the instrument's memory follows.
    expected = dict(state["settings"])
    for code in ["BEND", "MIN", "STEP", "LFO", "SYNC", "TAP"]:
        before = len(s.emulator_messages("in"))
        s.click_setting(code, expected)
        # The connection's "Read at connection" copy may still be reading the sequences (their
        # step requests, command 3b) in the slow guest: the click's frame comes after them.
        sent = [f for f in s.emulator_messages("in")[before:] if not re.match(r"^f0 00 5c 3d 05 01 .. 03 3b ", f)]
        pattern = r"^f0 00 5c 3d 05 01 .. 01 %02x %02x f7$" % (SET_COMMAND[code], expected[code])
        if len(sent) != 1 or not re.match(pattern, sent[0]):
            raise Failure("a click on %s sent %s, not one frame %s" % (code, sent, pattern))
    if read_state(s.state_file)["settings"] != expected:
        raise Failure("the instrument holds %s, not %s" % (read_state(s.state_file)["settings"], expected))


def test_active_sensing(s):
    """aseqdump sees the instrument's Active Sensing about every 250 ms."""
    s.start_emulator()
    client, port = s.instrument_ports("-i")[0][:2]
    dump = s.aseqdump(client, port)

    def sensing_times():
        return [t for t, line in dump.items() if "Active Sensing" in line]

    times = wait_for("twenty Active Sensing messages", lambda: len(t := sensing_times()) >= 21 and t, 15.0)
    gaps = [b - a for a, b in zip(times, times[1:])]
    average = (times[-1] - times[0]) / len(gaps)
    print("Active Sensing: every %.0f ms on average, the longest gap %.0f ms" % (average * 1000, max(gaps) * 1000))
    if not 0.225 <= average <= 0.275 or max(gaps) >= SILENCE_LIMIT * s.time_scale:
        raise Failure("Active Sensing every %.3f s on average, gaps up to %.3f s" % (average, max(gaps)))


def test_sequences_save_and_load(s):
    """A sequence set saved and loaded through the file choosers, with its MIDI files."""
    sequences_e2e.test_sequences_save_and_load(s)
    if not frames_with_command(s.emulator_messages("in"), 0x3b) or not frames_with_command(s.emulator_messages("in"), 0x3a):
        raise Failure("no sequence request (3B) or step chunk (3A) reached the instrument")


def test_firmware_update(s):
    """The update on real ports: the ports go away, come back as the bootloader, then as 1.0.3.2."""
    connection_e2e.test_startup_update_accepted(s)  # no memory file: a factory-fresh instrument, firmware 1.0.2.0
    log = read(s.prefix + ".emulator.log")
    restarts = re.findall(r"^Restarting: ports .* withdrawn$|^Ports .* published again: .*$", log, re.M)
    expected = ['Restarting: ports "Tarnovelle" withdrawn',
                'Ports "Tarnovelle" published again: firmware 1.0.2.0, in its bootloader',
                'Restarting: ports "Tarnovelle" withdrawn',
                'Ports "Tarnovelle" published again: firmware 1.0.3.2, running its application firmware']
    if restarts != expected:
        raise Failure("the instrument's ports went and came as %s, not %s" % (restarts, expected))
    replies = [m.groups() for f in s.emulator_messages("out") if (m := IDENTITY_REPLY.match(f))]
    members = [member for _, member, _ in replies]
    if "03" not in members or replies[-1][1:] != ("01", "01 00 03 02"):
        raise Failure("the identity replies were %s: no bootloader, or not 1.0.3.2 at the end" % replies)


def test_cable_pulled(s):
    """The emulator ended mid-session: the next click says so; started again, CONNECT finds it."""
    state = s.start_connected()
    s.move_away()
    bend_read = s.pixels(s.geo.bend_knob)
    s.emulator.kill()
    s.emulator.wait()
    pulled = time.monotonic()
    wait_for("the instrument's ports to go", lambda: not s.instrument_ports(), 10.0)
    wait_for("the instrument's silence to exceed the limit", lambda: time.monotonic() - pulled > SILENCE_LIMIT, 1.0)
    s.click(s.geo.controls["BEND"])
    s.answer("Connection", "Return")
    s.move_away()
    wait_for("the lamp to go out", lambda: not s.lamp_lit(), 5.0)
    if read_state(s.state_file)["settings"] != state["settings"]:
        raise Failure("the instrument's memory changed after the cable was pulled")

    # Plugged back, it reconnects by itself.
    s.start_emulator()
    s.move_away()
    wait_for("the lamp to light again", s.lamp_lit, 30.0)
    # The click turned the bend knob on; reading the settings again brings it back.
    wait_for("the bend knob to show the instrument's value again", lambda: s.pixels(s.geo.bend_knob) == bend_read, 30.0)
    s.click_setting("LFO", dict(state["settings"]))


def test_switched_on_late(s):
    """Started with no instrument, the emulator 5 s later: connected and read without a click; killed,
    "NOT Connected" within a second; started again, connected again."""
    s.write_state()
    s.demo = s.launch("TarnovelleConnection")
    launched = time.monotonic()
    s.origin = s.geometry(s.wait_window(MAIN_TITLE))[:2]
    wait_for("five seconds without an instrument", lambda: time.monotonic() - launched >= 5.0, 10.0, quiet=True)

    s.start_emulator()
    published = time.monotonic()
    s.move_away()
    wait_for("the lamp lit without a click", s.lamp_lit, 30.0)
    # The start-up's detection of the five silent ports was under way: the new ports wait for its end.
    print("lamp lit %.2f s after the instrument's ports were published" % (time.monotonic() - published), flush=True)
    s.wait_window("No instrument found", 10.0, gone=True)
    wait_for("the fourteen settings read", lambda: len(frames_with_command(s.emulator_messages("out"), SET_COMMAND["SYNC"])) == 1, 30.0)
    gets = [int(f.split()[8], 16) for f in s.emulator_messages("in") if len(f.split()) == 10]
    if gets != [command for _, command in READ_ORDER] or s.emulator_messages("in").count(IDENTITY_REQUEST) != 1:
        raise Failure("the instrument was asked %s after %d Identity Requests, not once and the fourteen settings"
                      % ([hex(g) for g in gets], s.emulator_messages("in").count(IDENTITY_REQUEST)))

    s.emulator.kill()
    s.emulator.wait()
    killed = time.monotonic()
    wait_for('"NOT Connected"', lambda: not s.lamp_lit(), 1.0 * s.time_scale)
    print("NOT Connected %.2f s after the emulator was killed" % (time.monotonic() - killed), flush=True)
    if s.windows("Connection") or s.windows("No instrument found"):
        raise Failure("the loss opened a box before any click")

    # Now nothing else runs: the time from the ports' appearance to the lamp is the watch's own.
    s.start_emulator()
    published = time.monotonic()
    wait_for("the lamp lit again", s.lamp_lit, 30.0)
    print("lamp lit again %.2f s after the ports were published" % (time.monotonic() - published), flush=True)
    wait_for("the settings read again", lambda: len(frames_with_command(s.emulator_messages("out"), SET_COMMAND["SYNC"])) == 2, 30.0)


def test_record_from_emulator_keys(s):
    """Record in the editor takes the notes played on tarnovelle-emulator's keys (its standard input)."""
    state = s.write_state()
    s.start_emulator(keys=True)
    s.start_demo()
    s.wait_until_settings_read()
    editor = e2e.open_editor(s)
    s.key("2", editor)
    s.key("r", editor)
    kept = os.path.join(s.env["XDG_DATA_HOME"], "Tarnovelle Connection", "Sequence Editor.json")
    for k, note in enumerate([60, 62, 64]):
        s.emulator.stdin.write("on %d\noff %d\n" % (note, note))
        s.emulator.stdin.flush()
        # Each note a step of its own (notes closer together are a chord): the next is played once
        # the editor has entered this one, as its kept working set shows.
        wait_for("note %d entered" % note,
                 lambda: (m := read_state(kept)) and m["sequences"][1][k:k + 1] == [note], 10.0 * s.time_scale)
    s.key("r", editor)
    e2e.send_from_editor(s, editor, "2")
    expected = [list(q) for q in state["sequences"]]
    expected[1][0:3] = [60, 62, 64]
    wait_for_state(s.state_file, "sequence 2 starting with the notes played", lambda m: m["sequences"] == expected, 10.0)


# Onset errors against the ideal grid (steps of step_ms from the first onset), in ms: (p95, p99, drift).
def onset_figures(onsets, step_ms):
    errors = [t - (onsets[0] + k * step_ms) for k, t in enumerate(onsets)]
    size = sorted(abs(e) for e in errors)
    edge = min(40, len(errors) // 2)
    drift = abs(sum(errors[-edge:]) / edge - sum(errors[:edge]) / edge)
    return size[int(0.95 * len(size)) - 1], size[int(0.99 * len(size)) - 1], drift


def test_sequence_playback(s):
    """The editor plays to the emulator on real ports; the onsets it heard, against the ideal grid."""
    # Sixteenths at 120 BPM: 125 ms a step. Sequence 1 (eight notes) loops for about half a minute,
    # or as many seconds as TARNOVELLE_PLAY_SECONDS asks (300 for the five-minute figures).
    state = s.write_state(settings=dict(e2e.DEFAULT_SETTINGS, STEP=16, GLEN=2))
    s.start_emulator("--notes")
    s.start_demo()
    s.wait_until_settings_read()
    editor = e2e.open_editor(s)

    loops = max(30, int(os.environ.get("TARNOVELLE_PLAY_SECONDS", "30")))
    onsets, gates = e2e.play_and_stop(s, editor, s.prefix + ".emulator.log", state, loops=loops)

    # The sequencer stamps each note as the program writes it; a guest shares the host's processors.
    print("%d onsets: error p95 %.3f ms, p99 %.3f ms, drift %.3f ms; gates median %.1f ms (62.5 wanted)"
          % (len(onsets), *onset_figures(onsets, 125.0), sorted(gates)[len(gates) // 2]))


def test_close_during_detection(s):
    """The window closed while detection runs ends the program within 5 s."""
    s.start_emulator("--silent")  # a silent instrument: every port is probed, none answers
    s.demo = s.launch("TarnovelleConnection")
    main = s.wait_window(MAIN_TITLE)
    s.wait_window(e2e.DETECTION_TITLE)
    e2e.send_close_request(s.env["DISPLAY"], main)
    closed = time.monotonic()
    with contextlib.suppress(subprocess.TimeoutExpired):
        s.demo.wait(timeout=5.0)
    if s.demo.poll() is None:
        raise Failure("the program still runs 5 s after its window was closed during detection")
    print("ended %.2f s after the close, with code %d" % (time.monotonic() - closed, s.demo.returncode))


TESTS = e2e.tests_in(globals())
GUEST = os.path.join(ROOT, "scripts", "alsa-guest.sh")


# The guest script itself, from the host: the command runs in the caller's folder with the
# caller's environment, its output and error come back apart, its exit status (or the signal
# that ended it) is returned, and a command that outlives its time is ended with the guest.
def check_guest_script():
    def run(command, **env):
        start = time.monotonic()
        result = subprocess.run([GUEST, "sh", "-c", command], cwd=ROOT, env=dict(os.environ, **env),
                                capture_output=True, text=True, timeout=300 * e2e.read_time_scale())
        return result.returncode, result.stdout, result.stderr, time.monotonic() - start

    code, out, err, _ = run('pwd; echo "$CARRIED"; echo apart >&2; test -c /dev/snd/seq && exit 7', CARRIED="in")
    if (code, out, err) != (7, "%s\nin\n" % os.path.realpath(ROOT), "apart\n"):
        raise Failure("the guest ran a command as %s" % ((code, out, err),))
    if (code := run("kill -9 $$")[0]) != 137:
        raise Failure("a command ended by SIGKILL gave the status %d" % code)
    code, _, err, seconds = run("sleep 600", TARNOVELLE_GUEST_TIMEOUT="5")
    if code != 125 or "ended after 5 s" not in err or seconds > 60:
        raise Failure("a command past its time gave %d after %.0f s: %s" % (code, seconds, err))


def run_in_guest(name, build, out, geo):
    if not os.path.exists("/dev/snd/seq"):
        print("FAILED: no ALSA sequencer here; run the test through scripts/alsa-guest.sh")
        return 1
    return e2e.run_session(name, RealSession(name, build, out, geo), TESTS[name],
                           lambda s: s.demo is not None and name != "close_during_detection")


# Each test in a guest of its own: a hung test is ended with its guest, and none inherits
# another's ports or processes.
def run_in_guests(names, build, out):
    results, start = [], time.monotonic()
    try:
        check_guest_script()
        results.append(("guest_script", 0, time.monotonic() - start))
    except Exception as e:
        print("FAILED: %s" % e, flush=True)
        results.append(("guest_script", 1, time.monotonic() - start))
    for name in names:
        print("=== %s" % name, flush=True)
        start = time.monotonic()
        env = dict(os.environ, TARNOVELLE_GUEST_CONSOLE=os.path.join(out, name + ".console.log"))
        env.setdefault("TARNOVELLE_GUEST_TIMEOUT", "%d" % (150 * e2e.read_time_scale()))
        code = subprocess.call([GUEST, sys.executable, "-u", os.path.abspath(__file__), name, "--in-guest",
                                "--build", build, "--out", out], env=env)
        results.append((name, code, time.monotonic() - start))
    print("\nALSA end-to-end tests (screenshots and logs in %s):" % out)
    for name, code, seconds in results:
        print("  %-24s %s  %5.1f s" % (name, "passed" if code == 0 else "FAILED (%d)" % code, seconds))
    return 0 if all(code == 0 for _, code, _ in results) else 1


def main():
    parser = argparse.ArgumentParser(description="End-to-end tests of the application on a real ALSA sequencer.")
    parser.add_argument("tests", nargs="*", metavar="TEST")
    parser.add_argument("--build", default="build")
    parser.add_argument("--out")
    parser.add_argument("--in-guest", action="store_true")
    parser.add_argument("--list", action="store_true")
    args = parser.parse_args()
    if args.list:
        print("\n".join(TESTS))
        return 0
    if unknown := [t for t in args.tests if t not in TESTS]:
        parser.error("unknown tests %s; --list names them" % unknown)
    build = os.path.abspath(args.build)
    out = os.path.abspath(args.out or os.path.join(build, "alsa"))
    os.makedirs(out, exist_ok=True)
    # Where the tests click and look, as the build wrote it from the windows' geometry table.
    geo = e2e.Geometry(os.path.join(build, "e2e", "geometry.json"))
    if args.in_guest:
        if len(args.tests) != 1:
            parser.error("--in-guest runs exactly one test")
        return run_in_guest(args.tests[0], build, out, geo)
    return run_in_guests(args.tests or list(TESTS), build, out)


if __name__ == "__main__":
    sys.exit(main())
