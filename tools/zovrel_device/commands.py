"""Commands a test gives a running simulator, one JSON object each."""

import json
import os
import random
import socket
import threading
import time

from . import codec
from .faults import FaultError

KIND_TYPES = {"text": codec.DATA_TEXT, "image": codec.DATA_IMAGE, "file": codec.DATA_FILE,
              "bytes": codec.DATA_FILE}


class CommandError(ValueError):
    pass


def _content(cmd):
    """(data_type, payload, name) for a send command."""
    kind = cmd.get("kind", "text")
    if kind not in KIND_TYPES:
        raise CommandError("unknown kind %r" % kind)
    name = cmd.get("name")
    if kind == "text":
        payload = str(cmd.get("text", "")).encode("utf-8")
        name = name or ""
    elif "hex" in cmd:
        payload = bytes.fromhex(cmd["hex"])
    elif "size" in cmd:
        rng = random.Random(cmd.get("seed", 1))
        payload = rng.randbytes(int(cmd["size"]))
    elif "path" in cmd:
        try:
            with open(cmd["path"], "rb") as f:
                payload = f.read()
        except OSError as e:
            raise CommandError("cannot read %s: %s" % (cmd["path"], e.strerror))
        if name is None:
            name = os.path.basename(cmd["path"])
    else:
        raise CommandError("send %s needs path, hex or size" % kind)
    if name is None:
        name = "data.bin"
    return int(cmd.get("data_type", KIND_TYPES[kind])), payload, name


def _frame_type(value):
    if isinstance(value, int):
        return value
    if value in codec.TYPE_CODES:
        return codec.TYPE_CODES[value]
    raise CommandError("unknown frame type %r" % value)


