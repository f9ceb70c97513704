# Reads a program's windows as assistive technology does, over AT-SPI: a line a control (an
# entry, a check box, a button, a text), its role and its accessible name, apart by a tab.
#   accessible.py PROGRAM-NAME
import sys

import gi

gi.require_version("Atspi", "2.0")
from gi.repository import Atspi  # noqa: E402

CONTROLS = {
    Atspi.Role.ENTRY,
    Atspi.Role.PASSWORD_TEXT,
    Atspi.Role.TEXT,
    Atspi.Role.CHECK_BOX,
    Atspi.Role.PUSH_BUTTON,
}


def controls(node):
    if node.get_role() in CONTROLS:
        yield node
    for index in range(node.get_child_count()):
        yield from controls(node.get_child_at_index(index))


desktop = Atspi.get_desktop(0)
programs = [desktop.get_child_at_index(index) for index in range(desktop.get_child_count())]
programs = [program for program in programs if program is not None]
names = [program.get_name() for program in programs]
if sys.argv[1] not in names:
    sys.exit(f"accessible.py: {sys.argv[1]} is not among {names}")
for control in controls(programs[names.index(sys.argv[1])]):
    print(f"{control.get_role_name()}\t{control.get_name()}")
