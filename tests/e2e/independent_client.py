#!/usr/bin/python3
"""Independent end-to-end check of the test DVR's live video stream.

This client shares no code with the viewer. It speaks the DVR command
protocol from its documented message layouts:

  * starts `tarnvik-testdvr` on a free port and waits for its
    "listening on 127.0.0.1:PORT" line (its output is drained by a thread);
  * checks that a wrong password is refused (login reply result 0);
  * logs in as "admin", derives the stream variant (CodecKind) and the frame
    header length from the type word and version of the login reply;
  * asks for live video of all channels and reads live data messages for a
    few seconds;
  * checks every field of every frame header against the documented layout
    and the clip each channel plays;
  * concatenates each channel's picture data and checks with ffmpeg that it
    decodes, picture for picture, into the channel's clip (per-picture MD5s
    of the decoded pictures, computed from the clip at run time).

Usage: independent_client.py DVR_BINARY MEDIA_DIR [--seconds S] [--keep DIR]

Exit status: 0 all checks passed, 1 a check failed, 2 usage or environment
error, 77 ffmpeg is missing (reported as skipped).
"""

import argparse
import calendar
import collections
import glob
import os
import queue
import re
import shutil
import socket
import struct
import subprocess
import sys
import tempfile
import threading
import time

# --------------------------------------------------------------------------
# Protocol constants (DVR command protocol)
# --------------------------------------------------------------------------

MSG_MAGIC = 0x5471
HEADER_LEN = 8
PREFIX_LEN = 14

CODE_LOGIN = 0x02
CODE_LIVE = 0x03
CODE_STATUS = 0x04
CODE_PLAYBACK_DATA = 0x11
CODE_FINISH = 0x99
CODE_ERROR = 0xEE

# Codes the DVR may send; all but 0x03 and 0x11 carry `length` payload bytes.
ACCEPTED_CODES = {0x00, 0x01, 0x02, 0x03, 0x04, 0x06, 0x07, 0x08, 0x11, 0x12,
                  0x13, 0x21, 0x31, 0x51, 0x91, 0x99, 0xEE}
# Codes whose `length` counts the whole message including the 8-byte header.
WHOLE_LENGTH_CODES = {CODE_LIVE, CODE_PLAYBACK_DATA}

SUB_NO_PREFIX = 0x40
OP_STREAM_WITH_AUDIO = 17
MODE_LIVE = 1

RECEIVE_BUFFER_LIMIT = 1048704  # largest message the viewer can hold

FRAME_MAGIC = b"\xff\x01\x00\x00"

# Picture size -> resolution code of the frame header.
RESOLUTION_CODES = {
    (1920, 1080): 1, (1280, 1024): 2,
    (720, 576): 4, (720, 480): 4,
    (720, 288): 5, (720, 240): 5,
    (352, 288): 6, (352, 240): 6,
    (176, 144): 7, (640, 480): 8, (320, 240): 9, (160, 120): 10,
}

TIME_TOLERANCE_S = 3          # frame time vs. local wall clock
COLLECT_SECONDS_DEFAULT = 4.0


class CheckFailed(Exception):
    pass


class ConnectionClosed(CheckFailed):
    pass


def log(msg):
    print(msg, flush=True)


# --------------------------------------------------------------------------
# Protocol helpers
# --------------------------------------------------------------------------

def codec_kind_for(type_word, version):
    """Stream variant decided at login from the DVR's type word and version."""
    if type_word == 0x2200:
        return 3 if version >= 0x0303 else 0
    if type_word == 0x22F0:
        if version == 0x0202:
            return 2
        if version == 0x0101:
            return 1
        return 3
    return None


def frame_header_length(kind):
    return 40 if kind == 3 else 32


def kind_from_frame_header(byte4, byte6):
    """Stream variant as a reader derives it from bytes 4 and 6 of a frame header."""
    if byte6 == 0x22 and byte4 in (1, 2, 3):
        return byte4
    return 0


def build_message(code, sub, payload):
    return struct.pack(">HBBI", MSG_MAGIC, code, sub, len(payload)) + payload


