#!/usr/bin/python3
"""Runs qldec on conformance streams and checks what it prints.

  qldec_check.py md5 QLDEC STREAM MD5FILE [--threads N]
      every picture's MD5 equals the reference line at the same position
  qldec_check.py refused QLDEC STREAM
      qldec stops with a non-zero exit and names result -6
  qldec_check.py damaged QLDEC STREAM
      qldec reads the stream to the end without crashing, with the same
      pictures at 1, 2 and 4 threads
  qldec_check.py cli QLDEC CONFORMANCE_DIR
      the command line: errors, picture files, --bench and the trace switch

Standard library only (Debian's /usr/bin/python3).
"""
import hashlib
import os
import re
import subprocess
import sys
import tempfile

TIMEOUT = 240
MD5_LINE = re.compile(r"^[0-9a-f]{32}$")


def run(args, env_extra=None):
    env = dict(os.environ)
    env.pop("QL_H264DEC_TRACE", None)
    env.pop("QL_H264DEC_TEST_FAULT", None)
    if env_extra:
        env.update(env_extra)
    return subprocess.run(args, capture_output=True, timeout=TIMEOUT, env=env)


def describe(proc):
    if proc.returncode < 0:
        return "killed by signal %d" % -proc.returncode
    return "exit %d" % proc.returncode


def fail(message):
    print("FAIL: " + message)
    return 1


def check_md5(qldec, stream, md5_file, extra):
    proc = run([qldec, stream, "--md5"] + extra)
    if proc.returncode != 0:
        return fail("qldec %s; stderr: %s" % (describe(proc), proc.stderr.decode(errors="replace")[-2000:]))
    got = proc.stdout.decode().splitlines()
    with open(md5_file) as f:
        want = [line.strip() for line in f if line.strip()]
    bad_lines = [line for line in got if not MD5_LINE.match(line)]
    if bad_lines:
        return fail("standard output holds more than MD5 lines: %r" % bad_lines[:3])
    mismatches = [i for i, (g, w) in enumerate(zip(got, want)) if g != w]
    for i in mismatches[:5]:
        print("picture %d: got %s, want %s" % (i, got[i], want[i]))
    if proc.stderr:
        print("qldec stderr: " + proc.stderr.decode(errors="replace")[-1000:])
    if mismatches or len(got) != len(want):
        return fail("%d of %d pictures differ; %d pictures decoded, %d expected"
                    % (len(mismatches), min(len(got), len(want)), len(got), len(want)))
    print("%d pictures match" % len(got))
    return 0


def check_refused(qldec, stream):
    proc = run([qldec, stream, "--md5"])
    err = proc.stderr.decode(errors="replace")
    if proc.returncode <= 0:
        return fail("qldec %s, expected a refusal; stderr: %s" % (describe(proc), err))
    if "qldec: stream refused: parameter setup returned -6" not in err:
        return fail("the message does not name -6: %r" % err)
    if proc.stdout:
        return fail("pictures were printed for a refused stream")
    print(err.strip())
    return 0


def check_damaged(qldec, stream, extra):
    """Reads the stream to the end at 1, 2 and 4 threads: the same pictures
    each time, except that from three threads the pictures of an input that
    holds several come in the same call, so the run may end with more."""
    lists = {}
    for threads in (1, 2, 4):
        proc = run([qldec, stream, "--md5", "--threads", str(threads)] + extra)
        if proc.returncode != 0:
            return fail("qldec --threads %d %s; stderr: %s"
                        % (threads, describe(proc), proc.stderr.decode(errors="replace")[-2000:]))
        lists[threads] = proc.stdout.decode().splitlines()
    if lists[2] != lists[1]:
        return fail("2 threads: %d pictures, 1 thread: %d, or they differ" % (len(lists[2]), len(lists[1])))
    if lists[4][:len(lists[1])] != lists[1]:
        return fail("4 threads: %d pictures that are not those of 1 thread (%d)" % (len(lists[4]), len(lists[1])))
    print("%d pictures" % len(lists[1]))
    return 0


