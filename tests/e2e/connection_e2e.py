#!/usr/bin/env python3
# The demo's start and its connection to the instrument: the firmware update offered, the
# settings read and clicked, CONNECT, the cable pulled and plugged, and a close at each step of the start.

import json, pathlib, sys, time

from harness import *  # noqa: F401,F403


def test_startup_update_declined(s):
    """Outdated firmware: the update offer is declined; connected, no setting read, nothing changed."""
    settings = s.write_state("1.0.2.9", dict(DEFAULT_SETTINGS, STEP=4))["settings"]
    s.start_demo()
    s.answer("Firmware version", "Escape")
    # No setting was read, so the widgets still hold their first values: the step knob starts
    # at 16, and its first click sends 32 although the instrument held 4. The click is carried
    # out once the start-up has ended, so the update, had it run, would have shown by then.
    s.click(s.geo.controls["STEP"])
    state = wait_for_state(s.state_file, "STEP = 32", lambda m: m["settings"]["STEP"] == 32)
    if s.windows("Firmware update:") or s.windows("Firmware update: complete"):
        raise Failure("the update ran although it was declined")
    if state["firmware"] != "1.0.2.9" or dict(state["settings"], STEP=4) != settings:
        raise Failure("the firmware or another setting changed: %s" % state)


def test_startup_update_accepted(s):
    """A factory-fresh instrument (no memory file, firmware 1.0.2.0): the offered update runs to the end, and the
    settings are read afterwards."""
    s.start_demo()
    s.wait_window("Firmware version")
    s.answer("Firmware version", "Return")
    # The instrument restarts into its bootloader (5 s), is found there, takes the image.
    s.wait_window("Firmware update:", 30.0)
    # The box asks to reboot the instrument first; it restarts by itself into its new application
    # firmware, and OK is pressed only then. Its memory file shows the restart, but not the end
    # of the USB re-enumeration that follows (300 ms), which nothing outside the program shows:
    # for that one, a pause.
    def restarted():
        wait_for_state(s.state_file, "firmware %s in its application firmware" % s.geo.firmware,
                       lambda m: m["firmware"] == s.geo.firmware and m.get("mode", "application") == "application", 10.0)
        time.sleep(REENUMERATION_PAUSE * s.time_scale)

    s.answer("Firmware update: complete", "Return", 60.0, first=restarted)

    # Connected again afterwards, with the settings read as at any connection and kept in the
    # history: the bend knob, which starts at 1, steps on from the instrument's 2.
    def reconnected():
        if s.windows("No instrument found"):
            raise Failure("the instrument was not found after the update")
        return not s.windows(DETECTION_TITLE) and s.lamp_lit()

    wait_for("the reconnection (the lamp lit)", reconnected, 15.0)
    wait_for("the settings read after the update, kept in the history",
             lambda: snapshots_with_cause(s.library(), "Read at connection") > 0, 20.0)
    s.click_setting("BEND", read_state(s.state_file)["settings"])


# An instrument in its bootloader is not what the application looks for: detection finds nothing.
def start_without_instrument(s):
    pathlib.Path(s.state_file).write_text(json.dumps(dict(s.write_state(), mode="bootloader")))
    s.start_demo()


def test_quit_during_detection(s):
    """Closed while the detection window looks in vain: ends, no retry box."""
    start_without_instrument(s)
    s.wait_window(DETECTION_TITLE)
    close_and_expect_end(s, never_shown=["No instrument found"])


def test_quit_at_retry_box(s):
    """Closed while the retry box asks whether to look again: ends, nothing more is shown."""
    start_without_instrument(s)
    s.wait_window("No instrument found")
    close_and_expect_end(s, never_shown=[DETECTION_TITLE])


def test_quit_at_update_offer(s):
    """Closed while the update is offered: counts as declined, the instrument is left as it was."""
    before = s.write_state("1.0.2.9")
    s.start_demo()
    s.wait_window("Firmware version")
    close_and_expect_end(s, never_shown=["Firmware update:"])
    if read_state(s.state_file) != before:
        raise Failure("the instrument changed: %s" % read_state(s.state_file))


def test_quit_during_update_pause(s):
    """Closed in the pause while the instrument restarts into its bootloader: ends at once."""
    s.write_state("1.0.2.9")
    s.start_demo()
    s.answer("Firmware version", "Return")
    # The connection is closed (the lamp goes out), the instrument found and asked to restart;
    # once no detection window has been seen for half a second, the five-second pause runs.
    wait_for("the lamp to go out", lambda: not s.lamp_lit(), 5.0)
    last_seen = [time.monotonic()]

    def pausing():
        if s.windows(DETECTION_TITLE) or s.windows("Firmware update:"):
            last_seen[0] = time.monotonic()
        return time.monotonic() - last_seen[0] > 0.5

    wait_for("the pause after the update request", pausing, 5.0)
    close_and_expect_end(s, never_shown=["Firmware update:", "Update error"])


def test_quit_during_update_transfer(s):
    """Closed while the image is sent: the transfer runs to its end, then the demo ends without its box."""
    s.write_state("1.0.2.9")
    s.start_demo()
    s.answer("Firmware version", "Return")
    s.wait_window("Firmware update:", 30.0)
    close_and_expect_end(s, 60.0, never_shown=["Firmware update: complete", "Update error"])
    if read_state(s.state_file)["firmware"] != "1.0.3.2":
        raise Failure("the instrument does not hold the whole new firmware: %s" % read_state(s.state_file))




