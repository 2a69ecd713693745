#!/usr/bin/env python3
"""The real program's tray icon, on a session bus of the test's own (dbus-run-session) under Xvfb.
Usage: tray_test.py VELISSADESK VELISSA_PACK DRAG_SOURCE SNI_WATCHER

With a stand-in StatusNotifierWatcher on the bus the icon is published as a StatusNotifierItem whose
exported menu is the program's (items, identifiers, radio marks); a "clicked" event switches the
animation and the mark follows; a drop's rebuilt menu is exported anew; hiding takes the item off and
showing brings it back. When the watcher goes, the icon moves to an XEmbed tray (trayer), whose click
opens the program's own menu."""

import os
import re
import subprocess
import sys
import tempfile

sys.path.insert(0, os.path.dirname(os.path.abspath(__file__)))
import desktop  # noqa: E402
import program_test  # noqa: E402
from program_test import GREEN, ORANGE, RED  # noqa: E402

MENU = ["Repeat 10 sec", "Repeat 30 sec", "Repeat 50 sec", "Repeat Infinitely", "User Guide",
        "Making Animations", "Licence", "Exit", "Quick Hide/Show (ctrl-F1)"]


def menu_call(service, method, *args):
    return subprocess.run(["gdbus", "call", "--session", "--dest", service, "--object-path", "/MenuBar",
                           "--method", "com.canonical.dbusmenu." + method, "--"] + list(args),
                          check=True, stdout=subprocess.PIPE, timeout=10).stdout.decode()


def exported_menu(service):
    """The exported menu's items as (id, label or None for a separator, marked), from GetLayout."""
    reply = menu_call(service, "GetLayout", "0", "-1", "[]")
    items = []
    for id_text, properties in re.findall(r"<\((\d+), \{([^}]*)\}, @av \[\]\)>", reply):
        label = re.search(r"'label': <'([^']*)'>", properties)
        items.append((int(id_text), label and label.group(1), "'toggle-state': <1>" in properties))
    return items


def the_menu_marks(service, playing, animations=(RED, GREEN)):
    """The program's menu, mirrored: the animations, then the fixed items, with their identifiers in
    the order they were appended (separators apart) and radio marks on the animation playing and on
    the first interval. Returns the string items once the marks are there."""
    items = exported_menu(service)
    strings = [item for item in items if item[1] is not None]
    count = len(animations)
    assert [item[1] for item in strings[count:]] == MENU, items
    assert sorted(item[1] for item in strings[:count]) == sorted(a.name for a in animations), items
    assert [item[0] for item in strings] == list(range(strings[0][0], strings[0][0] + len(strings))), items
    assert len(items) - len(strings) == 3, items
    marked = [item[1] for item in items if item[2]]
    return strings if marked == [playing.name, "Repeat 10 sec"] else None


def main():
    if len(sys.argv) != 5:
        print(__doc__)
        return 2
    desktop.skip_unless_tools(desktop.TOOLS + ("dbus-run-session", "gdbus", "trayer"))
    if os.environ.get("VELISSA_TRAY_TEST_BUS") is None:  # again, on a bus of its own
        os.execvpe("dbus-run-session", ["dbus-run-session", "--", sys.executable] + sys.argv,
                   dict(os.environ, VELISSA_TRAY_TEST_BUS="1"))
    program, velissa_pack, drag_source, sni_watcher = sys.argv[1:5]
    with tempfile.TemporaryDirectory() as scratch, desktop.Session() as session:
        watcher = desktop.Program(session.start([sni_watcher], stdout=subprocess.PIPE))
        watcher.wait_for(r"^ready$")
        checks = program_test.Checks(session, program, velissa_pack, drag_source, True, scratch)
        checks.appears_at_the_bottom_right_of_the_work_area()
        service = watcher.wait_for(r"^registered (\S+)$").group(1)
        first_menu = desktop.wait_until(lambda: the_menu_marks(service, checks.playing),
                                        what="the exported menu")
        print("ok the item registers and its menu is the program's", flush=True)

        other = GREEN if checks.playing is RED else RED
        signals = desktop.Program(session.start(["gdbus", "monitor", "--session", "--dest", service,
                                                 "--object-path", "/MenuBar"], stdout=subprocess.PIPE))
        signals.wait_for(r"^Monitoring signals")
        menu_call(service, "Event", str(next(i for i, name, _ in first_menu if name == other.name)),
                  "clicked", "<0>", "0")
        checks.expect_character(other)
        signals.wait_for(r"ItemsPropertiesUpdated")
        desktop.wait_until(lambda: the_menu_marks(service, other), what="the mark on %s" % other.name)
        print("ok clicking an item switches the animation and moves the mark", flush=True)

        mark = signals.mark()
        checks.dropped_file_is_installed_and_reported()
        signals.wait_for(r"LayoutUpdated", mark)
        rebuilt = desktop.wait_until(lambda: the_menu_marks(service, ORANGE, (RED, GREEN, ORANGE)),
                                     what="the rebuilt menu")
        assert rebuilt[0][0] == first_menu[-1][0] + 1, "the rebuilt menu's identifiers go on from the last"
        print("ok a rebuilt menu is exported anew", flush=True)

        mark = watcher.mark()
        checks.display.key("ctrl+F1")
        watcher.wait_for(r"^unregistered %s$" % re.escape(service), mark)
        checks.expect_hidden()
        checks.display.key("ctrl+F1")
        service = watcher.wait_for(r"^registered (\S+)$", mark).group(1)
        checks.expect_character(ORANGE)
        desktop.wait_until(lambda: the_menu_marks(service, ORANGE, (RED, GREEN, ORANGE)),
                           what="the menu after showing")
        print("ok hiding withdraws the item and showing publishes it again", flush=True)

        session.stop(watcher.process)
        checks.display.start_tray()
        window = checks.display.open_tray_menu()
        checks.choose(window, "Up", "Up", "Return")  # Exit
        assert checks.program.wait_exit() == 0, "exit status"
        assert checks.program.lines == [], "the program wrote: %s" % checks.program.lines
        print("ok without a watcher the icon is in the XEmbed tray", flush=True)
    return 0


if __name__ == "__main__":
    sys.exit(main())