def check_cli(qldec, data_dir):
    failures = []

    def expect(condition, message):
        if not condition:
            failures.append(message)

    stream = os.path.join(data_dir, "baseline", "BA_MW_D.264")
    with open(os.path.join(data_dir, "baseline", "BA_MW_D.md5")) as f:
        want = [line.strip() for line in f if line.strip()]
    width, height = 176, 144

    proc = run([qldec, os.path.join(data_dir, "no-such-file.264")])
    expect(proc.returncode == 1 and proc.stderr.startswith(b"qldec: cannot read "),
           "unreadable input: %s %r" % (describe(proc), proc.stderr))
    for args in ([], ["--format", "2", stream], [stream, "--threads"], [stream, "--frobnicate"]):
        proc = run([qldec] + args)
        expect(proc.returncode == 2 and b"usage: qldec" in proc.stderr, "usage for %r: %s" % (args, describe(proc)))

    with tempfile.TemporaryDirectory() as tmp:
        out = os.path.join(tmp, "out.yuv")
        proc = run([qldec, stream, "-o", out])
        expect(proc.returncode == 0 and not proc.stdout, "-o with format 0: %s %r" % (describe(proc), proc.stdout[:80]))
        frame = width * height * 3 // 2
        data = open(out, "rb").read() if os.path.exists(out) else b""
        expect(len(data) == frame * len(want), "I420 file holds %d bytes, want %d" % (len(data), frame * len(want)))
        digests = [hashlib.md5(data[i:i + frame]).hexdigest() for i in range(0, len(data), frame)]
        expect(digests == want, "the I420 pictures written differ from the reference")

        proc = run([qldec, stream, "-o", out, "--format", "3"])
        size = os.path.getsize(out) if os.path.exists(out) else 0
        expect(proc.returncode == 0 and size == width * height * 3 * len(want),
               "B,G,R file: %s, %d bytes" % (describe(proc), size))

        bench_out = os.path.join(tmp, "bench.yuv")
        proc = run([qldec, stream, "--bench", "-o", bench_out])
        text = proc.stdout.decode()
        expect(proc.returncode == 0 and re.fullmatch(r"pictures=%d seconds=\d+\.\d{3} pps=\d+\.\d\n" % len(want), text),
               "--bench printed %r (%s)" % (text, describe(proc)))
        expect(not os.path.exists(bench_out), "--bench wrote a picture file")

    proc = run([qldec, stream, "--md5"], {"QL_H264DEC_TRACE": "1"})
    err = proc.stderr.decode(errors="replace")
    expect(proc.returncode == 0 and "    QL_H264dec_GetOneFrame()\n" in err and "         pBitstream: 0x" in err
           and "    _SetParam()\n" in err, "trace lines missing with QL_H264DEC_TRACE=1")
    expect(proc.stdout.decode().splitlines() == want, "tracing changed standard output")
    proc = run([qldec, stream, "--md5"])
    expect(proc.returncode == 0 and proc.stderr == b"", "stderr without trace: %r" % proc.stderr[:200])

    for message in failures:
        print("FAIL: " + message)
    return 1 if failures else 0


def main(argv):
    if len(argv) < 3:
        print(__doc__)
        return 2
    mode, qldec = argv[1], argv[2]
    rest = argv[3:]
    try:
        if mode == "md5" and len(rest) >= 2:
            return check_md5(qldec, rest[0], rest[1], rest[2:])
        if mode == "refused" and len(rest) == 1:
            return check_refused(qldec, rest[0])
        if mode == "damaged" and len(rest) >= 1:
            return check_damaged(qldec, rest[0], rest[1:])
        if mode == "cli" and len(rest) == 1:
            return check_cli(qldec, rest[0])
    except subprocess.TimeoutExpired:
        return fail("qldec did not finish within %d seconds" % TIMEOUT)
    print(__doc__)
    return 2


if __name__ == "__main__":
    sys.exit(main(sys.argv))
