#!/usr/bin/env python3
"""The real program on the gtk backend under Xvfb, driven with xdotool and checked on screenshots.
Usage: program_test.py VELISSADESK VELISSA_PACK DRAG_SOURCE composited|plain

The test draws its own animations and packs them with velissa-pack: flat colours that survive JPEG,
a fully transparent hole, a half-transparent corner and a marker square whose colour changes with every
frame. Each animation lasts far longer than the test, so the random rotation never interferes.
composited: xcompmgr runs, so the character is blended by its alpha after the fade and its transparent
pixels are click-through. plain: no compositor, so the window is cut to its more-than-half-opaque pixels."""

import os
import subprocess
import sys
import tempfile

sys.path.insert(0, os.path.dirname(os.path.abspath(__file__)))
import desktop  # noqa: E402

SCREEN = (1024, 768)
WORK_AREA = (0, 0, 1024, 728)  # a 40-pixel panel along the bottom
FRAME = (120, 100)
# Points of the frame, each in the middle of a flat region (see pixel_of). Clicks that follow each other
# go to body points apart, so that no two pair up as a double-click, which hides the character.
BODY, HOLE, HALF, MARKER = (16, 64), (64, 48), (16, 16), (100, 82)
OTHER_BODY, THIRD_BODY = (40, 90), (64, 16)
RIGHT_EDGE, BOTTOM_EDGE = (FRAME[0] - 1, 40), (16, FRAME[1] - 1)
MARKERS = ((250, 250, 0), (0, 250, 250))  # the even frames' and the odd frames'
HALF_WHITE = (128, 128, 128)  # white at alpha 128, premultiplied
DRAG = (-200, -150)
FRAMES, FRAME_SECONDS = 200, 0.5  # 100 seconds before an animation has played through


