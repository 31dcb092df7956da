#!/usr/bin/env python3
"""Writes the seed corpora of the fuzz targets into fuzz/corpus/<target>/.

The seeds are the file and message layouts of the tests, their edge cases and a few broken
variants, each after the parameter bytes its target reads first (see the comment above each
target). Inputs that once crashed a target are added by hand as crash-<what>, never touched here;
so are the real-<what> inputs taken from real programs' files (a library's stored contents, a
kept working set, an XSETTINGS manager's property). The MIDI import's real-<song> seeds are
excerpts of the songs of Debian's openttd-openmsx (GPL-2), cut here from the installed files
when they are there.
"""

import os
import struct

MAGIC = b"HarborLanternWillowQuest"


def frame(counter, length, command, payload):
    return bytes([0xF0, 0x00, 0x5C, 0x3D, 0x05, 0x01, counter, length, command, *payload, 0xF7])


def packed(raw):
    """The checksum, then per started group of seven the high seven bits of each byte and a byte of low bits."""
    out = bytes([sum(raw) & 0x7F])
    for start in range(0, len(raw), 7):
        group = raw[start:start + 7]
        low = sum((b & 1) << i for i, b in enumerate(group))
        out += bytes([b >> 1 for b in group] + [0] * (7 - len(group)) + [low])
    return out


def encipher(plain):
    return bytes(b ^ MAGIC[(4 + i) % len(MAGIC)] for i, b in enumerate(plain))


def identity(device, maker, member2, version=(1, 0, 3, 2)):
    return bytes([0xF0, 0x7E, device, 0x06, 0x02, 0x00, maker, 0x3D, 0x04, 0x00, 0x02, member2, *version, 0xF7])


def ack(payload, length=1, flag=1, counter=0):
    return bytes([flag]) + frame(counter, length, 0x04, payload)


BEND, CHUNK = 0x2C, 0x3A
FULL_CHUNK = frame(3, 35, CHUNK, [0, 0, 32] + [60] * 32)
IMAGE = b"TVFW" + bytes([1, 0, 3, 2, 16, 0, 0, 0, *range(16), 0, 0, 0, 0])
ONE_BYTE = frame(1, 1, 0x04, packed([0]))

def xsettings(big, *settings):
    """An XSETTINGS property: (type, name, value bytes) each, strings padded to four bytes."""
    order = ">" if big else "<"
    padded = lambda b: b + b"\0" * (-len(b) % 4)
    body = b"".join(bytes([kind, 0]) + struct.pack(order + "H", len(name)) + padded(name)
                    + struct.pack(order + "I", 3) + value for kind, name, value in settings)
    return bytes([1 if big else 0, 0, 0, 0]) + struct.pack(order + "II", 7, len(settings)) + body


def xs_integer(name, value, big=False):
    return (0, name, struct.pack((">" if big else "<") + "i", value))


def xs_string(name, text, big=False):
    return (1, name, struct.pack((">" if big else "<") + "I", len(text)) + text + b"\0" * (-len(text) % 4))


def snapshot_content(sequences, settings, firmware=None):
    """What the library stores: format 1, per sequence its length and steps, the mask of the
    known settings (little-endian) and their values, then the firmware version if known."""
    out = bytes([1])
    for steps in sequences:
        out += bytes([len(steps)]) + bytes(steps)
    known = [i for i, value in enumerate(settings) if value is not None]
    out += struct.pack("<H", sum(1 << i for i in known)) + bytes(settings[i] for i in known)
    return out + (bytes([1]) + bytes(firmware) if firmware else b"\0")


def midi_events(track):
    """The byte ranges of a track chunk's events, each with its delta time."""
    i, status = 0, 0
    while i < len(track):
        start = i
        while track[i] & 0x80:
            i += 1
        i += 1
        first = track[i]
        if first == 0xFF:
            i += 2
            length = 0
            while True:
                length = (length << 7) | (track[i] & 0x7F)
                i += 1
                if track[i - 1] < 0x80:
                    break
            i += length
        elif first in (0xF0, 0xF7):
            i += 1
            length = 0
            while True:
                length = (length << 7) | (track[i] & 0x7F)
                i += 1
                if track[i - 1] < 0x80:
                    break
            i += length
        else:
            if first & 0x80:
                status, i = first, i + 1
            i += 1 if status >> 4 in (0xC, 0xD) else 2
        yield track[start:i]


