# The end-to-end tests' harness: each test module (tests/e2e/*_e2e.py) imports all of it, and runs
# as a program of its own:
#
#     <area>_e2e.py <test> --app build/bin/TarnovelleConnectionDemo --out build/e2e \
#                   --geometry build/e2e/geometry.json
#     <area>_e2e.py --list
#
#   waits       waiting on conditions, with the time scale read as a session starts
#   xlib        the X library's close request, atoms and stacking order
#   instrument  the emulated instrument's memory file, the notes it heard, the history library
#   geometry    where to click and look, from the file the build writes
#   session     one test's X server, scratch folder and demo
#   driving     what several tests do with the windows: the editor, the close of the main window
#   runner      one test run by name, in namespaces of its own

from .driving import *  # noqa: F401,F403
from .geometry import Geometry  # noqa: F401
from .instrument import *  # noqa: F401,F403
from .runner import main, run_session, tests_in  # noqa: F401
from .session import *  # noqa: F401,F403
from .waits import Failure, read, read_time_scale, stop_process, wait_for  # noqa: F401
from .xlib import *  # noqa: F401,F403
