#!/usr/bin/env python3
"""What the real desktop program (gtk backend) costs under Xvfb with xcompmgr and openbox: CPU time of
all its threads from /proc/<pid>/task/*/schedstat as the percent of one core over a stretch of wall
time, frames presented a second (an uprobe on present_frame, where perf can place one), and peak
memory (VmHWM). Each row runs on a display of its own, so that the program is the first GTK program
there unless the row says otherwise:
- a 256 x 256 animation at 10 frames a second, playing, then hidden (Ctrl+F1);
- the bundled samples playing (they rotate every 10 s), with their peak memory;
- the samples again, with another GTK program started on the display first;
- a 300-frame 512 x 512 animation at 25 frames a second (300 MiB once decoded);
- with --floor, what any GTK program pays on the same rig to copy a picture of the samples' size into
  its window 20 times a second (gtk_floor_bench): the least that playing at that rate can cost there.

With --wayland: on a headless sway instead (as root, sway running as another user), the character as
one layer surface over the output; hidden by "velissadesk --toggle"; the compositor's CPU beside.

Usage: desktop_cpu.py [--floor GTK_FLOOR_BENCH] VELISSADESK VELISSA_PACK SAMPLES_DIR [SECONDS]
       desktop_cpu.py --wayland VELISSADESK VELISSA_PACK [SECONDS]"""

import contextlib
import math
import os
import shutil
import subprocess
import sys
import tempfile
import time
import struct
import zlib

sys.path.insert(0, os.path.join(os.path.dirname(os.path.abspath(__file__)), "..", "tests", "desktop"))
sys.path.insert(0, os.path.join(os.path.dirname(os.path.abspath(__file__)), "..", "tests", "desktop", "wayland"))
import desktop  # noqa: E402

SIZE = 256
POSITION = (-50, -50)
LONG_FRAMES, LONG_SIZE = 300, 512


def frame_pixel(index):
    """Frame index of ten: a disc in its own colour with a soft edge of alpha, as a character has."""
    colour = (20 * index, 120, 200 - 15 * index)

    def pixel(x, y):
        distance = math.hypot(x - SIZE / 2, y - SIZE / 2)
        alpha = max(0, min(255, int((SIZE * 0.45 - distance) * 16)))
        return colour + (alpha,)
    return pixel


def write_disc_png(path, size, index):
    """A size x size PNG of an opaque disc whose colour, size and place differ with index: built a row
    at a time, since 300 frames of 512 x 512 pixels are too many to make pixel by pixel."""
    colour = bytes(((37 * index) % 256, (90 + 3 * index) % 256, (200 - 5 * index) % 256, 255))
    clear = bytes(4)
    radius = size * 0.3 + (index % 50)
    centre_x, centre_y = size / 2 + (index % 30) - 15, size / 2 - (index % 20) + 10
    rows = []
    for y in range(size):
        half = radius * radius - (y + 0.5 - centre_y) ** 2
        left = right = 0
        if half > 0:
            left = max(0, min(size, int(centre_x - math.sqrt(half))))
            right = max(left, min(size, int(centre_x + math.sqrt(half))))
        rows.append(b"\0" + clear * left + colour * (right - left) + clear * (size - right))

    def chunk(kind, data):
        return struct.pack(">I", len(data)) + kind + data + struct.pack(">I", zlib.crc32(kind + data))

    with open(path, "wb") as png:
        png.write(b"\x89PNG\r\n\x1a\n" + chunk(b"IHDR", struct.pack(">IIBBBBB", size, size, 8, 6, 0, 0, 0)) +
                  chunk(b"IDAT", zlib.compress(b"".join(rows), 1)) + chunk(b"IEND", b""))


def cpu_seconds(pid):
    """CPU time of all the process's threads, to the nanosecond: each thread's run time in its
    schedstat. The utime and stime of /proc/PID/stat count whole clock ticks (10 ms) and are each cut
    down to one, which over a 20 s row of a program at a few tenths of a percent is an error of up to
    0.1 %. A thread that ended took its time with it; the program's threads last its whole run."""
    total = 0
    for thread in os.listdir("/proc/%d/task" % pid):
        with contextlib.suppress(FileNotFoundError, ProcessLookupError):
            with open("/proc/%d/task/%s/schedstat" % (pid, thread)) as schedstat:
                total += int(schedstat.read().split()[0])
    return total / 1e9


def peak_memory_mb(pid):
    with open("/proc/%d/status" % pid) as status:
        for line in status:
            if line.startswith("VmHWM:"):
                return int(line.split()[1]) * 1024 / 1e6
    return float("nan")


def gl_driver_loaded(pid):
    with open("/proc/%d/maps" % pid) as maps:
        return any(name in line for line in maps for name in ("_dri.so", "libLLVM", "libGLX_mesa"))


