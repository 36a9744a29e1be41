#!/usr/bin/env python3
"""The whole program against the bundled test DVR.

Starts tarnvik-testdvr with 16 channels and TarnvikPlayer, whose saved
profile for that DVR chooses "16-CH", with --connect/--password/--screenshot/
--quit-after under the offscreen platform, then checks: the program exits 0
with no sanitizer report; the screenshot is the 1017 x 755 window; each of
the sixteen panes of the 4 x 4 grid the login chooses holds video; and the
panes of the CIF channels match one of the pictures the decoder library
gives for that channel's clip (sampled through the pane's stretch, within a
small tolerance), far better than any picture of another clip.

With --play, a 4-channel backup made by tarnvik-mkdvr from the same clips
is played instead (TarnvikPlayer --play FILE.DVR) in a 2 x 2 grid, and the
same checks hold.

usage: window_screenshot.py TESTDVR PLAYER QLDEC MEDIA_DIR
       window_screenshot.py --play MKDVR PLAYER QLDEC MEDIA_DIR
Exit 77 (skipped) when ffmpeg is missing.
"""
import os
import shutil
import subprocess
import sys
import tempfile
import time

WIDTH, HEIGHT = 1017, 755
# The pane grid in the design client area: 756 x 601 at (55, 50).
GRID_X, GRID_Y, GRID_W, GRID_H = 55, 50, 756, 601
CAPTION_COLOURS = {(127, 127, 127), (65, 105, 225)}
CLIPS = ["clip0_cif.264", "clip1_d1.264", "clip2_cif.264"]  # channel c plays CLIPS[c % 3]
CIF = (352, 288)


def fail(message):
    print("FAIL:", message)
    sys.exit(1)


def start_dvr(testdvr, media):
    dvr = subprocess.Popen([testdvr, "--port", "0", "--channels", "16", "--password", "e2e", "--media", media],
                           stdin=subprocess.PIPE, stdout=subprocess.PIPE, stderr=subprocess.STDOUT, text=True)
    line = dvr.stdout.readline()
    if not line.startswith("listening on 127.0.0.1:"):
        dvr.kill()
        fail("the test DVR did not start: " + line)
    return dvr, int(line.strip().rsplit(":", 1)[1])


def screenshot_rgb(png):
    raw = subprocess.run(["ffmpeg", "-loglevel", "error", "-i", png, "-f", "rawvideo", "-pix_fmt", "rgb24", "-"],
                         check=True, stdout=subprocess.PIPE).stdout
    probe = subprocess.run(["ffprobe", "-v", "error", "-select_streams", "v:0", "-show_entries",
                            "stream=width,height", "-of", "csv=p=0", png],
                           check=True, stdout=subprocess.PIPE, text=True).stdout.strip()
    w, h = (int(v) for v in probe.split(","))
    return raw, w, h


def pixel(raw, w, x, y):
    i = (y * w + x) * 3
    return raw[i], raw[i + 1], raw[i + 2]


