# What several tests do with the demo's windows: the sequence editor opened, edited, sent and
# played, and the main window closed as a window manager closes it.

import time

from .instrument import received_notes, snapshots_with_cause
from .session import EDITOR_TITLE, MAIN_TITLE, READING_TITLE
from .waits import Failure, wait_for
from .xlib import send_close_request

# How many of the raw pixels have the colour of the notes the sequence editor's previews draw.
def note_pixels(pixels):
    return sum(1 for i in range(0, len(pixels), 3) if tuple(pixels[i:i + 3]) == (0xf2, 0xa0, 0x3d))


# Opens the sequence editor from the Sequences tab and waits until it shows what it read; returns
# the editor's window.
def open_editor(s):
    s.show_sequences_tab()
    return open_editor_from_sequences_tab(s)


def open_editor_from_sequences_tab(s):
    reads = snapshots_with_cause(s.library(), "Read by the editor")
    s.click(s.geo.seq_edit)
    editor = s.wait_window(EDITOR_TITLE)
    x, y, width, height = s.geometry(editor)

    # The opening read is over when it is kept in the history, its progress window is gone and
    # the previews show notes (the previews may show the sequences read at connection before its
    # progress window opens, which then holds the keyboard).
    def read_shown():
        if s.windows(READING_TITLE) or snapshots_with_cause(s.library(), "Read by the editor") <= reads:
            return False
        return note_pixels(s.screen_pixels((x, y, width, height))) > 50

    wait_for("the editor to show the sequences it read", read_shown, 15.0)
    return editor


# Sequence 2 chosen in the list (which gives the editor the keyboard); its fourth step, a rest,
# becomes the first note (60), then an octave higher. Returns the sequences the edit makes.
def edit_second_sequence(s, editor, state):
    x, y = s.geometry(editor)[:2]
    s.click_at(x + s.geo.editor_list_row_2[0], y + s.geo.editor_list_row_2[1])
    for keysym in ["Right", "Right", "Right", "Up", "shift+Up"]:
        s.key(keysym, editor)
    expected = [list(q) for q in state["sequences"]]
    expected[1][3] = 72
    return expected


# Ctrl+Return in the editor sends the changed sequences (numbered as the history names them),
# answering the question a send that empties or halves a sequence asks with Send Anyway (its
# letter: Return takes Cancel there). The send has ended once the instrument's new state is kept
# in the history: until then its progress window holds the keyboard. On a slow (sanitized) build a key typed just as a window closes can be lost, so the
# key is pressed again when nothing came of it; a second Send finds nothing left to send.
def send_from_editor(s, editor, numbers, asks=False):
    cause = "Sent from the editor: " + numbers
    sent_before = snapshots_with_cause(s.library(), cause)

    def sent():
        return snapshots_with_cause(s.library(), cause) > sent_before

    s.press_until("ctrl+Return", lambda: sent() or (asks and s.windows("Send Sequences")), 3, editor, 5.0)
    if asks:
        s.answer("Send Sequences", "s")
    wait_for("the send of sequence %s to end" % numbers, sent, 15.0)


# Space in the editor plays the selected sequence; once the instrument has heard it through
# more than twice, Escape stops. Checks that the notes came in order, each ended by its own
# note-off before the next began and All Notes Off last, and returns the onset times.
def play_and_stop(s, editor, notes_path, state, loops=2):
    channel, steps = state["settings"]["MIN"], state["sequences"][0]

    def note_ons():
        return [(t, m[1]) for t, m in received_notes(notes_path) if m[0] == 0x90 + channel and m[2] > 0]

    s.key("space", editor)
    wait_for("the instrument to hear the sequence", lambda: len(note_ons()) > loops * len(steps), 20.0 * loops)
    s.key("Escape", editor)
    all_notes_off = [0xb0 + channel, 123, 0]
    wait_for("All Notes Off after the last note",
             lambda: (m := received_notes(notes_path)) and m[-1][1] == all_notes_off, 10.0)

    ons = note_ons()
    if [key for _, key in ons] != (steps * (loops + 2))[:len(ons)]:
        raise Failure("the notes came in another order: %s" % [key for _, key in ons])

    gates, sounding = [], None
    for t, m in received_notes(notes_path)[:-1]:
        if m[0] == 0x90 + channel and m[2] > 0:
            if sounding is not None:
                raise Failure("note %d started while %d sounds" % (m[1], sounding[1]))
            sounding = (t, m[1])
        elif m[0] == 0x80 + channel and sounding is not None and m[1] == sounding[1]:
            gates.append(t - sounding[0])
            sounding = None
        else:
            raise Failure("an unexpected message %s" % m)
    if sounding is not None:
        raise Failure("note %d was left on" % sounding[1])
    return [t for t, _ in ons], gates


# Sends the window manager's close request to the main window until a box with the title shows,
# then answers each box with that title in turn with its key (a box that follows another may share
# its title: each is told apart by its window).
def close_and_answer(s, title, keys):
    window, answered = s.wait_window(MAIN_TITLE), set()
    for _ in range(5):
        send_close_request(s.env["DISPLAY"], window)
        if wait_for("", lambda: s.windows(title), 3.0, quiet=True):
            break
    for keysym in keys:
        box = wait_for('a "%s" box' % title, lambda: next((w for w in s.windows(title) if w not in answered), None))
        answered.add(box)
        s.press_on_box(keysym, box, title)


# Closes the main window as a window manager would, whatever is open on it, and checks that the
# demo ends within the limit with exit status 0, without showing the box in never_shown.
def close_and_expect_end(s, limit=5.0, never_shown=()):
    s.quit_sent, start = True, time.monotonic()
    window = s.wait_window(MAIN_TITLE)
    last_sent = [0.0]

    # A close request that arrives while a box is being opened can be read into Xlib's own queue
    # by the box's X calls; JUCE only looks again when the X connection next becomes readable,
    # which on a desktop the next mouse move does, and here nothing does. So, like a person
    # clicking the close button again, the test sends it again once a second, within the limit.
    def ended():
        for title in never_shown:
            if s.windows(title):
                raise Failure('the "%s" box was shown after the close request' % title)
        if s.demo.poll() is not None:
            return True
        if time.monotonic() - last_sent[0] >= 1.0:
            send_close_request(s.env["DISPLAY"], window)
            last_sent[0] = time.monotonic()
        return False

    wait_for("the demo to end after the close request", ended, limit)
    print("ended %.2f s after the close request, status %d" % (time.monotonic() - start, s.demo.returncode), flush=True)
    if s.demo.returncode != 0:
        raise Failure("the demo ended with status %d" % s.demo.returncode)