class PresentCounter:
    """Counts calls of present_frame in the program through an uprobe; off where perf cannot place one
    (not root, no tracefs), and then every count is None."""

    def __init__(self, program):
        self.event = None
        if shutil.which("perf") is None or os.geteuid() != 0:
            return
        quiet = dict(stdout=subprocess.DEVNULL, stderr=subprocess.DEVNULL)
        subprocess.run(["perf", "probe", "-q", "-d", "probe_velissadesk:present_frame"], **quiet)
        if subprocess.run(["perf", "probe", "-q", "-x", program, "-a", "present_frame"], **quiet).returncode == 0:
            self.event = "probe_velissadesk:present_frame"

    def start(self, pid, seconds):
        if self.event is None:
            return None
        return subprocess.Popen(["perf", "stat", "-x,", "-e", self.event, "-p", str(pid), "--", "sleep",
                                 str(seconds)], stdout=subprocess.DEVNULL, stderr=subprocess.PIPE, text=True)

    @staticmethod
    def per_second(counting, seconds):
        if counting is None:
            return None
        output = counting.communicate()[1]
        for line in output.splitlines():
            with contextlib.suppress(ValueError, IndexError):
                return int(line.split(",")[0]) / seconds
        return None

    def remove(self):
        if self.event is not None:
            subprocess.run(["perf", "probe", "-q", "-d", self.event], stdout=subprocess.DEVNULL,
                           stderr=subprocess.DEVNULL)


def measure(pid, seconds, counter):
    """CPU percent of one core and presents a second over the next seconds."""
    counting = counter.start(pid, seconds)
    cpu, wall = cpu_seconds(pid), time.monotonic()
    time.sleep(seconds)
    cpu_percent = 100.0 * (cpu_seconds(pid) - cpu) / (time.monotonic() - wall)
    return cpu_percent, PresentCounter.per_second(counting, seconds)


def start_desktop(session):
    """A display of its own with xcompmgr and, where it is installed, openbox."""
    display = session.start_display(compositor=True)
    if shutil.which("openbox"):
        session.start(["openbox"], env=display.env, stderr=subprocess.DEVNULL)
        desktop.wait_until(lambda: b"window id" in display.run("xprop", "-root", "_NET_SUPPORTING_WM_CHECK"),
                           what="openbox")
    return display


def rate_text(presents):
    return "" if presents is None else ", %.1f presents/s" % presents


def report(name, cpu, presents, detail, peak=None, pid=None):
    memory = "" if peak is None else "  peak %5.1f MB%s" % (peak, ", GL driver loaded" if gl_driver_loaded(pid) else "")
    print("gtk %-18s %6.2f %% of one core%s%s  (%s)" % (name, cpu, memory, rate_text(presents), detail))
    sys.stdout.flush()


def pack(velissa_pack, out, name, frames, duration):
    os.makedirs(os.path.dirname(out), exist_ok=True)
    subprocess.run([velissa_pack, "create", out, "--name", name, "--position", "%d,%d" % POSITION, "--duration",
                    str(duration), "--loop"] + frames, check=True, stdout=subprocess.DEVNULL)


def disc_animation(scratch, velissa_pack):
    folder = os.path.join(scratch, "disc")
    frames = []
    for index in range(10):
        frames.append(os.path.join(scratch, "frame_%d.png" % index))
        desktop.write_png(frames[-1], SIZE, SIZE, frame_pixel(index))
    pack(velissa_pack, os.path.join(folder, "anim", "bench.dat"), "Bench", frames, 0.1)
    return folder


def long_animation(scratch, velissa_pack):
    folder = os.path.join(scratch, "long")
    frames = []
    for index in range(LONG_FRAMES):
        frames.append(os.path.join(scratch, "long_%03d.png" % index))
        write_disc_png(frames[-1], LONG_SIZE, index)
    pack(velissa_pack, os.path.join(folder, "anim", "long.dat"), "Long", frames, 0.04)
    for frame in frames:
        os.remove(frame)
    return folder


def run_program(session, display, program, folder):
    process = session.start([program], env=dict(display.env, VELISSADESK_PATH=folder))
    time.sleep(2.5)  # start-up and the fade-in
    if process.poll() is not None:
        raise AssertionError("the program ended at start-up")
    return process


def cpu_percent(pid, seconds):
    start, wall = cpu_seconds(pid), time.monotonic()
    time.sleep(seconds)
    return 100.0 * (cpu_seconds(pid) - start) / (time.monotonic() - wall)


def measure_row(program, folder, seconds, counter, name, detail, before=None):
    """One row on a display of its own: the program playing folder, with its peak memory; first, where
    before is a folder, the program on it with GDK's default GL, as another GTK program."""
    with desktop.Session() as session:
        display = start_desktop(session)
        if before is not None:
            session.start([program], env=dict(display.env, VELISSADESK_PATH=before, GDK_GL=""))
            time.sleep(2.0)
        process = run_program(session, display, program, folder)
        cpu, presents = measure(process.pid, seconds, counter)
        report(name, cpu, presents, detail, peak_memory_mb(process.pid), process.pid)


