"""The device as sender: one transfer to the program, stop-and-wait."""

import queue
import threading
import time

from . import codec
from .line import now_us


class Abort(Exception):
    pass


class Outbound:
    """Sends START_REQUEST, DEVICE_QUERY, FIRST_PACKET, MIDDLE_PACKETs, FINISH_PACKET.

    Every frame waits for its answer; the next frame goes out as soon as the
    answer is in, so the time a transfer takes is the program's answer time
    plus the wire time. A missing answer is resent after `reply_timeout_ms`
    (at most `max_timeouts` times), a failure answer at most `max_failures`
    times in a row.
    """

    def __init__(self, device, ident, data_type, payload, name="", reply_timeout_ms=2000,
                 max_timeouts=10, max_failures=3, first_copies=2, chunk=None):
        self.device = device
        self.id = ident
        self.data_type = data_type
        self.payload = bytes(payload)
        self.name = name
        self.reply_timeout = reply_timeout_ms / 1000.0
        self.max_timeouts = max_timeouts
        self.max_failures = max_failures
        self.first_copies = first_copies
        self.chunk_override = chunk
        self.replies = queue.Queue()
        self.cancelled = threading.Event()
        self.done = threading.Event()
        self.result = None
        self.retransmits = 0
        self.ignored = 0

    def cancel(self):
        self.cancelled.set()

    def run(self):
        ev = self.device.events
        base = {
            "dir": "out",
            "id": self.id,
            "data_type": self.data_type,
            "type_name": codec.data_type_name(self.data_type),
            "name": self.name,
            "size": len(self.payload),
        }
        started = now_us()
        stats = {}
        try:
            self._transfer(stats)
        except Abort as e:
            stats.pop("_data_start_us", None)
            self.result = dict(base, ok=False, reason=str(e), retransmits=self.retransmits,
                               duration_us=now_us() - started, **stats)
            ev.emit("transfer_failed", **self.result)
        else:
            finished = now_us()
            data_us = finished - stats.pop("_data_start_us")
            self.result = dict(base, ok=True, retransmits=self.retransmits,
                               ignored_replies=self.ignored, duration_us=finished - started,
                               **stats)
            if self.payload:
                self.result["data_us"] = data_us
                self.result["bytes_per_s"] = round(len(self.payload) * 1e6 / max(1, data_us))
            ev.emit("transfer_done", **self.result)
        finally:
            self.done.set()
        return self.result

    def _transfer(self, stats):
        self._exchange(codec.START_REQUEST, b"", self._general)
        max_packet = self._exchange(codec.DEVICE_QUERY, b"", self._query)
        chunk = self.chunk_override or codec.chunk_size_from_device(max_packet or 0)
        stats.update(max_packet=max_packet, chunk=chunk, chunks=0)
        desc = codec.build_descriptor(self.data_type, self.payload, self.name)
        stats["first_sn"] = self._exchange(
            codec.FIRST_PACKET, codec.build_first_packet_body(desc, self.first_copies), self._general)
        stats["_data_start_us"] = now_us()
        for start in range(0, len(self.payload), chunk):
            piece = self.payload[start : start + chunk]
            self._exchange(codec.MIDDLE_PACKET, codec.build_middle_body(piece, start), self._general)
            stats["chunks"] += 1
        stats["finish_sn"] = self._exchange(codec.FINISH_PACKET, b"", self._general)

    @staticmethod
    def _general(frame, sn):
        if frame.type != codec.GENERAL_REPLY or frame.sn != sn:
            return None
        parsed = codec.parse_general_reply(frame.payload)
        if parsed is None:
            return None
        code, _ = parsed
        return ("ok", sn) if code == 0 else ("fail", code)

    @staticmethod
    def _query(frame, sn):
        if frame.sn != sn:
            return None
        if frame.type == codec.DEVICE_QUERY_RSP:
            mp = codec.parse_device_query_rsp(frame.payload)
            return None if mp is None else ("ok", mp)
        verdict = Outbound._general(frame, sn)
        if verdict and verdict[0] == "ok":
            return ("ok", None)  # acknowledged without a size: keep the default chunk
        return verdict

    def _exchange(self, ftype, body, accept):
        sn = self.device.next_sn()
        name = codec.type_name(ftype)
        timeouts = failures = 0
        resend = False
        while True:
            if self.cancelled.is_set():
                raise Abort("cancelled")
            if resend:
                self.retransmits += 1
            self.device.send_frame(codec.CHANNEL_TRANSFER, ftype, sn, body, retransmit=resend)
            resend = True
            deadline = time.monotonic() + self.reply_timeout
            while True:
                left = deadline - time.monotonic()
                if left <= 0:
                    timeouts += 1
                    if timeouts > self.max_timeouts:
                        raise Abort("no answer to %s sn=%d after %d resends"
                                    % (name, sn, self.max_timeouts))
                    break
                try:
                    frame = self.replies.get(timeout=min(left, 0.05))
                except queue.Empty:
                    if self.cancelled.is_set():
                        raise Abort("cancelled")
                    continue
                verdict = accept(frame, sn)
                if verdict is None:
                    self.ignored += 1
                    continue
                if verdict[0] == "ok":
                    return verdict[1]
                failures += 1
                if failures > self.max_failures:
                    raise Abort("%s refused with rsp_code=%d" % (name, verdict[1]))
                break