def build_login_request(user, password):
    pw = password.encode("ascii")[:8]
    admin = 1 if user == "admin" else 0
    payload = bytes([admin, 0, 0]) + bytes(9) + pw + bytes(8 - len(pw))
    assert len(payload) == 20
    return build_message(CODE_LOGIN, 1, payload)


def build_stream_request(code, sub, channels, time_value, op, panes, speed, mode):
    payload = struct.pack(">IIBBBB", channels, time_value, op, panes, speed, mode)
    assert len(payload) == 12
    return build_message(code, sub, payload)


def parse_frame_header(h):
    """Split a frame header (32 or 40 bytes, little-endian fields) into fields."""
    u24_9 = int.from_bytes(h[9:12], "little")
    u24_20 = int.from_bytes(h[20:23], "little")
    u16_22 = int.from_bytes(h[22:24], "little")
    f = {
        "magic": bytes(h[0:4]),
        "kind": h[4],
        "type_word": int.from_bytes(h[5:7], "little"),
        "sequence": h[7],
        "channel": h[8] & 0x0F,
        "second_channel": h[8] >> 4,
        "resolution": h[9] & 0x0F,
        "record_length": (u24_9 >> 4) & 0xFFFFF,
        "time": int.from_bytes(h[12:16], "little"),
        "prev_block_length": int.from_bytes(h[16:20], "little") & 0xFFFFF,
        "field": (h[18] >> 4) & 1,
        "codec": (h[18] >> 5) & 3,
        "pal": (h[18] >> 7) & 1,
        "pacing": h[19],
        "video_length": u24_20 & 0xFFFFF,
        "audio_length": (u16_22 >> 4) & 0xFFF,
        "audio_mask": int.from_bytes(h[24:26], "little"),
        "milliseconds": int.from_bytes(h[26:28], "little"),
        "picture_type": h[28] & 3,
        "frame_rate": (h[28] >> 2) & 0x1F,
        "flags": h[29] & 3,
        "full_height": (h[30] >> 1) & 1,
    }
    if len(h) >= 40:
        f["block_length"] = int.from_bytes(h[32:36], "little")
        f["audio_block_length"] = int.from_bytes(h[36:40], "little")
    return f


def self_check_parser():
    """The bit extraction must reproduce the documented worked examples."""
    h = bytearray(40)
    h[0:4] = FRAME_MAGIC
    h[8] = 0x35
    h[20:24] = bytes([0x00, 0x10, 0x40, 0x01])
    f = parse_frame_header(h)
    assert f["channel"] == 5, f
    assert f["video_length"] == 4096, f
    assert f["audio_length"] == 20, f
    assert kind_from_frame_header(2, 0x22) == 2
    assert codec_kind_for(0x2200, 0x0302) == 0 and codec_kind_for(0x2200, 0x0303) == 3
    assert codec_kind_for(0x22F0, 0x0101) == 1 and codec_kind_for(0x22F0, 0x0202) == 2
    assert codec_kind_for(0x22F0, 0x0300) == 3
    req = build_login_request("admin", "1234")
    assert req[:8] == bytes([0x54, 0x71, 0x02, 0x01, 0, 0, 0, 0x14]), req.hex()
    assert req[8:] == bytes([1, 0, 0]) + bytes(9) + b"1234" + bytes(4), req.hex()


def nal_types(data):
    """NAL unit types of an Annex B byte stream."""
    types = []
    i = 0
    n = len(data)
    while True:
        j = data.find(b"\x00\x00\x01", i)
        if j < 0 or j + 3 >= n:
            break
        types.append(data[j + 3] & 0x1F)
        i = j + 3
    return types


def hexdump(b):
    return " ".join("%02x" % x for x in b)


