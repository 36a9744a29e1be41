#!/usr/bin/python3
"""The fault campaign: the real viewer against the test DVR's chaos schedule.

usage: chaos.py TESTDVR PLAYER MEDIA_DIR [--seed N] [--seconds S]

The test DVR (--chaos SEED) alternates healthy stretches of live video with
faults: garbage, wrong magics and codes, cut and oversized messages, huge and
zero lengths, black holes, trickles, dropped and reset connections. The
viewer (TarnvikPlayer --connect ... --quit-after S, TARNVIK_TRACE=1, offscreen)
runs against it. Passes when:
- the viewer exits 0 at --quit-after, with no sanitizer report;
- its user-interface thread was never held up more than 100 ms while a
  session ran or was being restored ("ui lateness" at exit);
- after every healthy stretch begins, video is shown again within 5 s (or
  within the stretch, if shorter), while the connection lasts;
- after every connection the DVR ended, the viewer is back within the first
  reconnect wait (1 s) and some slack.
Prints the faults injected and how each was survived.
"""

import argparse
import collections
import os
import re
import subprocess
import sys
import tempfile
import threading
import time

RATE_SPAN_MS = 1000         # a rate line counts the second before it
RECOVERY_MS = 5000
RECONNECT_MS = 1000 + 2000  # the first reconnect wait, and the time to connect
WORST_LATENESS_MS = 100


def fail(message):
    print("FAIL: " + message)
    sys.exit(1)


def main():
    parser = argparse.ArgumentParser()
    parser.add_argument("testdvr")
    parser.add_argument("player")
    parser.add_argument("media")
    parser.add_argument("--seed", type=int, default=20261207)
    parser.add_argument("--seconds", type=int, default=45)
    args = parser.parse_args()
    args.testdvr, args.player, args.media = (os.path.abspath(p) for p in (args.testdvr, args.player, args.media))

    with tempfile.TemporaryDirectory(prefix="tarnvik-chaos-") as work:
        dvr_log = []
        dvr = subprocess.Popen([args.testdvr, "--port", "0", "--channels", "4", "--password", "e2e",
                                "--media", args.media, "--chaos", str(args.seed)],
                               stdin=subprocess.PIPE, stdout=subprocess.PIPE, stderr=subprocess.STDOUT, text=True)
        try:
            line = dvr.stdout.readline()
            match = re.match(r"listening on 127\.0\.0\.1:(\d+)", line)
            if not match:
                fail("the test DVR did not start: " + line)
            port = int(match.group(1))
            reader = threading.Thread(target=lambda: dvr_log.extend(dvr.stdout), daemon=True)
            reader.start()

            env = dict(os.environ, QT_QPA_PLATFORM="offscreen", HOME=work,
                       XDG_CONFIG_HOME=os.path.join(work, "config"), XDG_RUNTIME_DIR=work, TARNVIK_TRACE="1")
            started = time.time()
            run = subprocess.run([args.player, "--connect", "127.0.0.1:%d" % port, "--password", "e2e",
                                  "--channels", "4", "--quit-after", str(args.seconds)],
                                 env=env, cwd=work, stdout=subprocess.PIPE, stderr=subprocess.PIPE, text=True,
                                 errors="replace", timeout=args.seconds + 120)
            quit_ms = int((started + args.seconds) * 1000)
        finally:
            dvr.stdin.close()
            dvr.terminate()
            dvr.wait(timeout=10)
        reader.join(timeout=5)

    trace = run.stderr
    for report in ("ERROR: AddressSanitizer", "ERROR: LeakSanitizer", "runtime error:"):
        if report in trace:
            at = trace.index(report)
            fail("sanitizer report:\n" + trace[max(0, at - 2000):at + 4000])
    if run.returncode != 0:
        fail("the viewer exited with %d:\n%s" % (run.returncode, trace[-4000:]))

    match = re.search(r"ui lateness: worst (\d+) ms over (\d+) ticks", trace)
    if not match:
        fail("the viewer printed no lateness line")
    lateness, ticks = int(match.group(1)), int(match.group(2))

    shown = [(int(t), int(n)) for t, n in re.findall(r"shown at (\d+): (\d+) fps", trace)]
    healthy = []   # (start, length)
    faults = []    # (name, at)
    closes = []
    connects = []
    for line in dvr_log:
        m = re.match(r"chaos healthy at (\d+) for (\d+) ms", line)
        if m:
            healthy.append((int(m.group(1)), int(m.group(2))))
        m = re.match(r"chaos fault (\S+) at (\d+)", line)
        if m:
            faults.append((m.group(1), int(m.group(2))))
        m = re.match(r"closed \S+ at (\d+)", line)
        if m:
            closes.append(int(m.group(1)))
        m = re.match(r"connection from \S+ at (\d+)", line)
        if m:
            connects.append(int(m.group(1)))

    problems = []
    checked = 0
    for start, length in healthy:
        window = min(length, RECOVERY_MS)
        end = start + window + RATE_SPAN_MS
        # Stretches the connection or the run did not outlive are not judged
        # here; an ended connection is judged by the reconnect below.
        if end > quit_ms - 500 or any(start <= c <= start + window for c in closes):
            continue
        checked += 1
        # A rate line whose whole second lies in the stretch.
        if not any(start + RATE_SPAN_MS <= t <= end and n > 0 for t, n in shown):
            problems.append("no video within %d ms of the healthy stretch at %d" % (window, start))
    reconnects = 0
    for closed in closes:
        if closed > quit_ms - RECONNECT_MS:
            continue
        reconnects += 1
        if not any(closed <= c <= closed + RECONNECT_MS for c in connects):
            problems.append("no reconnect within %d ms of the end at %d" % (RECONNECT_MS, closed))
    if lateness > WORST_LATENESS_MS:
        problems.append("the user-interface thread was held up %d ms" % lateness)
        for held, until in re.findall(r"ui held up (\d+) ms until (\d+)", trace):
            near = [l.strip() for l in dvr_log
                    if any(abs(int(t) - int(until)) < 3000 for t in re.findall(r" at (\d{13})", l))]
            problems.append("  %s ms until %s; the DVR then: %s" % (held, until, "; ".join(near)))

    counts = collections.Counter(name for name, _ in faults)
    print("faults injected: %d (%s)" % (len(faults), ", ".join("%s %d" % kv for kv in sorted(counts.items()))))
    print("healthy stretches judged: %d; connections ended by faults: %d, each restored: %s"
          % (checked, reconnects, "yes" if not any("reconnect" in p for p in problems) else "no"))
    print("ui lateness: worst %d ms over %d ticks" % (lateness, ticks))
    if len(faults) < 3 or checked < 3:
        problems.append("too few faults (%d) or judged stretches (%d) to tell anything" % (len(faults), checked))
    if problems:
        fail("\n".join(problems))
    print("PASS")


if __name__ == "__main__":
    main()
