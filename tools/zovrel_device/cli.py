"""zovrel-device: a simulated clipboard device on a serial line, for tests and demos.

It plays the device end of the Zovrel serial protocol: it answers the
program's transfers (and stores what arrives), sends text, images and files
to the program, keeps a PERIPHERAL_ECHO heartbeat going and checks that each
echo comes back unchanged, and injects faults when asked.

The line
  By default it creates a pty and prints its slave path in the first event
  ("ready"); give that path to the program. --link PATH keeps a symlink to
  the current slave, which survives a simulated unplug/replug. --device PATH
  opens an existing serial device (or another simulator's pty) instead.
  Bytes are paced at 2000000 baud 8N1 (5 us a byte) both ways unless
  --no-wire-delay.

Output
  One JSON object per line on stdout, each with "ev" and "t_us" (monotonic
  microseconds). Main events:
    ready            path, link
    frame            dir (tx = from the device, rx = to it), ch, type, code, sn,
                     len (payload bytes), wire (frame bytes), first_us, last_us
                     (when the first byte began and the last byte ended on the
                     line); replies to a device frame carry reply_latency_us =
                     first_us of the reply - last_us of the device's frame
    transfer_begin / transfer_done / transfer_failed
                     dir in (program -> device) or out; id, type_name, name,
                     size, chunks, duration_us, bytes_per_s, path and sidecar
                     (with --out), text (received text), reason (failures)
    echo_ok / echo_mismatch / echo_lost, noise (rx bytes skipped), fault,
    chunk_bad, unplug, replug, reply_unsolicited, write_failed, error
  --human prints the same as readable lines.

Control
  --control PATH opens a UNIX socket; send one JSON command per line, get one
  JSON answer per line. The same commands can be given up front with --cmd
  (repeatable) or --script FILE (JSON lines); there a send waits for its
  outcome before the next command runs.
    {"cmd":"send","kind":"text","text":"你好"}
    {"cmd":"send","kind":"file","path":"/tmp/a.bin"}       (name from the path)
    {"cmd":"send","kind":"image","path":"x.png"}
    {"cmd":"send","kind":"file","size":100000,"seed":1,"name":"r.bin"}
        optional: "name", "data_type", "wait": true, "timeout": seconds
    {"cmd":"cancel"}
    {"cmd":"unplug"}  {"cmd":"unplug","ms":2000}  {"cmd":"replug"}
    {"cmd":"silence","on":true}          stop heartbeats ("full":true: answer nothing)
    {"cmd":"heartbeat","period":5}       seconds, 0 = off
    {"cmd":"echo"}  {"cmd":"echo","body_hex":"1400290000..."}   one echo now
    {"cmd":"frame","ch":6,"type":"GENERAL_REPLY","sn":3,"payload_hex":"0003"}
    {"cmd":"raw","hex":"57ab00"}  {"cmd":"noise","bytes":40,"false_start":true}
    {"cmd":"fault","kind":"noise","bytes":32,"type":"MIDDLE_PACKET","nth":1}
        noise burst before the nth next frame of that type the device sends
    {"cmd":"fault","kind":"flip","type":"MIDDLE_PACKET","nth":2,"byte":20,"bit":0}
        flip one bit of that frame (default: a middle payload byte)
    {"cmd":"fault","kind":"drop","nth":3,"type":"FIRST_PACKET","what":"reply"}
        do not answer the nth received frame ("what":"frame": ignore it entirely)
    {"cmd":"fault","kind":"fail_chunk","nth":2,"count":1,"code":1}
        answer the nth next MIDDLE_PACKET (and count-1 after it) with rsp_code
    {"cmd":"clear_faults"}  {"cmd":"status"}  {"cmd":"sleep","ms":500}
    {"cmd":"wait","transfers":2,"timeout":30}  {"cmd":"quit"}
  "nth" counts matching frames from the moment the fault is armed, starting at 1;
  "count" (default 1) affects that many matching frames in a row.

Exit status: 0, or 1 when any transfer failed during the run; 2 for bad arguments.

Examples
  zovrel-device --link /tmp/zovrel-tty --out /tmp/got --control /tmp/dev.sock
  zovrel-device --link /tmp/tty --send-text "你好" --exit-after 1 --human
"""

import argparse
import json
import signal
import sys
import threading
import time

from . import codec
from .commands import Commands, ControlServer
from .device import Config, Device
from .events import EventLog


class _Script(argparse.Action):
    """Keeps --send-* and --cmd in the order they were given."""

    def __call__(self, parser, namespace, value, option_string=None):
        script = getattr(namespace, "script_cmds", None) or []
        if option_string == "--send-text":
            script.append({"cmd": "send", "kind": "text", "text": value})
        elif option_string == "--send-file":
            script.append({"cmd": "send", "kind": "file", "path": value})
        elif option_string == "--send-image":
            script.append({"cmd": "send", "kind": "image", "path": value})
        else:
            try:
                script.append(json.loads(value))
            except json.JSONDecodeError as e:
                parser.error("--cmd %s: %s" % (value, e))
        namespace.script_cmds = script


