#include "protocol/message_bodies.h"

#include <algorithm>
#include <cstring>

#include "base/text.h"
#include "protocol/frame_codec.h"

namespace zovrel {

Bytes BuildGeneralReply(uint8_t channel, uint32_t sn, uint8_t rsp_code, uint8_t appID) {
    const uint8_t body[2] = {rsp_code, appID};
    return BuildFrame(channel, GENERAL_REPLY, sn, body, sizeof body);
}

Bytes BuildDeviceQueryRsp(uint8_t channel, uint32_t sn, uint32_t maxPacket, uint16_t reserved) {
    Bytes body(6, 0);
    WriteLE32(body, 0, maxPacket);
    WriteLE16(body, 4, reserved);
    return BuildFrame(channel, DEVICE_QUERY_RSP, sn, body);
}

Bytes BuildTransferDescriptor(uint16_t data_type, const Bytes& payload,
                              std::wstring_view fileName) {
    return BuildTransferDescriptor(data_type, static_cast<uint32_t>(payload.size()),
                                   payload.empty() ? 0 : ProtocolChecksum(payload), fileName);
}

Bytes BuildTransferDescriptor(uint16_t data_type, uint32_t payloadLength, uint32_t payloadChecksum,
                              std::wstring_view fileName) {
    Bytes d(DESCRIPTOR_SIZE, 0);
    WriteLE16(d, 0, static_cast<uint16_t>(DESCRIPTOR_SIZE));
    WriteLE16(d, 2, data_type);
    if ((data_type == DATA_TYPE_IMAGE || data_type == DATA_TYPE_FILE) && !fileName.empty()) {
        // Cut by bytes, even inside a character: the device expects at most 29 bytes.
        const std::string utf8 = ToUtf8(fileName);
        const size_t k = std::min(utf8.size(), FILE_NAME_MAX_BYTES);
        if (k > 0)
            std::memcpy(d.data() + 4, utf8.data(), k);
    }
    WriteLE16(d, 34, DESCRIPTOR_MARKER);
    const uint16_t contentCode = data_type == DATA_TYPE_IMAGE  ? 0x12
                                 : data_type == DATA_TYPE_FILE ? 0x13
                                                               : 0x11;
    WriteLE16(d, 36, contentCode);
    WriteLE16(d, 38, 0);
    WriteLE32(d, 40, static_cast<uint32_t>(payloadLength + DESCRIPTOR_SIZE));
    WriteLE32(d, 44, payloadLength == 0 ? 0 : payloadChecksum);
    WriteLE32(d, 48, ProtocolChecksum(d.data(), 48));
    return d;
}

Bytes BuildFirstPacketBody(const Bytes& descriptor) {
    Bytes body;
    body.reserve(1 + 2 * descriptor.size());
    body.push_back(FIRST_FLAG);
    body.insert(body.end(), descriptor.begin(), descriptor.end());
    body.insert(body.end(), descriptor.begin(), descriptor.end());
    return body;
}

Bytes BuildMiddleBody(const uint8_t* chunk, size_t n, uint32_t start, uint32_t end) {
    if (chunk == nullptr)
        n = 0;
    Bytes body(n + MIDDLE_HEAD_SIZE + MIDDLE_TRAILER_SIZE, 0);
    body[0] = CRC_FLAG_TRAILER;
    WriteLE32(body, 1, start);
    WriteLE32(body, 5, end);
    if (n > 0)
        std::memcpy(body.data() + MIDDLE_HEAD_SIZE, chunk, n);
    WriteLE32(body, MIDDLE_HEAD_SIZE + n, ProtocolChecksum(chunk, n));
    return body;
}

bool ParseTransferDescriptor(const uint8_t* r, size_t m, TransferDescriptor& d) {
    if (r == nullptr || m < DESCRIPTOR_SIZE)
        return false;
    d.header_len = ReadLE16(r, 0);
    d.data_type = ReadLE16(r, 2);
    size_t nameBytes = 0;
    while (nameBytes < FILE_NAME_FIELD_SIZE && r[4 + nameBytes] != 0)
        ++nameBytes;
    d.file_name = TrimText(FromUtf8(r + 4, static_cast<std::ptrdiff_t>(nameBytes)));
    d.marker = ReadLE16(r, 34);
    d.content_code = ReadLE16(r, 36);
    d.reserved = ReadLE16(r, 38);
    d.total = ReadLE32(r, 40);
    d.mcAdd = ReadLE32(r, 44);
    d.header_crc = ReadLE32(r, 48);

    const size_t h = d.header_len;
    if (h < 4 || h > DESCRIPTOR_SIZE || h > m)
        return false;
    // header_crc sits at offset 48 whatever header_len claims.
    if (ProtocolChecksum(r, h - 4) != d.header_crc)
        return false;
    if (d.total < h)
        return false;
    return true;
}

bool ParseFirstPacket(const uint8_t* body, size_t count, uint8_t& first_flag,
                      TransferDescriptor& descriptor) {
    if (body == nullptr || count < FIRST_PACKET_MIN_BODY)
        return false;
    first_flag = body[0];
    return ParseTransferDescriptor(body + 1, count - 1, descriptor);
}

bool ParseMiddleHead(const uint8_t* body, size_t count, MiddleHead& head) {
    if (body == nullptr || count < MIDDLE_HEAD_SIZE)
        return false;
    head.crc_flag = body[0];
    head.start = ReadLE32(body, 1);
    head.end = ReadLE32(body, 5);
    return true;
}

bool ParseEchoTlv(const uint8_t* body, size_t count, EchoTlv& tlv) {
    if (body == nullptr || count < ECHO_TLV_HEAD_SIZE + 1)
        return false;
    const uint16_t type = ReadLE16(body, 0);
    const uint32_t length = ReadLE32(body, 2);
    if (type != ECHO_TLV_TYPE || length < 1 || length > ECHO_TLV_MAX_LENGTH)
        return false;
    if (count != length + ECHO_TLV_HEAD_SIZE)
        return false;
    tlv.type = type;
    tlv.length = length;
    tlv.value.assign(body + ECHO_TLV_HEAD_SIZE, body + count);
    return true;
}

std::wstring DescribeTlvFailure(const uint8_t* body, size_t count) {
    if (body == nullptr)
        count = 0;
    if (count < ECHO_TLV_HEAD_SIZE) {
        return FormatText(L"payload too short (%llu < %d)", static_cast<unsigned long long>(count),
                          static_cast<int>(ECHO_TLV_HEAD_SIZE));
    }
    const uint16_t type = ReadLE16(body, 0);
    const uint32_t length = ReadLE32(body, 2);
    if (type != ECHO_TLV_TYPE) {
        return FormatText(L"tlv.type=0x%04X expected 0x%04X", static_cast<unsigned>(type),
                          static_cast<unsigned>(ECHO_TLV_TYPE));
    }
    if (length == 0)
        return L"tlv.length=0";
    if (length > ECHO_TLV_MAX_LENGTH) {
        return FormatText(L"tlv.length=%u > max %d", static_cast<unsigned>(length),
                          static_cast<int>(ECHO_TLV_MAX_LENGTH));
    }
    if (count != length + ECHO_TLV_HEAD_SIZE) {
        return FormatText(
            L"payload=%llu B != tlv wire %u B (length=%u)", static_cast<unsigned long long>(count),
            static_cast<unsigned>(length + ECHO_TLV_HEAD_SIZE), static_cast<unsigned>(length));
    }
    return L"unknown";
}

std::optional<uint64_t> MaxPayloadForType(uint16_t data_type) {
    switch (data_type) {
        case DATA_TYPE_FILE:
            return std::nullopt;
        case DATA_TYPE_IMAGE:
            return MAX_IMAGE_PAYLOAD;
        default:
            return MAX_TEXT_PAYLOAD;
    }
}

uint32_t ChunkSizeFromDevice(uint32_t maxPacket) {
    if (maxPacket == 0)
        return DEFAULT_CHUNK_SIZE;
    // The device's figure includes 64 bytes for the packet's own fields; tiny values are taken
    // as they are.
    const uint32_t usable = maxPacket >= 65 ? maxPacket - 64 : maxPacket;
    return std::min(usable, DEFAULT_CHUNK_SIZE);
}

std::wstring DataTypeName(uint16_t data_type) {
    switch (data_type) {
        case DATA_TYPE_TEXT:
            return L"text";
        case DATA_TYPE_IMAGE:
            return L"image";
        case DATA_TYPE_FILE:
            return L"file";
        default:
            return FormatText(L"type(%u)", static_cast<unsigned>(data_type));
    }
}

std::wstring FileNameOfPath(std::wstring_view path) {
    std::wstring name = TrimText(path);
    if (name.empty())
        return name;
    std::replace(name.begin(), name.end(), L'\\', L'/');
    const size_t slash = name.rfind(L'/');
    if (slash == std::wstring::npos)
        return name;
    return name.substr(slash + 1);
}

}  // namespace zovrel
