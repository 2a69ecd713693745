#!/usr/bin/env python3
"""The program natively on Wayland, in one headless sway session (run as an unprivileged user, since
sway refuses root): the start-up notice without a shortcuts portal, and Ctrl+F1 bound through a
stand-in one; the character at the bottom-right, blended; a click on a transparent pixel going
through; the menu; a drag; --toggle both ways; a package dropped on it installed and playing; a panel
with an exclusive zone moving the character.
Then the fallback: weston (no layer-shell) with an X display gives an X11 window; weston alone, or with
GDK_BACKEND=wayland, one line on standard error and status 1.

Usage (on a session bus of its own):
  wayland_test.py VELISSADESK VIRTUAL_POINTER LAYER_PANEL PORTAL DRAG_SOURCE CAT_DAT GHOST_DAT"""

import json
import os
import shutil
import subprocess
import sys
import tempfile
import time

sys.path.insert(0, os.path.join(os.path.dirname(os.path.abspath(__file__)), ".."))
import desktop  # noqa: E402

WIDTH, HEIGHT = 800, 600
BACKGROUND = (0x33, 0x66, 0x99)
RIGHT_BUTTON, LEFT_BUTTON = 273, 272
NOBODY = 65534


class Sway:
    def __init__(self, session, root):
        self.root = root
        self.runtime = os.path.join(root, "run")
        os.makedirs(self.runtime)
        os.chown(self.runtime, NOBODY, NOBODY)
        os.chmod(self.runtime, 0o700)
        config = os.path.join(root, "sway.config")
        with open(config, "w") as out:
            out.write("output HEADLESS-1 resolution %dx%d bg #%02x%02x%02x solid_color\n"
                      % ((WIDTH, HEIGHT) + BACKGROUND))
            out.write("default_border none\nxwayland disable\nseat * hide_cursor 100\n")
        os.chmod(root, 0o755)
        os.chmod(config, 0o644)
        env = {"PATH": "/usr/bin:/bin", "HOME": root, "XDG_RUNTIME_DIR": self.runtime,
               "WLR_BACKENDS": "headless", "WLR_RENDERER": "pixman", "WLR_LIBINPUT_NO_DEVICES": "1"}
        session.start(["setpriv", "--reuid=%d" % NOBODY, "--regid=%d" % NOBODY, "--clear-groups",
                       "sway", "-c", config], env=env, stderr=subprocess.DEVNULL)
        desktop.wait_until(lambda: os.path.exists(os.path.join(self.runtime, "wayland-1")), 20, "sway")
        desktop.wait_until(lambda: [n for n in os.listdir(self.runtime) if n.startswith("sway-ipc")], 20,
                           "sway's socket")
        ipc = [n for n in os.listdir(self.runtime) if n.startswith("sway-ipc")][0]
        self.env = dict(os.environ, XDG_RUNTIME_DIR=self.runtime, WAYLAND_DISPLAY="wayland-1",
                        SWAYSOCK=os.path.join(self.runtime, ipc))
        self.env.pop("DISPLAY", None)

    def screenshot(self):
        data = subprocess.run(["grim", "-t", "ppm", "-"], env=self.env, stdout=subprocess.PIPE,
                              check=True, timeout=20).stdout
        header = data.split(b"\n", 3)  # P6, size, maximum, pixels
        width, height = map(int, header[1].split())
        return desktop.Image(width, height, header[3])

    def windows(self, title):
        tree = json.loads(subprocess.run(["swaymsg", "-t", "get_tree"], env=self.env, stdout=subprocess.PIPE,
                                         check=True, timeout=10).stdout)
        found, nodes = [], [tree]
        while nodes:
            node = nodes.pop()
            if node.get("name") == title and node.get("pid"):
                found.append(node)
            nodes += node.get("nodes", []) + node.get("floating_nodes", [])
        return found


