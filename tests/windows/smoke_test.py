#!/usr/bin/env python3
"""The Windows program under Wine of its width on a real X display (Xvfb with xcompmgr), in a fresh
prefix with the install path in the registry: it starts, the character shows at the bottom-right of the
work area over the known background, a right-click opens the menu, whose Quick Hide/Show hides it; a
second start on the same install path ends at once with status 0 and the running copy shows its
character again; "--toggle" then hides it and, again, shows it, each ending at once with status 0; Exit
ends the program with status 0, and "--toggle" with no copy running starts it.
Usage: smoke_test.py VELISSADESK_EXE DEVIL_DLL SAMPLES_DIR WINE_RUN win32|win64 (skipped, exit 77,
without Wine or the tools). WINE_RUN is cmake/wine-run.sh, which starts the Wine of that width.

Noted, not worked around: under Wine the hot key works only while the program has the focus, and
files dropped from X programs do not arrive."""

import glob
import os
import shutil
import subprocess
import sys
import tempfile

sys.path.insert(0, os.path.join(os.path.dirname(os.path.abspath(__file__)), "..", "desktop"))
import desktop  # noqa: E402

# Where the character is looked for: a box at the bottom-right corner, and a point far from it.
CORNER_BOX = 320
FAR_POINT = (60, 60)


def differing_pixels(image, box):
    """The points of the bottom-right box (every second pixel) that are not the background."""
    found = []
    for y in range(image.height - box, image.height, 2):
        for x in range(image.width - box, image.width, 2):
            if not desktop.close_to(image.pixel(x, y), desktop.BACKGROUND, 8):
                found.append((x, y))
    return found


def visible_windows(display):
    result = subprocess.run(["xdotool", "search", "--onlyvisible", "--name", ""], env=display.env,
                            stdout=subprocess.PIPE, stderr=subprocess.DEVNULL, timeout=10)
    return set(result.stdout.split())


def main():
    exe, devil, samples, wine_run, winearch = sys.argv[1:6]
    desktop.skip_unless_tools(desktop.TOOLS + ("wineserver",))
    packages = sorted(glob.glob(os.path.join(samples, "anim", "*.dat")))
    if not packages:
        print("skipped: no sample packages in %s/anim" % samples)
        return desktop.SKIP

    with tempfile.TemporaryDirectory(prefix="velissa-wine-") as work, desktop.Session() as session:
        # The program with the DevIL.dll beside it, and an install directory of two samples.
        program_dir, install = os.path.join(work, "program"), os.path.join(work, "install")
        os.makedirs(program_dir)
        os.makedirs(os.path.join(install, "anim"))
        shutil.copy(exe, os.path.join(program_dir, "velissadesk.exe"))
        shutil.copy(devil, os.path.join(program_dir, "DevIL.dll"))
        for package in packages[:2]:
            shutil.copy(package, os.path.join(install, "anim"))

        display = session.start_display(compositor=True)
        prefix = os.path.join(work, "prefix")
        env = dict(display.env, WINEPREFIX=prefix, WINEDEBUG="-all")

        def in_wine(*args):
            return ["bash", wine_run, winearch, prefix, ""] + list(args)

        def wine(*args, timeout=120):
            subprocess.run(in_wine(*args), env=env, check=True, timeout=timeout, stdin=subprocess.DEVNULL,
                           stdout=subprocess.DEVNULL, stderr=subprocess.DEVNULL)

        try:
            wine("wineboot", "-i", timeout=240)
            wine("reg", "add", r"HKCU\Software\Wine\WineDbg", "/v", "ShowCrashDialog",
                 "/t", "REG_DWORD", "/d", "0", "/f")
            # Wine shows the Unix root as drive Z:.
            wine("reg", "add", r"HKCU\Software\Orvant\VelissaDesk", "/v", "path", "/t", "REG_SZ",
                 "/d", "Z:" + install.replace("/", "\\"), "/f")
            return run_program(session, display, env, in_wine(os.path.join(program_dir, "velissadesk.exe")))
        finally:
            subprocess.run(["wineserver", "-k"], env=env, timeout=60, stderr=subprocess.DEVNULL)