# The emulated instrument's window (Ctrl+K on the main window): its power switch and cable.
INSTRUMENT_TITLE = "Tarnovelle"
INSTRUMENT_CABLE = (238, 26)


def test_settings_clicks(s):
    """Every setting read from the instrument is shown; clicks on knobs and switches change its memory."""
    state = s.start_connected()
    expected = dict(state["settings"])
    for code in list(s.geo.controls) + ["STEP", "STEP", "GLEN"]:  # the step knob and the glide switch wrap round
        s.click_setting(code, expected)
    final = read_state(s.state_file)
    if final["settings"] != expected or final["sequences"] != state["sequences"] or final["firmware"] != s.geo.firmware:
        raise Failure("the memory holds %s, expected the settings %s and nothing else changed" % (final, expected))


def test_connect_off_and_on(s):
    """CONNECT off: clicks change nothing on the instrument; CONNECT on: detected, read, clicks work again."""
    state = s.start_connected()
    s.move_away()
    bend_read = s.pixels(s.geo.bend_knob)
    wait_for("the lamp lit while connected", s.lamp_lit, 5.0)

    s.click(s.geo.lamp)
    s.move_away()
    wait_for("the lamp to go out", lambda: not s.lamp_lit(), 5.0)

    # While disconnected the knob turns but nothing reaches the instrument.
    s.click(s.geo.controls["BEND"])
    s.move_away()
    wait_for("the bend knob to turn", lambda: s.pixels(s.geo.bend_knob) != bend_read, 5.0)
    if s.windows(DETECTION_TITLE) or s.windows("Connection"):
        raise Failure("a click while disconnected opened a window")

    # The application handles the knob's message before the CONNECT switch's, and reads the
    # settings after any write it might have sent: once the knob shows the instrument's value
    # again, whatever the click did has reached the instrument.
    s.click(s.geo.lamp)
    s.move_away()
    wait_for("the lamp to light again", s.lamp_lit, 10.0)
    # Reading the settings again brings the knob back to the instrument's value.
    wait_for("the bend knob to show the instrument's value again", lambda: s.pixels(s.geo.bend_knob) == bend_read, 10.0)
    if read_state(s.state_file)["settings"] != state["settings"]:
        raise Failure("a click while disconnected changed the instrument: %s" % read_state(s.state_file))
    if s.windows("Connection"):
        raise Failure("a click while disconnected opened a window")
    expected = dict(state["settings"])
    s.click_setting("BEND", expected)
    s.click_setting("LFO", expected)


def open_instrument_window(s):
    s.press_until("ctrl+k", lambda: s.windows(INSTRUMENT_TITLE), 3, s.wait_window(MAIN_TITLE))
    return s.wait_window(INSTRUMENT_TITLE)


# Without a window manager, the window clicked or looked at is raised above the others first.
def click_in_window(s, window, point):
    s.run("xdotool", "windowraise", str(window))
    x, y = s.geometry(window)[:2]
    s.click_at(x + point[0], y + point[1])


def raise_main_window(s):
    s.run("xdotool", "windowraise", str(s.wait_window(MAIN_TITLE)))
    s.move_away()


def test_cable_pulled_and_plugged(s):
    """The demo's cable pulled: the lamp goes out at once and the next click says so; plugged back it
    reconnects without a click, reads the settings again, and the editor's unsent change is sent."""
    state = s.start_connected()
    bend_read = s.pixels(s.geo.bend_knob)
    editor = open_editor(s)
    expected = edit_second_sequence(s, editor, state)
    instrument = open_instrument_window(s)

    click_in_window(s, instrument, INSTRUMENT_CABLE)
    pulled = time.monotonic()
    raise_main_window(s)
    wait_for("the lamp to go out", lambda: not s.lamp_lit(), 5.0)
    print("NOT Connected seen %.2f s after the cable was pulled" % (time.monotonic() - pulled), flush=True)
    s.click((50, s.geo.sequences_tab[1]))  # the Configuration tab, left of the Sequences tab the editor was opened from
    s.click(s.geo.controls["BEND"])
    s.answer("Connection", "Return")
    if read_state(s.state_file)["settings"] != state["settings"]:
        raise Failure("a click after the cable was pulled reached the instrument")

    click_in_window(s, instrument, INSTRUMENT_CABLE)
    raise_main_window(s)
    wait_for("the lamp to light again without a click", s.lamp_lit, 10.0)
    wait_for("the bend knob to show the instrument's value again", lambda: s.pixels(s.geo.bend_knob) == bend_read, 10.0)
    if s.windows(DETECTION_TITLE) or s.windows("No instrument found") or s.windows("Connection"):
        raise Failure("reconnecting opened a window")
    send_from_editor(s, editor, "2")
    wait_for_state(s.state_file, "sequence 2 with the edit kept over the pull", lambda m: m["sequences"] == expected)



if __name__ == "__main__":
    sys.exit(main(tests_in(globals()), __file__))
