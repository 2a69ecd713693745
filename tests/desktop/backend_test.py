#!/usr/bin/env python3
"""The GTK backend on a real X server: backend_demo under Xvfb, driven with xdotool and checked on
screenshots. Usage: backend_test.py BACKEND_DEMO DRAG_SOURCE composited|plain

composited: xcompmgr runs from the start, so the picture is blended by its alpha and the fade's
opacity, and its fully transparent pixels are click-through.
plain: no compositor at first, so the window is cut to its more-than-half-opaque pixels and shows no
fade; then a compositor starts and the window must switch to blending."""

import os
import sys
import tempfile

sys.path.insert(0, os.path.dirname(os.path.abspath(__file__)))
import desktop  # noqa: E402

ORANGE = (230, 200, 40)  # the picture's opaque body, red, green, blue
BLUE = (40, 40, 200)  # another picture, opaque all over
HALF_WHITE = (128, 128, 128)  # its edge, premultiplied at alpha 128
# Points in the picture. Clicks that follow each other go to points apart, so that no two pair up as
# a double-click.
BODY, OTHER_BODY, DRAG_START = (40, 40), (60, 40), (150, 40)
HOLE, EDGE, OUTSIDE = (100, 75), (5, 75), (-5, 75)


class Checks:
    def __init__(self, session, demo, drag_source, composited):
        self.session, self.demo_path, self.drag_source = session, demo, drag_source
        self.composited = composited
        self.display = session.start_display(compositor=composited)
        self.tray = self.display.start_tray()
        self.demo = session.start_program([demo], self.display)
        ready = self.demo.wait_for(r"^ready (-?\d+) (-?\d+) (\d+) (\d+) hot_key=(\d)")
        self.x, self.y, self.width, self.height, self.hot_key = map(int, ready.groups())

    def at(self, point):
        return self.x + point[0], self.y + point[1]

    def expect_pixel(self, point, expected):
        self.display.wait_for_pixel(*self.at(point), expected)

    def edge_colour(self):
        return desktop.blend(HALF_WHITE, 128) if self.composited else HALF_WHITE

    def placed_at_bottom_right(self):
        assert (self.x + self.width, self.y + self.height) == (1024, 768), "work area corner"
        self.expect_pixel(BODY, ORANGE)
        self.expect_pixel(EDGE, self.edge_colour())
        self.expect_pixel(HOLE, desktop.BACKGROUND)
        self.expect_pixel(OUTSIDE, desktop.BACKGROUND)

    def opacity_fades_only_with_a_compositor(self):
        self.demo.send("opacity 128")
        self.expect_pixel(BODY, desktop.blend(ORANGE, 255, 128) if self.composited else ORANGE)
        self.demo.send("opacity 255")
        self.expect_pixel(BODY, ORANGE)

    def click_reaches_opaque_pixels_only(self):
        mark = self.demo.mark()
        self.display.click(*self.at(HOLE))
        self.display.click(*self.at(BODY))
        # Events keep their order: had the hole's click reached the window, it would come first.
        down = self.demo.wait_for(r"^msg character WM_LBUTTONDOWN \d+ (-?\d+) (-?\d+)$", mark)
        assert tuple(map(int, down.groups())) == BODY, "client point of the click: %s" % (down.groups(),)
        self.demo.wait_for(r"^msg character WM_LBUTTONUP 0 40 40$", mark)

    def a_kept_picture_comes_back_with_its_shape(self):
        # Kept on the server with a compositor only; either way the picture, faded or not, and its hole
        # come back.
        self.demo.send("keep 1")
        self.demo.send("blue")
        self.expect_pixel(HOLE, BLUE)
        for opacity in (128, 255):
            mark = self.demo.mark()
            self.demo.send("show kept 1 %d" % opacity)
            shown = self.demo.wait_for(r"^shown kept (\d)$", mark)
            assert shown.group(1) == ("1" if self.composited else "0"), "kept on the server: %s" % shown.group(1)
            self.expect_pixel(BODY, desktop.blend(ORANGE, 255, opacity) if self.composited else ORANGE)
        self.expect_pixel(HOLE, desktop.BACKGROUND)
        self.expect_pixel(EDGE, self.edge_colour())
        mark = self.demo.mark()
        self.display.click(*self.at(HOLE))
        self.display.click(*self.at(OTHER_BODY))
        down = self.demo.wait_for(r"^msg character WM_LBUTTONDOWN \d+ (-?\d+) (-?\d+)$", mark)
        assert tuple(map(int, down.groups())) == OTHER_BODY, "the hole takes clicks: %s" % (down.groups(),)

    def drag_moves_the_window_by_the_drag_distance(self):
        mark = self.demo.mark()
        start = self.at(DRAG_START)
        self.display.drag(start, (start[0] - 300, start[1] - 200))
        moved = self.demo.wait_for(r"^moved (-?\d+) (-?\d+)$", mark)
        assert tuple(map(int, moved.groups())) == (self.x - 300, self.y - 200), moved.groups()
        self.display.wait_for_pixel(self.x - 300 + BODY[0], self.y - 200 + BODY[1], ORANGE)
        self.expect_pixel(BODY, desktop.BACKGROUND)
        self.demo.send("move %d %d" % (self.x, self.y))
        self.expect_pixel(BODY, ORANGE)

    def dropped_files_arrive_as_paths(self):
        with tempfile.TemporaryDirectory() as folder:
            files = [os.path.join(folder, name) for name in ("one.dat", "two words.kar")]
            for name in files:
                open(name, "w").close()
            source = self.session.start_program([self.drag_source] + files, self.display)
            source.wait_for(r"^ready$")
            mark = self.demo.mark()
            self.display.drag((60, 60), self.at(BODY), ready_to_drop=lambda: source.last_line() == "accepted")
            for name in files:  # decoded from their file:// addresses
                self.demo.wait_for(r"^drop %s$" % name.replace(".", r"\."), mark)
            self.session.stop(source.process)

    def tray_clicks_reach_the_owner(self):
        if not self.tray:
            print("skipped tray clicks: trayer is missing")
            return
        # The icon embeds once the tray has answered; until then a click finds no icon.
        mark = self.demo.mark()
        desktop.wait_until(lambda: self.display.click(*desktop.TRAY_ICON) or
                           self.demo.find(r"^msg owner TRAY_CALLBACK 101 514 0$", mark),  # WM_LBUTTONUP
                           what="a left click on the tray icon")
        mark = self.demo.mark()
        self.display.click(*desktop.TRAY_ICON, button=3)
        self.demo.wait_for(r"^msg owner TRAY_CALLBACK 101 517 0$", mark)  # WM_RBUTTONUP

    def double_click_is_reported(self):
        mark = self.demo.mark()
        self.display.click(*self.at(OTHER_BODY), repeat=2)
        self.demo.wait_for(r"^msg character WM_LBUTTONDBLCLK 1 60 40$", mark)
        clicks = [line.split()[2] for line in self.demo.lines[mark:] if "BUTTON" in line]
        assert clicks[:4] == ["WM_LBUTTONDOWN", "WM_LBUTTONUP", "WM_LBUTTONDBLCLK", "WM_LBUTTONUP"], clicks

    def hot_key_reaches_the_owner(self):
        assert self.hot_key == 1, "the hot key was not registered"
        for keys in (["ctrl+F1"], ["Num_Lock", "ctrl+F1", "Num_Lock"]):
            mark = self.demo.mark()
            self.display.key(*keys)
            self.demo.wait_for(r"^msg owner WM_HOTKEY 0 2 112$", mark)  # MOD_CONTROL, VK_F1

    def second_instance_cannot_take_the_hot_key(self):
        probe = self.session.start_program([self.demo_path, "--probe-hot-key"], self.display)
        probe.wait_for(r"^hot key refused 1409$")  # ERROR_HOTKEY_ALREADY_REGISTERED
        assert probe.wait_exit() == 0

    def right_click_opens_the_menu_and_a_choice_comes_back(self):
        before = self.display.screenshot()
        mark = self.demo.mark()
        self.display.click(*self.at(BODY), button=3)
        opened = self.demo.wait_for(r"^menu open (\d+) (\d+)$", mark)
        assert tuple(map(int, opened.groups())) == self.at(BODY), "menu point"
        # Near the screen's corner the menu flips to the left of the click to stay on the screen.
        x, y = self.at(BODY)
        desktop.wait_until(lambda: any(self.display.pixel(x + dx, y + 8) != before.pixel(x + dx, y + 8)
                                       for dx in (-8, 8)), what="the menu to appear")
        self.display.key("Down", "Return")
        self.demo.wait_for(r"^menu closed$", mark)
        self.demo.wait_for(r"^msg character WM_COMMAND 3 0 0$", mark)

    def menu_is_placed_by_its_flags(self):
        # flags 0: top-left corner at the point; the tray's flags: bottom-right corner at the point.
        for command, inside, outside in (("menu 300 300", (308, 308), (292, 292)),
                                         ("menu 600 500 tray", (592, 492), (608, 508))):
            before = self.display.screenshot()
            mark = self.demo.mark()
            self.demo.send(command)
            self.demo.wait_for(r"^menu open", mark)
            desktop.wait_until(lambda: self.display.pixel(*inside) != before.pixel(*inside),
                               what="the menu to appear for " + command)
            assert self.display.pixel(*outside) == before.pixel(*outside), command
            self.display.key("Escape")
            self.demo.wait_for(r"^menu closed$", mark)
            assert self.demo.find(r"WM_COMMAND", mark) is None, "a dismissed menu chose an item"

    def message_box_keeps_serving_messages(self):
        mark = self.demo.mark()
        self.demo.send("box Hello")
        box = desktop.wait_until(lambda: self.display.find_window("^Velissa$"), what="the box")[0]
        self.display.key("ctrl+F1")  # handled by the box's nested loop, before the box is answered
        self.demo.wait_for(r"^msg owner WM_HOTKEY", mark)
        assert self.demo.find(r"^box answer", mark) is None
        self.display.xdotool("windowfocus", "--sync", box.decode())
        self.display.key("Return")
        self.demo.wait_for(r"^box answer 1$", mark)  # IDOK

    def compositor_arriving_switches_to_blending(self):
        self.display.start_compositor()
        self.expect_pixel(EDGE, desktop.blend(HALF_WHITE, 128))
        self.expect_pixel(BODY, ORANGE)
        self.composited = True
        self.click_reaches_opaque_pixels_only()

    def close_ends_the_loop_in_order(self):
        mark = self.demo.mark()
        self.demo.send("close")
        assert self.demo.wait_exit() == 0, "exit status"
        self.demo.wait_for(r"^quit 0$", mark)
        order = [line for line in self.demo.lines[mark:] if line.startswith(("msg", "quit"))]
        assert order == ["msg owner WM_CLOSE 0 0 0", "msg character WM_DESTROY 0 0 0",
                         "msg owner WM_DESTROY 0 0 0", "quit 0"], order


def main():
    if len(sys.argv) != 4 or sys.argv[3] not in ("composited", "plain"):
        print(__doc__)
        return 2
    desktop.skip_unless_tools()
    composited = sys.argv[3] == "composited"
    names = ["placed_at_bottom_right", "opacity_fades_only_with_a_compositor",
             "click_reaches_opaque_pixels_only", "a_kept_picture_comes_back_with_its_shape",
             "drag_moves_the_window_by_the_drag_distance",
             "dropped_files_arrive_as_paths", "tray_clicks_reach_the_owner", "double_click_is_reported",
             "hot_key_reaches_the_owner", "second_instance_cannot_take_the_hot_key",
             "right_click_opens_the_menu_and_a_choice_comes_back", "menu_is_placed_by_its_flags",
             "message_box_keeps_serving_messages"]
    if not composited:
        names.append("compositor_arriving_switches_to_blending")
    names.append("close_ends_the_loop_in_order")
    with desktop.Session() as session:
        checks = Checks(session, sys.argv[1], sys.argv[2], composited)
        for name in names:
            getattr(checks, name)()
            print("ok", name, flush=True)
    return 0


if __name__ == "__main__":
    sys.exit(main())
