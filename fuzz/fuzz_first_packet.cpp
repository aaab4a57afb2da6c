#include "base/text.h"
#include "fuzz_check.h"
#include "protocol/frame_codec.h"
#include "protocol/message_bodies.h"

using namespace zovrel;

// Whatever a received descriptor holds, an accepted one obeys the checks the receiver relies on.
static void CheckAccepted(const uint8_t* r, size_t m, const TransferDescriptor& d) {
    FUZZ_CHECK(d.header_len >= 4 && d.header_len <= DESCRIPTOR_SIZE && d.header_len <= m);
    FUZZ_CHECK(d.total >= d.header_len);
    FUZZ_CHECK(ProtocolChecksum(r, d.header_len - 4) == d.header_crc);
    FUZZ_CHECK(d.file_name == TrimText(d.file_name));
}

// Builds a descriptor from fuzz-chosen type, name and payload and reads it back.
static void CheckRoundTrip(const uint8_t* data, size_t size) {
    if (size < 3)
        return;
    const uint16_t type = data[0] % 4;
    const size_t nameBytes = std::min<size_t>(data[1] % 64, size - 2);
    const std::wstring name = FromUtf8(data + 2, static_cast<std::ptrdiff_t>(nameBytes));
    const Bytes payload(data + 2 + nameBytes, data + size);

    const Bytes descriptor = BuildTransferDescriptor(type, payload, name);
    FUZZ_CHECK(descriptor.size() == DESCRIPTOR_SIZE);
    const Bytes body = BuildFirstPacketBody(descriptor);
    uint8_t flag = 0;
    TransferDescriptor d;
    FUZZ_CHECK(ParseFirstPacket(body, flag, d));
    FUZZ_CHECK(flag == FIRST_FLAG);
    FUZZ_CHECK(d.data_type == type && d.header_len == DESCRIPTOR_SIZE);
    FUZZ_CHECK(d.total == payload.size() + DESCRIPTOR_SIZE);
    FUZZ_CHECK(d.mcAdd == (payload.empty() ? 0 : ProtocolChecksum(payload)));

    // The receiver sees the first 29 UTF-8 bytes up to any zero byte, decoded and trimmed.
    std::string sent;
    if ((type == DATA_TYPE_IMAGE || type == DATA_TYPE_FILE) && !name.empty())
        sent = ToUtf8(name).substr(0, FILE_NAME_MAX_BYTES);
    sent = sent.substr(0, sent.find('\0'));
    FUZZ_CHECK(d.file_name == TrimText(FromUtf8(sent)));
}

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    uint8_t flag = 0;
    TransferDescriptor d;
    if (ParseFirstPacket(data, size, flag, d)) {
        FUZZ_CHECK(size >= FIRST_PACKET_MIN_BODY && flag == data[0]);
        CheckAccepted(data + 1, size - 1, d);
    } else if (size >= FIRST_PACKET_MIN_BODY) {
        FUZZ_CHECK(!ParseTransferDescriptor(data + 1, size - 1, d));
    }
    TransferDescriptor direct;
    if (ParseTransferDescriptor(data, size, direct))
        CheckAccepted(data, size, direct);
    CheckRoundTrip(data, size);

    MiddleHead head;
    FUZZ_CHECK(ParseMiddleHead(data, size, head) == (size >= MIDDLE_HEAD_SIZE));
    return 0;
}
