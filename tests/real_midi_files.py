#!/usr/bin/env python3
# tarnovelle-seq against MIDI music that no one here wrote: the songs a Debian package ships.
# Every file must import; its track list and the steps of its first melodic track must match
# what this script reads from the file's bytes itself (a reader of its own, not JUCE's), by
# the rules the import follows: a note lands on the nearest step (halves up), the highest note
# of a step wins, a note's end marks the step it last sounds on, at most 64 steps, notes moved
# by octaves into 1 to 125.
#
#   real_midi_files.py TARNOVELLE_SEQ [FOLDER]      exit 77 when the folder is absent
import pathlib, struct, subprocess, sys

SKIPPED = 77
DEFAULT_FOLDER = "/usr/share/games/openttd/baseset/openmsx"  # package openttd-openmsx
PERCUSSION = 10


def variable_length(data, i):
    value = 0
    while True:
        byte = data[i]
        i += 1
        value = (value << 7) | (byte & 0x7F)
        if byte < 0x80:
            return value, i


def read_track(chunk):
    """The note and meta events of one MTrk chunk, as (tick, kind, a, b)."""
    events, tick, i, status = [], 0, 0, 0
    while i < len(chunk):
        delta, i = variable_length(chunk, i)
        tick += delta
        if i >= len(chunk):
            break
        first = chunk[i]
        if first == 0xFF:
            length, start = variable_length(chunk, i + 2)
            events.append((tick, "meta", chunk[i + 1], chunk[start:start + length]))
            i = start + length
        elif first in (0xF0, 0xF7):
            length, start = variable_length(chunk, i + 1)
            i = start + length
        else:
            if first & 0x80:  # otherwise running status
                status, i = first, i + 1
            size = 1 if status >> 4 in (0xC, 0xD) else 2
            key, velocity = chunk[i], (chunk[i + 1] if size == 2 else 0)
            i += size
            kind, channel = status >> 4, (status & 0x0F) + 1
            if kind == 0x9 and velocity > 0:
                events.append((tick, "on", channel, key))
            elif kind in (0x8, 0x9):
                events.append((tick, "off", channel, key))
    return events


def read_file(path):
    data = path.read_bytes()
    if data[:4] != b"MThd":
        raise ValueError("%s is not a Standard MIDI File" % path)
    header_length = struct.unpack(">I", data[4:8])[0]
    _, chunks, division = struct.unpack(">HHh", data[8:14])
    position, tracks = 8 + header_length, []
    for _ in range(chunks):
        kind, length = data[position:position + 4], struct.unpack(">I", data[position + 4:position + 8])[0]
        if kind == b"MTrk":
            tracks.append(read_track(data[position + 8:position + 8 + length]))
        position += 8 + length
    return division, tracks


def track_name(events):
    for _, kind, meta_type, payload in events:
        if kind == "meta" and meta_type == 0x03:
            raw = payload.split(b"\0")[0]
            try:
                text = raw.decode("utf-8")
            except UnicodeDecodeError:
                text = raw.decode("latin-1")
            return "".join(" " if ord(c) < 0x20 or ord(c) == 0x7F else c for c in text).strip(" ")
    return ""


def first_time_signature(tracks):
    found = None
    for events in tracks:
        for tick, kind, meta_type, payload in events:
            if kind == "meta" and meta_type == 0x58 and len(payload) >= 2 and payload[0] > 0 and payload[1] <= 6:
                if found is None or tick < found[0]:
                    found = (tick, payload[0], 1 << payload[1])
                break
    return (4, 4) if found is None else found[1:]


def expected_steps(division, tracks, track_number, step_size, from_bar):
    """The steps of one track's notes on every channel but percussion, from the given bar."""
    numerator, denominator = first_time_signature(tracks)
    # Positions in steps, as exact fractions: (tick - origin) * s / 4q, origin = bars * n * 4q / d.
    origin = (from_bar - 1) * numerator * 4 * division  # times denominator
    scale = 4 * division * denominator
    highest, last = {}, -1
    for tick, kind, channel, key in tracks[track_number - 1]:
        if kind == "meta" or channel == PERCUSSION:
            continue
        position = (tick * denominator - origin) * step_size  # in 1/scale steps
        if kind == "on":
            step = (2 * position + scale) // (2 * scale)
        else:
            step = -((-position) // scale) - 1
        if step < 0:
            continue
        last = max(last, step)
        if kind == "on" and step < 64:
            highest[step] = max(highest.get(step, 0), key)
    steps = ["x"] * min(64, last + 1)
    for step, key in highest.items():
        while key < 1:
            key += 12
        while key > 125:
            key -= 12
        steps[step] = str(key)
    return " ".join(steps)


def run(tool, *args):
    done = subprocess.run([tool] + list(args), capture_output=True, text=True, timeout=60)
    return done.returncode, done.stdout, done.stderr


def check_file(tool, path):
    problems = []
    division, tracks = read_file(path)
    listing = []
    for number, events in enumerate(tracks, 1):
        channels = sorted({e[2] for e in events if e[1] == "on"})
        notes = sum(1 for e in events if e[1] == "on")
        listing.append("%d\t%s\t%s\t%d" % (number, track_name(events), ", ".join(map(str, channels)) or "none", notes))
    status, out, err = run(tool, "tracks", str(path))
    if status != 0 or out.splitlines() != listing:
        problems.append("tracks gave status %d:\n%s%s\nexpected:\n%s" % (status, out, err, "\n".join(listing)))

    status, _, err = run(tool, "import", str(path))
    if status != 0:
        problems.append("import of every track gave status %d: %s" % (status, err))

    melodic = [n for n, events in enumerate(tracks, 1) if any(e[1] == "on" and e[2] != PERCUSSION for e in events)]
    if not melodic:
        return problems + ["no melodic track: choose another song"]
    # The first melodic track as the editor offers it; then the one with the most notes from
    # bar 2 at eighth notes, where the time signature and the grid's origin matter.
    busiest = max(melodic, key=lambda n: sum(1 for e in tracks[n - 1] if e[1] == "on"))
    for track, step_size, from_bar in ((melodic[0], 16, 1), (busiest, 8, 2)):
        expected = expected_steps(division, tracks, track, step_size, from_bar)
        status, out, err = run(tool, "import", "--track", str(track), "--step", str(step_size),
                               "--from-bar", str(from_bar), str(path))
        if status != 0 or out != "1:" + expected:
            problems.append("track %d at 1/%d from bar %d gave status %d:\n%s%s\nexpected:\n1:%s"
                            % (track, step_size, from_bar, status, out, err, expected))
    return problems


def main():
    tool = sys.argv[1]
    folder = pathlib.Path(sys.argv[2] if len(sys.argv) > 2 else DEFAULT_FOLDER)
    files = sorted(folder.glob("*.mid")) if folder.is_dir() else []
    if not files:
        print("no MIDI files in %s: install openttd-openmsx (scripts/install-deps.sh)" % folder)
        return SKIPPED
    failed = 0
    for path in files:
        problems = check_file(tool, path)
        print("%s %s" % ("FAIL" if problems else "ok  ", path.name))
        for problem in problems:
            print("    " + problem.replace("\n", "\n    "))
        failed += bool(problems)
    print("%d of %d files failed" % (failed, len(files)))
    return 1 if failed else 0


if __name__ == "__main__":
    sys.exit(main())
