#!/usr/bin/env python3
"""The real program as a user's session meets it: under a reparenting window manager (openbox) with a
compositor, on a session bus (run this under dbus-run-session), started more than once.
Usage: session_test.py VELISSADESK VELISSA_PACK

- An empty animation folder and an animation whose frame is wholly transparent draw nothing, and the
  window manager's frame around the character window must then let every click through to the window
  below (an xev window there reports them).
- A second start on the same install path ends with status 0 and makes the running copy show its
  hidden character; a start on another path runs beside it. Once with the session bus, once without
  one (a lock file under XDG_RUNTIME_DIR).
- GTK reports nothing on the way (a tray runs, which embeds the icon made at start and at each show),
  and without a display the program says so in one line and ends with 1."""

import os
import subprocess
import sys
import tempfile

sys.path.insert(0, os.path.dirname(os.path.abspath(__file__)))
import desktop  # noqa: E402
import program_test  # noqa: E402


class Checks:
    def __init__(self, session, program, velissa_pack, scratch):
        self.session, self.program, self.scratch = session, program, scratch
        self.folders = {}
        for name, animation in (("empty", None), ("clear", "clear"), ("red", program_test.RED)):
            anim = os.path.join(scratch, name, "anim")
            os.makedirs(anim)
            self.folders[name] = os.path.dirname(anim)
            if animation == "clear":
                frame = os.path.join(scratch, "clear.png")
                desktop.write_png(frame, 64, 64, lambda x, y: (0, 0, 0, 0))
                subprocess.run([velissa_pack, "create", os.path.join(anim, "clear.dat"), "--name", "Clear",
                                frame], check=True, stdout=subprocess.DEVNULL)
            elif animation is not None:
                animation.pack(velissa_pack, scratch, os.path.join(anim, "red.dat"))
        os.makedirs(os.path.join(scratch, "home"))
        self.display = session.start_display(compositor=True)
        self.env = dict(self.display.env, HOME=os.path.join(scratch, "home"))
        self.env.pop("XDG_CONFIG_HOME", None)
        session.start(["openbox"], env=self.env, stderr=subprocess.DEVNULL)
        desktop.wait_until(self.wm_running, what="openbox")
        self.display.start_tray()  # the tray icon is made anew at start and at each show

    def wm_running(self):
        result = subprocess.run(["xprop", "-root", "_NET_SUPPORTING_WM_CHECK"], env=self.env,
                                stdout=subprocess.PIPE, stderr=subprocess.DEVNULL)
        return b"window id" in result.stdout

    def start(self, folder, env=None):
        process = self.session.start([self.program], env=dict(env or self.env, VELISSADESK_PATH=folder),
                                     stdout=subprocess.PIPE, stderr=subprocess.PIPE)
        return process

    def character(self):
        def shown():
            for window in self.display.find_window("^VelissaDesk$", only_visible=True):
                geometry = self.display.geometry(window)
                if geometry is not None and geometry[2] > 40:
                    return geometry
            return None
        return desktop.wait_until(shown, what="the character window")

    def end(self, process):
        self.session.stop(process)
        errors = process.stderr.read().decode("utf-8", "replace")
        assert "CRITICAL" not in errors and "WARNING" not in errors, "GTK reported: " + errors

    def clicks_pass_through_a_character_that_draws_nothing(self):
        listener = desktop.Program(self.session.start(
            ["xev", "-geometry", "%dx%d+0+0" % (self.display.width, self.display.height), "-event", "button"],
            env=self.env, stdout=subprocess.PIPE))
        desktop.wait_until(lambda: self.display.find_window("^Event Tester$", only_visible=True), what="xev")
        for name in ("empty", "clear"):
            copy = self.start(self.folders[name])
            if name == "empty":  # the notice that nothing is installed comes first
                box = desktop.wait_until(lambda: self.display.find_window("^Velissa$", only_visible=True),
                                         what="the notice")[0]
                self.display.xdotool("windowfocus", "--sync", box.decode())
                self.display.key("Return")
            x, y, width, height = self.character()
            # Points inside the character's window and off xev's title bar along the top of the screen.
            for point in ((x + 8, max(y + 8, 40)), (x + width // 2, y + height // 2), (x + width - 8, y + height - 8)):
                mark = listener.mark()
                self.display.click(*point)
                listener.wait_for(r"root:\(%d,%d\)" % point, mark, timeout=5)
            self.end(copy)
        self.session.stop(listener.process)

    def a_second_start_hands_over(self):
        env_without_bus = dict(self.env, XDG_RUNTIME_DIR=self.scratch)
        env_without_bus.pop("DBUS_SESSION_BUS_ADDRESS", None)
        for env in (self.env, env_without_bus):
            first = self.start(self.folders["red"], env)
            red_body = program_test.RED.body
            x, y, width, height = self.character()
            body = (x + program_test.BODY[0], y + program_test.BODY[1])
            self.display.wait_for_pixel(*body, red_body)
            self.display.key("ctrl+F1")
            self.display.wait_for_pixel(*body, desktop.BACKGROUND)
            second = self.start(self.folders["red"], env)
            assert second.wait(20) == 0, "the second start's exit status"
            self.display.wait_for_pixel(*body, red_body)
            beside = self.start(self.folders["empty"], env)
            desktop.wait_until(lambda: self.display.find_window("^Velissa$", only_visible=True),
                               what="a copy on another folder to run")
            assert beside.poll() is None and first.poll() is None, "a copy ended"
            self.end(beside)
            self.end(first)

    def without_a_display_it_says_so(self):
        env = dict(self.env, VELISSADESK_PATH=self.folders["red"])
        env.pop("DISPLAY")
        result = subprocess.run([self.program], env=env, stdout=subprocess.PIPE, stderr=subprocess.PIPE,
                                timeout=20)
        lines = result.stderr.decode().splitlines()
        assert result.returncode == 1 and len(lines) == 1 and "display" in lines[0], (result.returncode, lines)


def main():
    if len(sys.argv) != 3:
        print(__doc__)
        return 2
    desktop.skip_unless_tools(desktop.TOOLS + ("xev", "openbox", "xprop"))
    if not os.environ.get("DBUS_SESSION_BUS_ADDRESS"):
        print("skipped: no session bus (run under dbus-run-session)")
        return desktop.SKIP
    with tempfile.TemporaryDirectory() as scratch, desktop.Session() as session:
        checks = Checks(session, sys.argv[1], sys.argv[2], scratch)
        for name in ("clicks_pass_through_a_character_that_draws_nothing", "a_second_start_hands_over",
                     "without_a_display_it_says_so"):
            getattr(checks, name)()
            print("ok", name, flush=True)
    return 0


if __name__ == "__main__":
    sys.exit(main())
