#!/usr/bin/env python3
"""The Debian package of the build (cpack -G DEB into a temporary folder): it holds exactly the install
(under /usr) and Debian's copyright and changelog, and its Depends, worked out by dpkg-shlibdeps, name
the libraries the program runs on. Skipped (77) without dpkg-deb and dpkg-shlibdeps.

Usage: deb_test.py CPACK BUILD_DIR SOURCE_DIR"""

import os
import re
import shutil
import subprocess
import sys
import tempfile

import install_test

RUNTIME = {"libc6", "libgtk-3-0", "libglib2.0-0", "libcairo2", "libx11-6", "zlib1g", "libdevil1c2",
           "libgtk-layer-shell0", "libwayland-client0"}


def main():
    if len(sys.argv) != 4:
        print(__doc__)
        return 2
    if not (shutil.which("dpkg-deb") and shutil.which("dpkg-shlibdeps")):
        print("skipped: dpkg-deb or dpkg-shlibdeps is missing")
        return 77
    cpack, build, source = sys.argv[1:]
    with tempfile.TemporaryDirectory() as scratch:
        subprocess.run([cpack, "-G", "DEB", "--config", os.path.join(build, "CPackConfig.cmake"), "-B", scratch],
                       check=True, stdout=subprocess.DEVNULL)
        packages = [name for name in os.listdir(scratch) if name.endswith(".deb")]
        assert len(packages) == 1, packages
        package = os.path.join(scratch, packages[0])
        listing = subprocess.run(["dpkg-deb", "-c", package], check=True, stdout=subprocess.PIPE).stdout.decode()
        files = {line.split()[-1][2:] for line in listing.splitlines() if not line.startswith("d")}
        expected = {"usr/" + name for name in install_test.expected_files(build, source, "gtk")}
        expected |= {"usr/share/doc/velissadesk/copyright", "usr/share/doc/velissadesk/changelog.gz"}
        assert files == expected, "extra: %s, missing: %s" % (sorted(files - expected), sorted(expected - files))
        depends = subprocess.run(["dpkg-deb", "-f", package, "Depends"], check=True,
                                 stdout=subprocess.PIPE).stdout.decode()
        named = {re.split(r"[\s(]", part.strip())[0] for part in re.split(r"[,|]", depends)}
        assert RUNTIME <= named, "Depends: %s lacks %s" % (depends.strip(), sorted(RUNTIME - named))
    print("ok")
    return 0


if __name__ == "__main__":
    sys.exit(main())
