#!/usr/bin/env python3
"""Every frame of every sample package, rendered by the Windows velissa-pack through the shipped
DevIL.dll (the Windows Imaging Component's decoder), matches the Linux build's render within 3 per
channel: the same picture whichever decoder the platform has.
Usage: render_test.py HOST_VELISSA_PACK SAMPLES_DIR EMULATOR... WINDOWS_VELISSA_PACK (skipped, exit 77,
without the host tool or ImageMagick's convert)."""

import glob
import json
import os
import shutil
import subprocess
import sys
import tempfile

TOLERANCE = 3


def pixels(png):
    return subprocess.run(["convert", png, "-depth", "8", "rgba:-"], check=True, stdout=subprocess.PIPE).stdout


def main():
    host, samples, windows = sys.argv[1], sys.argv[2], sys.argv[3:]
    if not os.access(host, os.X_OK) or not shutil.which("convert"):
        print("skipped: no host velissa-pack at %s, or no convert" % host)
        return 77
    worst, frames = 0, 0
    with tempfile.TemporaryDirectory(prefix="velissa-render-") as work:
        for package in sorted(glob.glob(os.path.join(samples, "anim", "*.dat"))):
            description = json.loads(subprocess.run([host, "inspect", package, "--json"], check=True,
                                                    stdout=subprocess.PIPE).stdout)["description"]
            for frame in range(len(description["frames"])):
                outputs = []
                for side, command in (("linux", [host]), ("windows", windows)):
                    out = os.path.join(work, "%s-%d-%s.png" % (os.path.basename(package), frame, side))
                    arguments = [package, "--frame", str(frame), "-o", out]
                    if side == "windows":
                        arguments = ["Z:" + path.replace("/", "\\") if path.startswith("/") else path
                                     for path in arguments]
                    subprocess.run(command + ["render"] + arguments, check=True, timeout=60,
                                   stdin=subprocess.DEVNULL, stdout=subprocess.DEVNULL)
                    outputs.append(pixels(out))
                linux, windows_pixels = outputs
                assert len(linux) == len(windows_pixels), "%s frame %d: sizes differ" % (package, frame)
                difference = max((abs(a - b) for a, b in zip(linux, windows_pixels)), default=0)
                assert difference <= TOLERANCE, "%s frame %d differs by %d" % (package, frame, difference)
                worst, frames = max(worst, difference), frames + 1
    print("%d frames rendered alike on both builds, the largest difference %d" % (frames, worst))
    return 0


if __name__ == "__main__":
    sys.exit(main())