class Connection:
    """A TCP connection to the DVR with deadline-bounded exact reads."""

    def __init__(self, port, deadline):
        self.deadline = deadline
        self.sock = socket.create_connection(("127.0.0.1", port), timeout=5)

    def close(self):
        try:
            self.sock.close()
        except OSError:
            pass

    def send(self, data):
        self.sock.sendall(data)

    def recv_exact(self, n, what):
        buf = bytearray()
        while len(buf) < n:
            remaining = self.deadline - time.monotonic()
            if remaining <= 0:
                raise CheckFailed("timed out reading %s (%d of %d bytes)" % (what, len(buf), n))
            self.sock.settimeout(min(remaining, 2.0))
            try:
                chunk = self.sock.recv(n - len(buf))
            except socket.timeout:
                continue
            except OSError as e:
                raise CheckFailed("connection error reading %s: %s" % (what, e))
            if not chunk:
                raise ConnectionClosed("connection closed by the DVR while reading %s (%d of %d bytes)"
                               % (what, len(buf), n))
            buf += chunk
        return bytes(buf)

    def read_message(self):
        """Returns (code, sub, length, payload_bytes)."""
        hdr = self.recv_exact(HEADER_LEN, "message header")
        magic, code, sub, length = struct.unpack(">HBBI", hdr)
        if magic != MSG_MAGIC:
            raise CheckFailed("message header with wrong magic: %s" % hexdump(hdr))
        if code not in ACCEPTED_CODES:
            raise CheckFailed("message header with unknown code 0x%02x: %s" % (code, hexdump(hdr)))
        if code in WHOLE_LENGTH_CODES:
            if length < HEADER_LEN:
                raise CheckFailed("data message (code 0x%02x) with length %d below the 8-byte header: %s"
                                  % (code, length, hexdump(hdr)))
            payload_len = length - HEADER_LEN
        else:
            payload_len = length
        if payload_len + HEADER_LEN > RECEIVE_BUFFER_LIMIT:
            raise CheckFailed("message code 0x%02x announces %d payload bytes, more than a receiver can hold: %s"
                              % (code, payload_len, hexdump(hdr)))
        payload = self.recv_exact(payload_len, "payload of code 0x%02x" % code) if payload_len else b""
        return code, sub, length, payload


# --------------------------------------------------------------------------
# DVR process
# --------------------------------------------------------------------------

class DvrProcess:
    LISTEN_RE = re.compile(r"listening on 127\.0\.0\.1:(\d+)")

    def __init__(self, binary, args):
        self.cmd = [binary] + args
        self.lines = collections.deque(maxlen=200)
        self.port_queue = queue.Queue()
        self.proc = subprocess.Popen(self.cmd, stdin=subprocess.DEVNULL,
                                     stdout=subprocess.PIPE, stderr=subprocess.STDOUT)
        self.reader = threading.Thread(target=self._drain, daemon=True)
        self.reader.start()

    def _drain(self):
        found = False
        for raw in self.proc.stdout:
            line = raw.decode("utf-8", "replace").rstrip("\n")
            self.lines.append(line)
            if not found:
                m = self.LISTEN_RE.search(line)
                if m:
                    found = True
                    self.port_queue.put(int(m.group(1)))
        self.port_queue.put(None)

    def wait_port(self, timeout):
        try:
            port = self.port_queue.get(timeout=timeout)
        except queue.Empty:
            port = None
        if port is None:
            raise CheckFailed("the DVR did not print 'listening on 127.0.0.1:PORT' within %ds "
                              "(exit status %s); its output:\n%s"
                              % (timeout, self.proc.poll(), self.output_tail()))
        return port

    def output_tail(self, n=30):
        return "\n".join("    | " + l for l in list(self.lines)[-n:])

    def stop(self):
        if self.proc.poll() is None:
            self.proc.terminate()
            try:
                self.proc.wait(timeout=5)
            except subprocess.TimeoutExpired:
                self.proc.kill()
                self.proc.wait(timeout=5)
        self.reader.join(timeout=5)


# --------------------------------------------------------------------------
# ffmpeg
# --------------------------------------------------------------------------

