"""Faults a test can ask for: noise, flipped bits, lost replies, refused chunks."""

import random
import struct
import threading

from . import codec

KINDS = ("noise", "flip", "drop", "fail_chunk")


class FaultError(ValueError):
    pass


def _type_filter(params):
    t = params.get("type")
    if t is None or t == "any":
        return None
    if isinstance(t, int):
        return t
    if t in codec.TYPE_CODES:
        return codec.TYPE_CODES[t]
    raise FaultError("unknown frame type %r" % t)


class Fault:
    def __init__(self, params):
        self.params = dict(params)
        self.kind = params.get("kind")
        if self.kind not in KINDS:
            raise FaultError("unknown fault kind %r" % self.kind)
        self.type = _type_filter(params)
        if self.kind == "fail_chunk":
            self.type = codec.MIDDLE_PACKET
        self.nth = int(params.get("nth", 1))
        self.count = int(params.get("count", 1))
        if self.nth < 1 or self.count < 1:
            raise FaultError("nth and count start at 1")
        self.seen = 0

    def hit(self, ftype):
        """Counts a matching frame; true when this frame is to be affected."""
        if self.type is not None and ftype != self.type:
            return False
        self.seen += 1
        return self.nth <= self.seen < self.nth + self.count

    @property
    def spent(self):
        return self.seen >= self.nth + self.count - 1


def noise_bytes(n, rng, false_start=False):
    """Random bytes that never form a valid frame."""
    data = bytearray(rng.getrandbits(8) for _ in range(n))
    if false_start and n >= codec.HEADER_SIZE + 4:
        # A plausible header with a small length and a wrong checksum: the
        # receiver must test it and then resume one byte later.
        plen = min(4, n - codec.OVERHEAD) if n >= codec.OVERHEAD else 0
        head = codec.MAGIC + struct.pack("<BIIHI", 6, 0, plen + 6, 1, plen)
        data[0 : len(head)] = head
    # A random tail could, in theory, complete a frame; break every magic pair
    # except a deliberate false start at 0.
    for i in range(1 if false_start else 0, len(data) - 1):
        if data[i] == 0x57 and data[i + 1] == 0xAB:
            data[i + 1] = 0xAA
    if false_start and codec.parse_frame(bytes(data)) is not None:
        data[-1] ^= 0xFF
    return bytes(data)


class Faults:
    def __init__(self, seed=None):
        self._lock = threading.Lock()
        self._armed = []
        self.rng = random.Random(seed)

    def arm(self, params):
        f = Fault(params)
        with self._lock:
            self._armed.append(f)
        return f

    def clear(self):
        with self._lock:
            self._armed.clear()

    def armed(self):
        with self._lock:
            return [f.params for f in self._armed]

    def _take(self, kinds, ftype):
        """Armed faults of these kinds that apply to this frame."""
        hits = []
        with self._lock:
            for f in list(self._armed):
                if f.kind in kinds and f.hit(ftype):
                    hits.append(f)
                if f.kind in kinds and f.spent:
                    self._armed.remove(f)
        return hits

    def for_tx(self, ftype):
        """(noise to send first, [(byte, bit)] flips) for a frame about to go out."""
        noise = b""
        flips = []
        for f in self._take(("noise", "flip"), ftype):
            if f.kind == "noise":
                noise += noise_bytes(
                    int(f.params.get("bytes", 32)), self.rng, bool(f.params.get("false_start")))
            else:
                flips.append((f.params.get("byte"), int(f.params.get("bit", 0)) & 7))
        return noise, flips

    def for_rx(self, ftype):
        """'reply' (answer lost), 'frame' (frame lost) or None for a received frame."""
        for f in self._take(("drop",), ftype):
            return f.params.get("what", "reply")
        return None

    def chunk_code(self):
        for f in self._take(("fail_chunk",), codec.MIDDLE_PACKET):
            return int(f.params.get("code", 1)) & 0xFF
        return None


def apply_flips(frame, flips):
    data = bytearray(frame)
    applied = []
    for byte, bit in flips:
        if byte is None:
            plen = len(data) - codec.OVERHEAD
            byte = codec.HEADER_SIZE + plen // 2 if plen else 3
        byte = int(byte) % len(data)
        data[byte] ^= 1 << bit
        applied.append({"byte": byte, "bit": bit})
    return bytes(data), applied