class Animation:
    def __init__(self, file, name, body, position):
        self.file, self.name, self.body, self.position = file, name, body, position

    def pixel_of(self, frame):
        def pixel(x, y):
            if x < 32 and y < 32:
                return (255, 255, 255, 128)
            if 48 <= x < 80 and 32 <= y < 64:
                return (0, 0, 0, 0)
            if x >= 80 and y >= 64:
                return MARKERS[frame % 2] + (255,)
            return self.body + (255,)
        return pixel

    def pack(self, velissa_pack, folder, out):
        frames = []
        for parity in (0, 1):
            frames.append(os.path.join(folder, "%s-%d.png" % (self.file, parity)))
            desktop.write_png(frames[-1], FRAME[0], FRAME[1], self.pixel_of(parity))
        x, y = self.position
        subprocess.run([velissa_pack, "create", out, "--name", self.name, "--position", "%d,%d" % (x, y),
                        "--duration", str(FRAME_SECONDS), "--loop", "--quality", "100"] +
                       frames * (FRAMES // 2), check=True, stdout=subprocess.DEVNULL)


RED = Animation("red", "Red Block", (200, 40, 40), (-40, -30))
GREEN = Animation("green", "Green Block", (40, 180, 60), (-300, -200))
ORANGE = Animation("orange", "Orange Block", (230, 150, 20), (-150, -100))  # dropped during the test


class Checks:
    def __init__(self, session, program, velissa_pack, drag_source, composited, scratch):
        self.session, self.drag_source, self.composited = session, drag_source, composited
        self.base = os.path.join(scratch, "install")
        self.anim = os.path.join(self.base, "anim")
        os.makedirs(self.anim)
        for animation in (RED, GREEN):
            animation.pack(velissa_pack, scratch, os.path.join(self.anim, animation.file + ".dat"))
        self.dropped = os.path.join(scratch, "drop", ORANGE.file + ".dat")
        os.makedirs(os.path.dirname(self.dropped))
        ORANGE.pack(velissa_pack, scratch, self.dropped)
        home = os.path.join(scratch, "home")
        os.makedirs(home)

        self.display = session.start_display(compositor=composited, width=SCREEN[0], height=SCREEN[1])
        self.display.set_work_area(*WORK_AREA)
        env = dict(self.display.env, VELISSADESK_PATH=self.base, HOME=home)
        env.pop("XDG_CONFIG_HOME", None)
        self.program = desktop.Program(session.start([program], env=env, stdin=subprocess.DEVNULL,
                                                     stdout=subprocess.PIPE))
        self.drag_offset = (0, 0)
        self.playing = None
        self.menu_height = None

    # ---- Where things are ----

    def origin(self, animation):
        """The top-left corner of the character's window: its frame ends at the work area's corner
        moved by the animation's position and the drags so far."""
        return (WORK_AREA[0] + WORK_AREA[2] + animation.position[0] + self.drag_offset[0] - FRAME[0],
                WORK_AREA[1] + WORK_AREA[3] + animation.position[1] + self.drag_offset[1] - FRAME[1])

    def at(self, point, animation=None):
        x, y = self.origin(animation or self.playing)
        return x + point[0], y + point[1]

    def half_colour(self):
        return desktop.blend(HALF_WHITE, 128) if self.composited else HALF_WHITE

    def shows(self, animation):
        return desktop.close_to(self.display.pixel(*self.at(BODY, animation)), animation.body)

    def expect(self, point, colour):
        self.display.wait_for_pixel(*self.at(point), colour)

    def expect_character(self, animation):
        """The animation at its place, fully faded in, its window ending exactly at its anchor."""
        self.playing = animation
        self.expect(BODY, animation.body)
        self.expect(HALF, self.half_colour())
        self.expect(HOLE, desktop.BACKGROUND)
        image = self.display.screenshot()
        right, bottom = self.at(RIGHT_EDGE), self.at(BOTTOM_EDGE)
        for point, colour in ((right, animation.body), ((right[0] + 1, right[1]), desktop.BACKGROUND),
                              (bottom, animation.body), ((bottom[0], bottom[1] + 1), desktop.BACKGROUND)):
            assert desktop.close_to(image.pixel(*point), colour), \
                "pixel %s is %s, not %s" % (point, image.pixel(*point), colour)

    def expect_hidden(self):
        self.expect(BODY, desktop.BACKGROUND)
        self.expect(MARKER, desktop.BACKGROUND)

    # ---- The menu ----

    def open_menu(self, point):
        """Right-clicks the character at point and returns the menu's window once it shows."""
        before = set(self.display.find_window("^VelissaDesk$", only_visible=True))
        self.display.click(*self.at(point), button=3)

        def menu():
            for window in set(self.display.find_window("^VelissaDesk$", only_visible=True)) - before:
                geometry = self.display.geometry(window)
                if geometry is not None and geometry[3] > 100:  # not GTK's small helper windows
                    return window, geometry
            return None

        return desktop.wait_until(menu, what="the menu to open")

    def choose(self, window, *keys):
        # The pointer, left over an item, would select it: away from the menu, the keys start afresh.
        x, y, width, height = self.display.geometry(window)
        self.display.move(x + width + 10 if x < 500 else x - 10, y + height // 2)
        self.display.key(*keys)
        desktop.wait_until(lambda: window not in self.display.find_window("^VelissaDesk$", only_visible=True),
                           what="the menu to close")

    # ---- The checks, in order ----

    def appears_at_the_bottom_right_of_the_work_area(self):
        # With two animations the first is never the catalogue's first row, whichever file that is.
        first = desktop.wait_until(lambda: next((a for a in (RED, GREEN) if self.shows(a)), None),
                                   what="a character at the bottom-right of the work area")
        self.expect_character(first)

    def next_frame_changes_the_picture(self):
        for colour in MARKERS + MARKERS[:1]:
            self.expect(MARKER, colour)

    def hot_key_hides_and_shows_it(self):
        self.display.key("ctrl+F1")
        self.expect_hidden()
        self.display.key("ctrl+F1")
        self.expect_character(self.playing)

    def double_click_hides_it(self):
        self.display.click(*self.at(BODY), repeat=2)
        self.expect_hidden()
        self.display.key("ctrl+F1")
        self.expect_character(self.playing)

    def click_on_a_transparent_pixel_reaches_the_window_below(self):
        # The window below is the desktop: a root-window listener reports the clicks that reach it.
        listener = desktop.Program(self.session.start(["xev", "-root", "-event", "button"], env=self.display.env,
                                                      stdout=subprocess.PIPE))
        bare = (200, 200)
        desktop.wait_until(lambda: self.display.click(*bare) or
                           listener.find(r"root:\(%d,%d\)" % bare), what="the listener")
        mark = listener.mark()
        hole = self.at(HOLE)
        self.display.click(*hole)
        listener.wait_for(r"root:\(%d,%d\)" % hole, mark)
        self.session.stop(listener.process)

    def drag_moves_it_by_the_drag_distance(self):
        start = self.at(OTHER_BODY)
        self.display.drag(start, (start[0] + DRAG[0], start[1] + DRAG[1]))
        old = self.at(BODY)
        self.drag_offset = DRAG
        self.expect_character(self.playing)
        self.display.wait_for_pixel(*old, desktop.BACKGROUND)

    def right_click_opens_the_menu(self):
        window, geometry = self.open_menu(BODY)
        self.menu_height = geometry[3]
        self.choose(window, "Escape")
        self.expect_character(self.playing)

    def choosing_another_animation_switches_after_the_fade(self):
        # The menu lists the animations in catalogue order: the one playing first is row 1, so the
        # menu's first item is the other one.
        other = GREEN if self.playing is RED else RED
        window, _ = self.open_menu(THIRD_BODY)
        old = self.at(BODY)
        self.choose(window, "Down", "Return")
        self.expect_character(other)  # at its own position, moved by the earlier drag
        self.display.wait_for_pixel(*old, desktop.BACKGROUND)

    def dropped_file_is_installed_and_reported(self):
        source = self.session.start_program([self.drag_source, self.dropped], self.display)
        source.wait_for(r"^ready$")
        self.display.drag((60, 60), self.at(BODY), ready_to_drop=lambda: source.last_line() == "accepted")
        box = desktop.wait_until(lambda: self.display.find_window("^Velissa$", only_visible=True),
                                 what="the information box")[0]
        self.display.xdotool("windowfocus", "--sync", box.decode())
        # Ctrl+C copies a message box whole, caption and text, as on Windows.
        line = "---------------------------"
        expected = "\n".join([line, "Velissa", line, "1 New Animations Installed.", line, "OK   ", line, ""])
        copied = []

        def box_copied():
            self.display.key("ctrl+c")
            copied[:] = [self.display.clipboard()]
            return copied[0] == expected

        try:
            desktop.wait_until(box_copied, what="the box's text on the clipboard")
        except AssertionError as failure:
            raise AssertionError("%s; it holds %r" % (failure, copied))
        assert os.path.isfile(os.path.join(self.anim, ORANGE.file + ".dat")), "not copied into anim/"
        self.display.key("Return")
        desktop.wait_until(lambda: not self.display.find_window("^Velissa$", only_visible=True),
                           what="the box to close")
        self.expect_character(ORANGE)  # the new animation starts at once
        self.session.stop(source.process)

    def menu_grows_and_exit_ends_the_program(self):
        window, geometry = self.open_menu(OTHER_BODY)
        item = geometry[3] - self.menu_height
        assert 16 <= item <= 40, "the menu grew by %d pixels, not one item" % item
        self.choose(window, "Up", "Up", "Return")  # the last items: Exit, then Quick Hide/Show
        assert self.program.wait_exit() == 0, "exit status"
        assert self.program.lines == [], "the program wrote: %s" % self.program.lines


def main():
    if len(sys.argv) != 5 or sys.argv[4] not in ("composited", "plain"):
        print(__doc__)
        return 2
    desktop.skip_unless_tools(desktop.TOOLS + ("xev", "xclip"))
    names = ["appears_at_the_bottom_right_of_the_work_area", "next_frame_changes_the_picture",
             "hot_key_hides_and_shows_it", "double_click_hides_it",
             "click_on_a_transparent_pixel_reaches_the_window_below", "drag_moves_it_by_the_drag_distance",
             "right_click_opens_the_menu", "choosing_another_animation_switches_after_the_fade",
             "dropped_file_is_installed_and_reported", "menu_grows_and_exit_ends_the_program"]
    with tempfile.TemporaryDirectory() as scratch, desktop.Session() as session:
        checks = Checks(session, *sys.argv[1:4], sys.argv[4] == "composited", scratch)
        for name in names:
            try:
                getattr(checks, name)()
            except AssertionError:
                # What the screen showed, beside the test's output, for whoever reads the failure.
                shot = os.path.abspath("program_test_%s_failure.png" % sys.argv[4])
                checks.display.run("import", "-silent", "-window", "root", shot)
                windows = [checks.display.geometry(window)
                           for window in checks.display.find_window("^VelissaDesk$", only_visible=True)]
                print("failed %s; the screen is in %s; the program's windows: %s" % (name, shot, windows),
                      flush=True)
                raise
            print("ok", name, flush=True)
    return 0


if __name__ == "__main__":
    sys.exit(main())
