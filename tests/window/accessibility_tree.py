#!/usr/bin/python3
# SPDX-License-Identifier: GPL-3.0-or-later
# Reads a running Fennelview window's accessibility tree over AT-SPI: every button has a name of
# its own, the compile state and the error are in live widgets. Arguments: the app, a broken sheet.
import subprocess, sys, time
import gi
gi.require_version("Atspi", "2.0")
from gi.repository import Atspi

def nodes(node, depth=0):
    yield node
    for i in range(node.get_child_count() if depth < 40 else 0):
        if child := node.get_child_at_index(i):
            yield from nodes(child, depth + 1)

app = subprocess.Popen(sys.argv[1:3])
try:
    found, deadline, desktop = [], time.time() + 60, Atspi.get_desktop(0)
    while time.time() < deadline and not any(role == Atspi.Role.ALERT and name for role, name in found):
        time.sleep(0.5)  # until the failed compile is shown
        roots = [c for c in (desktop.get_child_at_index(i) for i in range(desktop.get_child_count()))
                 if c and c.get_process_id() == app.pid]
        found = [(n.get_role(), n.get_name() or "") for r in roots for n in nodes(r)]
    buttons = [name for role, name in found if role in (Atspi.Role.PUSH_BUTTON, Atspi.Role.TOGGLE_BUTTON)]
    problems = [f"no button named {w!r}" for w in ("Main Menu", "Page Width and Zoom", "CSS") if w not in buttons]
    problems += ["a button without a name of its own"] if any(not n or n.startswith("Gtk") for n in buttons) else []
    if not any(role == Atspi.Role.STATUS_BAR and "failed" in name for role, name in found):
        problems.append("no status widget telling of the failed compile")
    if not any(role == Atspi.Role.ALERT and "value" in name for role, name in found):
        problems.append("no alert with the compiler's error")
    if problems:
        sys.exit("\n".join(problems) + f"\ntree: {[(r.value_nick, n) for r, n in found]}")
finally:
    app.terminate()
    app.wait()
