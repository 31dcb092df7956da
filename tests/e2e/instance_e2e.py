#!/usr/bin/env python3
# One demo per user: second starts, starts close together, and the name held by a stranger.

import os, shutil, signal, subprocess, sys, time

from harness import *  # noqa: F401,F403


# Binds the name, listens with the shortest queue, fills it and never takes a connection.
NAME_HOLDER = """import signal, socket, sys
name, queued = "\\0" + sys.argv[1], [socket.socket(socket.AF_UNIX, socket.SOCK_STREAM)]
queued[0].bind(name), queued[0].listen(0)
try:
    while True:
        queued.append(socket.socket(socket.AF_UNIX, socket.SOCK_STREAM | socket.SOCK_NONBLOCK))
        queued[-1].connect(name)
except BlockingIOError:
    print("full", flush=True)
signal.pause()"""


def test_second_instance(s):
    """A second start, with another runtime folder (as over ssh), exits at once without a window and without touching
    the instrument; the first shows the "Multiple instance" box."""
    state = s.start_connected()
    memory_before = read(s.state_file, "rb")
    other_runtime = os.path.join(s.work, "other runtime")
    os.makedirs(other_runtime, mode=0o700)
    second = s.launch("the second instance", other_runtime)

    def ended():
        if len(s.windows(MAIN_TITLE)) > 1:
            raise Failure("the second instance opened a window")
        return second.poll() is not None

    try:
        wait_for("the second instance to end", ended, 10.0)
    finally:
        stop_process(second)
    if read(s.state_file, "rb") != memory_before:
        raise Failure("the second instance changed the instrument's memory file")

    s.answer("Multiple instance", "Return")
    if len(s.windows(MAIN_TITLE)) != 1:
        raise Failure("the first instance's window is gone")
    s.click_setting("BEND", dict(state["settings"]))  # the first instance still works


def test_instance_name_held_by_a_stranger(s):
    """Another user's program holds the single-instance name, its queue full, and never answers: the demo shows its
    window and the "Single instance" box within seconds, and runs."""
    s.write_state()
    # The system's Python, which the user nobody may run.
    command = [shutil.which("python3", path="/usr/bin:/bin") or sys.executable, "-c", NAME_HOLDER, INSTANCE_NAME[1:]]
    try:  # as the user nobody where the test may start one, else as the same user, to the demo alike
        holder = subprocess.Popen(command, stdout=subprocess.PIPE, user=65534, group=65534, extra_groups=[], cwd="/")
    except OSError:
        holder = subprocess.Popen(command, stdout=subprocess.PIPE)
    try:
        if holder.stdout.readline().strip() != b"full":
            raise Failure("the name's holder could not fill its queue")
        started, s.demo = time.monotonic(), s.launch("demo")
        s.wait_window("Single instance")
        print("user %d holds the name; the box showed %.2f s after the start"
              % (os.stat("/proc/%d" % holder.pid).st_uid, time.monotonic() - started), flush=True)
        s.origin = s.geometry(s.wait_window(MAIN_TITLE, 1.0))[:2]
        s.answer("Single instance", "Return")
        s.wait_until_settings_read()
    finally:
        stop_process(holder, signal.SIGKILL)


def test_second_instance_box_over_the_editor(s):
    """With the sequence editor open, a second start's "Multiple instance" box comes over it, and back to the front
    when the editor is put over it (as a window manager does with a new window while the user types elsewhere) and
    typed into; once the box is answered, the editor takes the keys again."""
    s.start_connected()
    editor = open_editor(s)
    second = s.launch("the second instance")
    try:
        second.wait(10.0 * s.time_scale)
    finally:
        stop_process(second)
    box = s.wait_window("Multiple instance")
    over = lambda: (order := stacking(s.env["DISPLAY"])) and order.index(box) > order.index(editor)
    wait_for("the box over the editor", over, 5.0)
    s.run("xdotool", "windowraise", str(editor))
    if over():
        raise Failure("the editor could not be put over the box")
    s.key("x", editor)
    wait_for("the box to come back over the editor", over, 5.0)
    s.answer("Multiple instance", "Return")
    kept = lambda: read_state(os.path.join(s.work, "Sequence Editor.json")) or {}
    s.press_until("3", lambda: kept().get("selected") == 2, 3, editor)
    if kept().get("selected") != 2 or kept()["sequences"] != kept()["instrument"]:
        raise Failure("the editor did not take the key 3, or took the x: %s" % kept())


def test_instance_starts_close_together(s):
    """Three starts 0, 20 and 50 ms apart, three times: one window, the others end within 2 s and are
    each told by a "Multiple instance" box; once it has ended, a new start works."""
    s.write_state()
    for round in range(3):
        wait_for("the last instance's name to be free", instance_name_free, 10.0)
        started, processes = time.monotonic(), []
        for delay in [0.0, 0.02, 0.05]:
            time.sleep(max(0.0, started + delay - time.monotonic()))
            processes.append((s.launch("start %d of round %d" % (len(processes) + 1, round + 1)), time.monotonic()))

        def two_ended():
            return sum(p.poll() is not None for p, _ in processes) >= 2

        wait_for("two of the three starts to end", two_ended, 2.0)
        ended = [(p, t) for p, t in processes if p.poll() is not None]
        for p, t in ended:
            if p.returncode != 0:
                raise Failure("a refused start ended with status %d" % p.returncode)
        s.demo = next(p for p, _ in processes if p.poll() is None)
        s.wait_window(MAIN_TITLE)
        if len(s.windows(MAIN_TITLE)) != 1:
            raise Failure("%d main windows" % len(s.windows(MAIN_TITLE)))
        # One box for each refused start, one after the other.
        for _ in ended:
            s.press_on_box("Return", s.wait_window("Multiple instance", 20.0), "Multiple instance")
        close_and_expect_end(s, never_shown=["Multiple instance"])
    s.quit_sent = False
    s.start_demo()



if __name__ == "__main__":
    sys.exit(main(tests_in(globals()), __file__))
