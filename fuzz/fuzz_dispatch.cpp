// A device may send any sequence of frames. Whatever they hold, dispatching them must not crash
// or leak, every answer must be a well-formed frame, and nothing may be written outside the data
// root's own folders.
//
// Input: records of [channel selector][type][sn][fix-up flags][length lo][length hi][body].
// Frames are built with the codec, so their checksums pass; the fix-up flags can also correct
// a FIRST_PACKET's header_crc and a MIDDLE_PACKET's pkg_crc, so bodies reach the session logic.
#include "base/paths.h"
#include "clipboard/clipboard_entry.h"
#include "fuzz_check.h"
#include "protocol/frame_codec.h"
#include "protocol/message_bodies.h"
#include "recording_notifier.h"
#include "settings/data_root.h"
#include "test_support.h"
#include "transfer/received_content.h"
#include "transfer/serial_channel.h"
#include "transfer/transfer_protocol.h"

namespace {

namespace fs = std::filesystem;
using zovrel::Bytes;

struct NullSerial : zovrel::SerialChannel {
    bool IsOpen() override { return true; }
    bool Write(const Bytes&) override { return true; }
    void StampEcho() override {}
};

// The data root of the whole run.
const fs::path& Root() {
    static const struct DataRoot : zovrel::test::TempFolder {
        DataRoot() : TempFolder("zovrel-fuzz-dispatch") { zovrel::SetDataRootForProcess(Text()); }
    } root;
    return root.Path();
}

uint8_t Channel(uint8_t selector) {
    if ((selector & 3) == 3)
        return selector;
    return (selector & 3) == 2 ? zovrel::CHANNEL_PERIPHERAL : zovrel::CHANNEL_TRANSFER;
}

uint16_t Type(uint8_t raw) {
    static const uint16_t TYPES[] = {zovrel::GENERAL_REPLY,   zovrel::START_REQUEST,
                                     zovrel::DEVICE_QUERY,    zovrel::FIRST_PACKET,
                                     zovrel::MIDDLE_PACKET,   zovrel::FINISH_PACKET,
                                     zovrel::PERIPHERAL_ECHO, zovrel::DEVICE_QUERY_RSP};
    return raw < 0xF0 ? TYPES[raw % 8] : raw;
}

constexpr uint32_t MAX_ANNOUNCED = 4u << 20;

void FixUp(uint16_t type, uint8_t flags, Bytes& body) {
    if (type == zovrel::FIRST_PACKET && (flags & 1) && body.size() >= 53) {
        uint16_t h = zovrel::ReadLE16(body, 1);
        if (h < 4 || h > 52)
            h = 52;
        zovrel::WriteLE16(body, 1, h);
        // Keep announced sizes small enough for fast runs; huge files only cost disk time.
        const uint32_t total = zovrel::ReadLE32(body, 1 + 40);
        if (total - h > MAX_ANNOUNCED)
            zovrel::WriteLE32(body, 1 + 40, h + total % MAX_ANNOUNCED);
        zovrel::WriteLE32(body, 1 + 48, zovrel::ProtocolChecksum(body.data() + 1, h - 4u));
    }
    if (type == zovrel::MIDDLE_PACKET && (flags & 2) && body.size() >= 13) {
        body[0] = zovrel::CRC_FLAG_TRAILER;
        const size_t n = body.size() - 13;
        zovrel::WriteLE32(body, 9 + n, zovrel::ProtocolChecksum(body.data() + 9, n));
    }
}

// Only today's folder under "files", only plain files in it, all with clean names.
void CheckNothingStrayed() {
    std::error_code ec;
    for (const auto& item : fs::directory_iterator(Root(), ec)) {
        const std::string name = item.path().filename().string();
        FUZZ_CHECK(name == "files" || name == "logs" || name == "clipboard_images");
    }
    for (const auto& day : fs::directory_iterator(Root() / "files", ec)) {
        FUZZ_CHECK(day.is_directory());
        for (const auto& item : fs::directory_iterator(day.path(), ec)) {
            FUZZ_CHECK(fs::is_regular_file(fs::symlink_status(item.path())));
            const std::wstring name = zovrel::TextFromPath(item.path().filename());
            FUZZ_CHECK(zovrel::SafeReceivedFileName(name) == name);
        }
    }
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    Root();
    zovrel::test::RecordingNotifier window;
    static NullSerial serial;
    zovrel::TransferProtocol& engine = zovrel::GetTransferProtocol();
    engine.Attach(&window, &serial);

    size_t pos = 0;
    for (int frames = 0; pos + 6 <= size && frames < 64; ++frames) {
        const uint8_t channel = Channel(data[pos]);
        const uint16_t type = Type(data[pos + 1]);
        const uint32_t sn = data[pos + 2];
        const uint8_t flags = data[pos + 3];
        size_t length = data[pos + 4] | (data[pos + 5] << 8);
        pos += 6;
        if (length > size - pos)
            length = size - pos;
        Bytes body(data + pos, data + pos + length);
        pos += length;
        FixUp(type, flags, body);

        Bytes frame = zovrel::BuildFrame(channel, type, sn, body);
        if (flags & 4)
            frame.back() ^= 1;  // now and then a frame that fails its checksum
        for (const Bytes& reply : engine.DispatchFrame(frame)) {
            zovrel::Frame parsed;
            FUZZ_CHECK(zovrel::ParseFrame(reply, parsed));
        }
    }
    engine.Detach();  // also drops an unfinished received file
    CheckNothingStrayed();
    EmptyFolder(Root());
    return 0;
}
