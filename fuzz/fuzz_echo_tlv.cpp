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
    // Any value can be described for the log, as hex at least.
    FUZZ_CHECK(DescribeTlvValue(tlv).find(tlv.value.empty() ? L"<empty>" : L"hex=[") !=
               std::wstring::npos);
    return 0;
}