def character_box(image):
    """The bounding box of what differs from the background, or None."""
    xs, ys = [], []
    for y in range(0, image.height, 2):
        for x in range(0, image.width, 2):
            if not desktop.close_to(image.pixel(x, y), BACKGROUND, 3):
                xs.append(x)
                ys.append(y)
    return (min(xs), min(ys), max(xs), max(ys)) if xs else None


def steady_box(sway, seconds=1.5):
    """The union of the boxes of the frames shown over a while: the animated cat's whole extent."""
    union, deadline = None, time.monotonic() + seconds
    while True:
        b = character_box(sway.screenshot())
        if b is None:
            return union
        union = b if union is None else (min(union[0], b[0]), min(union[1], b[1]), max(union[2], b[2]),
                                         max(union[3], b[3]))
        if time.monotonic() > deadline:
            return union


def near(b, box, dx, dy, panel=False):
    """b is box moved by (dx, dy); with a panel, whose pixels at the bottom are not the character's,
    only its top edge counts."""
    if panel:
        return abs(b[1] - (box[1] + dy)) <= 4
    return all(abs(b[i] - (box[i] + (dx, dy)[i % 2])) <= 4 for i in range(4))


def wait_box(sway, condition, what, seconds=1.5):
    last = []

    def seen():
        last[:] = [steady_box(sway, seconds)]
        return condition(last[0])
    try:
        desktop.wait_until(seen, 15, what)
    except AssertionError as failure:
        raise AssertionError("%s; the picture's box is %s" % (failure, last[0]))
    return last[0]


