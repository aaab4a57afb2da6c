"""What happened, one line per event: JSON for tests and benchmarks, prose for a demo."""

import json
import sys
import threading

from .line import now_us


class EventLog:
    def __init__(self, stream=None, human=False, quiet_frames=False):
        self._stream = stream or sys.stdout
        self._human = human
        self._quiet_frames = quiet_frames
        self._lock = threading.Lock()
        self._listeners = []

    def listen(self, fn):
        self._listeners.append(fn)

    def emit(self, ev, **fields):
        record = {"ev": ev, "t_us": now_us()}
        record.update(fields)
        for fn in self._listeners:
            fn(record)
        if ev == "frame" and self._quiet_frames:
            return record
        line = _human(record) if self._human else json.dumps(record, ensure_ascii=False)
        with self._lock:
            try:
                self._stream.write(line + "\n")
                self._stream.flush()
            except (BrokenPipeError, ValueError):
                pass
        return record


def _human(r):
    ev = r["ev"]
    if ev == "frame":
        arrow = "device ->" if r["dir"] == "tx" else "device <-"
        extra = ""
        if "rsp_code" in r:
            extra += " rsp=%d appID=%d" % (r["rsp_code"], r.get("app_id", 0))
        if "max_packet" in r:
            extra += " maxPacket=%d" % r["max_packet"]
        if "start" in r:
            extra += " start=%d end=%d" % (r["start"], r["end"])
        if "reply_latency_us" in r:
            extra += " (answered in %.3f ms)" % (r["reply_latency_us"] / 1000)
        return "%s ch=0x%02X %-16s sn=%-5d payload=%d B%s" % (
            arrow, r["ch"], r["type"], r["sn"], r["len"], extra)
    if ev == "ready":
        return "device ready on %s%s" % (r["path"], " (link %s)" % r["link"] if r.get("link") else "")
    if ev in ("transfer_done", "transfer_failed"):
        what = "received" if r["dir"] == "in" else "sent"
        head = "%s %s %s" % (
            "OK" if ev == "transfer_done" else "FAILED", what, r.get("type_name", "?"))
        parts = [head]
        if r.get("name"):
            parts.append('"%s"' % r["name"])
        if "size" in r:
            parts.append("%d B" % r["size"])
        if r.get("text") is not None:
            parts.append("text=%r" % r["text"][:80])
        if r.get("path"):
            parts.append("-> %s" % r["path"])
        if r.get("bytes_per_s"):
            parts.append("%.1f KB/s" % (r["bytes_per_s"] / 1024))
        if r.get("reason"):
            parts.append("reason: %s" % r["reason"])
        return " ".join(parts)
    rest = " ".join("%s=%s" % (k, v) for k, v in r.items() if k not in ("ev", "t_us"))
    return "%s %s" % (ev, rest)
