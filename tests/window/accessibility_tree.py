#!/usr/bin/python3
# SPDX-License-Identifier: GPL-3.0-or-later
# Reads a running Fennelview window's accessibility tree over AT-SPI: every button has a name of
# its own, the compile state and the error are in live widgets, and an error that a save brings is
# announced when it appears. Arguments: the app, a broken sheet.
import os, shutil, subprocess, sys, tempfile, time
import gi
gi.require_version("Atspi", "2.0")
from gi.repository import Atspi, GLib

def nodes(node, depth=0):
    yield node
    for i in range(node.get_child_count() if depth < 40 else 0):
        if child := node.get_child_at_index(i):
            yield from nodes(child, depth + 1)

def tree(app):
    desktop = Atspi.get_desktop(0)
    roots = [c for c in (desktop.get_child_at_index(i) for i in range(desktop.get_child_count()))
             if c and c.get_process_id() == app.pid]
    return [(n.get_role(), n.get_name() or "") for r in roots for n in nodes(r)]

def wait(app, done, seconds=60):
    found, deadline = [], time.time() + seconds
    while time.time() < deadline and not done(found):
        end = time.time() + 0.5
        while time.time() < end:  # events arrive through the main loop
            GLib.MainContext.default().iteration(False) or time.sleep(0.02)
        found = tree(app)
    return found

# What a screen reader hears: events from alerts, with the alert's name when it came.
heard = []
def hear(event):
    try:
        if event.source.get_role() == Atspi.Role.ALERT:
            heard.append(event.source.get_name() or "")
    except GLib.Error:
        pass
listener = Atspi.EventListener.new(hear)
for kind in ("object:property-change:accessible-name", "object:state-changed:showing", "object:text-changed:insert"):
    listener.register(kind)

folder = tempfile.mkdtemp()
sheet = os.path.join(folder, "styles.scss")
with open(sheet, "w") as out:
    out.write("a { color: red; }\n")
app = subprocess.Popen([sys.argv[1], sheet])
try:
    # Compiled first; then a save brings the error.
    found = wait(app, lambda found: any(role == Atspi.Role.STATUS_BAR and "\U0001F552" in name for role, name in found))
    shutil.copyfile(sys.argv[2], sheet + "~")
    os.replace(sheet + "~", sheet)
    found = wait(app, lambda found: any(role == Atspi.Role.ALERT and name for role, name in found))
    wait(app, lambda found: any("value" in name for name in heard), 10)
    buttons = [name for role, name in found if role in (Atspi.Role.PUSH_BUTTON, Atspi.Role.TOGGLE_BUTTON)]
    problems = [f"no button named {w!r}" for w in ("Main Menu", "Page Width and Zoom", "CSS") if w not in buttons]
    problems += ["a button without a name of its own"] if any(not n or n.startswith("Gtk") for n in buttons) else []
    if not any(role == Atspi.Role.STATUS_BAR and "failed" in name for role, name in found):
        problems.append("no status widget telling of the failed compile")
    if not any(role == Atspi.Role.ALERT and "value" in name for role, name in found):
        problems.append("no alert with the compiler's error")
    if not any("value" in name for name in heard):
        problems.append(f"the error was not announced when it appeared; heard: {heard}")
    if problems:
        sys.exit("\n".join(problems) + f"\ntree: {[(r.value_nick, n) for r, n in found]}")
finally:
    app.terminate()
    app.wait()
    shutil.rmtree(folder)
