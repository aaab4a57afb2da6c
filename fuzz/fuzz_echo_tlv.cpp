#include <string_view>

#include "fuzz_check.h"
#include "protocol/diagnostics.h"
#include "protocol/message_bodies.h"

using namespace zovrel;

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    EchoTlv tlv;
    const bool ok = ParseEchoTlv(data, size, tlv);
    // The logged reason names a failure exactly when the parser refuses the body.
    FUZZ_CHECK(ok == (DescribeTlvFailure(data, size) == L"unknown"));

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
        const std::wstring_view view(text);
        FUZZ_CHECK(hex.size() == tlv.value.size() * 3 - 1);
        FUZZ_CHECK(
            view.ends_with(L"hex=[" + hex + L"]") ||
            view.ends_with(L"hex=[" + hex + L"] (" + std::to_wstring(tlv.value.size()) + L" B)"));
        // Text is shown only when the value does not start with a zero byte.
        if (tlv.value[0] == 0)
            FUZZ_CHECK(view.starts_with(L"hex=["));
    }
    return 0;
}
