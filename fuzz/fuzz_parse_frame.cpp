#include "fuzz_check.h"
#include "protocol/diagnostics.h"
#include "protocol/frame_codec.h"
#include "protocol/message_bodies.h"

using namespace zovrel;

static uint32_t ScalarChecksum(const uint8_t* p, size_t n) {
    uint32_t sum = 0;
    for (size_t i = 0; i < n; ++i)
        sum += p[i] + (p[i] & 7u) * static_cast<uint32_t>(i & 31);
    return sum;
}

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    // The blocked checksum must equal the byte-by-byte definition, whole and in two pieces.
    const uint32_t whole = ProtocolChecksum(data, size);
    FUZZ_CHECK(whole == ScalarChecksum(data, size));
    const size_t cut = size > 0 ? data[0] % (size + 1) : 0;
    FUZZ_CHECK(ProtocolChecksumContinue(ProtocolChecksum(data, cut), data + cut, size - cut, cut) ==
               whole);

    // The log's summary and hex text take any bytes.
    FUZZ_CHECK(!FrameSummary(data, size).empty());
    FUZZ_CHECK(size == 0 || HexBytes(data, size).size() == size * 3 - 1);

    // The same bytes as an echo body: the logged reason names a failure exactly when the parser
    // refuses it, and any value can be described, as hex at least.
    EchoTlv tlv;
    const bool tlvOk = ParseEchoTlv(data, size, tlv);
    FUZZ_CHECK(tlvOk == (DescribeTlvFailure(data, size) == L"unknown"));
    FUZZ_CHECK(!tlvOk || (tlv.type == ECHO_TLV_TYPE && tlv.length >= 1 &&
                          tlv.length <= ECHO_TLV_MAX_LENGTH && size == tlv.length + 6));
    if (!tlvOk)
        tlv.value.assign(data, data + size);
    FUZZ_CHECK(tlv.value.size() == (tlvOk ? tlv.length : size));
    FUZZ_CHECK(DescribeTlvValue(tlv).find(size == 0 ? L"<empty>" : L"hex=[") != std::wstring::npos);

    Frame frame;
    if (!ParseFrame(data, size, frame))
        return 0;
    FUZZ_CHECK(frame.header.payloadLength <= MAX_FRAME_PAYLOAD);
    FUZZ_CHECK(frame.payload.size() + FRAME_OVERHEAD <= size);
    // Encoding the decoded frame gives back its very bytes, odd length field and all: an echo
    // answered from the decoded frame is the device's own.
    FUZZ_CHECK(EncodeFrame(frame) == Bytes(data, data + frame.payload.size() + FRAME_OVERHEAD));
    return 0;
}
