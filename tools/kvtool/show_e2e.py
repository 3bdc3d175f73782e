#!/usr/bin/env python3
"""kvtool show on a real X server, driven as an operator would drive it.

Run under an X server of its own (./kv test uses xvfb-run):

    show_e2e.py KVTOOL OUTDIR

It makes the tour's gray scene, opens it with `kvtool show` at zoom 2 with an ROI, a ring mask and a
lookup table, drags the ROI's east handle 60 screen pixels to the right with xdotool, captures the
window with ImageMagick's import, quits with q, and checks the printed `roi X Y W H` line and a few
captured pixels: the frame at its new border, the mask, the image through the table, the status line.
The capture is kept as OUTDIR/kvtool-show.png.

It exits with status 75 when the X server itself could not be reached, by xdotool or by kvtool, so that
the caller can tell a missing display from a failed check.
"""

import os
import subprocess
import sys
import time

ROI = (80, 50, 160, 140)
ZOOM = 2
GAIN, OFFSET = 1.25, -20.0  # exact in single precision, as the library computes the table
DRAG = 60  # screen pixels to the right, 30 image pixels at zoom 2
EXPECTED_ROI = "roi 80 50 190 140"
STATUS_HEIGHT = 16
RED, GREEN = (255, 0, 0), (0, 200, 0)
NO_DISPLAY = 75  # EX_TEMPFAIL: the X server could not be reached


class DisplayUnreachable(Exception):
    pass


def run(*command, **kwargs):
    return subprocess.run(command, check=True, capture_output=True, text=True, timeout=20, **kwargs).stdout


def capture(window, path):
    """The window's pixels as rows of (r, g, b), through a binary PPM written by import."""
    run("import", "-window", window, "-depth", "8", "ppm:" + path)
    with open(path, "rb") as f:
        data = f.read()
    fields, at = [], 0
    while len(fields) < 4:  # magic, width, height, maximum, separated by whitespace
        while data[at:at + 1].isspace():
            at += 1
        start = at
        while not data[at:at + 1].isspace():
            at += 1
        fields.append(data[start:at])
    if fields[0] != b"P6" or fields[3] != b"255":
        raise SystemExit("show e2e: unexpected capture format %r" % fields)
    width, height = int(fields[1]), int(fields[2])
    pixels = data[at + 1:]
    return width, height, lambda x, y: tuple(pixels[(y * width + x) * 3:(y * width + x) * 3 + 3])


def wait_for(what, test, show, seconds=10.0):
    """Polls `test` until it holds; fails at once, with kvtool's own words, if kvtool has exited (also
    when that made the test's own tools fail)."""
    deadline = time.monotonic() + seconds
    while True:
        if show.poll() is not None:
            stderr = show.stderr.read().strip()
            if "no display" in stderr:
                raise DisplayUnreachable("kvtool show: " + stderr)
            raise SystemExit("show e2e: kvtool show exited with status %d while waiting for %s: %s" %
                             (show.returncode, what, stderr))
        try:
            if test():
                return
        except subprocess.CalledProcessError:
            if show.poll() is None:
                raise
            continue
        if time.monotonic() > deadline:
            raise SystemExit("show e2e: timed out waiting for " + what)
        time.sleep(0.05)


def find_window(show):
    found = []

    def search():
        result = subprocess.run(["xdotool", "search", "--onlyvisible", "--name", "^kvtool show: "],
                                capture_output=True, text=True, timeout=20)
        found[:] = result.stdout.split()
        return bool(found)

    wait_for("its window", search, show, seconds=20.0)
    return found[0]


def wait_for_display(seconds=20.0):
    """Waits until the X server named by DISPLAY answers a client."""
    deadline = time.monotonic() + seconds
    while True:
        probe = subprocess.run(["xdotool", "getdisplaygeometry"], capture_output=True, text=True, timeout=20)
        if probe.returncode == 0:
            return
        if time.monotonic() > deadline:
            raise DisplayUnreachable("xdotool cannot reach DISPLAY=%s: %s" %
                                     (os.environ.get("DISPLAY"), probe.stderr.strip()))
        time.sleep(0.1)


