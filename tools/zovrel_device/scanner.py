"""Cuts valid frames out of a byte stream that may hold noise and torn frames."""

from . import codec


class FrameScanner:
    """Feed bytes in any pieces; get back complete frames in arrival order.

    Every byte is numbered by its position in the stream since the scanner was
    created, so a caller can map a frame back to the time its bytes arrived.
    """

    def __init__(self):
        self._buf = bytearray()
        self._base = 0  # stream position of _buf[0]
        self.skipped = 0  # bytes dropped as noise so far

    @property
    def base(self):
        """Stream position of the oldest byte still held."""
        return self._base

    @property
    def position(self):
        return self._base + len(self._buf)

    def feed(self, data):
        """Append data; returns a list of (stream_offset, Frame, skipped_before)."""
        self._buf += data
        out = []
        while True:
            got = self._next()
            if got is None:
                return out
            out.append(got)

    def _drop(self, n):
        del self._buf[:n]
        self._base += n

    def _next(self):
        buf = self._buf
        i = 0
        skipped = 0
        while True:
            j = buf.find(codec.MAGIC, i)
            if j < 0:
                # Keep a trailing 0x57: it may be the first half of the magic.
                keep = 1 if buf.endswith(codec.MAGIC[:1]) else 0
                skipped += len(buf) - keep
                self.skipped += len(buf) - keep
                self._drop(len(buf) - keep)
                return None
            if len(buf) - j < codec.HEADER_SIZE:
                skipped += j
                self.skipped += j
                self._drop(j)
                return None
            plen = codec.declared_payload(buf, j)
            if plen > codec.MAX_PAYLOAD:
                i = j + 1
                continue
            total = plen + codec.OVERHEAD
            if len(buf) - j < total:
                # An incomplete candidate holds everything behind it until its
                # checksum can be tested.
                self.skipped += j
                self._drop(j)
                return None
            frame = codec.parse_frame(bytes(buf[j : j + total]))
            if frame is None:
                i = j + 1
                continue
            offset = self._base + j
            skipped += j
            self.skipped += j
            self._drop(j + total)
            return offset, frame, skipped
