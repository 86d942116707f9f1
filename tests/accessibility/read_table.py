#!/usr/bin/python3
"""Reads the structure list through the accessibility bus, as a screen reader does.

    read_table.py EXPECTED

EXPECTED is what `velumbra-cli list` printed of the census the program has open. The program must be
running on $DISPLAY with its accessibility bridge on. The list is opened from the "Archivi" menu with
the mouse and the keyboard (xdotool); then the list window must hold a table of one row per structure
and 54 columns whose cells say what the list printed (an activity carried out as "SI", an empty count
as nothing), whose column headings are the grid's titles, whose current row is selected with its
location focused, and which follows the Down key. Exit status 0 when all holds.
"""
import subprocess
import sys
import time

import pyatspi

COLUMNS = 54
WORDS = {"A": "Propriet\u00e0", "B": "Affitto", "C": "Comodato"}


def fail(message):
    sys.exit("accessibility check: " + message)


def wait_for(what, find, seconds=60):
    deadline = time.time() + seconds
    while time.time() < deadline:
        try:
            found = find()
        except Exception:  # the bus or the program is still starting
            found = None
        if found:
            return found
        time.sleep(0.3)
    fail("no " + what + " after %d s" % seconds)


def program():
    desktop = pyatspi.Registry.getDesktop(0)
    for app in desktop:
        if app is not None and app.name.lower().startswith("velumbra"):
            return app
    return None


def first_table(node, depth=0):
    """The first table under node, without walking into tables' cells."""
    if node is None or depth > 12:
        return None
    if node.getRole() == pyatspi.ROLE_TABLE:
        return node
    for i in range(node.childCount):
        found = first_table(node.getChildAtIndex(i), depth + 1)
        if found:
            return found
    return None


def expected_cells(fields):
    """The cells the grid shows for one line of `velumbra-cli list`; None where the list tells otherwise."""
    cells = []
    for column, value in enumerate(fields[:COLUMNS]):
        if column == 3:
            cells.append(None)  # the grid names the municipality the list gives as a code
        elif 5 <= column <= 11:
            cells.append("SI" if value == "1" else "")
        elif column in (14, 17):
            cells.append(WORDS.get(value, ""))
        elif column >= 18:
            cells.append("" if value == "0" else value)
        else:
            cells.append(value.strip())
    return cells


def main():
    with open(sys.argv[1], encoding="utf-8") as f:
        rows = [line.rstrip("\n").split("\t") for line in f if line.strip()]
    app = wait_for("program on the accessibility bus", program)
    time.sleep(1.0)
    # "Archivi", then "Archivio Depositi" by its letter.
    subprocess.run(["xdotool", "mousemove", "101", "8", "click", "1"], check=True)
    time.sleep(0.5)
    subprocess.run(["xdotool", "key", "d"], check=True)
    table = wait_for("table in the structure list", lambda: first_table(app))
    grid = table.queryTable()
    if grid.nRows != len(rows) or grid.nColumns != COLUMNS:
        fail("the table has %d rows and %d columns; the census %d structures" % (grid.nRows, grid.nColumns,
                                                                                   len(rows)))
    for r, fields in enumerate(rows):
        for c, want in enumerate(expected_cells(fields)):
            if want is None:
                continue
            got = grid.getAccessibleAt(r, c).name
            if got != want:
                fail("row %d column %d says %r, the census holds %r" % (r, c, got, want))
    headings = {c: grid.getColumnHeader(c).name for c in (0, 1, 2, 4, 18, 53)}
    wanted = {0: "N.ro", 1: "Ubicazione", 2: "Localit\u00e0", 4: "Prov", 18: "MEZZI EXTRAURBANI Bipiano Servizio",
              53: "MEZZI URBANI Corti Riserva"}
    if headings != wanted:
        fail("column headings %r, not %r" % (headings, wanted))

    def current():
        selected = list(grid.getSelectedRows())
        cell = grid.getAccessibleAt(selected[0], 1) if len(selected) == 1 else None
        focused = cell is not None and cell.getState().contains(pyatspi.STATE_FOCUSED)
        return selected, focused

    if current() != ([0], True):
        fail("the first row is not the selected one with its location focused: %r" % (current(),))
    subprocess.run(["xdotool", "key", "Down"], check=True)
    wait_for("second row current after Down", lambda: current() == ([1], True), 10)
    print("accessibility check: a table of %d structures and %d columns, read as the grid shows it"
          % (grid.nRows, grid.nColumns))


if __name__ == "__main__":
    main()
