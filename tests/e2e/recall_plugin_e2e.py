#!/usr/bin/env python3
# End-to-end test of Tarnovelle Recall in LV2 hosts no one here wrote: lv2info reads the
# bundle, and jalv runs the plug-in on a JACK server with its dummy driver: a restored project
# sends nothing, one that asks for it sends its set when it opens, and one restored in jalv's
# window sends its set on one click of Send to Tarnovelle. The demo is the program at the
# link's other end; its emulated instrument's memory file shows what arrived.
#
#     recall_plugin_py recall_in_lv2_hosts --app build/bin/TarnovelleConnectionDemo \
#         --out build/e2e --geometry build/e2e/geometry.json
#
# TARNOVELLE_RECALL_LV2 names the folder holding the LV2 bundle. Uses the harness's sessions,
# lv2info (lilv-utils), jalv and jackd (jackd2). Not among the modules ctest lists by themselves:
# it needs the plug-in built, and tests/CMakeLists.txt adds it where it is.

import os, pathlib, shutil, signal, subprocess, sys

from harness import *  # noqa: F401,F403

URI = "urn:tarnovelle:recall"

# The set the project keeps: unlike anything the demo's instrument starts with.
PROJECT_SEQUENCES = [[40 + i] * (i * 3 + 1) for i in range(8)]
PROJECT_SETTINGS = {"BEND": 9, "SYNC": 1}
# The plug-in window's Send to Tarnovelle button, from its top left corner.
SEND_BUTTON = (310, 405)


# JUCE's own base64 (MemoryBlock::toBase64Encoding), in which its LV2 client keeps the state:
# the length, a dot, then six bits a character from the lowest bit of the first byte up.
def juce_base64(data):
    table = ".ABCDEFGHIJKLMNOPQRSTUVWXYZabcdefghijklmnopqrstuvwxyz0123456789+"
    bits, count = int.from_bytes(data, "little"), (len(data) * 8 + 5) // 6
    return "%d.%s" % (len(data), "".join(table[(bits >> (6 * i)) & 63] for i in range(count)))


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
        command = (["jalv.gtk3"] if window else ["jalv", "-x"]) + ["-n", client]
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

        # A third project in jalv's window: restored, then sent with one click on Send to Tarnovelle
        # (disabled until the plug-in is linked, so clicked until the set arrives).
        clicked = list(reversed(PROJECT_SEQUENCES))
        write_project_state(pathlib.Path(s.work) / "clicked-project", False, clicked)
        jack.jalv("recall-window", pathlib.Path(s.work) / "clicked-project", window=True)
        x, y = s.geometry(s.wait_window("Tarnovelle Recall", 30.0))[:2]
        arrived = lambda: read_state(s.state_file)["sequences"] == clicked
        for _ in range(10):
            s.click_at(x + SEND_BUTTON[0], y + SEND_BUTTON[1])
            if wait_for("", arrived, 3.0, quiet=True):
                break
        wait_for("the clicked project's set", arrived, 10.0)
        wait_for("a copy taken before the clicked send", lambda: snapshots_with_cause(
            s.library(), "Before sending from Tarnovelle Recall") == 2, 10.0)
    finally:
        jack.close()


TESTS = {"recall_in_lv2_hosts": test_recall_in_lv2_hosts}

if __name__ == "__main__":
    if not all(shutil.which(tool) for tool in ["lv2info", "jalv", "jalv.gtk3", "jackd", "jack_lsp"]):
        print("lv2info, jalv or jackd is missing (scripts/install-deps.sh installs them)")
        sys.exit(77)
    sys.exit(main(TESTS, __file__))