def pane_picture_rect(raw, w, pane, side):
    """The pane's picture rectangle in a side x side grid: below its caption
    line, found by where the caption's background colour ends in the pane's
    left-hand column (the caption's text may reach its right-hand end)."""
    cell_w, cell_h = GRID_W // side, GRID_H // side
    px = GRID_X + (pane % side) * cell_w
    py = GRID_Y + (pane // side) * cell_h
    column = px + 1
    if pixel(raw, w, column, py + 1) not in CAPTION_COLOURS:
        fail("pane %d has no caption line at its top (found %s)" % (pane, pixel(raw, w, column, py + 1)))
    line = 1
    while line < 60 and pixel(raw, w, column, py + line) in CAPTION_COLOURS:
        line += 1
    return px + 1, py + line, cell_w - 1, cell_h - line


def decode_clip(qldec, clip, workdir):
    out = os.path.join(workdir, os.path.basename(clip) + ".bgr")
    subprocess.run([qldec, clip, "-o", out, "--format", "3"], check=True, stdout=subprocess.DEVNULL)
    data = open(out, "rb").read()
    size = CIF[0] * CIF[1] * 3
    if not data or len(data) % size:
        fail("%s did not decode into whole CIF pictures" % clip)
    return [data[i:i + size] for i in range(0, len(data), size)]


def samples(rect):
    x0, y0, pw, ph = rect
    points = []
    for j in range(24):
        for i in range(32):
            u = (i * pw) // 32 + pw // 64
            v = (j * ph) // 24 + ph // 48
            points.append((x0 + u, y0 + v, (2 * u + 1) * CIF[0] // (2 * pw), (2 * v + 1) * CIF[1] // (2 * ph)))
    return points


def best_difference(raw, w, rect, pictures):
    """Smallest mean absolute difference between the pane and any picture,
    trying the picture upright and upside down."""
    points = samples(rect)
    shown = [pixel(raw, w, x, y) for x, y, _, _ in points]
    best = 1e9
    for picture in pictures:
        for flip in (False, True):
            total = 0
            for (r, g, b), (_, _, sx, sy) in zip(shown, points):
                row = CIF[1] - 1 - sy if flip else sy
                i = (row * CIF[0] + sx) * 3
                total += abs(picture[i + 2] - r) + abs(picture[i + 1] - g) + abs(picture[i] - b)
            best = min(best, total / (3.0 * len(points)))
    return best


def write_profile(workdir, port):
    """A saved DVR at 127.0.0.1:port with "16-CH" chosen (MaxCh 2)."""
    folder = os.path.join(workdir, "config", "TarnvikPlayer")
    os.makedirs(folder)
    with open(os.path.join(folder, "TarnvikPlayer.ini"), "w") as ini:
        ini.write("[Main]\nindex=0\ncount=1\n[INDEX_0]\nip=127.0.0.1\nindex=0\nPort=%d\nMaxCh=2\n" % port)


# A screen with room for the window's design size (the offscreen platform's
# own is 800 x 600, where the window would start smaller).
SCREEN = os.path.join(os.path.dirname(os.path.abspath(__file__)), "..", "app", "window", "screens", "1920x1080.json")


def run_player(player, args, workdir):
    env = dict(os.environ, QT_QPA_PLATFORM="offscreen:configfile=" + SCREEN, HOME=workdir,
               XDG_CONFIG_HOME=os.path.join(workdir, "config"), XDG_RUNTIME_DIR=workdir)
    return subprocess.run([player] + args, env=env, stdout=subprocess.PIPE, stderr=subprocess.PIPE, text=True,
                          timeout=120)


def main():
    args = sys.argv[1:]
    play = bool(args) and args[0] == "--play"
    if play:
        args = args[1:]
    if len(args) != 4:
        print(__doc__)
        return 2
    testdvr, player, qldec, media = args
    if not shutil.which("ffmpeg") or not shutil.which("ffprobe"):
        print("skipped: ffmpeg/ffprobe not installed")
        return 77
    workdir = tempfile.mkdtemp(prefix="tarnvik-e2e-")
    try:
        shot = os.path.join(workdir, "shot.png")
        if play:
            backup = os.path.join(workdir, "e2e.DVR")
            subprocess.run([testdvr, "--backup", backup, "--channels", "4", "--seconds", "20", "--media", media],
                           check=True, stdout=subprocess.DEVNULL)
            run = run_player(player, ["--play", backup, "--screenshot", shot, "--quit-after", "3"], workdir)
        else:
            dvr, port = start_dvr(testdvr, media)
            write_profile(workdir, port)
            try:
                run = run_player(player, ["--connect", "127.0.0.1:%d" % port, "--password", "e2e",
                                          "--screenshot", shot, "--quit-after", "5"], workdir)
            finally:
                dvr.stdin.close()
                dvr.kill()
                dvr.wait()
        if run.returncode != 0:
            fail("TarnvikPlayer exited %d\n%s" % (run.returncode, run.stderr))
        for marker in ("AddressSanitizer", "runtime error:", "LeakSanitizer"):
            if marker in run.stderr:
                fail("sanitizer report:\n" + run.stderr)
        raw, w, h = screenshot_rgb(shot)
        if (w, h) != (WIDTH, HEIGHT):
            fail("screenshot is %dx%d, not the %dx%d window" % (w, h, WIDTH, HEIGHT))

        decoded = {clip: decode_clip(qldec, os.path.join(media, clip), workdir) for clip in (CLIPS[0], CLIPS[2])}
        side = 2 if play else 4
        for pane in range(side * side):
            rect = pane_picture_rect(raw, w, pane, side)
            colours = {pixel(raw, w, x, y) for x, y, _, _ in samples(rect)}
            if len(colours) < 8:
                fail("pane %d holds no picture (%d colours)" % (pane, len(colours)))
            clip = CLIPS[pane % 3]
            if clip not in decoded:
                print("pane %d: video present (%d colours); its clip is not CIF, not compared" % (pane, len(colours)))
                continue
            own = best_difference(raw, w, rect, decoded[clip])
            other = best_difference(raw, w, rect, decoded[CLIPS[2] if clip == CLIPS[0] else CLIPS[0]])
            print("pane %d: mean difference %.1f to its clip, %.1f to another" % (pane, own, other))
            # Not zero: the pane crops a few of the picture's edge lines before
            # stretching, so samples land a pixel or so apart.
            if own > 20 or own * 5 > other:
                fail("pane %d does not show its channel's pictures" % pane)
        print("ok")
        return 0
    finally:
        shutil.rmtree(workdir, ignore_errors=True)


if __name__ == "__main__":
    sys.exit(main())