def run_tool(cmd, timeout=120):
    try:
        r = subprocess.run(cmd, stdin=subprocess.DEVNULL, stdout=subprocess.PIPE,
                           stderr=subprocess.PIPE, timeout=timeout)
    except subprocess.TimeoutExpired:
        raise CheckFailed("command timed out: %s" % " ".join(cmd))
    return r.returncode, r.stdout.decode("utf-8", "replace"), r.stderr.decode("utf-8", "replace")


def picture_md5s(path, frames=None):
    cmd = ["ffmpeg", "-nostdin", "-v", "error", "-f", "h264", "-i", path]
    if frames is not None:
        cmd += ["-frames:v", str(frames)]
    cmd += ["-f", "framemd5", "-"]
    rc, out, err = run_tool(cmd)
    if rc != 0:
        raise CheckFailed("ffmpeg failed (%d) on %s: %s" % (rc, path, err.strip()))
    md5s = [line.split(",")[-1].strip() for line in out.splitlines()
            if line.strip() and not line.startswith("#")]
    return md5s, err.strip()


def probe_clip(path):
    rc, out, err = run_tool(["ffprobe", "-v", "error", "-select_streams", "v:0",
                             "-show_entries", "stream=width,height,r_frame_rate",
                             "-of", "default=noprint_wrappers=1", path])
    if rc != 0:
        raise CheckFailed("ffprobe failed on %s: %s" % (path, err.strip()))
    vals = dict(l.split("=", 1) for l in out.splitlines() if "=" in l)
    num, _, den = vals["r_frame_rate"].partition("/")
    rate = int(num) / int(den or 1)
    return int(vals["width"]), int(vals["height"]), rate


class Clip:
    def __init__(self, path):
        self.path = path
        self.width, self.height, self.rate = probe_clip(path)
        self.md5s, _ = picture_md5s(path)
        if not self.md5s:
            raise CheckFailed("ffmpeg decoded no pictures from clip %s" % path)
        self.resolution_code = RESOLUTION_CODES.get((self.width, self.height))
        if self.resolution_code is None:
            raise CheckFailed("clip %s has a picture size %dx%d without a resolution code"
                              % (path, self.width, self.height))

    def expected_md5s(self, n):
        """MD5s of the first n pictures the DVR sends: the clip from its start, looping."""
        if n <= len(self.md5s):
            # Same as decoding only the first n pictures of the clip.
            return self.md5s[:n]
        return [self.md5s[i % len(self.md5s)] for i in range(n)]


# --------------------------------------------------------------------------
# Checks
# --------------------------------------------------------------------------

class Findings:
    """Collects violations per field with a count and the first example."""

    def __init__(self):
        self.items = collections.OrderedDict()

    def add(self, key, detail, header=None):
        if key not in self.items:
            self.items[key] = [0, detail, header]
        self.items[key][0] += 1

    def __bool__(self):
        return bool(self.items)

    def report(self):
        out = []
        for key, (count, detail, header) in self.items.items():
            out.append("  [%s] %d occurrence(s); first: %s" % (key, count, detail))
            if header is not None:
                out.append("      frame header: %s" % hexdump(header))
        return "\n".join(out)


def login(port, user, password, deadline):
    """Returns the login reply fields as a dict."""
    conn = Connection(port, deadline)
    try:
        conn.send(build_login_request(user, password))
        for _ in range(50):
            try:
                code, sub, length, payload = conn.read_message()
            except ConnectionClosed as e:
                raise CheckFailed("no login reply: %s" % e)
            if code == CODE_LOGIN:
                if len(payload) < 13:
                    raise CheckFailed("login reply has %d payload bytes, fewer than 13: %s"
                                      % (len(payload), hexdump(payload)))
                result = payload[0]
                version, model, type_word = struct.unpack(">III", payload[1:13])
                return {"result": result, "version": version, "model": model,
                        "type": type_word, "length": length}
            if code in WHOLE_LENGTH_CODES:
                raise CheckFailed("video data (code 0x%02x) arrived before the login reply" % code)
        raise CheckFailed("no login reply among the first 50 messages")
    finally:
        conn.close()


