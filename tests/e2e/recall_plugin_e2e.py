#!/usr/bin/env python3
# End-to-end test of Tarnovelle Recall in LV2 hosts no one here wrote: lv2info reads the
# bundle, and jalv runs the plug-in on a JACK server with its dummy driver: a restored project
# sends nothing, one that asks for it sends its set when it opens, and in jalv's window a set
# taken from the instrument is saved with the project through jalv's own menu, and the project
# opened again sends it on one click of Send to Tarnovelle. The demo is the program at the
# link's other end; its emulated instrument's memory file shows what arrived.
#
#     recall_plugin_py recall_in_lv2_hosts --app build/bin/TarnovelleConnectionDemo \
#         --out build/e2e --geometry build/e2e/geometry.json
#
# TARNOVELLE_RECALL_LV2 names the folder holding the LV2 bundle. Uses the harness's sessions,
# lv2info (lilv-utils), jalv and jackd (jackd2). Not among the modules ctest lists by themselves:
# it needs the plug-in built, and tests/CMakeLists.txt adds it where it is.

import os, pathlib, re, shutil, signal, subprocess, sys

from harness import *  # noqa: F401,F403

URI = "urn:tarnovelle:recall"

# The set the project keeps: unlike anything the demo's instrument starts with.
PROJECT_SEQUENCES = [[40 + i] * (i * 3 + 1) for i in range(8)]
PROJECT_SETTINGS = {"BEND": 9, "SYNC": 1}
# The plug-in window's Take from Tarnovelle and Send to Tarnovelle buttons, from its top left
# corner.
TAKE_BUTTON, SEND_BUTTON = (110, 405), (310, 405)
# jalv's File menu, from its window's top left corner.
FILE_MENU = (18, 12)


# JUCE's own base64 (MemoryBlock::toBase64Encoding), in which its LV2 client keeps the state:
# the length, a dot, then six bits a character from the lowest bit of the first byte up.
BASE64 = ".ABCDEFGHIJKLMNOPQRSTUVWXYZabcdefghijklmnopqrstuvwxyz0123456789+"


def juce_base64(data):
    bits, count = int.from_bytes(data, "little"), (len(data) * 8 + 5) // 6
    return "%d.%s" % (len(data), "".join(BASE64[(bits >> (6 * i)) & 63] for i in range(count)))


def juce_base64_decode(text):
    length, digits = text.split(".", 1)
    bits = sum(BASE64.index(c) << (6 * i) for i, c in enumerate(digits))
    return (bits & ((1 << (8 * int(length))) - 1)).to_bytes(int(length), "little")


# The sequences a project's saved state keeps (None while the folder holds none).
def saved_sequences(folder):
    found = re.search(r'StateString> "([^"]*)"', read(str(folder / "state.ttl")))
    if found is None:
        return None
    kept = re.search(r"<Sequences>([^<]*)</Sequences>", juce_base64_decode(found.group(1)).decode())
    lines = kept.group(1).replace("&#10;", "\n").split("\n") if kept else []
    return [[127 if t == "x" else int(t) for t in line.split(":", 1)[1].split()] for line in lines] or None


# A project's saved state of the plug-in, as an LV2 state folder jalv loads with -l.
def write_project_state(folder, send_on_open, project_sequences=PROJECT_SEQUENCES):
    sequences = "&#10;".join("%d:%s" % (i + 1, " ".join(map(str, steps))) for i, steps in enumerate(project_sequences))
    settings = "".join('<Setting code="%s" value="%d"/>' % item for item in PROJECT_SETTINGS.items())
    xml = ('<?xml version="1.0" encoding="UTF-8"?>\n<TarnovelleRecall version="1" compareOnOpen="0" sendOnOpen="%d">'
           '<Set><Sequences>%s</Sequences>%s</Set></TarnovelleRecall>' % (int(send_on_open), sequences, settings))
    folder.mkdir(parents=True, exist_ok=True)
    prefixes = ("@prefix lv2: <http://lv2plug.in/ns/lv2core#> .\n@prefix pset: <http://lv2plug.in/ns/ext/presets#> .\n"
                "@prefix rdfs: <http://www.w3.org/2000/01/rdf-schema#> .\n@prefix state: <http://lv2plug.in/ns/ext/state#> .\n")
    (folder / "manifest.ttl").write_text(prefixes + "<state.ttl> a pset:Preset ;\n\tlv2:appliesTo <%s> ;\n"
                                         "\trdfs:seeAlso <state.ttl> .\n" % URI)
    (folder / "state.ttl").write_text(prefixes + '<> a pset:Preset ;\n\tlv2:appliesTo <%s> ;\n\tstate:state [\n'
                                      '\t\t<%s:StateString> "%s"\n\t] .\n' % (URI, URI, juce_base64(xml.encode())))


