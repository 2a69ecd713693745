#!/usr/bin/env python3
"""The real program while the desktop changes around it, under xfwm4 (which keeps keep-above windows
over full-screen ones) on a session bus (run under dbus-run-session).
Usage: desktop_changes_test.py VELISSADESK SAMPLES_ANIM_DIR

- Quick double-clicks hide the "Bouncy Slime" sample, whose window moves and resizes with every frame.
- A window made full-screen makes the "Waving Cat" step aside, with next to no CPU used meanwhile; when
  it leaves full-screen the character comes back at the same place.
- A dock with a 120-pixel strut along the bottom moves the character up by 120 pixels, and back when
  the dock goes.
- On Xorg with the dummy driver and two monitors side by side (Xvfb shows GDK only one), a character
  dragged onto the second monitor comes back to its corner when that monitor is switched off."""

import os
import select
import shutil
import subprocess
import sys
import tempfile
import time

sys.path.insert(0, os.path.dirname(os.path.abspath(__file__)))
import desktop  # noqa: E402

DOCK_HEIGHT = 120

# A dock window along the bottom of the screen that reserves DOCK_HEIGHT pixels, as a panel does.
DOCK = """
import ctypes, sys, time
x11 = ctypes.CDLL("libX11.so.6")
x11.XOpenDisplay.restype = ctypes.c_void_p
x11.XDefaultRootWindow.argtypes = [ctypes.c_void_p]
x11.XDefaultRootWindow.restype = ctypes.c_ulong
x11.XCreateSimpleWindow.argtypes = [ctypes.c_void_p, ctypes.c_ulong] + [ctypes.c_int] * 4 + [ctypes.c_uint,
                                    ctypes.c_ulong, ctypes.c_ulong]
x11.XCreateSimpleWindow.restype = ctypes.c_ulong
x11.XInternAtom.argtypes = [ctypes.c_void_p, ctypes.c_char_p, ctypes.c_int]
x11.XInternAtom.restype = ctypes.c_ulong
x11.XChangeProperty.argtypes = [ctypes.c_void_p, ctypes.c_ulong, ctypes.c_ulong, ctypes.c_ulong, ctypes.c_int,
                                ctypes.c_int, ctypes.c_void_p, ctypes.c_int]
x11.XMapWindow.argtypes = [ctypes.c_void_p, ctypes.c_ulong]
x11.XSync.argtypes = [ctypes.c_void_p, ctypes.c_int]
width, height, dock = int(sys.argv[1]), int(sys.argv[2]), int(sys.argv[3])
display = x11.XOpenDisplay(None)
window = x11.XCreateSimpleWindow(display, x11.XDefaultRootWindow(display), 0, height - dock, width, dock, 0, 0,
                                 0x202020)
def put(name, kind, values):
    data = (ctypes.c_ulong * len(values))(*values)
    x11.XChangeProperty(display, window, x11.XInternAtom(display, name, 0), kind, 32, 0, data, len(values))
put(b"_NET_WM_WINDOW_TYPE", 4, [x11.XInternAtom(display, b"_NET_WM_WINDOW_TYPE_DOCK", 0)])
put(b"_NET_WM_STRUT", 6, [0, 0, 0, dock])
put(b"_NET_WM_STRUT_PARTIAL", 6, [0, 0, 0, dock, 0, 0, 0, 0, 0, 0, 0, width - 1])
x11.XMapWindow(display, window)
x11.XSync(display, 0)
print("docked", flush=True)
time.sleep(3600)
"""


# Two outputs of the dummy driver side by side need a screen that can grow to hold both.
XORG_CONF = """
Section "Device"
  Identifier "dummy"
  Driver "dummy"
  VideoRam 65536
EndSection
Section "Monitor"
  Identifier "monitor"
  HorizSync 5.0-1000.0
  VertRefresh 5.0-200.0
EndSection
Section "Screen"
  Identifier "screen"
  Device "dummy"
  Monitor "monitor"
  DefaultDepth 24
  SubSection "Display"
    Depth 24
    Virtual 2048 768
  EndSubSection
EndSection
"""