class Commands:
    def __init__(self, device, quit_event):
        self.dev = device
        self.quit_event = quit_event

    def run(self, cmd, wait_default=False):
        try:
            if not isinstance(cmd, dict) or "cmd" not in cmd:
                raise CommandError("expected an object with a cmd field")
            handler = getattr(self, "do_" + str(cmd["cmd"]), None)
            if handler is None:
                raise CommandError("unknown command %r" % cmd["cmd"])
            result = handler(cmd, wait_default) or {}
            return dict({"ok": True}, **result)
        except (CommandError, FaultError, ValueError, TypeError, KeyError, OSError) as e:
            return {"ok": False, "error": str(e)}

    def do_send(self, cmd, wait_default):
        data_type, payload, name = _content(cmd)
        ob = self.dev.start_send(data_type, payload, name)
        if ob is None:
            raise CommandError("a send is already running")
        if not cmd.get("wait", wait_default):
            return {"id": ob.id, "size": len(payload)}
        if not ob.done.wait(float(cmd.get("timeout", 600))):
            raise CommandError("send %d still running" % ob.id)
        return {"id": ob.id, "result": ob.result}

    def do_cancel(self, cmd, wait_default):
        return {"cancelled": self.dev.cancel_send()}

    def do_unplug(self, cmd, wait_default):
        done = self.dev.unplug()
        ms = cmd.get("ms")
        if ms:
            if wait_default:
                time.sleep(ms / 1000.0)
                self.dev.replug()
            else:
                threading.Timer(ms / 1000.0, self.dev.replug).start()
        return {"unplugged": done}

    def do_replug(self, cmd, wait_default):
        return {"path": self.dev.replug()}

    def do_silence(self, cmd, wait_default):
        self.dev.silent = bool(cmd.get("on", True))
        self.dev.mute = bool(cmd.get("full", False)) and self.dev.silent
        return {"silent": self.dev.silent, "mute": self.dev.mute}

    def do_heartbeat(self, cmd, wait_default):
        self.dev.heartbeat_s = float(cmd.get("period", 5))
        return {"period": self.dev.heartbeat_s}

    def do_echo(self, cmd, wait_default):
        body = None
        if "body_hex" in cmd:
            body = bytes.fromhex(cmd["body_hex"])
        elif "value_hex" in cmd:
            body = codec.build_echo_body(bytes.fromhex(cmd["value_hex"]))
        sn = self.dev.send_echo(body, int(cmd.get("ch", codec.CHANNEL_PERIPHERAL)))
        return {"sn": sn}

    def do_frame(self, cmd, wait_default):
        sn = int(cmd["sn"]) if "sn" in cmd else self.dev.next_sn()
        ok = self.dev.send_frame(int(cmd.get("ch", codec.CHANNEL_TRANSFER)),
                                 _frame_type(cmd.get("type", 0)), sn,
                                 bytes.fromhex(cmd.get("payload_hex", "")))
        return {"sn": sn, "sent": ok}

    def do_raw(self, cmd, wait_default):
        return {"sent": self.dev.write_noise(bytes.fromhex(cmd.get("hex", "")))}

    def do_noise(self, cmd, wait_default):
        return {"sent": self.dev.noise_now(int(cmd.get("bytes", 32)),
                                           bool(cmd.get("false_start")))}

    def do_fault(self, cmd, wait_default):
        params = {k: v for k, v in cmd.items() if k != "cmd"}
        self.dev.faults.arm(params)
        self.dev.events.emit("fault_armed", **params)
        return {"armed": self.dev.faults.armed()}

    def do_clear_faults(self, cmd, wait_default):
        self.dev.faults.clear()
        return {}

    def do_status(self, cmd, wait_default):
        return {
            "path": self.dev.line.path,
            "plugged": self.dev.line.plugged,
            "sending": self.dev.sending,
            "receiving": self.dev.receiver.active,
            "finished": self.dev.finished,
            "failed": self.dev.failed,
            "silent": self.dev.silent,
            "faults": self.dev.faults.armed(),
        }

    def do_sleep(self, cmd, wait_default):
        time.sleep(float(cmd.get("ms", 0)) / 1000.0)
        return {}

    def do_wait(self, cmd, wait_default):
        want = int(cmd.get("transfers", self.dev.finished + 1))
        deadline = time.monotonic() + float(cmd.get("timeout", 600))
        while self.dev.finished < want:
            if time.monotonic() > deadline or self.quit_event.is_set():
                raise CommandError("only %d transfers finished" % self.dev.finished)
            time.sleep(0.02)
        return {"finished": self.dev.finished}

    def do_quit(self, cmd, wait_default):
        self.quit_event.set()
        return {}


class ControlServer:
    """A UNIX stream socket; each line in is a command, each line out its answer."""

    def __init__(self, path, commands):
        self.path = path
        self.commands = commands
        if os.path.exists(path):
            os.unlink(path)
        # Bound and listening before it appears, so a client that sees the
        # path can connect at once.
        tmp = "%s.%d" % (path, os.getpid())
        if os.path.exists(tmp):
            os.unlink(tmp)
        self.sock = socket.socket(socket.AF_UNIX, socket.SOCK_STREAM)
        self.sock.bind(tmp)
        self.sock.listen(4)
        os.replace(tmp, path)
        threading.Thread(target=self._accept, daemon=True).start()

    def _accept(self):
        while True:
            try:
                conn, _ = self.sock.accept()
            except OSError:
                return
            threading.Thread(target=self._serve, args=(conn,), daemon=True).start()

    def _serve(self, conn):
        with conn, conn.makefile("rwb") as f:
            for raw in f:
                raw = raw.strip()
                if not raw:
                    continue
                try:
                    cmd = json.loads(raw.decode("utf-8"))
                except (UnicodeDecodeError, json.JSONDecodeError) as e:
                    answer = {"ok": False, "error": "bad JSON: %s" % e}
                else:
                    answer = self.commands.run(cmd)
                try:
                    f.write(json.dumps(answer, ensure_ascii=False).encode("utf-8") + b"\n")
                    f.flush()
                except OSError:
                    return

    def close(self):
        try:
            self.sock.close()
        finally:
            try:
                os.unlink(self.path)
            except OSError:
                pass
