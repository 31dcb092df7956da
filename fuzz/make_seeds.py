#!/usr/bin/env python3
"""Writes the seed corpora of the fuzz targets into fuzz/corpus/<target>/.

The seeds are the inputs the test suites use: the file and message layouts of the tests,
their edge cases, and a few broken variants. Each seed starts with the bytes that the
target reads before the input proper (see the comment above each target's entry point).
Inputs that once crashed a target are added by hand as crash-<what>, never overwritten here.

    fuzz/make_seeds.py
"""

import os

HERE = os.path.dirname(os.path.abspath(__file__))
MAGIC = b"HarborLanternWillowQuest"


def frame(counter, length, command, payload):
    return bytes([0xF0, 0x00, 0x5C, 0x3D, 0x05, 0x01, counter, length, command]) + bytes(payload) + b"\xf7"


def packed(raw):
    """The checksum, then eight bytes per started group of seven."""
    out = bytearray()
    for start in range(0, len(raw), 7):
        group = raw[start:start + 7]
        encoded = [b >> 1 for b in group] + [0] * (7 - len(group))
        low = 0
        for i, b in enumerate(group):
            low |= (b & 1) << i
        out += bytes(encoded) + bytes([low])
    return bytes([sum(raw) & 0x7F]) + bytes(out)


def encipher(plain):
    key = MAGIC
    return bytes(b ^ key[(4 + i) % len(key)] for i, b in enumerate(plain))


def write(target, name, data):
    folder = os.path.join(HERE, "corpus", target)
    os.makedirs(folder, exist_ok=True)
    with open(os.path.join(folder, name), "wb") as f:
        f.write(data)


def sequence_files():
    factory4 = "60 48 x 72 60 x 72 x 60 48 x 72 60 x 72 x 60 48 x 72 60 x 72 x 63 51 x 63 51 x 65 x"
    seeds = {
        "factory-line": "4:" + factory4,
        "eight-empty": "\n".join("%d:" % n for n in range(1, 9)),
        "crlf": "1:60 x\r\n2:62\r\n3:\r\n",
        "any-order-and-twice": "8:60\n2:61 62\n2:63",
        "leading-space": " 3:60 61",
        "space-after-colon": "3: 60",
        "rests": "1:12x xx max x",
        "uppercase-x": "1:60 X",
        "signs-and-letters": "5:+60 60abc",
        "refused-values": "1:126 -5",
        "sixty-four": "6:" + " ".join(["61"] * 64),
        "sixty-five": "6:" + " ".join(["61"] * 65),
        "quoted-line-feed": '1:60 "x\n" 61\n2:62',
        "numbers-outside": "0:60\n9:61\n1:62",
        "no-colon": "7",
        "trailing-line-feed": "1:60\n",
        "huge-number": "99999999999999999999:60\n1:999999999999",
    }
    for name, text in seeds.items():
        write("sequence_file", name, text.encode())


def replies():
    bend = 0x2C
    full_chunk = frame(3, 35, 0x3A, [0, 0, 32] + [60] * 32)
    seeds = {
        "setting-reply": bytes([bend]) + frame(5, 1, bend, [7]),
        "cut-after-command": bytes([bend]) + frame(5, 1, bend, [])[:9] + b"\xf7",
        "other-command": bytes([bend]) + frame(5, 1, 0x2E, [7]),
        "sequence-chunk": bytes([0x3A]) + full_chunk,
        "sequence-chunk-cut": bytes([0x3A]) + full_chunk[:20] + b"\xf7",
        "note": bytes([bend, 0x90, 60, 100]),
        "active-sensing": bytes([bend, 0xFE]),
        "overlong": bytes([bend]) + frame(1, 50, bend, [1] * 50),
        "status-in-value": bytes([bend]) + frame(5, 1, bend, [0xF7]),
    }
    for name, data in seeds.items():
        write("reply_matcher", name, data)


def identities():
    def reply(device, maker, member2, version=(1, 0, 3, 2)):
        return bytes([0xF0, 0x7E, device, 0x06, 0x02, 0x00, maker, 0x3D, 0x04, 0x00, 0x02, member2]) + bytes(
            version) + b"\xf7"

    seeds = {
        "application": b"\x00" + reply(0x01, 0x5C, 0x01),
        "bootloader": b"\x01" + reply(0x01, 0x5C, 0x03, (1, 0, 0, 0)),
        "all-devices": b"\x00" + reply(0x7F, 0x5C, 0x01),
        "foreign-maker": b"\x00" + reply(0x01, 0x41, 0x01),
        "short": b"\x00" + reply(0x01, 0x5C, 0x01)[:12],
        "request": b"\x00" + bytes([0xF0, 0x7E, 0x7F, 0x06, 0x01, 0xF7]),
        "clock": b"\x00\xf8",
    }
    for name, data in seeds.items():
        write("identity_reply", name, data)


def acknowledgements():
    seeds = {
        "accepted": b"\x01" + frame(0, 1, 0x04, packed([0x00])),
        "rejected-ff": b"\x01" + frame(0, 1, 0x04, packed([0xFF])),
        "rejected-fe": b"\x01" + frame(0, 1, 0x04, packed([0xFE])),
        "no-payload": b"\x01" + frame(0, 0, 0x04, []),
        "unknown-status": b"\x01" + frame(0, 1, 0x04, packed([0x42])),
        "announced-long": b"\x01" + frame(0, 0x7F, 0x04, packed([0x00] * 28)),
        "bad-checksum": b"\x01" + frame(0, 1, 0x04, b"\x55" + packed([0x00])[1:]),
        "wrong-counter": b"\x00" + frame(9, 1, 0x04, packed([0x00])),
        "short": b"\x01" + frame(0, 1, 0x04, [])[:9],
    }
    for name, data in seeds.items():
        write("acknowledgement", name, data)


def sysex_messages():
    chunk = list(range(28))
    seeds = {
        "full-chunk": bytes([28, 9, 32, 28]) + frame(1, 28, 0x03, packed(chunk)),
        "one-byte": bytes([1, 9, 8, 28]) + frame(1, 1, 0x04, packed([0])),
        "raw-setting": bytes([1, 9, 1, 1]) + frame(1, 1, 0x2C, [7]),
        "beyond-message": bytes([28, 9, 100, 28]) + frame(1, 1, 0x04, packed([0])),
        "negative": bytes([0xFF, 0xF0, 0x80, 0]) + frame(1, 1, 0x04, packed([0])),
        "overlong": bytes([7, 9, 8, 48]) + bytes([0xF0] + [1] * 60 + [0xF7]),
    }
    for name, data in seeds.items():
        write("sysex_message", name, data)


def containers():
    image = b"TVFW" + bytes([1, 0, 3, 2]) + (16).to_bytes(4, "little") + bytes(range(16)) + b"\x00\x00\x00\x00"
    plain = MAGIC + b"\x00" + image
    seeds = {
        "plain-container": b"\x01" + plain,
        "enciphered-container": b"\x00" + encipher(plain),
        "empty-payload": b"\x00" + encipher(MAGIC + b"\x07"),
        "magic-only": b"\x00" + encipher(MAGIC),
        "wrong-magic": b"\x01" + b"HarborLanternWillowQuesT\x00" + image,
        "text": b"\x00not a container at all, just text",
        "empty": b"\x00",
    }
    for name, data in seeds.items():
        write("firmware_container", name, data)


if __name__ == "__main__":
    sequence_files()
    replies()
    identities()
    acknowledgements()
    sysex_messages()
    containers()