def start_dummy_xorg(session, scratch):
    """Xorg on the dummy driver, on a display number it picks itself; None where it cannot start."""
    if shutil.which("Xorg") is None or not any(
            os.path.exists(os.path.join(d, "dummy_drv.so")) for d in ("/usr/lib/xorg/modules/drivers",)):
        return None
    conf = os.path.join(scratch, "xorg.conf")
    with open(conf, "w") as out:
        out.write(XORG_CONF)
    ready, tell = os.pipe()
    session.start(["Xorg", "-noreset", "-nolisten", "tcp", "-config", conf, "-logfile",
                   os.path.join(scratch, "xorg.log"), "-displayfd", str(tell)], pass_fds=(tell,),
                  stderr=subprocess.DEVNULL)
    os.close(tell)
    number = b""
    while not number.endswith(b"\n"):
        if not select.select([ready], [], [], 20)[0]:
            break
        chunk = os.read(ready, 16)
        if not chunk:
            break
        number += chunk
    os.close(ready)
    if not number.endswith(b"\n"):
        return None
    return desktop.Display(session, ":" + number.decode().strip(), 2048, 768)


class Checks:
    def __init__(self, session, program, samples, scratch):
        self.session, self.program, self.scratch = session, program, scratch
        self.folders = {}
        for name in ("slime", "cat"):
            self.folders[name] = os.path.join(scratch, name)
            os.makedirs(os.path.join(self.folders[name], "anim"))
            shutil.copy(os.path.join(samples, name + ".dat"), os.path.join(self.folders[name], "anim"))
        self.display = session.start_display(compositor=True)
        self.env = dict(self.display.env, HOME=os.path.join(scratch, "home"))
        self.env.pop("XDG_CONFIG_HOME", None)
        session.start(["xfwm4", "--compositor=off"], env=self.env, stderr=subprocess.DEVNULL)
        desktop.wait_until(lambda: b"window id" in self.display.run("xprop", "-root", "_NET_SUPPORTING_WM_CHECK"),
                           what="xfwm4")

    def start(self, name, answer_warning=True):
        copy = self.session.start([self.program], env=dict(self.env, VELISSADESK_PATH=self.folders[name]),
                                  stdout=subprocess.DEVNULL, stderr=subprocess.DEVNULL)
        if answer_warning:
            # xfwm4 holds Ctrl+F1 (a workspace): the program says so once, and its tray icon stays.
            box = desktop.wait_until(lambda: self.display.find_window("^Warning$", True), what="the warning")[0]
            self.display.xdotool("windowfocus", "--sync", box.decode())
            self.display.key("Return")
        return copy

    def character(self, visible=True):
        """The character window's geometry once it shows (visible) or None once it has gone."""
        def shown():
            windows = self.display.find_window("^VelissaDesk$", True)
            geometries = [self.display.geometry(w) for w in windows]
            return next((g for g in geometries if g is not None and g[2] > 20), None)
        if visible:
            return desktop.wait_until(shown, what="the character window")
        desktop.wait_until(lambda: shown() is None, what="the character to go")
        return None

    def a_double_click_hides_the_moving_slime(self):
        copy = self.start("slime")
        for attempt in range(4):
            x, y, width, height = self.character()
            time.sleep(0.3)  # past the fade-in
            x, y, width, height = self.character()
            # Two quick presses in the middle of the slime, whose window moves and resizes in between.
            self.display.click(x + width // 2, y + height // 2, repeat=2)
            self.character(visible=False)
            # A second start shows the running copy's character again.
            assert self.start("slime", answer_warning=False).wait(20) == 0, "the second start's exit status"
        self.session.stop(copy)

    def it_steps_aside_for_a_full_screen_window(self):
        copy = self.start("cat")
        before = self.character()
        time.sleep(1.5)  # past the fade-in
        before = self.character()
        listener = self.session.start(["xev", "-geometry", "300x200+10+10"], env=self.env,
                                      stdout=subprocess.DEVNULL)
        desktop.wait_until(lambda: self.display.find_window("^Event Tester$", True), what="xev")
        self.display.run("wmctrl", "-a", "Event Tester")
        self.display.run("wmctrl", "-r", "Event Tester", "-b", "add,fullscreen")
        self.character(visible=False)
        used = cpu_seconds(copy.pid)
        time.sleep(2)
        used = cpu_seconds(copy.pid) - used
        assert used < 0.1, "stepped aside, the program used %.2f s of CPU in 2 s" % used
        self.display.run("wmctrl", "-r", "Event Tester", "-b", "remove,fullscreen")
        after = self.character()
        assert after[:2] == before[:2], "back at %s, not at %s" % (after, before)
        # Full-screen again, then closed: back as well.
        self.display.run("wmctrl", "-r", "Event Tester", "-b", "add,fullscreen")
        self.character(visible=False)
        self.session.stop(listener)
        assert self.character()[:2] == before[:2]
        self.session.stop(copy)

    def it_moves_up_over_a_dock_and_back(self):
        copy = self.start("cat")
        time.sleep(1.5)
        x, y, _, _ = self.character()
        dock = desktop.Program(self.session.start(
            [sys.executable, "-c", DOCK, str(self.display.width), str(self.display.height), str(DOCK_HEIGHT)],
            env=self.env, stdout=subprocess.PIPE))
        dock.wait_for(r"^docked$")
        desktop.wait_until(lambda: self.character()[:2] == (x, y - DOCK_HEIGHT),
                           what="the character to move up by %d" % DOCK_HEIGHT)
        self.session.stop(dock.process)
        desktop.wait_until(lambda: self.character()[:2] == (x, y), what="the character to come back down")
        self.session.stop(copy)


    def it_comes_back_from_a_monitor_that_went(self):
        display = start_dummy_xorg(self.session, self.scratch)
        if display is None:
            print("skipped the monitors: Xorg with the dummy driver does not start here")
            return
        display.run("xrandr", "--addmode", "DUMMY1", "1024x768")
        display.run("xrandr", "--output", "DUMMY1", "--mode", "1024x768", "--right-of", "DUMMY0")
        display.run("xrandr")  # GDK counts a monitor whose mode was set only after a plain query
        copy = self.session.start([self.program], env=dict(display.env, HOME=self.env["HOME"],
                                                           VELISSADESK_PATH=self.folders["cat"]),
                                  stdout=subprocess.DEVNULL, stderr=subprocess.DEVNULL)
        self.display, shown = display, self.display
        try:
            time.sleep(1.5)
            x, y, width, height = self.character()
            centre = (x + width // 2, y + height // 2)
            display.drag(centre, (centre[0] + 1024, centre[1]))
            desktop.wait_until(lambda: self.character()[0] == x + 1024, what="the character on the second monitor")
            display.run("xrandr", "--output", "DUMMY1", "--off")
            desktop.wait_until(lambda: self.character()[:2] == (x, y), what="the character back in its corner")
        finally:
            self.display = shown
        self.session.stop(copy)


def cpu_seconds(pid):
    with open("/proc/%d/stat" % pid) as stat:
        fields = stat.read().rsplit(")", 1)[1].split()
    return (int(fields[11]) + int(fields[12])) / os.sysconf("SC_CLK_TCK")


def main():
    if len(sys.argv) != 3:
        print(__doc__)
        return 2
    desktop.skip_unless_tools(desktop.TOOLS + ("xfwm4", "wmctrl", "xprop", "xev"))
    desktop.skip_without_session_bus()
    if not all(os.path.exists(os.path.join(sys.argv[2], name + ".dat")) for name in ("slime", "cat")):
        print("skipped: the sample animations were not built")
        return desktop.SKIP
    with tempfile.TemporaryDirectory() as scratch, desktop.Session() as session:
        desktop.run_checks(Checks(session, sys.argv[1], sys.argv[2], scratch),
                           ("a_double_click_hides_the_moving_slime", "it_steps_aside_for_a_full_screen_window",
                            "it_moves_up_over_a_dock_and_back", "it_comes_back_from_a_monitor_that_went"),
                           "desktop_changes_failure.png")
    return 0


if __name__ == "__main__":
    sys.exit(main())