def parse_args(argv):
    p = argparse.ArgumentParser(
        prog="zovrel-device", description=__doc__,
        formatter_class=argparse.RawDescriptionHelpFormatter)
    line = p.add_argument_group("line")
    line.add_argument("--device", help="open this serial device instead of creating a pty")
    line.add_argument("--link", help="keep a symlink to the current pty slave here")
    line.add_argument("--no-wire-delay", action="store_true",
                      help="do not pace bytes at 2000000 baud")
    dev = p.add_argument_group("device")
    dev.add_argument("--out", help="store received transfers in this folder")
    dev.add_argument("--max-packet", type=int, default=codec.DEFAULT_MAX_PACKET,
                     help="maxPacket of the DEVICE_QUERY_RSP (default %(default)s)")
    dev.add_argument("--app-id", type=int, default=2, help="appID of the replies (default 2)")
    dev.add_argument("--heartbeat", type=float, default=5.0,
                     help="seconds between PERIPHERAL_ECHOs, 0 = off (default 5)")
    dev.add_argument("--echo-len", type=int, default=0,
                     help="echo value length 1..40 (default: 9 bytes, 'hb#' and the sn)")
    dev.add_argument("--answer-echo", action="store_true",
                     help="send PERIPHERAL_ECHOs of the other side back unchanged, as the "
                     "program does (for two simulators on one line)")
    dev.add_argument("--echo-timeout", type=float, default=2.0,
                     help="seconds until an echo that did not come back is reported lost")
    snd = p.add_argument_group("sending")
    snd.add_argument("--reply-timeout-ms", type=int, default=2000)
    snd.add_argument("--max-timeouts", type=int, default=10,
                     help="resends after missing answers before giving up")
    snd.add_argument("--max-failures", type=int, default=3,
                     help="resends after failure answers in a row before giving up")
    snd.add_argument("--chunk", type=int, help="force this chunk size")
    snd.add_argument("--first-copies", type=int, choices=(1, 2), default=2,
                     help="descriptor copies in FIRST_PACKET (default 2)")
    run = p.add_argument_group("running")
    run.add_argument("--control", help="UNIX socket for JSON-line commands")
    run.add_argument("--send-text", action=_Script, metavar="TEXT")
    run.add_argument("--send-file", action=_Script, metavar="PATH")
    run.add_argument("--send-image", action=_Script, metavar="PATH")
    run.add_argument("--cmd", action=_Script, metavar="JSON", help="a command to run at start")
    run.add_argument("--script", help="file of JSON-line commands to run at start")
    run.add_argument("--script-delay", type=float, default=0.0,
                     help="seconds to wait before the script runs")
    run.add_argument("--exit-after", type=int, metavar="N",
                     help="quit after N transfers (either direction) have finished")
    run.add_argument("--exit-when-done", action="store_true", help="quit when the script ends")
    run.add_argument("--run-for", type=float, metavar="SECONDS", help="quit after this long")
    run.add_argument("--seed", type=int, help="seed for noise and the first sn")
    run.add_argument("--human", action="store_true", help="readable lines instead of JSON")
    run.add_argument("--quiet-frames", action="store_true", help="no frame events")
    args = p.parse_args(argv)
    if args.echo_len and not 1 <= args.echo_len <= codec.ECHO_MAX_VALUE:
        p.error("--echo-len must be 1..40")
    if args.max_packet < 0 or args.max_packet > 0xFFFFFFFF:
        p.error("--max-packet out of range")
    args.script_cmds = getattr(args, "script_cmds", None) or []
    if args.script:
        try:
            with open(args.script, encoding="utf-8") as f:
                args.script_cmds += [json.loads(l) for l in f if l.strip()]
        except (OSError, json.JSONDecodeError) as e:
            p.error("--script: %s" % e)
    return args


def main(argv=None):
    args = parse_args(sys.argv[1:] if argv is None else argv)
    events = EventLog(human=args.human, quiet_frames=args.quiet_frames)
    cfg = Config(
        device=args.device, link=args.link, wire_delay=not args.no_wire_delay,
        out_dir=args.out, max_packet=args.max_packet, app_id=args.app_id,
        heartbeat_s=args.heartbeat, echo_timeout_s=args.echo_timeout, echo_len=args.echo_len,
        reply_timeout_ms=args.reply_timeout_ms, max_timeouts=args.max_timeouts,
        max_failures=args.max_failures, first_copies=args.first_copies, chunk=args.chunk,
        seed=args.seed, answer_echo=args.answer_echo)
    quit_event = threading.Event()
    device = Device(cfg, events)
    if args.exit_after:
        device.on_transfer_finished = lambda ok: (
            device.finished >= args.exit_after and quit_event.set())
    # The handler runs on the main thread between two of its steps, possibly while that thread
    # holds the event's own lock inside wait(); setting the event there could wait forever, so
    # the handler only notes the signal and the loop below acts on it.
    signals = []
    for sig in (signal.SIGINT, signal.SIGTERM):
        signal.signal(sig, lambda number, _: signals.append(number))
    try:
        device.start()
    except OSError as e:
        print("zovrel-device: cannot open the line: %s" % e, file=sys.stderr)
        return 2
    commands = Commands(device, quit_event)
    server = ControlServer(args.control, commands) if args.control else None

    def run_script():
        time.sleep(args.script_delay)
        for cmd in args.script_cmds:
            if quit_event.is_set():
                return
            answer = commands.run(cmd, wait_default=True)
            if not answer.get("ok"):
                events.emit("error", where="script", cmd=cmd, reason=answer.get("error"))
        if args.exit_when_done:
            quit_event.set()

    if args.script_cmds or args.exit_when_done:
        threading.Thread(target=run_script, daemon=True).start()
    deadline = time.monotonic() + args.run_for if args.run_for else None
    while not signals and not quit_event.wait(0.1):
        if deadline and time.monotonic() >= deadline:
            break
    quit_event.set()  # the script and any command still waiting stop on it
    if server:
        server.close()
    device.stop()
    events.emit("exit", finished=device.finished, failed=device.failed)
    return 1 if device.failed else 0
