#!/usr/bin/python3
# SPDX-License-Identifier: GPL-3.0-or-later
# Reads a running Fennelview window's accessibility tree over AT-SPI and checks what a screen
# reader is told: every header control has a name, the compile state and the error are in
# live widgets. Arguments: the app's executable and a style sheet that does not compile.
import os, subprocess, sys, time
import gi
gi.require_version("Atspi", "2.0")
from gi.repository import Atspi

app = subprocess.Popen([sys.argv[1], sys.argv[2]])
try:
    def find_app():
        desktop = Atspi.get_desktop(0)
        for i in range(desktop.get_child_count()):
            child = desktop.get_child_at_index(i)
            if child and child.get_process_id() == app.pid:
                return child
        return None

    def nodes(node, depth=0):
        yield node
        if depth > 40:
            return
        for i in range(node.get_child_count()):
            child = node.get_child_at_index(i)
            if child:
                yield from nodes(child, depth + 1)

    found, deadline = [], time.time() + 60
    while time.time() < deadline:
        root = find_app()
        found = [(n.get_role(), n.get_name() or "") for n in nodes(root)] if root else []
        # The error's live widget appears once the failed compile is shown.
        if any(role == Atspi.Role.ALERT and name for role, name in found):
            break
        time.sleep(0.5)

    buttons = {Atspi.Role.PUSH_BUTTON, Atspi.Role.TOGGLE_BUTTON}
    named = [name for role, name in found if role in buttons]
    problems = []
    for wanted in ("Main Menu", "Page Width and Zoom", "CSS"):
        if wanted not in named:
            problems.append(f"no button named {wanted!r}")
    if any(role in buttons and (not name or name.startswith("Gtk")) for role, name in found):
        problems.append("a button without a name of its own")
    if not any(role == Atspi.Role.STATUS_BAR and "failed" in name for role, name in found):
        problems.append("no status widget telling of the failed compile")
    if not any(role == Atspi.Role.ALERT and "value" in name for role, name in found):
        problems.append("no alert with the compiler's error")
    if problems:
        print("\n".join(problems))
        print("tree:", [(r.value_nick, n) for r, n in found])
        sys.exit(1)
finally:
    app.terminate()
    app.wait()
