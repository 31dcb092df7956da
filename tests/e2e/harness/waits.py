# Waiting on conditions, and the processes and files the tests look at.

import contextlib, os, signal, subprocess, time

# Slower builds (the sanitizers) stretch every time-out by this factor, read as each session starts.
TIME_SCALE = 1.0


def read_time_scale():
    global TIME_SCALE
    TIME_SCALE = float(os.environ.get("TARNOVELLE_E2E_TIME_SCALE", "1"))
    return TIME_SCALE


class Failure(Exception):
    pass


# Polls until the condition returns something true and returns it; after the time-out it fails,
# or, quiet, returns None.
def wait_for(what, condition, timeout=10.0, interval=0.05, quiet=False):
    timeout *= TIME_SCALE
    end = time.monotonic() + timeout
    while not (result := condition()):
        if time.monotonic() > end:
            if quiet:
                return None
            raise Failure("timed out after %.1f s waiting for %s" % (timeout, what))
        time.sleep(interval)
    return result


# Stops one process by its own id: the signal, then SIGKILL after a grace time. Returns its code.
def stop_process(process, first_signal=signal.SIGINT):
    process.send_signal(first_signal)  # nothing happens if it has already ended
    with contextlib.suppress(subprocess.TimeoutExpired):
        return process.wait(timeout=5.0 * TIME_SCALE)
    process.kill()
    return process.wait()


# A file's contents; nothing while it does not exist.
def read(path, mode="r"):
    with contextlib.suppress(FileNotFoundError), open(path, mode) as f:
        return f.read()
    return "" if mode == "r" else b""
