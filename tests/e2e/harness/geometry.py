# Where the tests click and look, in the main window's points unless told otherwise: read from the
# geometry file that the build writes from the windows' own geometry table (e2e_geometry).

import json, pathlib

from .instrument import RANGES
from .waits import Failure


class Geometry:
    # The window's size; each setting's control (the middle of a knob's picture or of a switch);
    # the picture areas (x, y, w, h) of the bend and sync knobs and of the CONNECT switch with its
    # lamp; the buttons of the Sequences tab (the editor's among them); and the version of the
    # shipped firmware.
    def __init__(self, path):
        g = json.loads(pathlib.Path(path).read_text())
        self.window, self.firmware = tuple(g["window"]), g["firmware"]
        self.controls = {code: tuple(point) for code, point in g["controls"].items()}
        if set(self.controls) != set(RANGES):
            raise Failure("the geometry file names the controls %s" % sorted(self.controls))
        self.bend_knob, self.sync_knob, self.lamp, self.lamp_area = (tuple(g[k]) for k in ["bendKnob", "syncKnob", "lamp", "lampArea"])
        self.seq_load, self.seq_save, self.seq_edit = tuple(g["seqLoad"]), tuple(g["seqSave"]), tuple(g["seqEdit"])
        self.seq_factory = tuple(g["seqFactory"])
        # The third tab's button, where JUCE's tab bar lays it out, halfway down the bar.
        self.sequences_tab = (276, g["tabBarDepth"] // 2)
        # A point where the mouse changes no picture, and an area that shows the bend knob on the
        # first tab only.
        self.away, self.tab_content = (20, 420), (600, 130, 120, 120)
        # From the top left corner of their windows, below the menu bar: the sequence editor's
        # second row in its list (below a toolbar of three rows, at the editor's default size),
        # and the History window's find field, first row and second row's area; its "Restore to
        # Tarnovelle" button, from its bottom right corner.
        below_menu_bar = lambda p: (p[0], p[1] + g["menuBarHeight"]) + tuple(p[2:])
        self.editor_list_row_2, self.history_find, self.history_row_1, self.history_row_2_area = map(
            below_menu_bar, [(120, 215), (100, 20), (206, 67), (10, 100, 300, 30)])
        self.history_restore = (81, 45)
