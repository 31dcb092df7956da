# The emulated instrument's memory file, the notes it heard, and the demo's history library.

import contextlib, json, re, struct

from .waits import Failure, read, wait_for

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


# The emulated instrument's memory file. A step of 127 is a rest, written x in a sequence file.
DEFAULT_SETTINGS = {"MIN": 3, "MOUT": 5, "MKEY": 1, "LKEY": 0, "INGN": 2, "LFO": 0, "VELO": 1, "AFTE": 0, "ARP": 1,
                    "BEND": 5, "STEP": 8, "GLEN": 2, "TAP": 0, "SYNC": 2}


DEFAULT_SEQUENCES = [[60, 62, 64, 65, 67, 69, 71, 72], [48, 127, 48, 127, 51, 127, 53, 55], [],
                     [36, 48, 60, 72, 84, 96, 108, 120] + list(range(1, 57)), [60], [127, 127, 127, 61],
                     list(range(70, 103)), [125, 127, 1]]


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


# How many snapshots of the demo's history library have this cause (0 while it cannot be read).
def snapshots_with_cause(library, cause):
    import sqlite3
    try:
        with contextlib.closing(sqlite3.connect("file:%s?mode=ro" % library, uri=True, timeout=1.0)) as db:
            return db.execute("SELECT count(*) FROM snapshots WHERE cause = ?", (cause,)).fetchone()[0]
    except sqlite3.Error:
        return 0


# The channel messages an instrument received, as tarnovelle-emulator --notes prints them
# ("1234.567 90 3c 64"): (milliseconds, bytes) for each such line of the file.
def received_notes(path):
    lines = re.findall(r"^(\d+\.\d{3})((?: [0-9a-f]{2})+)$", read(path), re.M)
    return [(float(t), [int(b, 16) for b in hex_bytes.split()]) for t, hex_bytes in lines]


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
