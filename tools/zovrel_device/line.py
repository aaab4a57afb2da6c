"""The serial line: a pty of our own (or a given device) at an emulated 2000000 baud 8N1."""

import errno
import os
import select
import termios
import threading
import time
import tty

BAUD = 2000000
BITS_PER_BYTE = 10  # start bit, 8 data bits, stop bit
BYTE_US = 1000000 * BITS_PER_BYTE // BAUD  # 5 us
WRITE_SLICE = 200  # bytes handed to the kernel at a time when pacing (1 ms)
WRITE_TIMEOUT_S = 5.0


def now_us():
    return time.monotonic_ns() // 1000


def sleep_until(t_us):
    delay = t_us - now_us()
    if delay > 0:
        time.sleep(delay / 1e6)


def _make_raw(fd, set_speed):
    tty.setraw(fd)
    attrs = termios.tcgetattr(fd)
    if set_speed and hasattr(termios, "B2000000"):
        attrs[4] = attrs[5] = termios.B2000000
    attrs[2] &= ~(termios.PARENB | termios.CSTOPB | termios.CSIZE | termios.CRTSCTS)
    attrs[2] |= termios.CS8 | termios.CREAD | termios.CLOCAL
    attrs[0] &= ~(termios.IXON | termios.IXOFF | termios.IXANY)
    termios.tcsetattr(fd, termios.TCSANOW, attrs)


class LineClosed(Exception):
    pass


class Line:
    """One end of the serial line.

    With no device path it creates a pty and talks through the master; the
    program under test opens the slave. `link`, when given, is kept as a
    symlink to the current slave so that a replugged pty appears at the same
    place. Unplugging closes the master, which makes the program's reads on
    the old slave fail (EIO / POLLHUP) as a vanished USB adapter would.
    """

    def __init__(self, device=None, link=None, wire_delay=True):
        self.device = device
        self.link = link
        self.byte_us = BYTE_US if wire_delay else 0
        self.path = None
        self.generation = 0
        self._fd = None
        self._slave_fd = None
        self._wlock = threading.Lock()
        self._tx_free = 0
        self._rx_free = 0
        self._in_use = threading.Condition()
        self._reading = None  # fd a read() is waiting on
        self._wake_r, self._wake_w = os.pipe()
        os.set_blocking(self._wake_r, False)

    @property
    def plugged(self):
        return self._fd is not None

    def plug(self):
        with self._wlock:
            if self._fd is not None:
                return self.path
            if self.device:
                fd = os.open(self.device, os.O_RDWR | os.O_NOCTTY | os.O_NONBLOCK)
                if os.isatty(fd):
                    _make_raw(fd, set_speed=True)
                self.path = self.device
            else:
                fd, slave = os.openpty()
                _make_raw(slave, set_speed=False)
                # Holding the slave open keeps the master readable before the
                # program has opened it (otherwise reads give EIO).
                self._slave_fd = slave
                self.path = os.ttyname(slave)
                os.set_blocking(fd, False)
                self._update_link()
            self._fd = fd
            self.generation += 1
            self._tx_free = self._rx_free = 0
        self._wake()
        return self.path

    def unplug(self):
        with self._wlock:
            if self._fd is None:
                return False
            old = self._fd
            self._fd = None
            # A close while another thread still selects on the fd only takes
            # effect when that select returns, so the hangup would come late.
            self._wake()
            with self._in_use:
                self._in_use.wait_for(lambda: self._reading != old, timeout=1.0)
            for fd in (old, self._slave_fd):
                if fd is not None:
                    try:
                        os.close(fd)
                    except OSError:
                        pass
            self._fd = self._slave_fd = None
            self.generation += 1
            if self.link and not self.device:
                self._remove_link()
        self._wake()
        return True

    def close(self):
        self.unplug()
        for fd in (self._wake_r, self._wake_w):
            try:
                os.close(fd)
            except OSError:
                pass

    def _update_link(self):
        if not self.link:
            return
        tmp = "%s.tmp%d" % (self.link, os.getpid())
        try:
            os.unlink(tmp)
        except FileNotFoundError:
            pass
        os.symlink(self.path, tmp)
        os.replace(tmp, self.link)

    def _remove_link(self):
        try:
            if os.path.islink(self.link):
                os.unlink(self.link)
        except OSError:
            pass

    def _wake(self):
        try:
            os.write(self._wake_w, b"x")
        except OSError:
            pass

    # --- writing ------------------------------------------------------------

    def write(self, data):
        """Put bytes on the line, paced at the line rate.

        Returns (first_us, last_us): when the first byte starts and the last
        byte ends on the wire. Raises LineClosed when unplugged or when the
        other side does not take the bytes within the write time-out.
        """
        data = bytes(data)
        with self._wlock:
            fd = self._fd
            if fd is None:
                raise LineClosed("unplugged")
            t0 = max(now_us(), self._tx_free)
            if not self.byte_us:
                self._write_all(fd, data)
                return t0, t0
            sent = 0
            while sent < len(data):
                k = min(WRITE_SLICE, len(data) - sent)
                # A UART hands a byte over once its stop bit is through.
                sleep_until(t0 + (sent + k) * self.byte_us)
                self._write_all(fd, data[sent : sent + k])
                sent += k
            last = t0 + len(data) * self.byte_us
            self._tx_free = last
            return t0, last

    def _write_all(self, fd, data):
        deadline = time.monotonic() + WRITE_TIMEOUT_S
        view = memoryview(data)
        while view:
            try:
                n = os.write(fd, view)
                view = view[n:]
            except BlockingIOError:
                left = deadline - time.monotonic()
                if left <= 0:
                    raise LineClosed("write time-out")
                select.select([], [fd], [], min(left, 0.05))
            except OSError as e:
                raise LineClosed(os.strerror(e.errno))

    # --- reading ------------------------------------------------------------

    def read(self, timeout):
        """Wait up to timeout seconds for bytes.

        Returns (data, start_us, generation) or None. start_us is when the
        first byte of data began to arrive; byte k of data ends at
        start_us + (k + 1) * byte_us.
        """
        with self._in_use:
            fd = self._fd
            gen = self.generation
            self._reading = fd
        watch = [self._wake_r] + ([fd] if fd is not None else [])
        try:
            try:
                ready, _, _ = select.select(watch, [], [], timeout)
            except (OSError, ValueError):
                time.sleep(timeout)
                return None
            return self._take(fd, gen, ready, timeout)
        finally:
            with self._in_use:
                self._reading = None
                self._in_use.notify_all()

    def _take(self, fd, gen, ready, timeout):
        if self._wake_r in ready:
            try:
                os.read(self._wake_r, 512)
            except OSError:
                pass
        if fd is None or fd not in ready:
            return None
        try:
            data = os.read(fd, 65536)
        except BlockingIOError:
            return None
        except OSError as e:
            if e.errno in (errno.EIO, errno.EBADF):
                # Device side gone; avoid spinning until it is back.
                time.sleep(min(timeout, 0.05))
                return None
            raise
        if not data or gen != self.generation:
            return None
        t = now_us()
        start = max(t, self._rx_free) if self.byte_us else t
        self._rx_free = start + len(data) * self.byte_us
        return data, start, gen
