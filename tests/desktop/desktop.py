"""What every desktop test needs, with the standard library only: a virtual X display (Xvfb) with a
known background, an optional compositor and a work area of the test's choosing, screenshots read pixel
by pixel, windows found by name with their geometry, xdotool input, the clipboard, programs whose output
lines can be waited for, PNG pictures drawn by the test, and the rule that every process a test starts is
ended by its id.

Usage:
    with desktop.Session() as session:
        display = session.start_display(compositor=True)
        program = session.start_program([path], display)
        program.wait_for(r"^ready (\\d+) (\\d+)")
        display.click(x, y)
"""

import contextlib
import ctypes
import ctypes.util
import os
import re
import select
import shutil
import signal
import struct
import subprocess
import sys
import threading
import time
import zlib

SKIP = 77  # CTest's SKIP_RETURN_CODE for these tests
TOOLS = ("Xvfb", "xdotool", "import", "hsetroot", "xcompmgr")
BACKGROUND = (0x30, 0x60, 0xA0)  # the root window's colour, #3060a0
TRAY_ICON = (9, 12)  # the middle of the first icon in the tray of Display.start_tray


def missing_tools(tools=TOOLS):
    return [tool for tool in tools if shutil.which(tool) is None]


def skip_unless_tools(tools=TOOLS):
    missing = missing_tools(tools)
    if missing:
        print("skipped: missing " + " ".join(missing))
        sys.exit(SKIP)


def skip_without_session_bus():
    if not os.environ.get("DBUS_SESSION_BUS_ADDRESS"):
        print("skipped: no session bus (run under dbus-run-session)")
        sys.exit(SKIP)


def run_checks(checks, names, failure_png):
    """Runs the named methods of checks in order, printing "ok NAME" for each. A failed one leaves the
    screen in failure_png (in the current folder) for whoever reads the log, then fails the test."""
    for name in names:
        try:
            getattr(checks, name)()
        except AssertionError:
            checks.display.run("import", "-silent", "-window", "root", os.path.abspath(failure_png))
            print("failed %s; the screen is in %s" % (name, failure_png), flush=True)
            raise
        print("ok", name, flush=True)


def wait_until(condition, timeout=10.0, what="a condition"):
    """Polls condition until it gives a true value, which it returns; fails after timeout seconds."""
    deadline = time.monotonic() + timeout
    while True:
        value = condition()
        if value:
            return value
        if time.monotonic() > deadline:
            raise AssertionError("timed out after %.0f s waiting for %s" % (timeout, what))
        time.sleep(0.02)


def _die_with_parent():
    # A child started here ends when the test process dies, even by SIGKILL from a CTest timeout.
    with contextlib.suppress(Exception):
        ctypes.CDLL(None, use_errno=True).prctl(1, signal.SIGTERM)  # PR_SET_PDEATHSIG


def write_png(path, width, height, pixel):
    """A width x height RGBA PNG whose pixel (x, y) is pixel(x, y), a (red, green, blue, alpha) tuple."""
    rows = b"".join(b"\0" + b"".join(bytes(pixel(x, y)) for x in range(width)) for y in range(height))

    def chunk(kind, data):
        return struct.pack(">I", len(data)) + kind + data + struct.pack(">I", zlib.crc32(kind + data))

    with open(path, "wb") as png:
        png.write(b"\x89PNG\r\n\x1a\n" + chunk(b"IHDR", struct.pack(">IIBBBBB", width, height, 8, 6, 0, 0, 0)) +
                  chunk(b"IDAT", zlib.compress(rows)) + chunk(b"IEND", b""))


class Image:
    """A screenshot: width x height pixels of red, green, blue bytes."""

    def __init__(self, width, height, data):
        self.width, self.height, self.data = width, height, data

    def pixel(self, x, y):
        if not (0 <= x < self.width and 0 <= y < self.height):
            raise AssertionError("pixel (%d, %d) is off the screen" % (x, y))
        offset = (y * self.width + x) * 3
        return tuple(self.data[offset:offset + 3])


def close_to(actual, expected, tolerance=4):
    return all(abs(a - e) <= tolerance for a, e in zip(actual, expected))