def midi_excerpt(path, tracks, track_bytes):
    """The first tracks of a song, each cut after the events that fit in track_bytes."""
    data = open(path, "rb").read()
    header_length = struct.unpack(">I", data[4:8])[0]
    position, chunks = 8 + header_length, []
    while position < len(data) and len(chunks) < tracks:
        length = struct.unpack(">I", data[position + 4:position + 8])[0]
        kept = b""
        for event in midi_events(data[position + 8:position + 8 + length]):
            if len(kept) + len(event) > track_bytes or event[-3:] == b"\xff\x2f\x00":
                break
            kept += event
        kept += b"\x00\xff\x2f\x00"
        chunks.append(b"MTrk" + struct.pack(">I", len(kept)) + kept)
        position += 8 + length
    return data[:8] + struct.pack(">HH", 1, len(chunks)) + data[12:8 + header_length] + b"".join(chunks)


def midi_file(division, *tracks):
    return b"MThd" + struct.pack(">IHHh", 6, 1, len(tracks), division) + b"".join(
        b"MTrk" + struct.pack(">I", len(t) + 4) + t + b"\x00\xff\x2f\x00" for t in tracks)


def import_choice(flags, tracks=0, channels=0, bar=0):
    """The MIDI import target's parameters: flags, the track and channel masks, the bar."""
    return struct.pack("<BHHH", flags, tracks, channels, bar)


SONGS = "/usr/share/games/openttd/baseset/openmsx"  # package openttd-openmsx
# Song, tracks kept, bytes per track, import parameters (see fuzz_midi_import.cpp).
SONG_EXCERPTS = {
    "real-train-filled-with-cash": ("train_filled_with_cash.mid", 3, 300, import_choice(0x06)),
    "real-coconut-run2": ("coconut_run2.mid", 4, 200, import_choice(0x25, bar=1)),
    "real-5432gone": ("5432gone_redfarn.mid", 3, 300, import_choice(0x1B, tracks=0b110, channels=0x01FF)),
    "real-careless-perc": ("careless_perc_redfarn.mid", 2, 400, import_choice(0x42)),
}


def link_frame(text):
    """A link message framed: its length in four big-endian bytes, then its text."""
    return len(text).to_bytes(4, "big") + text


EIGHT = b"\n".join(b"seq %d:60 x 62" % n for n in range(1, 9))

