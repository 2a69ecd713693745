#!/usr/bin/env python3
"""cmake --install of the build into a temporary DESTDIR: the program, velissa-pack, the samples and the
guides land where they belong and nothing else does; with the gtk program also the desktop entry and
the icons. The installed velissa-pack verifies the installed samples, and the installed program, with
no install path configured, plays them (under Xvfb, when the desktop test tools are there).

Usage: install_test.py CMAKE BUILD_DIR SOURCE_DIR PLATFORM"""

import os
import shutil
import struct
import subprocess
import sys
import tempfile

sys.path.insert(0, os.path.join(os.path.dirname(os.path.abspath(__file__)), "..", "desktop"))
import desktop  # noqa: E402

PREFIX = "/usr/local"
ICON_SIZES = (16, 32, 48, 256)


def installed_files(root):
    found = set()
    for folder, _, files in os.walk(root):
        found.update(os.path.relpath(os.path.join(folder, name), root) for name in files)
    return found


def expected_files(build, source, platform):
    samples = os.path.join(build, "samples")
    files = {"bin/velissadesk", "bin/velissa-pack", "share/velissadesk/samples.kar"}
    files |= {"share/velissadesk/anim/" + name for name in os.listdir(os.path.join(samples, "anim"))}
    files |= {"share/velissadesk/docs/" + name for name in os.listdir(os.path.join(source, "docs"))}
    if platform == "gtk":
        files.add("share/applications/velissadesk.desktop")
        files |= {"share/icons/hicolor/%dx%d/apps/velissadesk.png" % (size, size) for size in ICON_SIZES}
    return files


def png_size(path):
    with open(path, "rb") as png:
        head = png.read(24)
    assert head[:8] == b"\x89PNG\r\n\x1a\n" and head[12:16] == b"IHDR", path + " is not a PNG"
    return struct.unpack(">II", head[16:24])


def check_desktop_entry(path):
    with open(path, encoding="utf-8") as entry:
        lines = entry.read().splitlines()
    assert lines[0] == "[Desktop Entry]", lines[0]
    keys = dict(line.split("=", 1) for line in lines[1:] if "=" in line)
    for key, value in (("Type", "Application"), ("Exec", "velissadesk"), ("Icon", "velissadesk"),
                       ("Terminal", "false")):
        assert keys.get(key) == value, "%s=%s in the desktop entry" % (key, keys.get(key))


def plays_the_installed_samples(root, home):
    """The installed program, with neither VELISSADESK_PATH nor a config file, shows a sample at the
    bottom-right corner of the screen."""
    if desktop.missing_tools(("Xvfb", "xdotool", "import", "hsetroot")):
        print("skipped running the installed program: desktop test tools are missing")
        return
    with desktop.Session() as session:
        display = session.start_display(compositor=False)
        env = dict(display.env, HOME=home, ASAN_OPTIONS="detect_leaks=0:abort_on_error=1")
        for name in ("VELISSADESK_PATH", "XDG_CONFIG_HOME"):
            env.pop(name, None)
        session.start([os.path.join(root, "bin", "velissadesk")], env=env)

        def character():
            for window in display.find_window("^VelissaDesk$", only_visible=True):
                geometry = display.geometry(window)
                if geometry is None:
                    continue
                x, y, width, height = geometry
                # The samples stand a few dozen pixels in from the corner.
                if width > 16 and display.width - 100 <= x + width <= display.width and \
                        display.height - 100 <= y + height <= display.height:
                    image = display.screenshot()
                    if any(image.pixel(px, py) != desktop.BACKGROUND
                           for px in range(x, x + width, 4) for py in range(y, y + height, 4)):
                        return True
            return False

        desktop.wait_until(character, timeout=20, what="the installed program to show a sample")


def main():
    if len(sys.argv) != 5:
        print(__doc__)
        return 2
    cmake, build, source, platform = sys.argv[1:]
    with tempfile.TemporaryDirectory() as scratch:
        destdir = os.path.join(scratch, "stage")
        subprocess.run([cmake, "--install", build, "--prefix", PREFIX], check=True, stdout=subprocess.DEVNULL,
                       env=dict(os.environ, DESTDIR=destdir))
        root = destdir + PREFIX
        assert installed_files(destdir) == {PREFIX[1:] + "/" + name for name in
                                             expected_files(build, source, platform)}, \
            "installed: %s" % sorted(installed_files(destdir))
        for program in ("velissadesk", "velissa-pack"):
            assert os.access(os.path.join(root, "bin", program), os.X_OK), program + " is not executable"
        data = os.path.join(root, "share", "velissadesk")
        for package in [os.path.join(data, "anim", name) for name in os.listdir(os.path.join(data, "anim"))] + \
                [os.path.join(data, "samples.kar")]:
            subprocess.run([os.path.join(root, "bin", "velissa-pack"), "verify", package], check=True,
                           stdout=subprocess.DEVNULL)
        if platform == "gtk":
            check_desktop_entry(os.path.join(root, "share", "applications", "velissadesk.desktop"))
            for size in ICON_SIZES:
                icon = os.path.join(root, "share", "icons", "hicolor", "%dx%d" % (size, size), "apps",
                                    "velissadesk.png")
                assert png_size(icon) == (size, size), icon
            home = os.path.join(scratch, "home")
            os.mkdir(home)
            plays_the_installed_samples(root, home)
    print("ok")
    return 0


if __name__ == "__main__":
    sys.exit(main())