def blend(premultiplied, alpha, opacity=255, background=BACKGROUND):
    """What a compositor shows for a premultiplied pixel painted at opacity over background."""
    scale = opacity / 255.0
    cover = alpha * scale / 255.0
    return tuple(round(c * scale + b * (1 - cover)) for c, b in zip(premultiplied, background))


class Program:
    """A started program whose standard output lines are collected as they come."""

    def __init__(self, process):
        self.process = process
        self.lines = []
        self._changed = threading.Condition()
        self._reader = threading.Thread(target=self._read, daemon=True)
        self._reader.start()

    def _read(self):
        for raw in self.process.stdout:
            line = raw.decode("utf-8", "replace").rstrip("\n")
            with self._changed:
                self.lines.append(line)
                self._changed.notify_all()

    def mark(self):
        """A position in the output: wait_for(..., after=mark) looks only at lines after it."""
        with self._changed:
            return len(self.lines)

    def last_line(self):
        with self._changed:
            return self.lines[-1] if self.lines else None

    def find(self, pattern, after=0):
        with self._changed:
            for index in range(after, len(self.lines)):
                match = re.search(pattern, self.lines[index])
                if match:
                    return index, match
        return None

    def wait_for(self, pattern, after=0, timeout=10.0):
        """The first match of pattern in a line after the mark, waiting for it; fails on timeout."""
        deadline = time.monotonic() + timeout
        with self._changed:
            while True:
                for line in self.lines[after:]:
                    match = re.search(pattern, line)
                    if match:
                        return match
                left = deadline - time.monotonic()
                if left <= 0:
                    tail = "\n  ".join(self.lines[-15:])
                    raise AssertionError("no line matching %r within %.0f s; last lines:\n  %s"
                                         % (pattern, timeout, tail))
                self._changed.wait(min(left, 0.1))

    def send(self, command):
        self.process.stdin.write((command + "\n").encode())
        self.process.stdin.flush()

    def wait_exit(self, timeout=10.0):
        try:
            return self.process.wait(timeout)
        except subprocess.TimeoutExpired:
            raise AssertionError("the program did not end within %.0f s" % timeout)


