"""The device as receiver: answers the program's transfer frames and keeps what arrives."""

import hashlib
import json
import os
import tempfile

from . import codec
from .line import now_us

TEXT_IN_EVENT_LIMIT = 65536


class Intervals:
    """Which payload bytes have been written, as merged [a, b) ranges."""

    def __init__(self):
        self.ranges = []

    def add(self, a, b):
        if a >= b:
            return
        merged = []
        for x, y in self.ranges:
            if y < a or x > b:
                merged.append((x, y))
            else:
                a, b = min(a, x), max(b, y)
        merged.append((a, b))
        merged.sort()
        self.ranges = merged

    def contains(self, a, b):
        return any(x <= a and b <= y for x, y in self.ranges)

    def covers(self, size):
        return size == 0 or self.ranges == [(0, size)]

    def missing(self, size):
        gaps, pos = [], 0
        for x, y in self.ranges:
            if x > pos:
                gaps.append((pos, x))
            pos = max(pos, y)
        if pos < size:
            gaps.append((pos, size))
        return gaps


def safe_name(announced, fallback):
    """A plain file name for the output folder from whatever the program announced."""
    name = announced.strip().replace("\\", "/").split("/")[-1].strip()
    name = "".join(ch for ch in name if ch.isprintable() and ch not in '<>:"|?*')
    if name in ("", ".", ".."):
        return fallback
    return name


def unique_path(folder, name):
    base, ext = os.path.splitext(name)
    path = os.path.join(folder, name)
    n = 2
    while os.path.exists(path) or os.path.exists(path + ".json"):
        path = os.path.join(folder, "%s (%d)%s" % (base, n, ext))
        n += 1
    return path


class Session:
    def __init__(self, ident, desc, first_sn, out_dir):
        self.id = ident
        self.desc = desc
        self.size = desc.payload_size
        self.first_sn = first_sn
        self.last_sn = first_sn
        self.started_us = now_us()
        self.first_chunk_us = None
        self.covered = Intervals()
        self.next_start = 0
        self.chunks = 0
        self.bad_chunks = 0
        self.repeats = 0
        self.largest_chunk = 0
        self.anomalies = []
        # A file on disk, not memory: the announced size comes from the wire
        # and may be anything up to 4 GiB.
        fd, self.part_path = tempfile.mkstemp(prefix=".incoming-", suffix=".part", dir=out_dir)
        self.file = os.fdopen(fd, "w+b")

    def note(self, text):
        if text not in self.anomalies and len(self.anomalies) < 50:
            self.anomalies.append(text)

    def discard(self):
        try:
            self.file.close()
        finally:
            try:
                os.unlink(self.part_path)
            except OSError:
                pass

    def stored_checksum(self):
        self.file.flush()
        self.file.seek(0)
        total, pos = 0, 0
        while pos < self.size:
            piece = self.file.read(min(262144, self.size - pos))
            if not piece:
                break
            total = codec.checksum(piece, position=pos, start=total)
            pos += len(piece)
        return total, pos