def run_program(session, display, env, command):
    program = session.start(command, env=env, stdout=subprocess.DEVNULL, stderr=subprocess.DEVNULL)

    # The character fades in at the bottom-right; nothing is painted far from it. A point counts as
    # the character's once it differs from the background in two screenshots in a row (it moves).
    def character_points():
        first = set(differing_pixels(display.screenshot(), CORNER_BOX))
        return sorted(first & set(differing_pixels(display.screenshot(), CORNER_BOX)))

    points = desktop.wait_until(character_points, timeout=60, what="the character at the bottom-right")
    image = display.screenshot()
    assert desktop.close_to(image.pixel(*FAR_POINT), desktop.BACKGROUND), image.pixel(*FAR_POINT)
    # Blended, not boxed: the window's transparent pixels show the background, so part of the box
    # round the character still does (unblended, it would be black or the window's own colour).
    left, right = min(x for x, _ in points), max(x for x, _ in points)
    top, bottom = min(y for _, y in points), max(y for _, y in points)
    box = [(x, y) for x in range(left, right + 1, 2) for y in range(top, bottom + 1, 2)]
    background = [point for point in box if desktop.close_to(image.pixel(*point), desktop.BACKGROUND)]
    assert len(background) * 20 > len(box), "the character's box shows no background: not blended"

    def choose_from_the_menu(*keys):
        # A right-click on the middle of the character's points opens the menu: a window of its own.
        windows_before = visible_windows(display)
        display.click(*points[len(points) // 2], button=3)
        desktop.wait_until(lambda: visible_windows(display) - windows_before, timeout=20, what="the menu to open")
        display.key(*keys)

    # From no selection, Up reaches the last item, Quick Hide/Show; the item above it is Exit.
    choose_from_the_menu("Up", "Return")
    desktop.wait_until(lambda: not character_points(), timeout=20, what="the character to hide")

    def hand_over(*args, what):
        later = subprocess.run(command + list(args), env=env, timeout=120, stdin=subprocess.DEVNULL,
                               stdout=subprocess.DEVNULL, stderr=subprocess.DEVNULL)
        assert later.returncode == 0, "%s: exit status %d" % (what, later.returncode)
        assert program.poll() is None, "the running copy ended at %s" % what

    # A second start shows the character again; "--toggle" hides and shows it, as the hot key does.
    hand_over(what="a second start")
    points = desktop.wait_until(character_points, timeout=30, what="the running copy to show its character again")
    hand_over("--toggle", what="the first --toggle")
    desktop.wait_until(lambda: not character_points(), timeout=20, what="the character to hide at --toggle")
    hand_over("--toggle", what="the second --toggle")
    points = desktop.wait_until(character_points, timeout=30, what="the character to show at --toggle")

    def exit_from_the_menu():
        choose_from_the_menu("Up", "Up", "Return")
        status = desktop.wait_until(lambda: program.poll() is not None and (program.returncode,), timeout=60,
                                    what="the program to end")[0]
        assert status == 0, "exit status %d" % status

    exit_from_the_menu()
    # With no copy running, "--toggle" starts the program.
    desktop.wait_until(lambda: not character_points(), timeout=20, what="the character to go at Exit")
    program = session.start(command + ["--toggle"], env=env, stdout=subprocess.DEVNULL, stderr=subprocess.DEVNULL)
    points = desktop.wait_until(character_points, timeout=60, what="the character of a --toggle start")
    exit_from_the_menu()
    print("the character showed, hid from the menu, came back at a second start, hid and showed at --toggle, "
          "Exit ended the program, and --toggle started it again")
    return 0


if __name__ == "__main__":
    sys.exit(main())
