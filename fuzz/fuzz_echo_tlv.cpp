#include "fuzz_check.h"
#include "protocol/diagnostics.h"
#include "protocol/message_bodies.h"

using namespace zovrel;

namespace {

bool EndsWith(const std::wstring& s, const std::wstring& tail) {
    return s.size() >= tail.size() && s.compare(s.size() - tail.size(), tail.size(), tail) == 0;
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    EchoTlv tlv;
    const bool ok = ParseEchoTlv(data, size, tlv);
    const std::wstring reason = DescribeTlvFailure(data, size);
    // The logged reason names a failure exactly when the parser refuses the body.
    FUZZ_CHECK(ok == (reason == L"unknown"));

    if (ok) {
        FUZZ_CHECK(tlv.type == ECHO_TLV_TYPE);
        FUZZ_CHECK(tlv.length >= 1 && tlv.length <= ECHO_TLV_MAX_LENGTH);
        FUZZ_CHECK(tlv.value.size() == tlv.length && size == tlv.length + 6);
    } else {
        tlv.value.assign(data, data + size);  // describe arbitrary bytes too
    }
    const std::wstring text = DescribeTlvValue(tlv);
    if (tlv.value.empty()) {
        FUZZ_CHECK(text == L"<empty>");
    } else {
        const std::wstring hex = HexBytes(tlv.value);
        FUZZ_CHECK(hex.size() == tlv.value.size() * 3 - 1);
        FUZZ_CHECK(
            EndsWith(text, L"hex=[" + hex + L"]") ||
            EndsWith(text, L"hex=[" + hex + L"] (" + std::to_wstring(tlv.value.size()) + L" B)"));
        // Text is shown only when the value does not start with a zero byte.
        if (tlv.value[0] == 0)
            FUZZ_CHECK(text.rfind(L"hex=[", 0) == 0);
    }
    return 0;
}
