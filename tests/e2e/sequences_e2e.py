#!/usr/bin/env python3
# The Sequences tab: sequence files saved and loaded through the desktop's chooser, and closes meanwhile.

import os, pathlib, signal, sys, time

from harness import *  # noqa: F401,F403


def test_sequences_save_and_load(s):
    """The sequence set is saved through the "Save Sequences" chooser and loaded through "Load Sequences"."""
    state = s.start_connected()
    sequences_tab = s.show_sequences_tab()

    # Save, with the MIDI files.
    saved = os.path.join(s.work, "saved set.tvseq")
    s.click_until_window(s.geo.seq_save, "Save Sequences", wait=CHOOSER_START)
    s.choose_file("Save Sequences", saved)
    s.answer("Generate MidiFiles?", "Return")
    wait_for("the sequence file", lambda: read(saved) == sequence_file_text(state["sequences"]), 10.0)
    wait_for("the eight MIDI files", lambda: all(read("%s_%d.mid" % (saved, n), "rb")[:4] == b"MThd"
                                                  for n in range(1, 9)), 5.0)

    # Load another set.
    loaded = [[50, 127, 52, 127]] + DEFAULT_SEQUENCES[-2::-1]
    to_load = os.path.join(s.work, "other.tvseq")
    pathlib.Path(to_load).write_text(sequence_file_text(loaded))
    s.click_until_window(s.geo.seq_load, "Load Sequences", wait=CHOOSER_START)
    s.choose_file("Load Sequences", to_load)
    wait_for_state(s.state_file, "the loaded sequences", lambda m: m["sequences"] == loaded, 10.0)

    # Saving over the first file asks before overwriting; the file then holds the new set.
    s.click_until_window(s.geo.seq_save, "Save Sequences", wait=CHOOSER_START)
    s.choose_file("Save Sequences", saved, replacing=True)
    s.confirm_replace("Save Sequences")
    s.answer("Generate MidiFiles?", "Escape")
    wait_for("the sequence file to hold the loaded set", lambda: read(saved) == sequence_file_text(loaded), 10.0)
    # Without a window manager nothing but the program itself paints over a closed box.
    wait_for("the tab painted again where the boxes were", lambda: s.pixels(s.geo.tab_content) == sequences_tab, 5.0)


# Opens the "Save Sequences" chooser, ends the demo as given, and checks that nothing was saved
# and that the chooser went with the demo.
def quit_in_file_chooser(s, end):
    s.start_connected()
    s.click(s.geo.sequences_tab)
    s.click_until_window(s.geo.seq_save, "Save Sequences", wait=CHOOSER_START)
    choosers = wait_for("the chooser's process", s.chooser_processes, 5.0)
    end()
    if [f for f in os.listdir(s.work) if f.endswith(".tvseq")]:
        raise Failure("a sequence file was written")
    gone = lambda pid: not os.path.exists("/proc/%d" % pid) or read("/proc/%d/stat" % pid).rsplit(")", 1)[1].split()[0] == "Z"
    wait_for("the chooser to end with the demo", lambda: all(gone(pid) for pid in choosers), 2.0)


def test_quit_in_file_chooser(s):
    """Closed while the desktop's "Save Sequences" chooser is open: nothing is saved, the demo ends, the chooser with it."""
    quit_in_file_chooser(s, lambda: close_and_expect_end(s, never_shown=["Generate MidiFiles?"]))


def test_terminated_in_file_chooser(s):
    """SIGTERM while the desktop's "Save Sequences" chooser is open: the demo ends within 5 s, the chooser with it."""
    def terminate():
        s.quit_sent, start = True, time.monotonic()
        s.demo.send_signal(signal.SIGTERM)
        wait_for("the demo to end after SIGTERM", lambda: s.demo.poll() is not None, 5.0)
        print("ended %.2f s after SIGTERM, status %d" % (time.monotonic() - start, s.demo.returncode), flush=True)
        if s.demo.returncode != 0:
            raise Failure("the demo ended with status %d" % s.demo.returncode)

    quit_in_file_chooser(s, terminate)


def test_quit_at_parse_error(s):
    """Closed while a parsing error is shown: the file was checked whole, so nothing was loaded."""
    state = s.start_connected()
    bad = os.path.join(s.work, "bad.tvseq")
    pathlib.Path(bad).write_text("1:50 51\n2:60 200\n3:70")
    s.click(s.geo.sequences_tab)
    s.click(s.geo.seq_load)
    s.choose_file("Load Sequences", bad)
    s.wait_window("Sequence file parsing error")
    close_and_expect_end(s)
    if read_state(s.state_file)["sequences"] != state["sequences"]:
        raise Failure("the instrument holds %s" % read_state(s.state_file)["sequences"])



if __name__ == "__main__":
    sys.exit(main(tests_in(globals()), __file__))
