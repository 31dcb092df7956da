#!/usr/bin/env python3
# The sequence editor: edits sent, kept over a quit, played, and the history restored.

import json, os, pathlib, signal, sys

from harness import *  # noqa: F401,F403


def test_sequence_editor(s):
    """EDIT SEQUENCES opens the editor, which reads the sequences; keys change a step, Ctrl+Return sends it;
    steps copied and pasted through the clipboard go to another sequence."""
    state = s.start_connected()
    editor = open_editor(s)
    expected = edit_second_sequence(s, editor, state)
    send_from_editor(s, editor, "2")
    wait_for_state(s.state_file, "sequence 2 with its edited step", lambda m: m["sequences"] == expected, 10.0)

    # Its first four steps selected with Shift+Left, copied through the X clipboard and pasted
    # over the start of sequence 3, which alone is sent then.
    for keysym in ["shift+Left", "shift+Left", "shift+Left", "ctrl+c", "3", "Home", "ctrl+v"]:
        s.key(keysym, editor)
    send_from_editor(s, editor, "3")
    expected[2][0:4] = expected[1][0:4]
    wait_for_state(s.state_file, "sequence 3 with the pasted steps", lambda m: m["sequences"] == expected, 10.0)

    # Ctrl+I imports a song into sequence 3: the "Import MIDI Tracks" window offers the melody
    # without the drums (channel 10), whose hi-hat would otherwise sound between its notes.
    song = os.path.join(s.work, "song.mid")
    pathlib.Path(song).write_bytes(two_track_song(state["settings"]["STEP"]))
    s.press_until("ctrl+i", lambda: s.windows("Import MIDI File"), 3, editor, 15.0)
    s.choose_file("Import MIDI File", song)
    s.answer("Import MIDI Tracks", "Return")
    melody = [60, 127, 62, 127, 64, 127, 65]
    # Shortened by more than half, the send asks first.
    send_from_editor(s, editor, "3", asks=len(melody) * 2 < len(expected[2]))
    expected[2] = melody
    wait_for_state(s.state_file, "sequence 3 as the song's melody", lambda m: m["sequences"] == expected, 10.0)


def test_editor_keeps_unsent_changes(s):
    """An unsent edit outlives SIGTERM and is offered back at the next start. Closing the main window with it asks
    once: Cancel (Escape) keeps the program, Send and Quit (Return) sends and ends; after another start and edit,
    Quit Without Sending ends without sending and discards the edit."""
    state = s.start_connected()
    sync_read = s.pixels(s.geo.sync_knob)
    editor = open_editor(s)
    expected = edit_second_sequence(s, editor, state)
    kept = os.path.join(s.work, "Sequence Editor.json")
    wait_for("the edit kept on disk", lambda: (k := read_state(kept)) and k["sequences"][1] == expected[1], 5.0)
    stop_process(s.demo, signal.SIGTERM)
    if read_state(s.state_file)["sequences"] != state["sequences"]:
        raise Failure("the instrument changed without a send: %s" % read_state(s.state_file)["sequences"])

    s.quit_sent = True
    s.start_demo()
    s.answer(EDITOR_TITLE, "Return")  # "The sequence editor holds unsent changes from ... Keep them?": Keep Them
    # The same settings read again show the same knob (the read may have ended before the box did).
    wait_for("the settings to be read", lambda: s.pixels(s.geo.sync_knob) == sync_read and not s.windows(DETECTION_TITLE), 15.0)
    # The start ends with the sequences kept in the history; a close made while the start still
    # runs ends the program without a question (the edits stay kept for the next start).
    wait_for("the second start's read kept in the history",
             lambda: snapshots_with_cause(s.library(), "Read at connection") >= 2, 20.0)
    close_and_answer(s, EDITOR_TITLE, ["Escape"])  # Cancel: one key keeps the program
    s.check_alive()
    close_and_answer(s, EDITOR_TITLE, ["Return"])  # Send and Quit
    wait_for("the demo to end after sending", lambda: s.demo.poll() is not None, 15.0)
    if s.demo.returncode != 0:
        raise Failure("the demo ended with status %d" % s.demo.returncode)
    wait_for_state(s.state_file, "sequence 2 with its kept edit", lambda m: m["sequences"] == expected, 5.0)

    # Another edit, not sent: Quit Without Sending (its letter) ends the program and forgets it.
    s.start_demo()
    s.wait_until_settings_read()
    wait_for("the third start's read kept in the history",
             lambda: snapshots_with_cause(s.library(), "Read at connection") >= 3, 20.0)
    editor = open_editor(s)
    edit_second_sequence(s, editor, read_state(s.state_file))
    wait_for("the new edit kept on disk", lambda: (k := read_state(kept)) and k["sequences"] != k["instrument"], 5.0)
    close_and_answer(s, EDITOR_TITLE, ["q"])
    wait_for("the demo to end without sending", lambda: s.demo.poll() is not None, 15.0)
    if read_state(s.state_file)["sequences"] != expected:
        raise Failure("the instrument changed without a send: %s" % read_state(s.state_file)["sequences"])
    if (k := read_state(kept))["sequences"] != k["instrument"]:
        raise Failure("the discarded edit is still kept: %s" % k["sequences"])


