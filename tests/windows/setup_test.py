#!/usr/bin/env python3
"""What a Windows user is handed, under Wine of its width on a real X display, in one fresh prefix:
- the zip's program, with nothing added, shows its character started from its own folder and from
  another current folder (no registry value);
- the silent setup installs the files, the three registry values, the Start-menu shortcut and the
  uninstall entry; the installed program, started from another folder, shows its character;
- the setup run again while that copy runs closes it and really replaces its files;
- the silent uninstaller keeps an animation the user added to anim\\ and removes the rest.
Usage: setup_test.py BUILD_DIR SAMPLES_DIR i686|x86_64 WINE_RUN win32|win64 (skipped, exit 77, without
Wine or the tools): it packs the build's zip and a setup of its width (scripts/package-windows.sh,
scripts/setup-windows.sh) first."""

import glob
import os
import subprocess
import sys
import tempfile
import zipfile

sys.path.insert(0, os.path.dirname(os.path.abspath(__file__)))
sys.path.insert(0, os.path.join(os.path.dirname(os.path.abspath(__file__)), "..", "desktop"))
import desktop  # noqa: E402
from smoke_test import CORNER_BOX, differing_pixels  # noqa: E402

SETTINGS = r"HKCU\Software\Orvant\VelissaDesk"
RUN = r"HKCU\Software\Microsoft\Windows\CurrentVersion\Run"
UNINSTALL = r"HKCU\Software\Microsoft\Windows\CurrentVersion\Uninstall\VelissaDesk"
UNINSTALL_FIELDS = ("DisplayName", "DisplayVersion", "Publisher", "DisplayIcon", "InstallLocation",
                    "UninstallString", "QuietUninstallString", "EstimatedSize", "NoModify", "NoRepair")


def windows_path(path):
    return "Z:" + path.replace("/", "\\")  # Wine shows the Unix root as drive Z:


def main():
    build, samples, arch, wine_run, winearch = sys.argv[1:6]
    wine_run = os.path.abspath(wine_run)
    desktop.skip_unless_tools(desktop.TOOLS + ("wineserver", "makensis"))
    with tempfile.TemporaryDirectory(prefix="velissa-setup-") as work, desktop.Session() as session:
        scripts = os.path.join(os.path.dirname(os.path.abspath(__file__)), "..", "..", "scripts")
        packed = dict(os.environ, VELISSA_DIST=os.path.join(work, "dist"))
        zip_file = subprocess.run(["bash", os.path.join(scripts, "package-windows.sh"), build, samples, arch],
                                  env=packed, check=True, stdout=subprocess.PIPE, text=True).stdout.split()[-1]
        staging = os.path.join(build, "dist", os.path.basename(zip_file)[:-len(".zip")])
        setup = subprocess.run(["bash", os.path.join(scripts, "setup-windows.sh"),
                                os.path.join(build, "resources", "velissadesk.ico"), staging],
                               env=packed, check=True, stdout=subprocess.PIPE, text=True).stdout.split()[-1]
        display = session.start_display(compositor=True)
        prefix = os.path.join(work, "prefix")
        env = dict(display.env, WINEPREFIX=prefix, WINEDEBUG="-all")

        def in_wine(*args):
            return ["bash", wine_run, winearch, prefix, ""] + list(args)

        def wine(*args, timeout=120, check=True):
            return subprocess.run(in_wine(*args), env=env, check=check, timeout=timeout, stdin=subprocess.DEVNULL,
                                  stdout=subprocess.PIPE, stderr=subprocess.DEVNULL, text=True,
                                  errors="replace").stdout

        def registry(key, value):
            """The value's data as reg query shows it, or None."""
            out = wine("reg", "query", key, "/v", value, check=False)
            for line in out.splitlines():
                parts = line.split(None, 2)
                if len(parts) == 3 and parts[0].lower() == value.lower() and parts[1].startswith("REG_"):
                    return parts[2].strip()
            return None

        def character_shows(exe, cwd):
            program = subprocess.Popen(in_wine(exe), env=env, cwd=cwd, stdin=subprocess.DEVNULL,
                                       stdout=subprocess.DEVNULL, stderr=subprocess.DEVNULL)
            desktop.wait_until(lambda: differing_pixels(display.screenshot(), CORNER_BOX), timeout=60,
                               what="the character of %s started in %s" % (exe, cwd))
            return program

        def end(program):
            wine("taskkill", "/f", "/im", "velissadesk.exe", check=False)
            program.wait(60)
            desktop.wait_until(lambda: not differing_pixels(display.screenshot(), CORNER_BOX), timeout=30,
                               what="the character to go")

        try:
            wine("wineboot", "-i", timeout=240)
            wine("reg", "add", r"HKCU\Software\Wine\WineDbg", "/v", "ShowCrashDialog", "/t", "REG_DWORD",
                 "/d", "0", "/f")
            with zipfile.ZipFile(zip_file) as archive:
                archive.extractall(os.path.join(work, "zip"))
            unzipped = glob.glob(os.path.join(work, "zip", "*"))[0]
            exe = windows_path(os.path.join(unzipped, "velissadesk.exe"))
            for cwd in (unzipped, work):
                end(character_shows(exe, cwd))

            wine(windows_path(setup), "/S", timeout=300)
            local = glob.glob(os.path.join(prefix, "drive_c", "users", "*", "AppData", "Local"))[0]
            folder = os.path.join(local, "Programs", "VelissaDesk")
            samples = sorted(os.listdir(os.path.join(unzipped, "anim")))
            installed = ["velissadesk.exe", "velissa-pack.exe", "DevIL.dll", "README.txt", "samples.kar",
                         "uninstall.exe", "docs/user-guide.html"] + ["anim/" + name for name in samples]
            missing = [name for name in installed if not os.path.isfile(os.path.join(folder, name))]
            assert not missing, "not installed: %s" % missing
            program_path = registry(SETTINGS, "path")
            assert program_path and program_path.lower().endswith(r"\programs\velissadesk"), program_path
            run = registry(RUN, "VelissaDesk")
            assert run == '"%s\\velissadesk.exe"' % program_path, run
            empty = [field for field in UNINSTALL_FIELDS if not registry(UNINSTALL, field)]
            assert not empty, "the uninstall entry lacks %s" % empty
            shortcut = os.path.join(os.path.dirname(local), "Roaming", "Microsoft", "Windows", "Start Menu",
                                    "Programs", "VelissaDesk.lnk")
            assert os.path.isfile(shortcut), "no Start-menu shortcut"

            running = character_shows(program_path + "\\velissadesk.exe", work)
            # The setup gives each file the time it was built with: an older time left behind means
            # that the file was not replaced, whatever the setup's exit status says.
            for name in ("velissadesk.exe", "DevIL.dll"):
                os.utime(os.path.join(folder, name), (1000000000, 1000000000))
            wine(windows_path(setup), "/S", timeout=300)
            assert running.wait(60) == 0, "the running copy did not end as Exit ends it"
            stale = [name for name in ("velissadesk.exe", "DevIL.dll")
                     if os.path.getmtime(os.path.join(folder, name)) == 1000000000]
            assert not stale, "the setup over a running copy left %s in place" % stale

            with open(os.path.join(folder, "anim", samples[0]), "rb") as source, \
                    open(os.path.join(folder, "anim", "mine.dat"), "wb") as added:
                added.write(source.read())
            wine(windows_path(os.path.join(folder, "uninstall.exe")), "/S", timeout=300)
            # The uninstaller runs on from a copy of itself in the temporary folder.
            desktop.wait_until(lambda: not os.path.exists(os.path.join(folder, "uninstall.exe")), timeout=120,
                               what="the uninstaller to finish")
            left = sorted(os.path.relpath(os.path.join(root, name), folder)
                          for root, _, names in os.walk(folder) for name in names)
            assert left == [os.path.join("anim", "mine.dat")], "after the uninstall: %s" % left
            kept = [(key, value) for key, value in ((SETTINGS, "path"), (RUN, "VelissaDesk"),
                                                     (UNINSTALL, "DisplayName")) if registry(key, value)]
            assert not kept, "the uninstaller left %s" % kept
            assert not os.path.exists(shortcut), "the uninstaller left the shortcut"
        finally:
            subprocess.run(["wineserver", "-k"], env=env, timeout=60, stderr=subprocess.DEVNULL)
    print("the zip ran from any folder; the setup installed, replaced a running copy; the uninstaller kept "
          "the user's animation")
    return 0


if __name__ == "__main__":
    sys.exit(main())
