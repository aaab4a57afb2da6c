#pragma once

#include <cstddef>
#include <cstdint>
#include <optional>
#include <string>
#include <string_view>

#include "base/bytes.h"

namespace zovrel {

constexpr size_t DESCRIPTOR_SIZE = 52;
constexpr uint32_t DEFAULT_CHUNK_SIZE = 10240;

constexpr uint16_t DATA_TYPE_TEXT = 0;
constexpr uint16_t DATA_TYPE_IMAGE = 1;
constexpr uint16_t DATA_TYPE_FILE = 2;

constexpr uint8_t RSP_SUCCESS = 0;
constexpr uint8_t RSP_FAILURE = 1;  // the only failure code we send
constexpr uint8_t OUR_APP_ID = 3;   // the appID of every reply we send
constexpr uint8_t PEER_APP_ID = 2;  // the other appID a sender takes replies from

constexpr uint8_t FIRST_FLAG = 0x01;
constexpr size_t FIRST_PACKET_MIN_BODY = 1 + DESCRIPTOR_SIZE;
constexpr size_t FILE_NAME_FIELD_SIZE = 30;
constexpr size_t FILE_NAME_MAX_BYTES = 29;  // byte 33 of the descriptor stays 0
constexpr uint16_t DESCRIPTOR_MARKER = 0x00BF;

constexpr uint8_t CRC_FLAG_TRAILER = 0x02;  // MIDDLE_PACKET data is followed by pkg_crc
constexpr size_t MIDDLE_HEAD_SIZE = 9;
constexpr size_t MIDDLE_TRAILER_SIZE = 4;

constexpr uint16_t ECHO_TLV_TYPE = 0x0014;
constexpr size_t ECHO_TLV_HEAD_SIZE = 6;
constexpr uint32_t ECHO_TLV_MAX_LENGTH = 40;

constexpr uint64_t MAX_TEXT_PAYLOAD = 1048576;
constexpr uint64_t MAX_IMAGE_PAYLOAD = 10485760;

struct TransferDescriptor {
    uint16_t header_len = 0;
    uint16_t data_type = 0;
    std::wstring file_name;
    uint16_t marker = 0;
    uint16_t content_code = 0;
    uint16_t reserved = 0;
    uint32_t total = 0;  // payload length + header_len
    uint32_t mcAdd = 0;  // checksum of the whole payload
    uint32_t header_crc = 0;
};

struct MiddleHead {
    uint8_t crc_flag = 0;
    uint32_t start = 0;
    uint32_t end = 0;  // inclusive
};

struct EchoTlv {
    uint16_t type = 0;
    uint32_t length = 0;
    Bytes value;
};

// Builders return complete frames (replies) or bodies; they cannot fail.
Bytes BuildGeneralReply(uint8_t channel, uint32_t sn, uint8_t rsp_code, uint8_t appID);
Bytes BuildDeviceQueryRsp(uint8_t channel, uint32_t sn, uint32_t maxPacket, uint16_t reserved);
Bytes BuildTransferDescriptor(uint16_t data_type, const Bytes& payload, std::wstring_view fileName);
// The same for a payload known only by its length and checksum (a file read as it is sent).
Bytes BuildTransferDescriptor(uint16_t data_type, uint32_t payloadLength, uint32_t payloadChecksum,
                              std::wstring_view fileName);
Bytes BuildFirstPacketBody(const Bytes& descriptor);
Bytes BuildMiddleBody(const uint8_t* chunk, size_t n, uint32_t start, uint32_t end);

// Parsers answer false for a body they cannot use.
bool ParseFirstPacket(const uint8_t* body, size_t count, uint8_t& first_flag,
                      TransferDescriptor& descriptor);
bool ParseTransferDescriptor(const uint8_t* data, size_t count, TransferDescriptor& descriptor);
bool ParseMiddleHead(const uint8_t* body, size_t count, MiddleHead& head);
bool ParseEchoTlv(const uint8_t* body, size_t count, EchoTlv& tlv);
// Why ParseEchoTlv refuses the body; "unknown" for a body it accepts.
std::wstring DescribeTlvFailure(const uint8_t* body, size_t count);

inline bool ParseFirstPacket(const Bytes& body, uint8_t& first_flag, TransferDescriptor& d) {
    return ParseFirstPacket(body.data(), body.size(), first_flag, d);
}
inline bool ParseMiddleHead(const Bytes& body, MiddleHead& head) {
    return ParseMiddleHead(body.data(), body.size(), head);
}
inline bool ParseEchoTlv(const Bytes& body, EchoTlv& tlv) {
    return ParseEchoTlv(body.data(), body.size(), tlv);
}
inline std::wstring DescribeTlvFailure(const Bytes& body) {
    return DescribeTlvFailure(body.data(), body.size());
}

// Whether a sender takes a GENERAL_REPLY with this appID as an answer.
constexpr bool IsAcceptedReplyAppId(uint8_t appID) {
    return appID == OUR_APP_ID || appID == PEER_APP_ID;
}

// Largest payload allowed for a data type; no value means no limit (files).
std::optional<uint64_t> MaxPayloadForType(uint16_t data_type);
uint32_t ChunkSizeFromDevice(uint32_t maxPacket);
std::wstring DataTypeName(uint16_t data_type);
// The last component of a path with either kind of slash, trimmed; empty for "dir/".
std::wstring FileNameOfPath(std::wstring_view path);

}  // namespace zovrel