class Jack:
    """A JACK server of the test's own on the dummy driver, and the jalv clients started on it."""

    def __init__(self, session):
        self.name, self.clients = "tarnovelle-e2e-%d" % os.getpid(), []
        self.env = dict(session.env, JACK_DEFAULT_SERVER=self.name, XDG_RUNTIME_DIR=session.runtime,
                        LV2_PATH=os.environ["TARNOVELLE_RECALL_LV2"])
        self.log = open(session.log_path, "ab")
        self.server = subprocess.Popen(["jackd", "-n", self.name, "-r", "-d", "dummy", "-r", "48000", "-p", "256"],
                                       env=self.env, stdout=self.log, stderr=subprocess.STDOUT)
        wait_for("the JACK server", lambda: self.ports() is not None and "system:playback_1" in self.ports(), 15.0)

    def ports(self):
        result = subprocess.run(["jack_lsp"], env=self.env, capture_output=True, text=True, timeout=10)
        return result.stdout.split("\n") if result.returncode == 0 else None

    # jalv with the plug-in (its console kept open on a pipe, or its GTK window showing the plug-in's);
    # waits until its ports are on the server.
    def jalv(self, client, state_folder=None, window=False):
        command = ["jalv.gtk3", "--jack-name", client] if window else ["jalv", "-x", "-n", client]
        command += (["-l", str(state_folder)] if state_folder else []) + [URI]
        process = subprocess.Popen(command, env=self.env, stdin=subprocess.PIPE, stdout=self.log,
                                   stderr=subprocess.STDOUT)
        self.clients.append(process)
        wait_for("jalv's ports", lambda: client + ":audio_out_1" in (self.ports() or []), 15.0)
        return process

    def close(self):
        for process in self.clients + [self.server]:
            stop_process(process, signal.SIGTERM)
        self.log.close()


class JalvWindow:
    """jalv's window showing the plug-in's: its menu bar above, the plug-in's window below."""

    def __init__(self, session, jack, client, state_folder=None):
        self.s, self.process = session, jack.jalv(client, state_folder, window=True)
        self.window = session.wait_window("Tarnovelle Recall", 30.0)
        # The plug-in's own window is the one of its size inside jalv's.
        wait_for("the plug-in's window in jalv's", lambda: self.plugin_origin() is not None, 15.0)

    def plugin_origin(self):
        inside = [self.s.geometry(w) for w in self.s.windows("jalv.gtk3")]
        return next(((x, y) for x, y, w, h in inside if (w, h) == (820, 500)), None)

    def click(self, button):
        x, y = self.plugin_origin()
        self.s.click_at(x + button[0], y + button[1])

    # Clicks the plug-in's button until what it does shows (the buttons wait for the link).
    def click_until(self, button, what, done):
        wait_for(what, lambda: self.click(button) or wait_for("", done, 3.0, quiet=True), 40.0)

    # Saves the project through jalv's own File menu and its Save State chooser.
    def save(self, folder):
        x, y = self.s.geometry(self.window)[:2]
        self.s.click_at(x + FILE_MENU[0], y + FILE_MENU[1])
        self.s.run("xdotool", "key", "Down", "Return")  # Save, the menu's first entry
        chooser = self.s.wait_window("Save State", 15.0)
        self.s.run("xdotool", "windowfocus", "--sync", str(chooser), "type", "--delay", "20", str(folder))
        self.s.run("xdotool", "key", "Return")
        self.s.wait_window("Save State", 15.0, gone=True)

    def close(self):
        stop_process(self.process, signal.SIGTERM)
        self.s.wait_window("Tarnovelle Recall", 15.0, gone=True)


