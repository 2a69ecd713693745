#!/usr/bin/env python3
"""The real program in a user's session: openbox (a reparenting window manager), a compositor, a tray,
a session bus (run under dbus-run-session). Usage: session_test.py VELISSADESK VELISSA_PACK

- With nothing drawn (an empty anim/, a wholly transparent frame) clicks reach the xev window below.
- A second start on the same folder ends with 0 and shows the running copy's hidden character; a start
  on another folder runs beside it. With the bus, then without one (a lock file in XDG_RUNTIME_DIR).
- With Ctrl+F1 grabbed by another client first, a double-click hides the character but keeps the tray
  icon, whose menu's "Quick Hide/Show" shows it again.
- Frames of two sizes are each drawn whole at their size, with nothing left of the other, also after
  the character was hidden and shown again (--toggle).
- GTK reports nothing meanwhile; without a display the program says so in one line and ends with 1."""

import os
import subprocess
import sys
import tempfile
import time

sys.path.insert(0, os.path.dirname(os.path.abspath(__file__)))
import desktop  # noqa: E402
import program_test  # noqa: E402


# The two frames of "steps", each one colour, cropped from a canvas of STEPS_CANVAS pixels to the block at
# its bottom-right corner: both end at the same corner.
STEPS_CANVAS = 160
STEPS = (((120, 100), (200, 40, 40)), ((80, 150), (40, 60, 200)))
FADE_SECONDS = 1.2  # the fade-in at a start and a show, and a little more

# Another client that holds Ctrl+F1, as a window manager's key binding does.
GRAB_CTRL_F1 = """
import ctypes, sys, time
x11 = ctypes.CDLL("libX11.so.6")
x11.XOpenDisplay.restype = ctypes.c_void_p
x11.XDefaultRootWindow.argtypes = [ctypes.c_void_p]
x11.XDefaultRootWindow.restype = ctypes.c_ulong
x11.XKeysymToKeycode.argtypes = [ctypes.c_void_p, ctypes.c_ulong]
x11.XGrabKey.argtypes = [ctypes.c_void_p, ctypes.c_int, ctypes.c_uint, ctypes.c_ulong, ctypes.c_int, ctypes.c_int,
                         ctypes.c_int]
x11.XSync.argtypes = [ctypes.c_void_p, ctypes.c_int]
display = x11.XOpenDisplay(None)
x11.XGrabKey(display, x11.XKeysymToKeycode(display, 0xFFBE), 4, x11.XDefaultRootWindow(display), 0, 1, 1)
x11.XSync(display, 0)
print("grabbed", flush=True)
time.sleep(3600)
"""


