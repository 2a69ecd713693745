#!/usr/bin/env python3
"""cmake --install of the build into a temporary DESTDIR: the program, velissa-pack, the samples and the
guides land where they belong and nothing else does; with the gtk program also the desktop entry and
the icons. The installed velissa-pack verifies the installed samples, and the installed program, with
no install path configured, fills the user's own data folder with copies of them, plays them and
installs a dropped package there (under Xvfb, when the desktop test tools are there).

Usage: install_test.py CMAKE BUILD_DIR SOURCE_DIR PLATFORM"""

import os
import shutil
import struct
import subprocess
import sys
import tempfile

sys.path.insert(0, os.path.join(os.path.dirname(os.path.abspath(__file__)), "..", "desktop"))
import desktop  # noqa: E402
import program_test  # noqa: E402

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
        files |= {"share/man/man1/%s.1.gz" % name for name in ("velissadesk", "velissa-pack")}
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


def first_start_makes_the_data_folder(root, home, build):
    """The installed program, with neither VELISSADESK_PATH nor a config file, makes the user's own
    folder ~/.local/share/VelissaDesk with copies of the samples and guides, shows a sample at the
    bottom-right corner of the screen, and installs a package dropped on it into that folder."""
    if desktop.missing_tools(("Xvfb", "xdotool", "import", "hsetroot")):
        print("skipped running the installed program: desktop test tools are missing")
        return
    data = os.path.join(home, ".local", "share", "VelissaDesk")
    bundled = os.path.join(root, "share", "velissadesk")
    dropped = os.path.join(home, "drop", program_test.ORANGE.file + ".dat")
    os.makedirs(os.path.dirname(dropped))
    program_test.ORANGE.pack(os.path.join(root, "bin", "velissa-pack"), os.path.dirname(dropped), dropped)
    with desktop.Session() as session:
        display = session.start_display(compositor=False)
        env = dict(display.env, HOME=home, ASAN_OPTIONS="detect_leaks=0:abort_on_error=1")
        for name in ("VELISSADESK_PATH", "XDG_CONFIG_HOME", "XDG_DATA_HOME"):
            env.pop(name, None)
        session.start([os.path.join(root, "bin", "velissadesk")], env=env)

        def at_the_corner():
            """The geometry of the character's window while it stands at the bottom-right corner."""
            for window in display.find_window("^VelissaDesk$", only_visible=True):
                geometry = display.geometry(window)
                if geometry is None:
                    continue
                x, y, width, height = geometry
                # The samples stand a few dozen pixels in from the corner.
                if width > 16 and display.width - 100 <= x + width <= display.width and \
                        display.height - 100 <= y + height <= display.height:
                    return geometry
            return None

        def drawn():
            geometry = at_the_corner()
            if geometry is None:
                return False
            x, y, width, height = geometry
            image = display.screenshot()
            return any(image.pixel(px, py) != desktop.BACKGROUND
                       for px in range(x, x + width, 4) for py in range(y, y + height, 4))

        desktop.wait_until(drawn, timeout=20, what="the installed program to show a sample")
        for part in ("anim", "docs"):
            assert sorted(os.listdir(os.path.join(data, part))) == \
                sorted(os.listdir(os.path.join(bundled, part))), part + "/ of the data folder"

        def middle():
            # Every frame of every sample is opaque in its middle, but the frame (and the sample) changes
            # while the drop is made: aim at the window as it is now.
            x, y, width, height = desktop.wait_until(at_the_corner, what="the character")
            return x + width // 2, y + height // 2

        source = session.start_program([os.path.join(build, "tests", "desktop", "drag_source"), dropped], display)
        source.wait_for(r"^ready$")
        display.drag((60, 60), middle, ready_to_drop=lambda: source.last_line() == "accepted")
        desktop.wait_until(lambda: display.find_window("^Velissa$", only_visible=True), what="the install box")
        assert os.path.isfile(os.path.join(data, "anim", os.path.basename(dropped))), "not installed there"


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
            first_start_makes_the_data_folder(root, home, build)
    print("ok")
    return 0


if __name__ == "__main__":
    sys.exit(main())