def run_configuration(name, dvr_binary, media_dir, clips, extra_args, collect_seconds, keep_dir):
    channels = 4
    password = "1234"
    args = ["--port", "0", "--channels", str(channels), "--password", password,
            "--media", media_dir] + extra_args
    log("=== configuration %s: %s %s" % (name, os.path.basename(dvr_binary), " ".join(args)))
    findings = Findings()
    dvr = DvrProcess(dvr_binary, args)
    try:
        port = dvr.wait_port(15)
        log("DVR listening on port %d" % port)

        # --- refused login ---------------------------------------------------
        wrong = login(port, "admin", "9" + password, time.monotonic() + 10)
        if wrong["result"] != 0:
            findings.add("login refusal", "login with a wrong password got result %d, expected 0"
                         % wrong["result"])
        else:
            log("wrong password refused (result 0)")

        # --- accepted login ------------------------------------------------
        conn = Connection(port, time.monotonic() + collect_seconds + 20)
        try:
            conn.send(build_login_request("admin", password))
            reply = None
            for _ in range(50):
                code, sub, length, payload = conn.read_message()
                if code == CODE_LOGIN:
                    reply = payload
                    break
                if code in WHOLE_LENGTH_CODES:
                    raise CheckFailed("video data arrived before the login reply")
            if reply is None:
                raise CheckFailed("no login reply among the first 50 messages")
            if len(reply) < 13:
                raise CheckFailed("login reply has %d payload bytes, fewer than 13" % len(reply))
            result = reply[0]
            version, model, type_word = struct.unpack(">III", reply[1:13])
            log("login reply: result %d, version 0x%04x, model %d, type 0x%04x (payload %d bytes)"
                % (result, version, model, type_word, len(reply)))
            if result == 0:
                raise CheckFailed("login with the right password was refused")
            want = {k: v for k, v in zip(extra_args, extra_args[1:]) if k in ("--type", "--version")}
            if "--type" in want and type_word != int(want["--type"], 16):
                findings.add("login type", "reply type 0x%04x, DVR started with --type %s"
                             % (type_word, want["--type"]))
            if "--version" in want and version != int(want["--version"], 16):
                findings.add("login version", "reply version 0x%04x, DVR started with --version %s"
                             % (version, want["--version"]))
            kind = codec_kind_for(type_word, version)
            if kind is None:
                raise CheckFailed("login reply type word 0x%04x is not a supported DVR" % type_word)
            hdr_len = frame_header_length(kind)
            log("CodecKind %d -> %d-byte frame headers" % (kind, hdr_len))

            # --- live request ------------------------------------------------
            conn.send(build_stream_request(CODE_LIVE, 1, 0xFFFF, 0, OP_STREAM_WITH_AUDIO,
                                           16, 0, MODE_LIVE))
            t_request = time.monotonic()
            collect_end = t_request + collect_seconds
            hard_end = collect_end + 10

            per_channel = collections.defaultdict(list)   # channel -> [(fields, video bytes, header)]
            other_codes = collections.Counter()
            subs = collections.Counter()
            first_data_at = None
            messages = 0
            max_messages = 25 * 16 * int(collect_seconds + 12) * 2

            while time.monotonic() < collect_end and messages < max_messages:
                conn.deadline = hard_end
                try:
                    code, sub, length, payload = conn.read_message()
                except ConnectionClosed as e:
                    raise CheckFailed("the DVR closed the connection during live streaming: %s" % e)
                messages += 1
                if code != CODE_LIVE:
                    other_codes[code] += 1
                    if code == CODE_ERROR:
                        ecode = int.from_bytes(payload[:2], "big") if len(payload) >= 2 else None
                        findings.add("error reply", "error reply during live streaming, code %s, payload %s"
                                     % ("0x%04x" % ecode if ecode is not None else "?", hexdump(payload)))
                    elif code == CODE_FINISH:
                        raise CheckFailed("the DVR sent finish (0x99) during live streaming")
                    elif code == CODE_PLAYBACK_DATA:
                        findings.add("unexpected playback data",
                                     "playback data (code 0x11) arrived while only live video was requested")
                    continue
                if first_data_at is None:
                    first_data_at = time.monotonic()
                subs[sub] += 1
                now_local = calendar.timegm(time.localtime())
                check_live_message(sub, length, payload, hdr_len, kind, type_word, channels,
                                   clips, now_local, per_channel, findings)
            elapsed = time.monotonic() - (first_data_at or t_request)
        finally:
            conn.close()

        log("received %d messages in %.1f s; live data subs %s; other codes %s"
            % (messages, elapsed, dict(subs), {"0x%02x" % c: n for c, n in other_codes.items()}))

        # --- stream-level checks -----------------------------------------------
        for ch in range(channels):
            pics = per_channel.get(ch, [])
            if not pics:
                findings.add("channel coverage", "channel %d delivered no pictures" % ch)
                continue
            clip = clips[ch % len(clips)]
            log("channel %d: %d pictures, %d audio bytes, clip %s"
                % (ch, len(pics), sum(p[0]["audio_length"] for p in pics), os.path.basename(clip.path)))
            first_fields, _, first_hdr = pics[0]
            if first_fields["picture_type"] == 0:
                findings.add("first picture key", "channel %d: first picture is predicted (picture type 0)"
                             % ch, first_hdr)
            # sequence continuity
            for (fa, _, _), (fb, _, hb) in zip(pics, pics[1:]):
                if fb["sequence"] != (fa["sequence"] + 1) & 0xFF:
                    findings.add("sequence", "channel %d: sequence %d follows %d"
                                 % (ch, fb["sequence"], fa["sequence"]), hb)
            # stream time never goes backwards
            for (fa, _, _), (fb, _, hb) in zip(pics, pics[1:]):
                ta = fa["time"] * 1000 + fa["milliseconds"]
                tb = fb["time"] * 1000 + fb["milliseconds"]
                if tb < ta:
                    findings.add("time order", "channel %d: time %d.%03d after %d.%03d"
                                 % (ch, fb["time"], fb["milliseconds"], fa["time"], fa["milliseconds"]), hb)
            # picture rate: the documented 25 per second, loosely
            expected = clip.rate * elapsed
            if not (0.6 * expected - 5 <= len(pics) <= 1.4 * expected + 5):
                findings.add("picture rate", "channel %d: %d pictures in %.1f s, expected about %.0f"
                             % (ch, len(pics), elapsed, expected))
        extra = sorted(c for c in per_channel if c >= channels)
        if extra:
            findings.add("channel range", "pictures for channels %s beyond the %d configured" % (extra, channels))

        # --- decode check with ffmpeg ------------------------------------------
        with tempfile.TemporaryDirectory(prefix="tarnvik-e2e-") as tmp:
            for ch in range(channels):
                pics = per_channel.get(ch, [])
                if not pics:
                    continue
                clip = clips[ch % len(clips)]
                path = os.path.join(tmp, "%s_channel%d.264" % (name, ch))
                with open(path, "wb") as f:
                    for _, video, _ in pics:
                        f.write(video)
                if keep_dir:
                    os.makedirs(keep_dir, exist_ok=True)
                    shutil.copy(path, keep_dir)
                got, err = picture_md5s(path)
                want = clip.expected_md5s(len(pics))
                if got == want:
                    log("channel %d: %d pictures decode identically to %s"
                        % (ch, len(got), os.path.basename(clip.path)))
                    continue
                if len(got) != len(want):
                    detail = ("channel %d: %d pictures received, ffmpeg decoded %d from their data"
                              % (ch, len(want), len(got)))
                else:
                    i = next(k for k in range(len(got)) if got[k] != want[k])
                    n_bad = sum(1 for a, b in zip(got, want) if a != b)
                    detail = ("channel %d: picture %d (of %d, %d differ) decodes to md5 %s, clip %s picture %d has %s"
                              % (ch, i, len(got), n_bad, got[i], os.path.basename(clip.path),
                                 i % len(clip.md5s), want[i]))
                if err:
                    detail += "; ffmpeg said: " + err.splitlines()[0]
                findings.add("decoded pictures", detail)
    except CheckFailed as e:
        dvr.stop()
        raise CheckFailed("configuration %s: %s\n%sDVR output (tail):\n%s"
                          % (name, e, ("other findings:\n%s\n" % findings.report()) if findings else "",
                             dvr.output_tail()))
    finally:
        dvr.stop()

    if findings:
        raise CheckFailed("configuration %s:\n%s\nDVR output (tail):\n%s"
                          % (name, findings.report(), dvr.output_tail()))
    log("configuration %s: all checks passed" % name)


