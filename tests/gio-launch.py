# Launches a desktop entry as the desktop's menu does, through GIO, with a launch context that
# hands out the given startup notification id.
#   gio-launch.py ENTRY STARTUP-ID
import os
import sys

import gi

gi.require_version("Gio", "2.0")
from gi.repository import Gio


class LaunchContext(Gio.AppLaunchContext):
    def do_get_startup_notify_id(self, info, files):
        return sys.argv[2]


# The launched program outlives this one, so it must not write into pipes that close with it.
saved = os.dup(2)
silent = os.open(os.devnull, os.O_WRONLY)
os.dup2(silent, 1)
os.dup2(silent, 2)
try:
    Gio.DesktopAppInfo.new_from_filename(sys.argv[1]).launch([], LaunchContext())
finally:
    os.dup2(saved, 2)