def test_quit_at_kept_changes_question(s):
    """SIGTERM while the start asks whether to keep the editor's unsent changes: no answer, so the kept
    file stays as it was and the next start asks again."""
    s.write_state()
    kept = os.path.join(s.work, "Sequence Editor.json")
    edited = [[60, 127, 67]] + [[]] * 7
    pathlib.Path(kept).write_text(json.dumps({"savedAt": "2026-01-05T09:30:00.000+00:00", "selected": 0, "cursor": 0,
                                              "instrumentKnown": False, "sequences": edited, "instrument": [[]] * 8}))
    before = read(kept, "rb")
    s.start_demo()
    s.wait_window(EDITOR_TITLE)
    s.quit_sent = True
    if stop_process(s.demo, signal.SIGTERM) != 0:
        raise Failure("the demo ended with status %d" % s.demo.returncode)
    if read(kept, "rb") != before:
        raise Failure("the kept file changed: %s" % read(kept))

    s.quit_sent = False
    s.start_demo()
    s.answer(EDITOR_TITLE, "Return")  # kept this time
    wait_for("the kept changes written back", lambda: (k := read_state(kept)) and k["sequences"] == edited
             and read(kept, "rb") != before, 5.0)


def test_history_restore(s):
    """After RESET ALL SEQUENCES, the History window restores the snapshot taken before it."""
    state = s.start_connected()
    s.show_sequences_tab()
    s.click_until_window(s.geo.seq_factory, "Reset All Sequences")
    s.answer("Reset All Sequences", "Return")
    wait_for_state(s.state_file, "the factory sequences", lambda m: m["sequences"] != state["sequences"], 15.0)
    wait_for("the reset to end, kept in the history",
             lambda: snapshots_with_cause(s.library(), "After RESET ALL SEQUENCES") > 0, 15.0)

    # Ctrl+H in the editor opens the History window.
    editor = open_editor_from_sequences_tab(s)
    s.press_until("ctrl+h", lambda: s.windows(HISTORY_TITLE), 4, editor)
    history = s.wait_window(HISTORY_TITLE)
    x, y, width, height = s.geometry(history)

    # Found by its cause, it is the only row left; selected, it goes back to the instrument.
    s.run("xdotool", "windowfocus", "--sync", str(history))
    s.click_at(x + s.geo.history_find[0], y + s.geo.history_find[1])
    s.run("xdotool", "type", "--delay", "5", "--clearmodifiers", "Before RESET ALL SEQUENCES")
    second_row = (s.geo.history_row_2_area[0] + x - s.origin[0], s.geo.history_row_2_area[1] + y - s.origin[1]) + s.geo.history_row_2_area[2:]
    wait_for("the list to hold one row", lambda: len(set(s.pixels(second_row))) <= 3, 10.0)
    # A click that comes while the list is still being drawn again may select nothing: clicked
    # until the snapshot shows beside the list.
    detail = (x + 350, y + 100, width - 400, height - 250)
    unselected = s.screen_pixels(detail)
    for _ in range(3):
        s.click_at(x + s.geo.history_row_1[0], y + s.geo.history_row_1[1])
        if wait_for("", lambda: s.screen_pixels(detail) != unselected, 3.0, quiet=True):
            break
    restore = (x + width - s.geo.history_restore[0], y + height - s.geo.history_restore[1])
    for _ in range(3):
        s.click_at(*restore)
        if wait_for("", lambda: s.windows(RESTORE_TITLE), 3.0, quiet=True):
            break
    s.answer(RESTORE_TITLE, "r")  # Restore (Return takes Cancel)
    wait_for_state(s.state_file, "the sequences held before the reset",
                   lambda m: m["sequences"] == state["sequences"], 15.0)


def test_sequence_editor_plays(s):
    """Space plays sequence 1 on the instrument, in order with its gates; Escape stops and no note is left on."""
    notes_path = os.path.join(s.work, "notes.txt")
    s.env["TARNOVELLE_EMULATOR_NOTES"] = notes_path
    state = s.start_connected()
    editor = open_editor(s)
    onsets, gates = play_and_stop(s, editor, notes_path, state)

    # Eighths at 120 BPM last 250 ms; gate length 2 sounds half of each. The medians, so that
    # a loaded machine does not decide; the benchmark measures the precision.
    step_ms = 4 * 60000.0 / (120 * state["settings"]["STEP"])
    gate_ms = step_ms * state["settings"]["GLEN"] / 4
    spacing = sorted(b - a for a, b in zip(onsets, onsets[1:]))[len(onsets) // 2 - 1]
    gate = sorted(gates)[len(gates) // 2]
    if abs(spacing - step_ms) > 0.2 * step_ms or abs(gate - gate_ms) > 0.2 * gate_ms:
        raise Failure("steps of %.1f ms and gates of %.1f ms, not %.1f and %.1f" % (spacing, gate, step_ms, gate_ms))



if __name__ == "__main__":
    sys.exit(main(tests_in(globals()), __file__))
