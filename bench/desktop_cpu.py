#!/usr/bin/env python3
"""CPU time of the real desktop program (gtk backend) under Xvfb with a compositor, as the percent of
one core over a stretch of wall time: playing a 256 x 256 animation at 10 frames a second, then with
the character hidden (Ctrl+F1). Read from /proc/<pid>/stat (user + system time).

Usage: desktop_cpu.py VELISSADESK VELISSA_PACK [SECONDS]"""

import math
import os
import subprocess
import sys
import tempfile
import time

sys.path.insert(0, os.path.join(os.path.dirname(os.path.abspath(__file__)), "..", "tests", "desktop"))
import desktop  # noqa: E402

SIZE = 256
POSITION = (-50, -50)


def frame_pixel(index):
    """Frame index of ten: a disc in its own colour with a soft edge of alpha, as a character has."""
    colour = (20 * index, 120, 200 - 15 * index)

    def pixel(x, y):
        distance = math.hypot(x - SIZE / 2, y - SIZE / 2)
        alpha = max(0, min(255, int((SIZE * 0.45 - distance) * 16)))
        return colour + (alpha,)
    return pixel


def cpu_seconds(pid):
    with open("/proc/%d/stat" % pid) as stat:
        fields = stat.read().rsplit(")", 1)[1].split()
    return (int(fields[11]) + int(fields[12])) / os.sysconf("SC_CLK_TCK")  # utime, stime


def cpu_percent(pid, seconds):
    cpu, wall = cpu_seconds(pid), time.monotonic()
    time.sleep(seconds)
    return 100.0 * (cpu_seconds(pid) - cpu) / (time.monotonic() - wall)


def main():
    if len(sys.argv) not in (3, 4):
        print(__doc__)
        return 2
    program, velissa_pack = sys.argv[1:3]
    seconds = float(sys.argv[3]) if len(sys.argv) == 4 else 20.0
    desktop.skip_unless_tools()
    with tempfile.TemporaryDirectory() as scratch, desktop.Session() as session:
        frames = []
        for index in range(10):
            frames.append(os.path.join(scratch, "frame_%d.png" % index))
            desktop.write_png(frames[-1], SIZE, SIZE, frame_pixel(index))
        os.makedirs(os.path.join(scratch, "anim"))
        subprocess.run([velissa_pack, "create", os.path.join(scratch, "anim", "bench.dat"), "--name", "Bench",
                        "--position", "%d,%d" % POSITION, "--duration", "0.1", "--loop"] + frames,
                       check=True, stdout=subprocess.DEVNULL)
        display = session.start_display(compositor=True)
        process = session.start([program], env=dict(display.env, VELISSADESK_PATH=scratch))
        centre = (display.width + POSITION[0] - SIZE // 2, display.height + POSITION[1] - SIZE // 2)
        desktop.wait_until(lambda: display.pixel(*centre) != desktop.BACKGROUND, what="the character")
        time.sleep(1.5)  # past the fade-in
        playing = cpu_percent(process.pid, seconds)
        display.key("ctrl+F1")
        display.wait_for_pixel(*centre, desktop.BACKGROUND)
        hidden = cpu_percent(process.pid, seconds)
        print("gtk playing        %6.2f %% of one core  (%.0f s, Xvfb + xcompmgr, 256 x 256 at 10 fps)"
              % (playing, seconds))
        print("gtk hidden         %6.2f %% of one core  (%.0f s)" % (hidden, seconds))
    return 0


if __name__ == "__main__":
    sys.exit(main())