def check_live_message(sub, length, payload, hdr_len, kind, type_word, channels, clips,
                       now_local, per_channel, findings):
    if sub != SUB_NO_PREFIX:
        if len(payload) < PREFIX_LEN + hdr_len:
            findings.add("message length", "live data length %d leaves %d bytes, too few for the %d-byte "
                         "prefix and a %d-byte frame header" % (length, len(payload), PREFIX_LEN, hdr_len))
            return
        prefix = payload[:PREFIX_LEN]
        block = payload[PREFIX_LEN:]
        if int.from_bytes(prefix[6:8], "little") == 0:
            findings.add("prefix recording word", "prefix bytes 6..7 are zero; prefix: %s" % hexdump(prefix))
    else:
        block = payload
        if len(block) < hdr_len:
            findings.add("message length", "live data (sub 0x40) length %d leaves %d bytes, fewer than the "
                         "%d-byte frame header" % (length, len(block), hdr_len))
            return

    h = block[:hdr_len]
    f = parse_frame_header(h)

    def bad(field, text):
        findings.add(field, text, h)

    if f["magic"] != FRAME_MAGIC:
        bad("magic", "bytes 0..3 are %s, expected ff 01 00 00" % hexdump(f["magic"]))
        return
    if kind_from_frame_header(h[4], h[6]) != kind or (kind in (1, 2, 3) and f["kind"] != kind):
        bad("kind", "byte 4 = %d (byte 6 = 0x%02x); the login reply gives stream variant %d"
            % (f["kind"], h[6], kind))
    if f["type_word"] != type_word:
        bad("type word", "bytes 5..6 = 0x%04x, the login reply's type word is 0x%04x" % (f["type_word"], type_word))
    ch = f["channel"]
    if ch >= channels:
        bad("channel", "byte 8 low nibble = %d, only %d channels configured" % (ch, channels))
        return
    clip = clips[ch % len(clips)]
    if f["resolution"] != clip.resolution_code:
        bad("resolution", "channel %d: byte 9 low nibble = %d, expected %d for %dx%d"
            % (ch, f["resolution"], clip.resolution_code, clip.width, clip.height))
    if f["codec"] != 1:
        bad("codec", "byte 18 bits 5..6 = %d, expected 1 (H.264)" % f["codec"])
    if f["pal"] != 1:
        bad("video standard", "byte 18 bit 7 = 0 (NTSC), expected 1 (PAL)")
    if f["milliseconds"] >= 1000:
        bad("milliseconds", "bytes 26..27 = %d, not below 1000" % f["milliseconds"])
    if abs(f["time"] - now_local) > TIME_TOLERANCE_S:
        bad("time", "bytes 12..15 = %d, local wall clock counted as UTC is %d (difference %d s)"
            % (f["time"], now_local, f["time"] - now_local))
    if f["frame_rate"] != round(clip.rate):
        bad("frame rate", "byte 28 bits 2..6 = %d, expected %d" % (f["frame_rate"], round(clip.rate)))
    if f["full_height"] != 1:
        bad("full height", "byte 30 bit 1 is clear (half-height picture), clip pictures have all %d lines"
            % clip.height)
    if f["video_length"] == 0:
        bad("video length", "bytes 20..22 give video length 0 in a live picture message")
    if f["audio_length"] > 0 and (f["audio_mask"] & 0x0F) == 0:
        bad("audio mask", "audio length %d but bytes 24..25 name no audio input" % f["audio_length"])
    data_len = f["video_length"] + f["audio_length"]
    if f["record_length"] != hdr_len + data_len:
        bad("record length", "bytes 9..11 bits 4..23 = %d, header %d + video %d + audio %d = %d"
            % (f["record_length"], hdr_len, f["video_length"], f["audio_length"], hdr_len + data_len))
    if len(block) != hdr_len + data_len:
        bad("block size", "frame block holds %d bytes, header %d + video %d + audio %d = %d"
            % (len(block), hdr_len, f["video_length"], f["audio_length"], hdr_len + data_len))
        if len(block) < hdr_len + f["video_length"]:
            return
    video = block[hdr_len:hdr_len + f["video_length"]]
    if not video.startswith(b"\x00\x00\x00\x01"):
        bad("picture data", "channel %d: picture data does not start with a 4-byte start code: %s"
            % (ch, hexdump(video[:8])))
    types = nal_types(video)
    if not any(1 <= t <= 5 for t in types):
        bad("picture data", "channel %d: picture data holds no coded slice (NAL types %s)" % (ch, types))
    is_idr = 5 in types
    if is_idr and f["picture_type"] == 0:
        bad("picture type", "channel %d: IDR access unit marked predicted (byte 28 bits 0..1 = 0)" % ch)
    if not is_idr and f["picture_type"] != 0:
        bad("picture type", "channel %d: non-IDR access unit (NAL types %s) marked key (byte 28 bits 0..1 = %d)"
            % (ch, types, f["picture_type"]))
    per_channel[ch].append((f, bytes(video), bytes(h)))