def run_sway_checks(session, sway, paths, install, dropped):
    program_path, pointer_path, panel_path, portal_path, drag_source_path = paths
    # A GTK warning of misuse (a dead widget, an X11-only call) ends the program, so the test sees it.
    env = dict(sway.env, VELISSADESK_PATH=install, G_DEBUG="fatal-criticals")
    # No shortcuts portal on the bus: the start-up notice names the command to bind instead. Closed by
    # the compositor, it lets the program go on.
    program = session.start([program_path], env=env, stderr=subprocess.DEVNULL)
    desktop.wait_until(lambda: sway.windows("Warning"), 20, "the start-up notice")
    subprocess.run(["swaymsg", '[title="Warning"] kill'], env=sway.env, check=True, stdout=subprocess.DEVNULL)
    wait_box(sway, lambda b: b is not None, "the character after the notice")
    assert program.poll() is None, "the program ended with %s" % program.returncode
    session.stop(program)

    # One that refuses the binding later, as a user cancelling the desktop's dialog: its activations
    # are not taken for the key any more (the tray icon's staying is the shell's, checked without a desktop).
    portal = desktop.Program(session.start([portal_path, "refuse"], env=env, stdin=subprocess.PIPE,
                                           stdout=subprocess.PIPE))
    portal.wait_for("^ready$")
    program = session.start([program_path], env=env, stderr=subprocess.DEVNULL)
    portal.wait_for("^bound hide-show-0 CTRL[+]F1$", timeout=20)
    wait_box(sway, lambda b: b is not None, "the character with the binding refused")
    portal.send("activate hide-show-0")
    time.sleep(1.0)
    assert steady_box(sway) is not None, "a refused shortcut hid the character"
    session.stop(program)
    session.stop(portal.process)

    # With one, Ctrl+F1 is bound through it, no notice shows, and its activations hide and show.
    portal = desktop.Program(session.start([portal_path], env=env, stdin=subprocess.PIPE, stdout=subprocess.PIPE))
    portal.wait_for("^ready$")
    program = session.start([program_path], env=env, stderr=subprocess.DEVNULL)
    portal.wait_for("^bound hide-show-0 CTRL[+]F1$", timeout=20)
    box = wait_box(sway, lambda b: b and b[2] > WIDTH - 120 and b[3] > HEIGHT - 120, "the character at bottom-right")
    assert not sway.windows("Warning"), "a notice showed although the portal bound the key"
    for shown in (False, True):
        portal.send("activate hide-show-0")
        wait_box(sway, (lambda b: b and near(b, box, 0, 0)) if shown else (lambda b: b is None),
                 "the character %s by the portal's shortcut" % ("shown" if shown else "hidden"))
    image = sway.screenshot()
    middle = ((box[0] + box[2]) // 2, (box[1] + box[3]) // 2)
    edges = [image.pixel(x, middle[1]) for x in range(box[0], middle[0])]
    assert any(not desktop.close_to(p, BACKGROUND, 3) and not desktop.close_to(p, edges[-1], 3) for p in edges), \
        "the character's edge is not blended with the background"

    pointer = session.start([pointer_path, str(WIDTH), str(HEIGHT)], env=sway.env, stdin=subprocess.PIPE,
                            stdout=subprocess.PIPE)
    pointer = desktop.Program(pointer)

    def send(*commands):
        for command in commands:
            mark = pointer.mark()
            pointer.send(command)
            pointer.wait_for("^ok$", after=mark)
            time.sleep(0.05)

    def menu_shown(b):
        return b is not None and b[0] < box[0] - 50  # the menu opens to the pointer's left

    # A right-click beside the character, inside its rectangle but on nothing drawn, is not ours.
    corner = (box[0] + 2, box[1] + 2)
    assert desktop.close_to(image.pixel(*corner), BACKGROUND, 3)
    send("move %d %d" % corner, "press %d" % RIGHT_BUTTON, "release %d" % RIGHT_BUTTON)
    time.sleep(1.0)
    assert not menu_shown(character_box(sway.screenshot())), "a click on a transparent pixel opened the menu"

    # On the character it is: the menu shows, a popup beside the pointer, and a click away closes it.
    send("move %d %d" % middle, "press %d" % RIGHT_BUTTON, "release %d" % RIGHT_BUTTON)
    wait_box(sway, menu_shown, "the menu")
    send("move 20 20", "press %d" % LEFT_BUTTON, "release %d" % LEFT_BUTTON)
    wait_box(sway, lambda b: not menu_shown(b), "the menu to close")

    # A drag moves the character with the pointer, with no overshoot.
    send("move %d %d" % middle, "press %d" % LEFT_BUTTON)
    for step in range(1, 11):
        send("move %d %d" % (middle[0] - 30 * step, middle[1] - 20 * step))
    send("release %d" % LEFT_BUTTON)
    moved = wait_box(sway, lambda b: b and near(b, box, -300, -200), "the character dragged by (-300, -200) from %s" % (box,))

    # --toggle hides it, and shows it again, through the running copy.
    for shown in (False, True):
        toggle = subprocess.run([program_path, "--toggle"], env=env, timeout=30, stderr=subprocess.DEVNULL)
        assert toggle.returncode == 0, toggle.returncode
        wait_box(sway, (lambda b: b and near(b, moved, 0, 0)) if shown else (lambda b: b is None),
                 "the character %s after --toggle" % ("shown" if shown else "hidden"))

    # A package dragged from another program onto the character is installed, and plays once the
    # information box is closed.
    source = desktop.Program(session.start([drag_source_path, "--wayland", dropped], env=sway.env,
                                           stdout=subprocess.PIPE, stderr=subprocess.DEVNULL))
    source.wait_for("^ready$", timeout=20)
    target = ((moved[0] + moved[2]) // 2, (moved[1] + moved[3]) // 2)
    send("move 60 60", "press %d" % LEFT_BUTTON)
    for step in range(1, 11):
        send("move %d %d" % (60 + (target[0] - 60) * step // 10, 60 + (target[1] - 60) * step // 10))
    nudge = [0]

    def accepted():
        nudge[0] ^= 1
        send("move %d %d" % (target[0] + nudge[0], target[1]))
        return source.last_line() == "accepted"
    desktop.wait_until(accepted, 15, "the character to accept the drop")
    send("release %d" % LEFT_BUTTON)
    desktop.wait_until(lambda: sway.windows("Velissa"), 20, "the information box")
    session.stop(source.process)  # its window would hide the background the boxes are measured on
    assert os.path.isfile(os.path.join(install, "anim", os.path.basename(dropped))), "not copied into anim/"
    subprocess.run(["swaymsg", '[title="Velissa"] kill'], env=sway.env, check=True, stdout=subprocess.DEVNULL)
    # The ghost floats up and down once in about 2.2 s: its whole extent takes longer to see. The
    # windows that closed may still show in the first pictures.
    moved = wait_box(sway, lambda b: b and b[2] - b[0] < WIDTH // 2 and not near(b, moved, 0, 0),
                     "the dropped animation playing", 2.5)

    # A panel taking 40 pixels at the bottom moves the character up with the corner it keeps to.
    panel = desktop.Program(session.start([panel_path, "40"], env=sway.env, stdout=subprocess.PIPE))
    panel.wait_for("^ready$", timeout=20)
    wait_box(sway, lambda b: b and near(b, moved, 0, -40, panel=True), "the character above the panel", 2.5)
    session.stop(program)


def run_fallback_checks(session, root, program_path, install):
    """weston has no layer-shell: with an X display the program uses X11, without one it says why."""
    runtime = os.path.join(root, "weston-run")
    os.makedirs(runtime)
    os.chown(runtime, NOBODY, NOBODY)
    os.chmod(runtime, 0o700)
    session.start(["setpriv", "--reuid=%d" % NOBODY, "--regid=%d" % NOBODY, "--clear-groups", "weston",
                   "--backend=headless-backend.so", "--socket=wayland-w", "--idle-time=0"],
                  env={"PATH": "/usr/bin:/bin", "HOME": root, "XDG_RUNTIME_DIR": runtime},
                  stdout=subprocess.DEVNULL, stderr=subprocess.DEVNULL)
    desktop.wait_until(lambda: os.path.exists(os.path.join(runtime, "wayland-w")), 20, "weston")
    env = dict(os.environ, XDG_RUNTIME_DIR=runtime, WAYLAND_DISPLAY="wayland-w", VELISSADESK_PATH=install)
    env.pop("DISPLAY", None)

    def refused(extra, reason):
        run = subprocess.run([program_path], env=dict(env, **extra), stderr=subprocess.PIPE, timeout=30)
        lines = run.stderr.decode().strip().splitlines()
        assert run.returncode == 1 and len(lines) == 1 and reason in lines[0], (run.returncode, lines)
    refused({}, "layer-shell")

    display = session.start_display(compositor=True)
    env["DISPLAY"] = display.env["DISPLAY"]
    refused({"GDK_BACKEND": "wayland"}, "GDK_BACKEND=wayland forbids X11")  # XWayland is not to be used
    program = session.start([program_path], env=env, stderr=subprocess.DEVNULL)
    desktop.wait_until(lambda: display.find_window("^VelissaDesk$"), 20, "the program's X11 window")
    session.stop(program)


def main():
    if os.geteuid() != 0 or desktop.missing_tools(("sway", "swaymsg", "grim", "setpriv", "weston", "Xvfb",
                                                   "xdotool", "hsetroot", "xcompmgr")):
        print("skipped: needs root (to run sway as another user) and sway, grim, weston, Xvfb, xdotool")
        return desktop.SKIP
    program_path, cat, dropped = sys.argv[1], sys.argv[6], sys.argv[7]
    root = tempfile.mkdtemp(prefix="velissa-wayland-")
    try:
        install = os.path.join(root, "install")
        os.makedirs(os.path.join(install, "anim"))
        shutil.copy(cat, os.path.join(install, "anim"))
        with desktop.Session() as session:
            run_sway_checks(session, Sway(session, root), sys.argv[1:6], install, dropped)
            run_fallback_checks(session, root, program_path, install)
    finally:
        shutil.rmtree(root, ignore_errors=True)
    print("ok")
    return 0


if __name__ == "__main__":
    sys.exit(main())
