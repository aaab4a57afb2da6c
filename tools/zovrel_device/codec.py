"""Frame codec and message bodies of the device protocol, as the device sees them."""

import struct

MAGIC = b"\x57\xab"
HEADER_SIZE = 17
OVERHEAD = 21
MAX_PAYLOAD = 65536

CHANNEL_PERIPHERAL = 0x03
CHANNEL_TRANSFER = 0x06

GENERAL_REPLY = 0
START_REQUEST = 1
DEVICE_QUERY = 2
FIRST_PACKET = 3
MIDDLE_PACKET = 4
FINISH_PACKET = 5
PERIPHERAL_ECHO = 20
DEVICE_QUERY_RSP = 130

TYPE_NAMES = {
    GENERAL_REPLY: "GENERAL_REPLY",
    START_REQUEST: "START_REQUEST",
    DEVICE_QUERY: "DEVICE_QUERY",
    FIRST_PACKET: "FIRST_PACKET",
    MIDDLE_PACKET: "MIDDLE_PACKET",
    FINISH_PACKET: "FINISH_PACKET",
    PERIPHERAL_ECHO: "PERIPHERAL_ECHO",
    DEVICE_QUERY_RSP: "DEVICE_QUERY_RSP",
}
TYPE_CODES = {name: code for code, name in TYPE_NAMES.items()}

DESCRIPTOR_SIZE = 52
DEFAULT_CHUNK = 10240
DEFAULT_MAX_PACKET = 10304
CRC_FLAG_TRAILER = 0x02
ECHO_TLV_TYPE = 0x0014
ECHO_MAX_VALUE = 40

DATA_TEXT, DATA_IMAGE, DATA_FILE = 0, 1, 2
DATA_TYPE_NAMES = {DATA_TEXT: "text", DATA_IMAGE: "image", DATA_FILE: "file"}

_MASK32 = 0xFFFFFFFF
_LOW3 = bytes(b & 7 for b in range(256))


def type_name(code):
    return TYPE_NAMES.get(code, "UNKNOWN(0x%04X)" % code)


def data_type_name(code):
    return DATA_TYPE_NAMES.get(code, "type(%u)" % code)


def checksum(data, position=0, start=0):
    """Position-weighted additive sum; `position` is the weight index of data[0].

    Continuing a sum over a long range in pieces: pass the previous result as
    `start` and the number of bytes already summed as `position`.
    """
    data = bytes(data)
    low = data.translate(_LOW3)
    total = start + sum(data)
    for k in range(32):
        # data[j] has weight (position + j) & 31 == k for j = (k - position) mod 32, +32, ...
        first = (k - position) % 32
        if k:
            total += k * sum(low[first::32])
    return total & _MASK32


class Frame:
    __slots__ = ("channel", "sn", "length", "type", "payload", "raw")

    def __init__(self, channel, sn, length, ftype, payload, raw):
        self.channel = channel
        self.sn = sn
        self.length = length
        self.type = ftype
        self.payload = payload
        self.raw = raw

    @property
    def type_name(self):
        return type_name(self.type)


def build_frame(channel, ftype, sn, payload=b""):
    payload = bytes(payload)
    head = MAGIC + struct.pack("<BIIHI", channel, sn, len(payload) + 6, ftype, len(payload))
    body = head + payload
    return body + struct.pack("<I", checksum(body))


def declared_payload(buf, at=0):
    """Payload length field of a header starting at `at` (needs 17 bytes)."""
    return struct.unpack_from("<I", buf, at + 13)[0]


def parse_frame(buf):
    """Decode one frame at the start of buf; None when it is not a valid frame."""
    if len(buf) < HEADER_SIZE or bytes(buf[0:2]) != MAGIC:
        return None
    channel, sn, length, ftype, plen = struct.unpack_from("<BIIHI", buf, 2)
    if plen > MAX_PAYLOAD:
        return None
    total = plen + OVERHEAD
    if len(buf) < total:
        return None
    raw = bytes(buf[:total])
    if struct.unpack_from("<I", raw, total - 4)[0] != checksum(raw[: total - 4]):
        return None
    return Frame(channel, sn, length, ftype, raw[HEADER_SIZE : HEADER_SIZE + plen], raw)


# --- bodies -----------------------------------------------------------------


def build_general_reply(channel, sn, rsp_code, app_id):
    return build_frame(channel, GENERAL_REPLY, sn, bytes([rsp_code & 0xFF, app_id & 0xFF]))


def build_device_query_rsp(channel, sn, max_packet, reserved=0):
    return build_frame(channel, DEVICE_QUERY_RSP, sn, struct.pack("<IH", max_packet, reserved))


def parse_general_reply(payload):
    """(rsp_code, appID), or None for a body too short to carry a code."""
    if len(payload) < 2:
        return None
    return payload[0], payload[1]


def parse_device_query_rsp(payload):
    if len(payload) < 4:
        return None
    return struct.unpack_from("<I", payload, 0)[0]