# --------------------------------------------------------------------------

CONFIGURATIONS = [
    # name, DVR arguments; type word 0x2200 from version 0x0303 on: 40-byte headers
    ("type2200-v0303", ["--type", "0x2200", "--version", "0x0303"]),
    # type word 0x22F0 with version 0x0202: stream variant 2, 32-byte headers;
    # with audio, so that audio length, audio mask and record length are
    # exercised with non-zero audio (video and audio lengths share byte 22)
    ("type22F0-v0202-audio", ["--type", "0x22F0", "--version", "0x0202", "--audio"]),
]


def main():
    ap = argparse.ArgumentParser(description=__doc__.splitlines()[0])
    ap.add_argument("dvr_binary")
    ap.add_argument("media_dir")
    ap.add_argument("--seconds", type=float, default=COLLECT_SECONDS_DEFAULT)
    ap.add_argument("--keep", metavar="DIR", help="copy the per-channel picture data here")
    opts = ap.parse_args()

    if shutil.which("ffmpeg") is None or shutil.which("ffprobe") is None:
        log("SKIP: ffmpeg/ffprobe not found")
        return 77
    if not os.access(opts.dvr_binary, os.X_OK):
        log("ERROR: DVR binary %s is not executable" % opts.dvr_binary)
        return 2
    clip_paths = sorted(glob.glob(os.path.join(opts.media_dir, "*.264")))
    if len(clip_paths) != 3:
        log("ERROR: expected the three clips in %s, found %s" % (opts.media_dir, clip_paths))
        return 2

    started = time.monotonic()
    try:
        self_check_parser()
        clips = [Clip(p) for p in clip_paths]
        for c in clips:
            log("clip %s: %dx%d at %g pictures/s, %d pictures, resolution code %d"
                % (os.path.basename(c.path), c.width, c.height, c.rate, len(c.md5s), c.resolution_code))
        failures = []
        for name, extra in CONFIGURATIONS:
            try:
                run_configuration(name, opts.dvr_binary, opts.media_dir, clips, extra,
                                  opts.seconds, opts.keep)
            except CheckFailed as e:
                failures.append(str(e))
                log("FAIL: %s" % e)
    except CheckFailed as e:
        log("FAIL: %s" % e)
        return 1
    log("total %.1f s" % (time.monotonic() - started))
    if failures:
        log("%d configuration(s) failed" % len(failures))
        return 1
    log("PASS")
    return 0


if __name__ == "__main__":
    sys.exit(main())