def lut(level):
    return max(0, min(255, int(level * GAIN + OFFSET)))


def check(kvtool, out):
    os.makedirs(out, exist_ok=True)
    run(kvtool, "tour", os.path.join(out, "tour"))
    scene = os.path.join(out, "tour", "scene-gray.bmp")
    raw = os.path.join(out, "scene.raw")
    run(kvtool, "raw", scene, raw)
    with open(raw, "rb") as f:
        levels = f.read()  # 320 x 240 gray levels, row by row

    show = subprocess.Popen(
        [kvtool, "show", scene, "--roi", ",".join(map(str, ROI)), "--zoom", str(ZOOM), "--mask", "ring:0.6",
         "--lut", "%g,%g,1" % (GAIN, OFFSET)],
        stdout=subprocess.PIPE, stderr=subprocess.PIPE, text=True)
    try:
        window = find_window(show)
        shot = os.path.join(out, "window.ppm")
        # The frame's east line, one pixel inside the ROI's border at x = (80 + 160) x 2.
        east, middle = (ROI[0] + ROI[2]) * ZOOM, (ROI[1] + ROI[3] // 2) * ZOOM
        wait_for("the first frame", lambda: capture(window, shot)[2](east - 1, middle - 60) == RED, show)

        run("xdotool", "mousemove", "--window", window, str(east), str(middle), "mousedown", "1",
            "mousemove", "--window", window, str(east + DRAG // 2), str(middle),
            "mousemove", "--window", window, str(east + DRAG), str(middle), "mouseup", "1")
        wait_for("the frame at its new border", lambda: capture(window, shot)[2](east + DRAG - 1, middle - 60) == RED,
                 show)
        width, height, pixel = capture(window, shot)
        run("import", "-window", window, os.path.join(out, "kvtool-show.png"))

        run("xdotool", "key", "q")
        stdout, stderr = show.communicate(timeout=10)
    finally:
        if show.poll() is None:
            show.kill()
    problems = []
    if show.returncode != 0:
        problems.append("exit status %d: %s" % (show.returncode, stderr.strip()))
    if stdout != EXPECTED_ROI + "\n":
        problems.append("printed %r, expected %r" % (stdout, EXPECTED_ROI))
    expect = {
        "the window's size": ((width, height), (320 * ZOOM, 240 * ZOOM + STATUS_HEIGHT)),
        "the old east line, now image": (pixel(east - 1, middle - 60) != RED, True),
        "the ring, 70 image pixels right of the ROI's centre": (pixel((80 + 95 + 70) * ZOOM, middle), GREEN),
        "the ring's hole at the centre": (pixel((80 + 95) * ZOOM, middle) == GREEN, False),
        "the image at (10, 10) through the table": (pixel(21, 21), (lut(levels[10 * 320 + 10]),) * 3),
        "the image at (300, 220) through the table": (pixel(601, 441), (lut(levels[220 * 320 + 300]),) * 3),
        "text in the status line": (sum(pixel(x, height - 8) == (235, 235, 235) for x in range(width)) > 20, True),
    }
    for what, (got, wanted) in expect.items():
        if got != wanted:
            problems.append("%s: got %r, expected %r" % (what, got, wanted))
    if problems:
        raise SystemExit("show e2e failed:\n  " + "\n  ".join(problems))
    print("kv: kvtool show checked under X: dragged to '%s', window %d x %d" % (EXPECTED_ROI, width, height))


def main():
    kvtool, out = sys.argv[1], sys.argv[2]
    try:
        wait_for_display()
        check(kvtool, out)
    except DisplayUnreachable as problem:
        print("show e2e: the X server could not be reached: %s" % problem, file=sys.stderr)
        sys.exit(NO_DISPLAY)


if __name__ == "__main__":
    main()