SEEDS = {
    "link_message": {
        "hello": b"\x07" + link_frame(b"hello 0\nversions 1 1\npeer Tarnovelle Connection"),
        "send-with-settings": b"\x40" + link_frame(b"send 3\n" + EIGHT + b"\nsetting BEND 7\nsetting SYNC 1"),
        "result-lines": b"\x01" + link_frame(b"result 4\ndiffers 1\nline Sequence 3: length 7 / 16\ntext Differs"),
        "progress-and-error": b"\x03" + link_frame(b"progress 5\nprogress 3 8") + link_frame(b"error 5\nerror busy\ntext Busy"),
        "seven-sequences": b"\x10" + link_frame(b"send 1\n" + EIGHT.rsplit(b"\n", 1)[0]),
        "oversized": b"\x02" + (16385).to_bytes(4, "big") + b"take 1",
        "not-utf8": b"\x05" + link_frame(b"take 1\ntext \xc3\x28"),
        "take-then-cancel": b"\x09" + link_frame(b"take 7") + link_frame(b"cancel 7"),
    },
    "sequence_file": {
        "factory-line": b"4:" + b"60 48 x 72 60 x 72 x " * 3 + b"63 51 x 63 51 x 65 x",
        "eight-empty": b"\n".join(b"%d:" % n for n in range(1, 9)),
        "crlf": b"1:60 x\r\n2:62\r\n3:\r\n",
        "any-order-and-twice": b"8:60\n2:61 62\n2:63",
        "leading-space": b" 3:60 61",
        "space-after-colon": b"3: 60",
        "rests": b"1:12x xx max x",
        "uppercase-x": b"1:60 X",
        "signs-and-letters": b"5:+60 60abc",
        "refused-values": b"1:126 -5",
        "sixty-four": b"6:" + b" ".join([b"61"] * 64),
        "sixty-five": b"6:" + b" ".join([b"61"] * 65),
        "quoted-line-feed": b'1:60 "x\n" 61\n2:62',
        "numbers-outside": b"0:60\n9:61\n1:62",
        "no-colon": b"7",
        "trailing-line-feed": b"1:60\n",
        "huge-number": b"99999999999999999999:60\n1:999999999999",
        "utf8-mark": b"\xef\xbb\xbf1:60 x\n2:61",
        "utf16le-mark": b"\xff\xfe" + "1:60 x\n2:\U0001f3b9".encode("utf-16-le"),
        "utf16be-mark": b"\xfe\xff" + "1:60 x\n2:61".encode("utf-16-be"),
        "utf16le-without-mark": "1:60 x\n2:61".encode("utf-16-le"),
        "nul-in-line": b"1:60 61\n2:62\x0063",
        "invalid-utf8": b"1:60 \xc0\xbc 61",
        "lone-surrogate": b"\xff\xfe" + "1:60".encode("utf-16-le") + b"\x00\xd8",
    },
    "reply_matcher": {
        "setting-reply": bytes([BEND]) + frame(5, 1, BEND, [7]),
        "cut-after-command": bytes([BEND]) + frame(5, 1, BEND, [])[:9] + b"\xf7",
        "other-command": bytes([BEND]) + frame(5, 1, 0x2E, [7]),
        "sequence-chunk": bytes([CHUNK]) + FULL_CHUNK,
        "sequence-chunk-cut": bytes([CHUNK]) + FULL_CHUNK[:20] + b"\xf7",
        "note": bytes([BEND, 0x90, 60, 100]),
        "active-sensing": bytes([BEND, 0xFE]),
        "overlong": bytes([BEND]) + frame(1, 50, BEND, [1] * 50),
        "status-in-value": bytes([BEND]) + frame(5, 1, BEND, [0xF7]),
    },
    "identity_reply": {
        "application": b"\x00" + identity(0x01, 0x5C, 0x01),
        "bootloader": b"\x01" + identity(0x01, 0x5C, 0x03, (1, 0, 0, 0)),
        "all-devices": b"\x00" + identity(0x7F, 0x5C, 0x01),
        "foreign-maker": b"\x00" + identity(0x01, 0x41, 0x01),
        "short": b"\x00" + identity(0x01, 0x5C, 0x01)[:12],
        "request": bytes([0x00, 0xF0, 0x7E, 0x7F, 0x06, 0x01, 0xF7]),
        "clock": b"\x00\xf8",
    },
    "acknowledgement": {
        "accepted": ack(packed([0x00])),
        "rejected-ff": ack(packed([0xFF])),
        "rejected-fe": ack(packed([0xFE])),
        "no-payload": ack([], length=0),
        "unknown-status": ack(packed([0x42])),
        "announced-long": ack(packed([0x00] * 28), length=0x7F),
        "bad-checksum": ack(b"\x55" + packed([0x00])[1:]),
        "wrong-counter": ack(packed([0x00]), flag=0, counter=9),
        "short": ack([])[:10],
    },
    "sysex_message": {
        "full-chunk": bytes([28, 9, 32, 28]) + frame(1, 28, 0x03, packed(list(range(28)))),
        "one-byte": bytes([1, 9, 8, 28]) + ONE_BYTE,
        "raw-setting": bytes([1, 9, 1, 1]) + frame(1, 1, BEND, [7]),
        "beyond-message": bytes([28, 9, 100, 28]) + ONE_BYTE,
        "negative": bytes([0xFF, 0xF0, 0x80, 0]) + ONE_BYTE,
        "overlong": bytes([7, 9, 8, 48, 0xF0] + [1] * 60 + [0xF7]),
    },
    "firmware_container": {
        "plain-container": b"\x01" + MAGIC + b"\x00" + IMAGE,
        "enciphered-container": b"\x00" + encipher(MAGIC + b"\x00" + IMAGE),
        "empty-payload": b"\x00" + encipher(MAGIC + b"\x07"),
        "magic-only": b"\x00" + encipher(MAGIC),
        "wrong-magic": b"\x01" + MAGIC[:-1] + b"T\x00" + IMAGE,
        "text": b"\x00not a container at all, just text",
        "empty": b"\x00",
    },
    "xsettings": {
        "big-endian": b"\0\0" + xsettings(True, xs_string(b"Net/ThemeName", b"Adwaita", True),
                                            xs_integer(b"Gdk/WindowScalingFactor", 2, True)),
        "cut-in-name": b"\x20\0" + xsettings(False, xs_integer(b"Gdk/WindowScalingFactor", 2))[:24],
        "name-with-nul": b"\xff\xff" + xsettings(False, xs_integer(b"Gdk/WindowScalingFactor\0old", 3),
                                                   xs_integer(b"Gdk/WindowScalingFactor", 1)),
        "count-beyond": b"\0\0" + xsettings(False, xs_integer(b"Xft/DPI", 98304))[:8] + b"\xff\xff\xff\xff",
    },
    "snapshot_content": {
        "empty": b"",
        "newer-format": b"\x02" + snapshot_content([[]] * 8, [None] * 14)[1:],
        "zero-in-sequence": snapshot_content([[60, 0, 62]] + [[]] * 7, [None] * 14),
        "unknown-setting-bits": snapshot_content([[]] * 8, [None] * 14)[:9] + b"\x00\xc0\x00",
        "firmware-flag-7": snapshot_content([[]] * 8, [None] * 14)[:-1] + b"\x07",
        "cut-after-mask": snapshot_content([[]] * 8, [5] * 14)[:11],
    },
    "kept_working_set": {
        "seven-sequences": b'{"sequences": [[],[],[],[],[],[],[]], "instrument": [[],[],[],[],[],[],[],[]]}',
        "step-zero": b'{"sequences": [[0],[],[],[],[],[],[],[]], "instrument": [[],[],[],[],[],[],[],[]]}',
        "huge-numbers": b'{"selected": 1e300, "cursor": -1e300, "sequences": [[60,127],[],[],[],[],[],[],[]],'
                        b' "instrument": [[],[],[],[],[],[],[],[]], "instrumentKnown": 1}',
        "not-an-object": b"[[],[],[],[],[],[],[],[]]",
    },
    "midi_import": {
        "smpte": import_choice(0x02) + midi_file(-0x1E28, b"\x00\x90\x3c\x40\x10\x80\x3c\x00"),
        "no-division": import_choice(0x02) + midi_file(0, b"\x00\x90\x3c\x40\x10\x80\x3c\x00"),
        "far-note": import_choice(0x22) + midi_file(1, b"\xff\xff\xff\x7f\x90\x3c\x40" * 3),
    },
}


def song_seeds():
    """The MIDI import's seeds from real songs, when the songs are installed."""
    return {name: choice + midi_excerpt(os.path.join(SONGS, song), tracks, size)
            for name, (song, tracks, size, choice) in SONG_EXCERPTS.items()
            if os.path.exists(os.path.join(SONGS, song))}

if __name__ == "__main__":
    SEEDS["midi_import"].update(song_seeds())
    for target, seeds in SEEDS.items():
        folder = os.path.join(os.path.dirname(os.path.abspath(__file__)), "corpus", target)
        os.makedirs(folder, exist_ok=True)
        for name, data in seeds.items():
            with open(os.path.join(folder, name), "wb") as f:
                f.write(data)