class Checks:
    def __init__(self, session, program, velissa_pack, scratch):
        self.session, self.program, self.scratch = session, program, scratch
        self.folders = {name: os.path.join(scratch, name) for name in ("empty", "clear", "red", "steps")}
        for folder in self.folders.values():
            os.makedirs(os.path.join(folder, "anim"))
        os.makedirs(os.path.join(scratch, "home"))
        # A first frame wholly transparent for ten minutes (velissa-pack refuses a package that never
        # shows anything), then one white pixel.
        desktop.write_png(os.path.join(scratch, "clear.png"), 64, 64, lambda x, y: (0, 0, 0, 0))
        desktop.write_png(os.path.join(scratch, "dot.png"), 64, 64,
                          lambda x, y: (255, 255, 255, 255) if (x, y) == (0, 0) else (0, 0, 0, 0))
        subprocess.run([velissa_pack, "create", os.path.join(self.folders["clear"], "anim", "clear.dat"), "--name",
                        "Clear", "--duration", "600", os.path.join(scratch, "clear.png"),
                        os.path.join(scratch, "dot.png")], check=True, stdout=subprocess.DEVNULL)
        program_test.RED.pack(velissa_pack, scratch, os.path.join(self.folders["red"], "anim", "red.dat"))
        steps = []
        for (width, height), colour in STEPS:
            steps.append(os.path.join(scratch, "step-%d.png" % width))
            start_x, start_y = STEPS_CANVAS - width, STEPS_CANVAS - height
            desktop.write_png(steps[-1], STEPS_CANVAS, STEPS_CANVAS, lambda x, y, c=colour, sx=start_x, sy=start_y:
                              c + (255,) if x >= sx and y >= sy else (0, 0, 0, 0))
        subprocess.run([velissa_pack, "create", os.path.join(self.folders["steps"], "anim", "steps.dat"), "--name",
                        "Steps", "--duration", "0.5", "--loop", "--crop", "--quality", "100"] + steps * 100,
                       check=True, stdout=subprocess.DEVNULL)
        self.display = session.start_display(compositor=True)
        self.env = dict(self.display.env, HOME=os.path.join(scratch, "home"))
        self.env.pop("XDG_CONFIG_HOME", None)
        session.start(["openbox"], env=self.env, stderr=subprocess.DEVNULL)
        desktop.wait_until(lambda: b"window id" in self.display.run("xprop", "-root", "_NET_SUPPORTING_WM_CHECK"),
                           what="openbox")
        self.display.start_tray()  # the tray icon is made anew at start and at each show

    def start(self, name, env=None):
        return self.session.start([self.program], env=dict(env or self.env, VELISSADESK_PATH=self.folders[name]),
                                  stdout=subprocess.PIPE, stderr=subprocess.PIPE)

    def character(self, visible=True):
        """The character window's geometry once it shows (visible), or None once it has gone."""
        def shown():
            geometries = [self.display.geometry(w) for w in self.display.find_window("^VelissaDesk$", True)]
            return next((g for g in geometries if g is not None and g[2] > 40), None)
        if visible:
            return desktop.wait_until(shown, what="the character window")
        desktop.wait_until(lambda: shown() is None, what="the character to go")
        return None

    def answer_notice(self):
        box = desktop.wait_until(lambda: self.display.find_window("^Velissa$", True), what="the notice")[0]
        self.display.xdotool("windowfocus", "--sync", box.decode())
        self.display.key("Return")

    def end(self, process):
        self.session.stop(process)
        errors = process.stderr.read().decode("utf-8", "replace")
        assert "CRITICAL" not in errors and "WARNING" not in errors, "GTK reported: " + errors

    def clicks_pass_through_a_character_that_draws_nothing(self):
        listener = desktop.Program(self.session.start(["xev", "-geometry", "1024x768+0+0", "-event", "button"],
                                                      env=self.env, stdout=subprocess.PIPE))
        desktop.wait_until(lambda: self.display.find_window("^Event Tester$", True), timeout=30, what="xev")
        for name in ("empty", "clear"):
            copy = self.start(name)
            if name == "empty":
                self.answer_notice()  # that nothing is installed, before the character window shows
            x, y, width, height = self.character()
            # Points in the character's window, below xev's title bar along the top of the screen.
            for point in ((x + 8, max(y + 8, 40)), (x + width // 2, y + height // 2), (x + width - 8, y + height - 8)):
                mark = listener.mark()
                self.display.click(*point)
                listener.wait_for(r"root:\(%d,%d\)" % point, mark)
            self.end(copy)
        self.session.stop(listener.process)

    def a_second_start_hands_over(self):
        without_bus = dict(self.env, XDG_RUNTIME_DIR=self.scratch)
        without_bus.pop("DBUS_SESSION_BUS_ADDRESS", None)
        for env in (self.env, without_bus):
            first = self.start("red", env)
            x, y, _, _ = self.character()
            body = (x + program_test.BODY[0], y + program_test.BODY[1])
            self.display.wait_for_pixel(*body, program_test.RED.body)
            self.display.key("ctrl+F1")
            self.display.wait_for_pixel(*body, desktop.BACKGROUND)
            assert self.start("red", env).wait(20) == 0, "the second start's exit status"
            self.display.wait_for_pixel(*body, program_test.RED.body)
            beside = self.start("empty", env)
            self.answer_notice()
            assert beside.poll() is None and first.poll() is None, "a copy ended"
            self.end(beside)
            self.end(first)

    def without_the_hot_key_the_tray_icon_stays(self):
        grabber = desktop.Program(self.session.start([sys.executable, "-c", GRAB_CTRL_F1], env=self.env,
                                                     stdout=subprocess.PIPE))
        grabber.wait_for(r"^grabbed$")
        copy = self.start("red")
        box = desktop.wait_until(lambda: self.display.find_window("^Warning$", True), what="the hot key warning")[0]
        self.display.xdotool("windowfocus", "--sync", box.decode())
        self.display.key("Return")
        x, y, _, _ = self.character()
        body = (x + program_test.BODY[0], y + program_test.BODY[1])
        self.display.wait_for_pixel(*body, program_test.RED.body)
        self.display.click(*body, repeat=2)
        self.display.wait_for_pixel(*body, desktop.BACKGROUND)
        menu = self.display.open_tray_menu()
        menu_x, menu_y, menu_width, menu_height = self.display.geometry(menu)
        self.display.move(menu_x + menu_width + 10, menu_y + menu_height // 2)  # keys start from the menu's end
        self.display.key("Up", "Return")  # the last item: Quick Hide/Show
        self.display.wait_for_pixel(*body, program_test.RED.body)
        assert menu not in self.display.find_window("^VelissaDesk$", True), "the menu stayed open"
        self.end(copy)
        self.session.stop(grabber.process)

    def both_steps_drawn_whole(self, corner):
        """Waits until both frames of "steps" were seen, each drawn whole up to corner, where the window
        ends, and nothing showing in the other frame's extent beyond it."""
        seen = set()

        def look():
            x, y, width, height = self.character()
            assert (x + width, y + height) == corner, "the corner moved to %s" % ((x + width, y + height),)
            image = self.display.screenshot()
            shown = image.pixel(corner[0] - 3, corner[1] - 3)
            size = next((size for size, colour in STEPS if desktop.close_to(shown, colour)), None)
            assert size is not None, "%s at the corner" % (shown,)
            width, height = size
            point = (corner[0] - width + 2, corner[1] - height + 2)
            assert desktop.close_to(image.pixel(*point), shown), "%s at %s" % (image.pixel(*point), point)
            for other_width, other_height in dict(STEPS):
                point = (corner[0] - other_width + 2, corner[1] - other_height + 2)
                if other_width > width or other_height > height:
                    assert image.pixel(*point) == desktop.BACKGROUND, "left over at %s" % (point,)
            seen.add(size)
            return len(seen) == len(STEPS)

        desktop.wait_until(look, what="both frames")

    def frames_of_another_size_are_drawn_whole(self):
        copy = self.start("steps")
        x, y, width, height = self.character()
        corner = (x + width, y + height)
        time.sleep(FADE_SECONDS)
        self.both_steps_drawn_whole(corner)
        toggle = [self.program, "--toggle"]
        env = dict(self.env, VELISSADESK_PATH=self.folders["steps"])
        assert subprocess.run(toggle, env=env, timeout=20).returncode == 0, "--toggle's exit status"
        self.character(visible=False)
        assert subprocess.run(toggle, env=env, timeout=20).returncode == 0, "--toggle's exit status"
        self.character()
        time.sleep(FADE_SECONDS)
        self.both_steps_drawn_whole(corner)
        self.end(copy)

    def without_a_display_it_says_so(self):
        env = dict(self.env, VELISSADESK_PATH=self.folders["red"])
        env.pop("DISPLAY")
        result = subprocess.run([self.program], env=env, stderr=subprocess.PIPE, timeout=20)
        lines = result.stderr.decode().splitlines()
        assert result.returncode == 1 and len(lines) == 1 and "display" in lines[0], (result.returncode, lines)


def main():
    if len(sys.argv) != 3:
        print(__doc__)
        return 2
    desktop.skip_unless_tools(desktop.TOOLS + ("xev", "openbox", "xprop", "trayer"))
    desktop.skip_without_session_bus()
    with tempfile.TemporaryDirectory() as scratch, desktop.Session() as session:
        desktop.run_checks(Checks(session, sys.argv[1], sys.argv[2], scratch),
                           ("clicks_pass_through_a_character_that_draws_nothing", "a_second_start_hands_over",
                            "without_the_hot_key_the_tray_icon_stays", "frames_of_another_size_are_drawn_whole",
                            "without_a_display_it_says_so"),
                           "session_test_failure.png")
    return 0


if __name__ == "__main__":
    sys.exit(main())
