#!/usr/bin/env python3
# End-to-end test of the demo on a desktop scaled to 200 %: the scale is published the way
# GNOME's settings daemon publishes it (the XSETTINGS "Gdk/WindowScalingFactor", here served by
# xsettingsd), on an X server whose dpi says nothing of it. The main window and the sequence
# editor must come out at twice their size, as sharp as a real 2x drawing: the knobs on screen
# are the 2x artwork pixel for pixel, and the editor's edges are as steep as no enlargement of
# its 100 % picture makes them.
#
#     desktop_scale_e2e.py desktop_scale --app build/bin/TarnovelleConnectionDemo --out build/e2e \
#                          --geometry build/e2e/geometry.json
#
# The screenshots of both scales are kept in <out>/desktop_scale_{100,200}_{main,editor}.png.
# Uses the harness's sessions, xsettingsd, and the pictures in resources/.

import ctypes, os, pathlib, struct, subprocess, sys, zlib

import harness as e2e
from harness import Failure, wait_for

RESOURCES = pathlib.Path(__file__).resolve().parents[2] / "resources"


# An 8-bit RGBA PNG, as the artwork tool writes them: (width, height, rows of RGBA bytes).
def read_png(path):
    data = pathlib.Path(path).read_bytes()
    chunks, at = {}, 8
    while at < len(data):
        length, kind = struct.unpack(">I4s", data[at:at + 8])
        chunks[kind] = chunks.get(kind, b"") + data[at + 8:at + 8 + length]
        at += 12 + length
    width, height, depth, colour, _, _, interlace = struct.unpack(">IIBBBBB", chunks[b"IHDR"])
    if (depth, colour, interlace) != (8, 6, 0):
        raise Failure("%s is not 8-bit RGBA" % path)
    raw, stride, rows, previous = zlib.decompress(chunks[b"IDAT"]), width * 4, [], bytearray(width * 4)
    for y in range(height):
        kind, row = raw[y * (stride + 1)], bytearray(raw[y * (stride + 1) + 1:(y + 1) * (stride + 1)])
        for i in range(stride):
            a, b, c = row[i - 4] if i >= 4 else 0, previous[i], previous[i - 4] if i >= 4 else 0
            row[i] = (row[i] + [0, a, b, (a + b) // 2, paeth(a, b, c)][kind]) & 0xff
        rows.append(row)
        previous = row
    return width, height, rows


def paeth(a, b, c):
    p = a + b - c
    pa, pb, pc = abs(p - a), abs(p - b), abs(p - c)
    return a if pa <= pb and pa <= pc else (b if pb <= pc else c)


# The brightness of RGB bytes, each pixel the sum of its channels (0 to 765).
def grey(pixels):
    return [pixels[i] + pixels[i + 1] + pixels[i + 2] for i in range(0, len(pixels), 3)]


# The mean difference per channel over the picture's opaque pixels between the screen's
# brightness (the picture's size) and the picture's.
def difference_where_opaque(screen, picture):
    width, height, rows = picture
    pairs = [(screen[y * width + x], sum(rows[y][4 * x:4 * x + 3]))
             for y in range(height) for x in range(width) if rows[y][4 * x + 3] == 255]
    return sum(abs(a - b) for a, b in pairs) / (3 * len(pairs))


# Brightness of w x h enlarged to twice the size, each new pixel interpolated between its
# neighbours (what drawing a 1x picture on a 2x screen does).
def enlarged(g, w, h):
    at = lambda x, y: g[min(max(y, 0), h - 1) * w + min(max(x, 0), w - 1)]
    out = []
    for y in range(2 * h):
        sy = (y - 0.5) / 2
        y0 = int(sy // 1)
        fy = sy - y0
        for x in range(2 * w):
            sx = (x - 0.5) / 2
            x0 = int(sx // 1)
            fx = sx - x0
            top = at(x0, y0) * (1 - fx) + at(x0 + 1, y0) * fx
            out.append(top * (1 - fy) + (at(x0, y0 + 1) * (1 - fx) + at(x0 + 1, y0 + 1) * fx) * fy)
    return out


# How sharp brightness of w x h is: the mean squared step to the next pixel right and down. An
# edge drawn at 2x steps at once; enlarged from 1x it is spread over two pixels, each half the step.
def sharpness(g, w, h):
    total = 0
    for y in range(h - 1):
        for x in range(w - 1):
            v = g[y * w + x]
            total += (g[y * w + x + 1] - v) ** 2 + (g[y * w + w + x] - v) ** 2
    return total / (w * h)


# xsettingsd on the session's display, serving the window scaling factor; returns once it owns
# the XSETTINGS selection.
def start_settings_daemon(s, scale):
    config = os.path.join(s.work, "xsettingsd.conf")
    pathlib.Path(config).write_text("Gdk/WindowScalingFactor %d\n" % scale)
    daemon = subprocess.Popen(["xsettingsd", "-c", config], env=s.env, stdout=subprocess.DEVNULL,
                              stderr=subprocess.DEVNULL)
    lib = e2e.x11()
    lib.XGetSelectionOwner.restype, lib.XGetSelectionOwner.argtypes = ctypes.c_ulong, [ctypes.c_void_p, ctypes.c_ulong]
    display = e2e.open_display(lib, s.env["DISPLAY"])
    selection = lib.XInternAtom(display, b"_XSETTINGS_S0", 0)
    try:
        wait_for("xsettingsd to own the XSETTINGS selection",
                 lambda: daemon.poll() is None and lib.XGetSelectionOwner(display, selection), 10.0)
    finally:
        lib.XCloseDisplay(display)
    return daemon


# The bend knob's picture in the main window: JUCE's tabbed component keeps a one-point outline
# left of the tab's content.
def knob_area(s):
    x, y, w, h = s.geo.bend_knob
    return x + 1, y, w, h


# Starts the demo connected, opens the sequence editor, and returns the screen's pixels of the
# main window, the bend knob (66 x 65 points) and the editor's top left 440 x 260 points, with the
# two windows' sizes. Screenshots of both windows are kept.
def look_at_windows(s, out, label):
    s.start_connected()
    main = s.geometry(s.wait_window(e2e.MAIN_TITLE))
    s.run("import", "-window", "root", "-crop", "%dx%d+%d+%d" % (main[2], main[3], *main[:2]),
          os.path.join(out, "desktop_scale_%s_main.png" % label))
    knob = s.pixels(knob_area(s))
    s.show_sequences_tab()
    s.click_until_window(s.geo.seq_edit, e2e.EDITOR_TITLE)
    editor = s.geometry(s.wait_window(e2e.EDITOR_TITLE))

    seen = {}

    def notes_shown():
        seen["reading"] = bool(s.windows(e2e.READING_TITLE))
        seen["notes"] = e2e.note_pixels(s.screen_pixels(editor))
        return not seen["reading"] and seen["notes"] > 50 * s.scale ** 2

    if not wait_for("", notes_shown, 30.0, quiet=True):
        raise Failure("the editor %s did not show the sequences it read: %s" % (editor, seen))
    s.run("import", "-window", "root", "-crop", "%dx%d+%d+%d" % (editor[2], editor[3], *editor[:2]),
          os.path.join(out, "desktop_scale_%s_editor.png" % label))
    corner = s.screen_pixels((editor[0], editor[1], 440 * s.scale, 260 * s.scale))
    return main[2:], knob, editor[2:], corner


def test_desktop_scale(s):
    """At 200 % the main window and the editor are twice as large and as sharp as a 2x drawing."""
    out = os.path.dirname(s.screenshot)
    size_100, knob_100, editor_100, corner_100 = look_at_windows(s, out, "100")
    # The 100 % demo is done with: it ends here, as a quit would end it.
    code, s.demo, s.quit_sent = e2e.stop_process(s.demo), None, True
    if code:
        raise Failure("the demo at 100 %% ended with code %s" % code)

    scaled = e2e.Session("desktop_scale_200", s.app, out, s.geo, scale=2)
    daemon, ok = None, False
    try:
        daemon = start_settings_daemon(scaled, 2)
        # start_demo checks the main window's size in pixels: 2000 x 866, centred
        size_200, knob_200, editor_200, corner_200 = look_at_windows(scaled, out, "200")
        if size_200 != tuple(2 * n for n in size_100) or editor_200 != tuple(2 * n for n in editor_100):
            raise Failure("at 200 %% the windows are %s and %s, at 100 %% %s and %s"
                          % (size_200, editor_200, size_100, editor_100))

        # The knob on screen is the 2x artwork of one of its positions; the 100 % knob enlarged
        # is clearly not.
        w, h = 2 * knob_area(s)[2], 2 * knob_area(s)[3]
        artwork = [read_png(p) for p in sorted(RESOURCES.glob("knob*_2x.png"))]
        if not artwork or any(a[:2] != (w, h) for a in artwork):
            raise Failure("no 2x knob artwork of %dx%d in %s" % (w, h, RESOURCES))
        shown = min(difference_where_opaque(grey(knob_200), a) for a in artwork)
        enlargement = min(difference_where_opaque(enlarged(grey(knob_100), w // 2, h // 2), a) for a in artwork)
        print("knob against its 2x artwork: %.2f on screen, %.2f for the 100 %% knob enlarged" % (shown, enlargement))
        if shown > 1.0 or enlargement < 3 * shown + 2.0:
            raise Failure("the knob at 200 %% is not the 2x artwork (%.2f, enlarged 100 %%: %.2f)"
                          % (shown, enlargement))

        # The editor's text and grid are drawn at 200 %, not enlarged.
        sharp, blurred = sharpness(grey(corner_200), 880, 520), sharpness(enlarged(grey(corner_100), 440, 260), 880, 520)
        print("editor sharpness: %.0f at 200 %%, %.0f for 100 %% enlarged" % (sharp, blurred))
        if sharp < 2 * blurred:
            raise Failure("the editor at 200 %% is no sharper than its 100 %% picture enlarged")
        ok = True
    finally:
        ok = scaled.close(ok)
        if daemon is not None:
            e2e.stop_process(daemon)
    if not ok:
        raise Failure("the 200 % session failed")


if __name__ == "__main__":
    sys.exit(e2e.main(e2e.tests_in(globals()), __file__))
