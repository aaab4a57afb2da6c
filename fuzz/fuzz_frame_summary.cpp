#include <string>

#include "base/text.h"
#include "fuzz_check.h"
#include "protocol/diagnostics.h"
#include "protocol/frame_codec.h"

using namespace zovrel;

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    const std::wstring summary = FrameSummary(data, size);
    Frame frame;
    if (ParseFrame(data, size, frame)) {
        const std::wstring expected =
            FormatText(L"ch=0x%02X %ls payload=%u wire=%u B sn=%u", frame.header.channel,
                       FrameTypeName(frame.header.type).c_str(), frame.header.payloadLength,
                       static_cast<unsigned>(size), frame.header.sn);
        FUZZ_CHECK(summary == expected);
    } else {
        FUZZ_CHECK(summary == L"raw " + std::to_wstring(size) + L" B (invalid frame)");
    }
    if (size >= 2) {
        const std::wstring name = FrameTypeName(ReadLE16(data, 0));
        FUZZ_CHECK(!name.empty() && name.size() <= 16);
    }
    const std::wstring hex = HexBytes(data, size);
    FUZZ_CHECK(size == 0 ? hex == L"<empty>" : hex.size() == size * 3 - 1);
    return 0;
}