def test_recall_in_lv2_hosts(s):
    """lv2info reads the bundle; a project restored in jalv sends its set to the demo's instrument."""
    bundle_folder = os.environ["TARNOVELLE_RECALL_LV2"]
    info = subprocess.run(["lv2info", URI], env=dict(os.environ, LV2_PATH=bundle_folder), capture_output=True,
                          text=True, timeout=30).stdout
    for expected in ["Name:              Tarnovelle Recall", "http://lv2plug.in/ns/ext/state#interface",
                     "Symbol:      audio_in_2", "Symbol:      audio_out_2", "http://lv2plug.in/ns/ext/atom#AtomPort"]:
        if expected not in info:
            raise Failure("lv2info does not show %r:\n%s" % (expected, info))

    s.start_connected()
    held = read_state(s.state_file)
    jack = Jack(s)
    try:
        # A project that keeps a set but does not ask to send it: restored, it sends nothing.
        quiet, sending = pathlib.Path(s.work) / "quiet-project", pathlib.Path(s.work) / "sending-project"
        write_project_state(quiet, send_on_open=False)
        jack.jalv("recall-quiet", quiet)

        # The same project with "Send when the project opens": the set and its settings arrive.
        write_project_state(sending, send_on_open=True)
        jack.jalv("recall-sending", sending)
        wait_for_state(s.state_file, "the project's set and settings", lambda m: m["sequences"] == PROJECT_SEQUENCES
                           and all(m["settings"][code] == value for code, value in PROJECT_SETTINGS.items()), 30.0)
        # Only the second project sent: one copy was taken before one send.
        wait_for("the copy taken before the send", lambda: snapshots_with_cause(
            s.library(), "Before sending from Tarnovelle Recall") == 1, 10.0)
        if held["sequences"] == PROJECT_SEQUENCES:
            raise Failure("the instrument held the project's set before the test")

        # In jalv's window: Take from Tarnovelle keeps what the instrument holds (the second
        # project's set), and jalv's own File > Save keeps it with the project (taken and saved
        # again, each time in a new folder, until the take has come before the save).
        taker, attempts = JalvWindow(s, jack, "recall-taking"), []

        def take_and_save():
            attempts.append(pathlib.Path(s.work) / ("saved-project-%d" % len(attempts)))
            taker.click(TAKE_BUTTON)
            taker.save(attempts[-1])
            return saved_sequences(attempts[-1]) == PROJECT_SEQUENCES and attempts[-1].name

        saved = wait_for("a set taken and saved in jalv", take_and_save, 60.0)
        taker.close()

        # Another project, restored, is sent with one click (the instrument changes), then the
        # project jalv saved, opened again, sends back what it took on one click.
        clicked = list(reversed(PROJECT_SEQUENCES))
        write_project_state(pathlib.Path(s.work) / "clicked-project", False, clicked)
        for folder, expected, copies in [("clicked-project", clicked, 2), (saved, PROJECT_SEQUENCES, 3)]:
            window = JalvWindow(s, jack, "recall-" + folder, pathlib.Path(s.work) / folder)
            window.click_until(SEND_BUTTON, "the set of " + folder,
                               lambda: read_state(s.state_file)["sequences"] == expected)
            wait_for("a copy taken before the send of " + folder, lambda: snapshots_with_cause(
                s.library(), "Before sending from Tarnovelle Recall") == copies, 10.0)
            window.close()
    finally:
        jack.close()


TESTS = {"recall_in_lv2_hosts": test_recall_in_lv2_hosts}

if __name__ == "__main__":
    if not all(shutil.which(tool) for tool in ["lv2info", "jalv", "jalv.gtk3", "jackd", "jack_lsp"]):
        print("lv2info, jalv or jackd is missing (scripts/install-deps.sh installs them)")
        sys.exit(77)
    sys.exit(main(TESTS, __file__))