def main_wayland(arguments):
    if len(arguments) not in (2, 3):
        print(__doc__)
        return 2
    program, velissa_pack = arguments[0:2]
    seconds = float(arguments[2]) if len(arguments) == 3 else 20.0
    with tempfile.TemporaryDirectory() as scratch, desktop.Session() as session:
        measure_wayland(session, scratch, disc_animation(scratch, velissa_pack), program, seconds)
    return 0


def measure_wayland(session, scratch, folder, program, seconds):
    import wayland_test
    sway = wayland_test.Sway(session, scratch)
    compositor = session.processes[-1].pid
    env = dict(sway.env, VELISSADESK_PATH=folder)
    process = session.start([program], env=env, stderr=subprocess.DEVNULL)
    desktop.wait_until(lambda: sway.windows("Warning"), 20, "the start-up notice")
    subprocess.run(["swaymsg", '[title="Warning"] kill'], env=sway.env, stdout=subprocess.DEVNULL)
    desktop.wait_until(lambda: wayland_test.character_box(sway.screenshot()), 20, "the character")
    time.sleep(1.5)
    cpu, sway_cpu = cpu_seconds(process.pid), cpu_seconds(compositor)
    wall = time.monotonic()
    time.sleep(seconds)
    elapsed = time.monotonic() - wall
    playing = 100.0 * (cpu_seconds(process.pid) - cpu) / elapsed
    sway_playing = 100.0 * (cpu_seconds(compositor) - sway_cpu) / elapsed
    subprocess.run([program, "--toggle"], env=env, check=True, stderr=subprocess.DEVNULL)
    desktop.wait_until(lambda: wayland_test.character_box(sway.screenshot()) is None, 20, "the character hidden")
    hidden = cpu_percent(process.pid, seconds)
    print("wayland playing    %6.2f %% of one core  (%.0f s, headless sway 800 x 600, 256 x 256 at 10 fps)"
          % (playing, seconds))
    print("  sway meanwhile   %6.2f %% of one core  (pixman)" % sway_playing)
    print("wayland hidden     %6.2f %% of one core  (%.0f s)" % (hidden, seconds))


def main():
    if sys.argv[1:2] == ["--wayland"]:
        return main_wayland(sys.argv[2:])
    arguments = sys.argv[1:]
    floor = None
    if arguments[0:1] == ["--floor"] and len(arguments) > 1:
        floor, arguments = arguments[1], arguments[2:]
    if len(arguments) not in (3, 4):
        print(__doc__)
        return 2
    program, velissa_pack, samples = arguments[0:3]
    seconds = float(arguments[3]) if len(arguments) == 4 else 20.0
    desktop.skip_unless_tools(desktop.TOOLS + ("xprop",))
    counter = PresentCounter(program)
    try:
        with tempfile.TemporaryDirectory() as scratch:
            disc = disc_animation(scratch, velissa_pack)
            with desktop.Session() as session:
                display = start_desktop(session)
                process = run_program(session, display, program, disc)
                centre = (display.width + POSITION[0] - SIZE // 2, display.height + POSITION[1] - SIZE // 2)
                desktop.wait_until(lambda: display.pixel(*centre) != desktop.BACKGROUND, what="the character")
                cpu, presents = measure(process.pid, seconds, counter)
                report("playing", cpu, presents, "%.0f s, 256 x 256 at 10 fps" % seconds)
                display.key("ctrl+F1")
                display.wait_for_pixel(*centre, desktop.BACKGROUND)
                cpu, presents = measure(process.pid, seconds, counter)
                report("hidden", cpu, presents, "%.0f s" % seconds)

            measure_row(program, samples, seconds, counter, "samples",
                        "%.0f s, first GTK program on the display" % seconds)
            # Another GTK program first: the program itself on an empty folder, with GL as GDK chooses
            # by default, which leaves its choice of visuals on the display.
            empty = os.path.join(scratch, "empty")
            os.makedirs(os.path.join(empty, "anim"))
            measure_row(program, samples, seconds, counter, "samples, not first",
                        "%.0f s, another GTK program started before" % seconds, before=empty)
            measure_row(program, long_animation(scratch, velissa_pack), seconds, counter, "300 x 512 x 512",
                        "%.0f s, 25 fps wanted" % seconds)
            if floor is not None:
                with desktop.Session() as session:
                    display = start_desktop(session)
                    process = session.start([floor], env=display.env)
                    time.sleep(2.5)
                    report("floor", cpu_percent(process.pid, seconds), None,
                           "%.0f s, any GTK program copying 150 x 180 pixels 20 times a second" % seconds)
    finally:
        counter.remove()
    return 0


if __name__ == "__main__":
    sys.exit(main())