def chunk_size_from_device(max_packet):
    if max_packet == 0:
        return DEFAULT_CHUNK
    if max_packet >= 65:
        max_packet -= 64
    return min(max_packet, DEFAULT_CHUNK)


def _content_code(data_type):
    return {DATA_IMAGE: 0x12, DATA_FILE: 0x13}.get(data_type, 0x11)


def build_descriptor(data_type, payload, file_name=""):
    d = bytearray(DESCRIPTOR_SIZE)
    struct.pack_into("<HH", d, 0, DESCRIPTOR_SIZE, data_type)
    if data_type in (DATA_IMAGE, DATA_FILE) and file_name:
        name = file_name.encode("utf-8")[:29]
        d[4 : 4 + len(name)] = name
    struct.pack_into("<HHH", d, 34, 0x00BF, _content_code(data_type), 0)
    mc_add = checksum(payload) if payload else 0
    struct.pack_into("<II", d, 40, len(payload) + DESCRIPTOR_SIZE, mc_add)
    struct.pack_into("<I", d, 48, checksum(d[:48]))
    return bytes(d)


class Descriptor:
    __slots__ = (
        "header_len", "data_type", "name_bytes", "marker", "content_code",
        "reserved", "total", "mc_add", "header_crc",
    )

    @property
    def payload_size(self):
        return self.total - self.header_len

    @property
    def file_name(self):
        return self.name_bytes.decode("utf-8", errors="replace").strip()

    def as_dict(self):
        return {
            "header_len": self.header_len,
            "data_type": self.data_type,
            "type_name": data_type_name(self.data_type),
            "file_name": self.file_name,
            "marker": self.marker,
            "content_code": self.content_code,
            "total": self.total,
            "payload_size": self.payload_size,
            "mcAdd": self.mc_add,
            "header_crc": self.header_crc,
        }


def parse_descriptor(r):
    """Decode and validate a descriptor; returns (Descriptor, None) or (None, reason)."""
    if len(r) < DESCRIPTOR_SIZE:
        return None, "descriptor shorter than %d bytes" % DESCRIPTOR_SIZE
    r = bytes(r)
    d = Descriptor()
    d.header_len, d.data_type = struct.unpack_from("<HH", r, 0)
    raw_name = r[4:34]
    zero = raw_name.find(b"\x00")
    d.name_bytes = raw_name if zero < 0 else raw_name[:zero]
    d.marker, d.content_code, d.reserved = struct.unpack_from("<HHH", r, 34)
    d.total, d.mc_add, d.header_crc = struct.unpack_from("<III", r, 40)
    h = d.header_len
    if not 4 <= h <= DESCRIPTOR_SIZE or h > len(r):
        return None, "header_len %d" % h
    if checksum(r[: h - 4]) != d.header_crc:
        return None, "header_crc mismatch"
    if d.total < h:
        return None, "total %d < header_len %d" % (d.total, h)
    return d, None


def build_first_packet_body(descriptor, copies=2):
    return b"\x01" + descriptor * copies


def parse_first_packet(payload):
    """Returns (first_flag, Descriptor, None) or (None, None, reason)."""
    if len(payload) < 1 + DESCRIPTOR_SIZE:
        return None, None, "FIRST_PACKET body %d B" % len(payload)
    d, why = parse_descriptor(payload[1:])
    if d is None:
        return None, None, why
    return payload[0], d, None


def build_middle_body(data, start, end=None):
    data = bytes(data)
    if end is None:
        end = start + len(data) - 1
    return (
        struct.pack("<BII", CRC_FLAG_TRAILER, start & _MASK32, end & _MASK32)
        + data
        + struct.pack("<I", checksum(data))
    )


class MiddlePacket:
    __slots__ = ("crc_flag", "start", "end", "data", "pkg_crc")


def parse_middle(payload):
    """Split a MIDDLE_PACKET body; None when the head is incomplete.

    pkg_crc is None when the body carries no trailer.
    """
    if len(payload) < 9:
        return None
    m = MiddlePacket()
    m.crc_flag, m.start, m.end = struct.unpack_from("<BII", payload, 0)
    n = len(payload) - 9
    m.pkg_crc = None
    if m.crc_flag == CRC_FLAG_TRAILER and n >= 4:
        n -= 4
        m.pkg_crc = struct.unpack_from("<I", payload, 9 + n)[0]
    m.data = bytes(payload[9 : 9 + n])
    return m


def build_echo_body(value):
    value = bytes(value)
    return struct.pack("<HI", ECHO_TLV_TYPE, len(value)) + value


def parse_echo_body(payload):
    """The TLV value, or None when the body is not one well-formed echo TLV."""
    if len(payload) < 7:
        return None
    tlv_type, length = struct.unpack_from("<HI", payload, 0)
    if tlv_type != ECHO_TLV_TYPE or not 1 <= length <= ECHO_MAX_VALUE:
        return None
    if len(payload) != length + 6:
        return None
    return bytes(payload[6:])