class Receiver:
    """Answers START_REQUEST, DEVICE_QUERY, FIRST/MIDDLE/FINISH_PACKET.

    handle() returns the reply frame to send, or None. Completed transfers are
    written to out_dir (when given) with a JSON sidecar, and reported as events.
    """

    def __init__(self, events, faults, out_dir=None, max_packet=codec.DEFAULT_MAX_PACKET,
                 app_id=2, on_finished=None):
        self.events = events
        self.faults = faults
        self.out_dir = os.path.abspath(out_dir) if out_dir else None
        self.max_packet = max_packet
        self.app_id = app_id
        self.on_finished = on_finished or (lambda ok: None)
        self.session = None
        self.count = 0
        self._last_done = None  # (sn, ok) of the last FINISH_PACKET answered
        if out_dir:
            os.makedirs(out_dir, exist_ok=True)
        # Temporary files are private; stored results get the usual permissions.
        umask = os.umask(0)
        os.umask(umask)
        self._file_mode = 0o666 & ~umask

    @property
    def active(self):
        return self.session is not None

    def _reply(self, frame, code):
        return codec.build_general_reply(frame.channel, frame.sn, code, self.app_id)

    def handle(self, frame):
        t = frame.type
        if t == codec.START_REQUEST:
            self._abandon("START_REQUEST during the transfer")
            return self._reply(frame, 0)
        if t == codec.DEVICE_QUERY:
            return codec.build_device_query_rsp(frame.channel, frame.sn, self.max_packet, 0)
        if t == codec.FIRST_PACKET:
            return self._reply(frame, self._first(frame))
        if t == codec.MIDDLE_PACKET:
            return self._reply(frame, self._middle(frame))
        if t == codec.FINISH_PACKET:
            return self._reply(frame, self._finish(frame))
        return self._reply(frame, 1)

    def _fail(self, reason, **extra):
        self.events.emit("transfer_failed", dir="in", reason=reason, **extra)
        self.on_finished(False)

    def _abandon(self, reason):
        s = self.session
        if s is None:
            return
        self.session = None
        s.discard()
        self._fail("abandoned: " + reason, id=s.id, **self._summary(s))

    def _summary(self, s):
        d = s.desc.as_dict()
        return {
            "type_name": d["type_name"],
            "data_type": d["data_type"],
            "name": d["file_name"],
            "size": s.size,
            "chunks": s.chunks,
        }

    def _first(self, frame):
        flag, desc, why = codec.parse_first_packet(frame.payload)
        if desc is None:
            self.events.emit("chunk_bad", what="FIRST_PACKET", sn=frame.sn, reason=why)
            return 1
        if self.session and self.session.first_sn == frame.sn \
                and self.session.desc.header_crc == desc.header_crc and not self.session.chunks:
            return 0  # our answer got lost and the same FIRST_PACKET came again
        self._abandon("new FIRST_PACKET")
        self.count += 1
        s = self.session = Session(self.count, desc, frame.sn, self.out_dir)
        if flag != 0x01:
            s.note("first_flag=0x%02X" % flag)
        rest = frame.payload[1 + codec.DESCRIPTOR_SIZE :]
        if rest and rest[: codec.DESCRIPTOR_SIZE] != frame.payload[1 : 1 + codec.DESCRIPTOR_SIZE]:
            s.note("second descriptor copy differs")
        self.events.emit("transfer_begin", dir="in", id=s.id, sn=frame.sn,
                         descriptor=desc.as_dict(), name_hex=desc.name_bytes.hex())
        return 0

    def _middle(self, frame):
        m = codec.parse_middle(frame.payload)
        s = self.session
        if m is None or s is None:
            self.events.emit("chunk_bad", what="MIDDLE_PACKET", sn=frame.sn,
                             reason="head too short" if m is None else "no transfer")
            return 1
        if frame.sn != s.last_sn + 1 and frame.sn != s.last_sn:
            s.note("sn %d after %d" % (frame.sn, s.last_sn))
        s.last_sn = frame.sn
        n = len(m.data)
        if m.crc_flag != codec.CRC_FLAG_TRAILER:
            s.note("crc_flag=0x%02X" % m.crc_flag)
        elif m.pkg_crc is None:
            s.bad_chunks += 1
            self.events.emit("chunk_bad", what="MIDDLE_PACKET", sn=frame.sn, start=m.start,
                             reason="no room for pkg_crc")
            return 1
        elif codec.checksum(m.data) != m.pkg_crc:
            s.bad_chunks += 1
            self.events.emit("chunk_bad", what="MIDDLE_PACKET", sn=frame.sn, start=m.start,
                             reason="pkg_crc mismatch calc=0x%08X recv=0x%08X"
                             % (codec.checksum(m.data), m.pkg_crc))
            return 1
        if m.start + n > s.size:
            # Writing it would put bytes the program never announced into the result.
            s.bad_chunks += 1
            self.events.emit("chunk_bad", what="MIDDLE_PACKET", sn=frame.sn, start=m.start,
                             reason="chunk %d+%d beyond payload size %d" % (m.start, n, s.size))
            return 1
        code = self.faults.chunk_code()
        if code is not None:
            self.events.emit("fault", kind="fail_chunk", sn=frame.sn, start=m.start, code=code)
            return code
        if n == 0:
            s.note("empty chunk at %d" % m.start)
            return 0
        if m.end != m.start + n - 1:
            s.note("end %d for start %d and %d bytes" % (m.end, m.start, n))
        if len(frame.payload) > self.max_packet:
            s.note("MIDDLE_PACKET body %d B above maxPacket %d" % (len(frame.payload), self.max_packet))
        if m.start < s.next_start and s.covered.contains(m.start, m.start + n):
            s.repeats += 1  # a resend after a lost or refused answer
        elif m.start != s.next_start:
            s.note("chunk at %d, expected %d" % (m.start, s.next_start))
        if s.first_chunk_us is None:
            s.first_chunk_us = now_us()
        s.file.seek(m.start)
        s.file.write(m.data)
        s.covered.add(m.start, m.start + n)
        s.chunks += 1
        s.largest_chunk = max(s.largest_chunk, n)
        s.next_start = max(s.next_start, m.start + n)
        return 0

    def _finish(self, frame):
        s = self.session
        if s is None:
            if self._last_done and self._last_done[0] == frame.sn:
                return 0 if self._last_done[1] else 1  # repeated FINISH_PACKET
            self.events.emit("chunk_bad", what="FINISH_PACKET", sn=frame.sn, reason="no transfer")
            return 1
        self.session = None
        ok = self._complete(s, frame)
        self._last_done = (frame.sn, ok)
        return 0 if ok else 1

    def _complete(self, s, frame):
        summary = self._summary(s)
        if not s.covered.covers(s.size):
            s.discard()
            self._fail("incomplete: missing %s" % s.covered.missing(s.size)[:4], id=s.id, **summary)
            return False
        calc, got = s.stored_checksum()
        if calc != s.desc.mc_add:
            s.discard()
            self._fail("checksum mismatch calc=0x%08X want=0x%08X" % (calc, s.desc.mc_add),
                       id=s.id, **summary)
            return False
        done_us = now_us()
        s.file.seek(0)
        content = s.file.read() if s.size <= TEXT_IN_EVENT_LIMIT else None
        sha = hashlib.sha256()
        s.file.seek(0)
        for piece in iter(lambda: s.file.read(262144), b""):
            sha.update(piece)
        s.file.close()
        record = dict(summary)
        record.update({
            "id": s.id,
            "sha256": sha.hexdigest(),
            "mcAdd": s.desc.mc_add,
            "descriptor": s.desc.as_dict(),
            "name_hex": s.desc.name_bytes.hex(),
            "first_sn": s.first_sn,
            "finish_sn": frame.sn,
            "repeats": s.repeats,
            "bad_chunks": s.bad_chunks,
            "largest_chunk": s.largest_chunk,
            "duration_us": done_us - s.started_us,
            "anomalies": s.anomalies,
        })
        if s.first_chunk_us is not None and s.size:
            span = max(1, done_us - s.first_chunk_us)
            record["bytes_per_s"] = round(s.size * 1e6 / span)
        if s.desc.data_type == codec.DATA_TEXT and content is not None:
            record["text"] = content.decode("utf-8", errors="replace")
        if self.out_dir:
            fallback = {codec.DATA_TEXT: "text-%d.txt", codec.DATA_IMAGE: "image-%d.bin"}.get(
                s.desc.data_type, "file-%d.bin") % s.id
            name = fallback if s.desc.data_type == codec.DATA_TEXT else safe_name(
                s.desc.file_name, fallback)
            path = unique_path(self.out_dir, name)
            os.replace(s.part_path, path)
            os.chmod(path, self._file_mode)
            record["path"] = path
            record["sidecar"] = path + ".json"
            with open(record["sidecar"], "w", encoding="utf-8") as f:
                json.dump(record, f, ensure_ascii=False, indent=1)
        else:
            os.unlink(s.part_path)
        self.events.emit("transfer_done", dir="in", **record)
        self.on_finished(True)
        return True