class Display:
    """One Xvfb screen; its commands run with DISPLAY set to it."""

    def __init__(self, session, name, width, height):
        self.session, self.name, self.width, self.height = session, name, width, height
        self.env = dict(os.environ, DISPLAY=name, NO_AT_BRIDGE="1")
        self.env.pop("WAYLAND_DISPLAY", None)
        self.compositor = None

    def run(self, *args, timeout=10.0):
        return subprocess.run(args, env=self.env, check=True, timeout=timeout, stdout=subprocess.PIPE,
                              stderr=subprocess.PIPE).stdout

    def start_compositor(self):
        """Starts xcompmgr and waits until it has taken the screen's compositing selection."""
        self.compositor = self.session.start(["xcompmgr"], env=self.env, stderr=subprocess.DEVNULL)
        # xcompmgr names the window that owns the selection after itself.
        wait_until(lambda: self.find_window("^xcompmgr$"), what="xcompmgr to register")

    def stop_compositor(self):
        if self.compositor is not None:
            self.session.stop(self.compositor)
            self.compositor = None

    def start_tray(self):
        """Starts trayer, an XEmbed tray, along the top edge from the left, so the first tray icon
        sits at TRAY_ICON; returns False when trayer is not installed."""
        if shutil.which("trayer") is None:
            return False
        self.session.start(["trayer", "--edge", "top", "--align", "left", "--widthtype", "request",
                            "--height", "24", "--SetDockType", "false", "--SetPartialStrut", "false"],
                           env=self.env, stderr=subprocess.DEVNULL)
        wait_until(lambda: self.find_window("^panel$"), what="trayer to start")
        return True

    def open_tray_menu(self, name_pattern="^VelissaDesk$"):
        """Clicks the first tray icon until a pop-up menu (a new window taller than 100 pixels named
        name_pattern) shows, and returns that window."""
        before = set(self.find_window(name_pattern, only_visible=True))

        def menu_window():
            for window in set(self.find_window(name_pattern, only_visible=True)) - before:
                geometry = self.geometry(window)
                if geometry is not None and geometry[3] > 100:
                    return window
            return None

        def menu_from_the_tray():
            # The icon embeds once the tray has answered; until then a click finds no icon. A click
            # while the menu is on its way would close it again: each click has its time to show it.
            self.click(*TRAY_ICON)
            try:
                return wait_until(menu_window, timeout=3)
            except AssertionError:
                return None

        return wait_until(menu_from_the_tray, timeout=30, what="the menu from the XEmbed tray icon")

    def find_window(self, name_pattern, only_visible=False):
        """The ids of the windows whose name matches, or an empty list."""
        result = subprocess.run(["xdotool", "search"] + (["--onlyvisible"] if only_visible else []) +
                                ["--name", name_pattern], env=self.env,
                                stdout=subprocess.PIPE, stderr=subprocess.DEVNULL, timeout=10)
        return result.stdout.split()

    def geometry(self, window):
        """(x, y, width, height) of a window on the screen; None once it is gone."""
        result = subprocess.run(["xdotool", "getwindowgeometry", "--shell", window], env=self.env,
                                stdout=subprocess.PIPE, stderr=subprocess.DEVNULL, timeout=10)
        values = dict(line.split("=", 1) for line in result.stdout.decode().split() if "=" in line)
        if result.returncode != 0 or not all(key in values for key in ("X", "Y", "WIDTH", "HEIGHT")):
            return None
        return tuple(int(values[key]) for key in ("X", "Y", "WIDTH", "HEIGHT"))

    def set_work_area(self, x, y, width, height):
        """Announces a work area on the root window as a window manager does (_NET_WORKAREA), so that
        programs see the screen less a panel."""
        x11 = ctypes.CDLL(ctypes.util.find_library("X11") or "libX11.so.6")
        x11.XOpenDisplay.restype = ctypes.c_void_p
        x11.XOpenDisplay.argtypes = [ctypes.c_char_p]
        x11.XDefaultRootWindow.restype = ctypes.c_ulong
        x11.XDefaultRootWindow.argtypes = [ctypes.c_void_p]
        x11.XInternAtom.restype = ctypes.c_ulong
        x11.XInternAtom.argtypes = [ctypes.c_void_p, ctypes.c_char_p, ctypes.c_int]
        x11.XChangeProperty.argtypes = [ctypes.c_void_p, ctypes.c_ulong, ctypes.c_ulong, ctypes.c_ulong,
                                        ctypes.c_int, ctypes.c_int, ctypes.c_void_p, ctypes.c_int]
        x11.XCloseDisplay.argtypes = [ctypes.c_void_p]
        connection = x11.XOpenDisplay(self.name.encode())
        if not connection:
            raise AssertionError("cannot open display " + self.name)
        root = x11.XDefaultRootWindow(connection)

        def put(name, kind, values):
            data = (ctypes.c_ulong * len(values))(*values)  # format 32 is passed as longs
            x11.XChangeProperty(connection, root, x11.XInternAtom(connection, name.encode(), 0), kind, 32, 0,
                                data, len(values))

        xa_atom, xa_cardinal, xa_window = 4, 6, 33
        # GDK reads _NET_WORKAREA only from a window manager that names itself: the root stands in.
        put("_NET_SUPPORTING_WM_CHECK", xa_window, [root])
        put("_NET_SUPPORTED", xa_atom, [x11.XInternAtom(connection, b"_NET_WORKAREA", 0)])
        put("_NET_WORKAREA", xa_cardinal, [x, y, width, height])
        x11.XCloseDisplay(connection)

    def clipboard(self):
        """The text of the CLIPBOARD selection, or None when nobody offers text."""
        result = subprocess.run(["xclip", "-o", "-selection", "clipboard"], env=self.env, stdout=subprocess.PIPE,
                                stderr=subprocess.DEVNULL, timeout=10)
        return result.stdout.decode("utf-8", "replace") if result.returncode == 0 else None

    def screenshot(self):
        data = self.run("import", "-silent", "-window", "root", "-depth", "8", "rgb:-")
        if len(data) != self.width * self.height * 3:
            raise AssertionError("screenshot has %d bytes" % len(data))
        return Image(self.width, self.height, data)

    def pixel(self, x, y):
        return self.screenshot().pixel(x, y)

    def wait_for_pixel(self, x, y, expected, tolerance=4, timeout=10.0):
        """Waits until the screen shows expected at (x, y), give or take tolerance per channel."""
        last = []

        def shows():
            last[:] = [self.pixel(x, y)]
            return close_to(last[0], expected, tolerance)

        try:
            wait_until(shows, timeout, "pixel (%d, %d) to be %s" % (x, y, expected))
        except AssertionError as failure:
            raise AssertionError("%s; it is %s" % (failure, last[0] if last else None))

    def xdotool(self, *args):
        self.run("xdotool", *[str(arg) for arg in args])

    def move(self, x, y):
        self.xdotool("mousemove", x, y)  # no --sync: it waits forever when the pointer is there already

    def click(self, x, y, button=1, repeat=1):
        self.move(x, y)
        self.xdotool("click", "--repeat", repeat, "--delay", 60, button)

    def drag(self, start, end, button=1, steps=8, ready_to_drop=None):
        """Presses button at start, moves to end in steps, and lets go there; with ready_to_drop, only
        once it gives true, nudging the pointer by a pixel meanwhile (a drop target answers motion).
        end may be a function that gives the point: a target that moves is aimed at again each nudge."""
        aim = end if callable(end) else (lambda: end)
        self.move(*start)
        self.xdotool("mousedown", button)
        # One burst, as from a quick hand: the program sees several motions in one turn of its loop.
        moves = []
        x, y = aim()
        for step in range(1, steps + 1):
            moves += ["mousemove", start[0] + (x - start[0]) * step // steps,
                      start[1] + (y - start[1]) * step // steps]
        self.xdotool(*moves)
        if ready_to_drop is not None:
            nudge = [0]

            def ready():
                nudge[0] ^= 1
                x, y = aim()
                self.move(x + nudge[0], y)
                return ready_to_drop()

            wait_until(ready, what="the drop target to accept")
        self.xdotool("mouseup", button)

    def key(self, *keys):
        self.xdotool("key", *keys)


class Session:
    """Owns every process a test starts and ends each by its id on the way out, also on SIGTERM."""

    def __init__(self):
        self.processes = []

    def __enter__(self):
        def end(signum, frame):
            raise SystemExit(128 + signum)

        signal.signal(signal.SIGTERM, end)
        signal.signal(signal.SIGINT, end)
        return self

    def __exit__(self, *exception):
        for process in reversed(self.processes):
            self.stop(process)
        return False

    def start(self, args, env=None, stdin=subprocess.DEVNULL, stdout=subprocess.DEVNULL, stderr=None,
              pass_fds=()):
        process = subprocess.Popen(args, env=env, stdin=stdin, stdout=stdout, stderr=stderr,
                                   pass_fds=pass_fds, preexec_fn=_die_with_parent)
        self.processes.append(process)
        return process

    def stop(self, process, timeout=5.0):
        if process.poll() is None:
            os.kill(process.pid, signal.SIGTERM)
            try:
                process.wait(timeout)
            except subprocess.TimeoutExpired:
                os.kill(process.pid, signal.SIGKILL)
                process.wait()
        for stream in (process.stdin, process.stdout):
            if stream is not None:
                with contextlib.suppress(OSError):
                    stream.close()

    def start_display(self, compositor, width=1024, height=768, background="#3060a0"):
        """Xvfb on a display number it picks itself (no race with parallel tests), with a solid root
        background, and xcompmgr when compositor is true."""
        ready, tell = os.pipe()
        self.start(["Xvfb", "-displayfd", str(tell), "-screen", "0", "%dx%dx24" % (width, height),
                    "-noreset", "-nolisten", "tcp"], pass_fds=(tell,))
        os.close(tell)
        number = b""
        deadline = time.monotonic() + 20
        while not number.endswith(b"\n"):
            if not select.select([ready], [], [], max(0.0, deadline - time.monotonic()))[0]:
                raise AssertionError("Xvfb did not start")
            chunk = os.read(ready, 16)
            if not chunk:
                raise AssertionError("Xvfb ended before it was ready")
            number += chunk
        os.close(ready)
        display = Display(self, ":" + number.decode().strip(), width, height)
        display.run("hsetroot", "-solid", background)
        if compositor:
            display.start_compositor()
        return display

    def start_program(self, args, display):
        """A program on display with pipes to its input and output (see Program)."""
        return Program(self.start(args, env=display.env, stdin=subprocess.PIPE, stdout=subprocess.PIPE))
