#include "protocol/diagnostics.h"

#include "base/text.h"
#include "protocol/frame_codec.h"

namespace zovrel {

std::wstring FrameTypeName(uint16_t type) {
    switch (type) {
        case GENERAL_REPLY:
            return L"GENERAL_REPLY";
        case START_REQUEST:
            return L"START_REQUEST";
        case DEVICE_QUERY:
            return L"DEVICE_QUERY";
        case FIRST_PACKET:
            return L"FIRST_PACKET";
        case MIDDLE_PACKET:
            return L"MIDDLE_PACKET";
        case FINISH_PACKET:
            return L"FINISH_PACKET";
        case PERIPHERAL_ECHO:
            return L"PERIPHERAL_ECHO";
        case DEVICE_QUERY_RSP:
            return L"DEVICE_QUERY_RSP";
        default:
            return FormatText(L"UNKNOWN(0x%04X)", static_cast<unsigned>(type));
    }
}

namespace {

std::wstring SummaryOf(const FrameHeader& header, size_t wireSize) {
    return FormatText(L"ch=0x%02X %ls payload=%u wire=%llu B sn=%u",
                      static_cast<unsigned>(header.channel), FrameTypeName(header.type).c_str(),
                      static_cast<unsigned>(header.payloadLength),
                      static_cast<unsigned long long>(wireSize), static_cast<unsigned>(header.sn));
}

}  // namespace

std::wstring FrameSummary(const uint8_t* data, size_t count) {
    FrameHeader header;
    Bytes payload;
    if (!ParseFrame(data, count, header, payload)) {
        return FormatText(L"raw %llu B (invalid frame)", static_cast<unsigned long long>(count));
    }
    return SummaryOf(header, count);
}

std::wstring FrameSummary(const Frame& frame) {
    return SummaryOf(frame.header, frame.payload.size() + FRAME_OVERHEAD);
}

std::wstring HexBytes(const uint8_t* data, size_t count) {
    if (data == nullptr || count == 0)
        return L"<empty>";
    static constexpr wchar_t DIGITS[] = L"0123456789ABCDEF";
    std::wstring out;
    out.reserve(count * 3);
    for (size_t i = 0; i < count; ++i) {
        if (i > 0)
            out += L' ';
        out += DIGITS[data[i] >> 4];
        out += DIGITS[data[i] & 15];
    }
    return out;
}

std::wstring DescribeTlvValue(const EchoTlv& tlv) {
    const Bytes& v = tlv.value;
    if (v.empty())
        return L"<empty>";
    const std::wstring hex = HexBytes(v);
    size_t textBytes = 0;
    while (textBytes < v.size() && v[textBytes] != 0)
        ++textBytes;
    if (textBytes > 0) {
        const std::wstring text = DecodeNarrowText(v.data(), textBytes);
        if (!text.empty())
            return L"\"" + text + L"\" hex=[" + hex + L"]";
    }
    return FormatText(L"hex=[%ls] (%llu B)", hex.c_str(),
                      static_cast<unsigned long long>(v.size()));
}

}  // namespace zovrel
