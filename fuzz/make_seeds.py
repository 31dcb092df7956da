#!/usr/bin/env python3
"""Writes the seed corpora of the fuzz targets into fuzz/corpus/<target>/.

The seeds are the file and message layouts of the tests, their edge cases and a few broken
variants, each after the parameter bytes its target reads first (see the comment above each
target). Inputs that once crashed a target are added by hand as crash-<what>, never touched here.
"""

import os

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
}

if __name__ == "__main__":
    for target, seeds in SEEDS.items():
        folder = os.path.join(os.path.dirname(os.path.abspath(__file__)), "corpus", target)
        os.makedirs(folder, exist_ok=True)
        for name, data in seeds.items():
            with open(os.path.join(folder, name), "wb") as f:
                f.write(data)
