#!/usr/bin/env python3
"""CPU time of the real desktop program (gtk backend) under Xvfb with a compositor, as the percent of
one core over a stretch of wall time: playing a 256 x 256 animation at 10 frames a second, then with
the character hidden (Ctrl+F1). Read from /proc/<pid>/stat (user + system time).

With --wayland: on a headless sway instead (as root, sway running as another user), the character as
one layer surface over the output; hidden by "velissadesk --toggle"; the compositor's CPU beside.

Usage: desktop_cpu.py [--wayland] VELISSADESK VELISSA_PACK [SECONDS]"""

import math
import os
import subprocess
import sys
import tempfile
import time

sys.path.insert(0, os.path.join(os.path.dirname(os.path.abspath(__file__)), "..", "tests", "desktop"))
sys.path.insert(0, os.path.join(os.path.dirname(os.path.abspath(__file__)), "..", "tests", "desktop", "wayland"))
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


def measure_wayland(session, scratch, program, seconds):
    import wayland_test
    sway = wayland_test.Sway(session, scratch)
    compositor = session.processes[-1].pid
    env = dict(sway.env, VELISSADESK_PATH=scratch)
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
    wayland = "--wayland" in sys.argv[1:]
    arguments = [a for a in sys.argv[1:] if a != "--wayland"]
    if len(arguments) not in (2, 3):
        print(__doc__)
        return 2
    program, velissa_pack = arguments[0:2]
    seconds = float(arguments[2]) if len(arguments) == 3 else 20.0
    if not wayland:
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
        if wayland:
            measure_wayland(session, scratch, program, seconds)
            return 0
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
