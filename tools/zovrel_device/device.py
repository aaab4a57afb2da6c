"""The simulated device: the line, the reader, the heartbeat and the two transfer roles."""

import collections
import os
import random
import threading

from . import codec
from .faults import Faults, apply_flips, noise_bytes
from .line import Line, LineClosed, now_us, sleep_until
from .receiver import Receiver
from .sender import Outbound


class Config:
    device = None
    link = None
    wire_delay = True
    out_dir = None
    max_packet = codec.DEFAULT_MAX_PACKET
    app_id = 2
    heartbeat_s = 5.0
    echo_timeout_s = 2.0
    echo_len = 0
    reply_timeout_ms = 2000
    max_timeouts = 10
    max_failures = 3
    first_copies = 2
    chunk = None
    seed = None
    answer_echo = False

    def __init__(self, **kw):
        for k, v in kw.items():
            if not hasattr(Config, k):
                raise TypeError("unknown setting %s" % k)
            setattr(self, k, v)


class Device:
    def __init__(self, config, events):
        self.cfg = config
        self.events = events
        self.line = Line(config.device, config.link, config.wire_delay)
        self.faults = Faults(config.seed)
        self.finished = 0
        self.failed = 0
        self.on_transfer_finished = None  # called with ok after every transfer
        self.receiver = Receiver(events, self.faults, config.out_dir, config.max_packet,
                                 config.app_id, self._count_finished)
        self.stop_event = threading.Event()
        self.silent = False  # no heartbeats
        self.mute = False  # no answers either
        self.heartbeat_s = config.heartbeat_s
        self._sn = random.Random(config.seed).randrange(1, 1000) if config.seed is not None else 1
        self._sn_lock = threading.Lock()
        self._tx_last = {}  # (channel, sn) -> end of our last frame with that sn
        self._echo_pending = {}  # sn -> (frame bytes, last_us)
        self._echo_lock = threading.Lock()
        self._outbound = None
        self._send_count = 0
        self._send_lock = threading.Lock()
        self._threads = []

    # --- life cycle ---------------------------------------------------------

    def start(self):
        path = self.line.plug()
        self.events.emit("ready", path=path, link=self.cfg.link, pid=os.getpid(),
                         wire_delay=self.cfg.wire_delay, max_packet=self.cfg.max_packet)
        for fn in (self._reader_loop, self._heartbeat_loop):
            t = threading.Thread(target=fn, daemon=True)
            t.start()
            self._threads.append(t)

    def stop(self):
        self.stop_event.set()
        ob = self._outbound
        if ob:
            ob.cancel()
            ob.done.wait(3)
        for t in self._threads:
            t.join(2)
        self.line.close()

    def _count_finished(self, ok):
        self.finished += 1
        if not ok:
            self.failed += 1
        if self.on_transfer_finished:
            self.on_transfer_finished(ok)

    def next_sn(self):
        with self._sn_lock:
            sn = self._sn
            self._sn = (self._sn + 1) & 0xFFFFFFFF
            return sn

    # --- writing ------------------------------------------------------------

    def send_frame(self, channel, ftype, sn, payload=b"", retransmit=False, answer_to=None):
        """Build, possibly spoil, and write one frame. False when it did not go out."""
        frame = codec.build_frame(channel, ftype, sn, payload)
        return self.write_frame(frame, retransmit=retransmit, answer_to=answer_to)

    def write_frame(self, frame, retransmit=False, answer_to=None):
        parsed = codec.parse_frame(frame)
        noise, flips = self.faults.for_tx(parsed.type)
        if noise:
            self.write_noise(noise)
        wire = frame
        if flips:
            wire, applied = apply_flips(frame, flips)
            self.events.emit("fault", kind="flip", type=parsed.type_name, sn=parsed.sn, flips=applied)
        try:
            first, last = self.line.write(wire)
        except LineClosed as e:
            self.events.emit("write_failed", type=parsed.type_name, sn=parsed.sn, reason=str(e))
            return False
        self._tx_last[(parsed.channel, parsed.sn)] = last
        if len(self._tx_last) > 4096:
            self._tx_last.clear()
        rec = _frame_fields(parsed, "tx", first, last)
        if retransmit:
            rec["retransmit"] = True
        if answer_to is not None:
            rec["answer_us"] = first - answer_to
        self.events.emit("frame", **rec)
        return True

    def write_noise(self, data):
        try:
            first, last = self.line.write(data)
        except LineClosed as e:
            self.events.emit("write_failed", type="noise", reason=str(e))
            return False
        self.events.emit("fault", kind="noise", bytes=len(data), first_us=first, last_us=last)
        return True

    def noise_now(self, n, false_start=False):
        return self.write_noise(noise_bytes(n, self.faults.rng, false_start))

    # --- reading ------------------------------------------------------------

    def _reader_loop(self):
        from .scanner import FrameScanner

        byte_us = self.line.byte_us
        scanner, gen = FrameScanner(), self.line.generation
        blocks = collections.deque()  # (stream position, start_us) of each read

        def time_at(pos):
            for bpos, bstart in reversed(blocks):
                if bpos <= pos:
                    return bstart + (pos - bpos) * byte_us
            return blocks[0][1] if blocks else now_us()

        while not self.stop_event.is_set():
            got = self.line.read(0.05)
            if self.line.generation != gen:
                scanner, gen = FrameScanner(), self.line.generation
                blocks.clear()
            if not got or got[2] != gen:
                continue
            data, start_us, _ = got
            blocks.append((scanner.position, start_us))
            skipped = scanner.skipped
            for offset, frame, _ in scanner.feed(data):
                first = time_at(offset)
                last = time_at(offset + len(frame.raw) - 1) + byte_us
                # Nothing is answered before the frame has fully arrived at line speed.
                sleep_until(last)
                try:
                    self._on_frame(frame, first, last)
                except Exception as e:  # keep the line alive whatever one frame did
                    self.events.emit("error", where="frame handling", reason=repr(e))
            if scanner.skipped > skipped:
                self.events.emit("noise", dir="rx", bytes=scanner.skipped - skipped)
            while len(blocks) > 1 and blocks[1][0] <= scanner.base:
                blocks.popleft()

    def _on_frame(self, frame, first, last):
        rec = _frame_fields(frame, "rx", first, last)
        if frame.type in (codec.GENERAL_REPLY, codec.DEVICE_QUERY_RSP, codec.PERIPHERAL_ECHO):
            sent = self._tx_last.get((frame.channel, frame.sn))
            if sent is not None and first >= sent:
                rec["reply_latency_us"] = first - sent
        self.events.emit("frame", **rec)
        if frame.channel == codec.CHANNEL_PERIPHERAL:
            if frame.type == codec.PERIPHERAL_ECHO:
                self._echo_returned(frame, first)
            return
        if frame.channel != codec.CHANNEL_TRANSFER:
            return
        if frame.type in (codec.GENERAL_REPLY, codec.DEVICE_QUERY_RSP):
            ob = self._outbound
            if ob is not None and not ob.done.is_set():
                ob.replies.put(frame)
            else:
                self.events.emit("reply_unsolicited", type=frame.type_name, sn=frame.sn)
            return
        lost = self.faults.for_rx(frame.type)
        if lost == "frame":
            self.events.emit("fault", kind="drop", what="frame", type=frame.type_name, sn=frame.sn)
            return
        if self.mute:
            return
        reply = self.receiver.handle(frame)
        if reply is None:
            return
        if lost == "reply":
            self.events.emit("fault", kind="drop", what="reply", type=frame.type_name, sn=frame.sn)
            return
        self.write_frame(reply, answer_to=last)

    # --- heartbeat ----------------------------------------------------------

    def echo_value(self, n):
        value = ("hb#%06d" % n).encode("ascii")
        if self.cfg.echo_len:
            value = (value * (self.cfg.echo_len // len(value) + 1))[: self.cfg.echo_len]
        return value

    def send_echo(self, body=None, channel=codec.CHANNEL_PERIPHERAL):
        sn = self.next_sn()
        if body is None:
            body = codec.build_echo_body(self.echo_value(sn))
        frame = codec.build_frame(channel, codec.PERIPHERAL_ECHO, sn, body)
        with self._echo_lock:
            self._echo_pending[sn] = (frame, now_us())
        if not self.write_frame(frame):
            with self._echo_lock:
                self._echo_pending.pop(sn, None)
        return sn

    def _echo_returned(self, frame, first):
        with self._echo_lock:
            pending = self._echo_pending.pop(frame.sn, None)
        if pending is None:
            if self.cfg.answer_echo:
                # Playing the program's part: the echo goes back as it came.
                self.write_frame(frame.raw)
            else:
                self.events.emit("echo_unexpected", sn=frame.sn, hex=frame.raw.hex())
            return
        sent, _ = pending
        rtt = first - self._tx_last.get((codec.CHANNEL_PERIPHERAL, frame.sn), first)
        if frame.raw == sent:
            self.events.emit("echo_ok", sn=frame.sn, rtt_us=rtt)
        else:
            self.events.emit("echo_mismatch", sn=frame.sn, sent=sent.hex(), got=frame.raw.hex())

    def _heartbeat_loop(self):
        next_due = now_us()
        while not self.stop_event.wait(0.02):
            t = now_us()
            limit = t - int(self.cfg.echo_timeout_s * 1e6)
            with self._echo_lock:
                lost = [sn for sn, (_, sent) in self._echo_pending.items() if sent < limit]
                for sn in lost:
                    del self._echo_pending[sn]
            for sn in lost:
                self.events.emit("echo_lost", sn=sn)
            period = self.heartbeat_s
            if not period or period <= 0:
                next_due = t
                continue
            if t >= next_due:
                next_due = t + int(period * 1e6)
                if not self.silent and not self.mute and self.line.plugged:
                    self.send_echo()

    # --- commands -----------------------------------------------------------

    def unplug(self):
        done = self.line.unplug()
        with self._echo_lock:
            self._echo_pending.clear()
        if done:
            self.events.emit("unplug", path=self.line.path, link=self.cfg.link)
        return done

    def replug(self):
        was = self.line.plugged
        path = self.line.plug()
        if not was:
            self.events.emit("replug", path=path, link=self.cfg.link)
        return path

    @property
    def sending(self):
        ob = self._outbound
        return ob is not None and not ob.done.is_set()

    def start_send(self, data_type, payload, name=""):
        """Starts one outbound transfer; returns it, or None while another one runs."""
        with self._send_lock:
            if self.sending:
                return None
            self._send_count += 1
            ob = Outbound(self, self._send_count, data_type, payload, name,
                          self.cfg.reply_timeout_ms, self.cfg.max_timeouts,
                          self.cfg.max_failures, self.cfg.first_copies, self.cfg.chunk)
            self._outbound = ob

        def run():
            result = ob.run()
            self._count_finished(result["ok"])

        threading.Thread(target=run, daemon=True).start()
        return ob

    def cancel_send(self):
        ob = self._outbound
        if ob is None or ob.done.is_set():
            return False
        ob.cancel()
        return True


def _frame_fields(frame, direction, first, last):
    rec = {
        "dir": direction,
        "ch": frame.channel,
        "type": frame.type_name,
        "code": frame.type,
        "sn": frame.sn,
        "len": len(frame.payload),
        "wire": len(frame.raw),
        "first_us": first,
        "last_us": last,
    }
    p = frame.payload
    if frame.type == codec.GENERAL_REPLY:
        parsed = codec.parse_general_reply(p)
        if parsed:
            rec["rsp_code"], rec["app_id"] = parsed
    elif frame.type == codec.DEVICE_QUERY_RSP:
        mp = codec.parse_device_query_rsp(p)
        if mp is not None:
            rec["max_packet"] = mp
    elif frame.type == codec.MIDDLE_PACKET:
        m = codec.parse_middle(p)
        if m is not None:
            rec.update(start=m.start, end=m.end, n=len(m.data))
    elif frame.type == codec.PERIPHERAL_ECHO:
        value = codec.parse_echo_body(p)
        rec["tlv_ok"] = value is not None
    return rec
