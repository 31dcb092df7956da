# Runs one test of a module in a session of its own, isolated from every other demo on the machine.

import argparse, os, shutil, subprocess, sys, traceback

from .geometry import Geometry
from .session import Session


# A test module's tests, by name: its functions test_<name>.
def tests_in(module_globals):
    return {name[len("test_"):]: fn for name, fn in module_globals.items() if name.startswith("test_")}


# Runs one test in its session; a program the test did not end must still be running after it.
# Returns the exit status of the test.
def run_session(name, session, test, program_should_live):
    ok = False
    try:
        test(session)
        if program_should_live(session):
            session.check_alive()
        ok = True
    except Exception as e:
        traceback.print_exc()
        print("FAILED: %s" % e, flush=True)
    finally:
        ok = session.close(ok)
    print("%s: %s (screenshot %s)" % (name, "passed" if ok else "FAILED", session.screenshot), flush=True)
    return 0 if ok else 1


# Runs this script again in a mount and network namespace of its own, with an empty X socket
# folder and /var/tmp: the demo's single-instance name (abstract Unix socket names belong to a
# network namespace), and the X server's socket, are then invisible to every other demo and test
# on the machine, while the demos of this test meet as on any desktop. Returns None when the
# system does not allow it; the test then runs in the shared namespace, waiting for other demos
# to end.
def run_isolated(argv, app, script):
    here, unshare = os.path.abspath(script), shutil.which("unshare")
    if unshare is None or any(os.path.abspath(p).startswith("/var/tmp/") for p in [here, app]):
        return None
    command = [unshare, "--mount", "--net", "--fork", "--kill-child"] + (["--map-root-user"] if os.geteuid() else [])
    # /tmp itself stays shared (the checkout and the build may live there); only the X sockets
    # and /var/tmp, which holds the lock, are private.
    mounts = ("mkdir -p /tmp/.X11-unix && mount -t tmpfs tarnovelle-e2e /tmp/.X11-unix"
              " && chmod 1777 /tmp/.X11-unix && mount -t tmpfs tarnovelle-e2e /var/tmp")
    if subprocess.run(command + ["--", "sh", "-c", mounts], capture_output=True).returncode != 0:
        return None
    return subprocess.call(command + ["--", "sh", "-c", mounts + ' && exec "$@"', "sh", sys.executable, here] + argv,
                           env=dict(os.environ, TARNOVELLE_E2E_ISOLATED="1"))


# Runs the test named on the command line, one of `tests` (a script with tests of its own passes
# them, and itself as the script to run again in isolation).
def main(tests, script):
    parser = argparse.ArgumentParser(description="End-to-end tests of the built demo application.")
    parser.add_argument("test", nargs="?", choices=sorted(tests))
    parser.add_argument("--app")
    parser.add_argument("--out", default="e2e")
    parser.add_argument("--geometry", help="the geometry file the build writes (e2e/geometry.json)")
    parser.add_argument("--list", action="store_true")
    args = parser.parse_args()
    if args.list or not args.test or not args.app or not args.geometry:
        print("\n".join(sorted(tests)))
        return 0 if args.list else 2
    geo = Geometry(args.geometry)
    isolated = os.environ.get("TARNOVELLE_E2E_ISOLATED") == "1"
    code = None if isolated else run_isolated(sys.argv[1:], args.app, script)
    if code is not None:
        return code
    return run_session(args.test, Session(args.test, args.app, args.out, geo), tests[args.test], lambda s: not s.quit_sent)
