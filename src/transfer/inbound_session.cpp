#include <algorithm>
#include <cstring>
#include <filesystem>
#include <memory>

#include "base/paths.h"
#include "base/text.h"
#include "transfer/protocol_engine.h"

namespace zovrel {

namespace {

constexpr int64_t CHECKSUM_PIECE = 262144;  // 256 KiB per read keeps memory flat for any size

const wchar_t* YesNo(bool value) {
    return value ? L"yes" : L"no";
}
const wchar_t* OpenClosed(bool open) {
    return open ? L"open" : L"closed";
}

}  // namespace

ReplyList ProtocolEngine::HandleFirstPacket(const FrameHeader& header, const Bytes& payload) {
    uint8_t firstFlag = 0;
    TransferDescriptor descriptor;
    if (!ParseFirstPacket(payload, firstFlag, descriptor)) {
        return ReplyFailure(header, L"FIRST_PACKET parse");
    }
    const int32_t size = static_cast<int32_t>(descriptor.total - descriptor.header_len);
    if (size < 0)
        return ReplyFailure(header, L"FIRST_PACKET size");
    const std::optional<uint64_t> limit = MaxPayloadForType(descriptor.data_type);
    if (limit && static_cast<uint64_t>(size) > *limit) {
        return ReplyFailure(header, L"FIRST_PACKET size");
    }

    ResetSession(true);
    const std::wstring deviceName = FileNameOfPath(descriptor.file_name);

    std::unique_lock<std::mutex> lock(sessionLock_);
    session_.active = true;
    session_.descriptor = descriptor;
    session_.expected = size;
    session_.highest = 0;
    if (descriptor.data_type != DATA_TYPE_FILE) {
        session_.memory.assign(static_cast<size_t>(size), 0);
        lock.unlock();
    } else {
        const std::wstring name = SafeReceivedFileName(deviceName);
        if (name.empty()) {
            ClearSessionLocked();
            lock.unlock();
            Log(L"SYS", L"FIRST_PACKET file name empty");
            return ReplyFailure(header, L"FIRST_PACKET file name");
        }
        if (!OpenReceivedFileForWriting(name, size, session_.filePaths, session_.file)) {
            const uint32_t err = session_.file.LastError();
            ClearSessionLocked();
            lock.unlock();
            Log(L"SYS", FormatText(L"FIRST_PACKET open file failed name=\"%ls\" size=%d err=%lu",
                                   name.c_str(), size, static_cast<unsigned long>(err)));
            // The device is refused at once; without a notice the user would never learn why
            // the file did not come.
            if (Notifier* target = window())
                target->PostReceiveFailed();
            return ReplyFailure(header, L"FIRST_PACKET file open");
        }
        const std::wstring path = session_.filePaths.path;
        lock.unlock();
        Log(L"SYS",
            FormatText(L"FIRST_PACKET file opened path=\"%ls\" size=%d", path.c_str(), size));
    }

    Log(L"SYS",
        FormatText(L"FIRST_PACKET ok data_type=%ls total=%u payload=%d mcAdd=0x%08X file=\"%ls\"",
                   DataTypeName(descriptor.data_type).c_str(), descriptor.total, size,
                   descriptor.mcAdd, deviceName.c_str()));
    return ReplyWithCode(header, RSP_SUCCESS, L"GENERAL_REPLY for FIRST_PACKET");
}

ReplyList ProtocolEngine::HandleMiddlePacket(const FrameHeader& header, const Bytes& payload) {
    MiddleHead head;
    if (!ParseMiddleHead(payload, head))
        return ReplyFailure(header, L"MIDDLE_PACKET head");
    const size_t bodySize = payload.size();
    size_t n = bodySize - MIDDLE_HEAD_SIZE;
    if (head.crc_flag == CRC_FLAG_TRAILER && n >= MIDDLE_TRAILER_SIZE)
        n -= MIDDLE_TRAILER_SIZE;
    const uint8_t* data = payload.data() + MIDDLE_HEAD_SIZE;

    std::unique_lock<std::mutex> lock(sessionLock_);
    if (!session_.active) {
        lock.unlock();
        Log(L"SYS", L"MIDDLE_PACKET no active session");
        return ReplyFailure(header, L"MIDDLE_PACKET session");
    }

    uint8_t code = RSP_SUCCESS;
    bool wrote = false;
    std::wstring reason;
    bool chunkIntact = true;
    if (head.crc_flag == CRC_FLAG_TRAILER) {
        const uint32_t calc = ProtocolChecksum(data, n);
        const uint32_t recv = bodySize >= n + MIDDLE_HEAD_SIZE + MIDDLE_TRAILER_SIZE
                                  ? ReadLE32(payload, MIDDLE_HEAD_SIZE + n)
                                  : 0;
        if (calc != recv) {
            Log(L"SYS",
                FormatText(
                    L"MIDDLE_PACKET pkg_crc mismatch calc=0x%08X recv=0x%08X start=%u end=%u", calc,
                    recv, head.start, head.end));
            code = RSP_FAILURE;
            chunkIntact = false;
        }
    }
    if (chunkIntact && n == 0) {
        reason = L"empty chunk";
    } else if (chunkIntact) {
        const int32_t start = static_cast<int32_t>(head.start);
        if (session_.descriptor.data_type == DATA_TYPE_FILE) {
            if (start >= 0 && start < session_.expected) {
                const size_t copy =
                    std::min<size_t>(n, static_cast<size_t>(session_.expected - start));
                if (session_.file.WriteAt(start, data, copy)) {
                    wrote = true;
                } else {
                    Log(L"SYS",
                        FormatText(L"MIDDLE_PACKET file write error start=%d copy=%u err=%lu",
                                   start, static_cast<unsigned>(copy),
                                   static_cast<unsigned long>(session_.file.LastError())));
                    code = RSP_FAILURE;
                }
            } else {
                reason =
                    FormatText(L"file start=%d out of range expected=%d", start, session_.expected);
            }
        } else {
            Bytes& memory = session_.memory;
            if (memory.empty() || start < 0 || static_cast<size_t>(start) >= memory.size()) {
                reason = FormatText(L"memory start=%d size=%u", start,
                                    static_cast<unsigned>(memory.size()));
            } else {
                const size_t copy = std::min(n, memory.size() - static_cast<size_t>(start));
                std::memcpy(memory.data() + start, data, copy);
                wrote = true;
            }
        }
        if (wrote) {
            const int64_t reached =
                std::max<int64_t>(session_.highest, static_cast<int64_t>(head.end) + 1);
            session_.highest = static_cast<int32_t>(std::min<int64_t>(reached, session_.expected));
        }
    }
    const int32_t highest = session_.highest;
    const int32_t expected = session_.expected;
    lock.unlock();

    if (!reason.empty()) {
        Log(L"SYS", FormatText(L"MIDDLE_PACKET skip write: %ls start=%u end=%u chunk=%u",
                               reason.c_str(), head.start, head.end, static_cast<unsigned>(n)));
    }
    if (code == RSP_SUCCESS) {
        Log(L"SYS",
            FormatText(
                L"MIDDLE_PACKET ok start=%u end=%u chunk=%u highest=%d expected=%d wrote=%ls",
                head.start, head.end, static_cast<unsigned>(n), highest, expected, YesNo(wrote)));
    }
    return ReplyWithCode(header, code, L"GENERAL_REPLY for MIDDLE_PACKET");
}

ReplyList ProtocolEngine::HandleFinishPacket(const FrameHeader& header) {
    Log(L"SYS", L"TRANS FINISH_PACKET begin");
    bool failed = true;

    std::unique_lock<std::mutex> lock(sessionLock_);
    const bool active = session_.active;
    const int32_t highest = session_.highest;
    const int32_t expected = session_.expected;
    const uint32_t want = session_.descriptor.mcAdd;
    const uint16_t dataType = session_.descriptor.data_type;
    const ReceivedFilePaths paths = session_.filePaths;
    const bool handleOpen = session_.file.IsOpen();
    lock.unlock();

    // The file is still under its temporary name; the log shows where it is going.
    const std::wstring& path = paths.path;
    unsigned long long diskSize = 0;
    if (dataType == DATA_TYPE_FILE && !paths.partPath.empty()) {
        std::error_code ec;
        const auto size = std::filesystem::file_size(PathFromText(paths.partPath), ec);
        if (!ec)
            diskSize = size;
    }
    Log(L"SYS",
        FormatText(L"FINISH_PACKET state active=%d type=%ls highest=%d expected=%d wantCRC=0x%08X "
                   L"diskSize=%llu file=\"%ls\" handle=%ls",
                   active ? 1 : 0, DataTypeName(dataType).c_str(), highest, expected, want,
                   diskSize, path.c_str(), OpenClosed(handleOpen)));

    std::wstring reason;
    if (!active) {
        reason = L"no active session";
        Log(L"SYS", L"FINISH_PACKET FAIL: without active session");
    } else if (highest < expected) {
        reason = FormatText(L"incomplete highest=%d expected=%d", highest, expected);
        Log(L"SYS", FormatText(L"FINISH_PACKET FAIL: %ls", reason.c_str()));
    } else {
        std::wstring method;
        const uint32_t calc = ComputeReceivedChecksum(method);
        Log(L"SYS",
            FormatText(L"FINISH_PACKET checksum method=%ls calc=0x%08X want=0x%08X match=%ls",
                       method.c_str(), calc, want, YesNo(calc == want)));
        ClipboardEntry entry;
        if (calc != want) {
            reason = FormatText(L"checksum mismatch calc=0x%08X want=0x%08X", calc, want);
            Log(L"SYS", FormatText(L"FINISH_PACKET FAIL: %ls", reason.c_str()));
        } else {
            std::wstring keptPath;
            if (dataType == DATA_TYPE_FILE) {
                CloseReceivedFile();
                Log(L"SYS", L"FINISH_PACKET file closed after checksum");
                keptPath = KeepReceivedFile(paths);
                if (!keptPath.empty()) {
                    std::lock_guard<std::mutex> guard(sessionLock_);
                    session_.filePaths = ReceivedFilePaths{keptPath, L""};
                }
            }
            // An empty text arrives intact but gives nothing to keep: the device is told it
            // succeeded, and no entry is posted.
            const bool nothingToKeep = dataType == DATA_TYPE_TEXT && expected == 0;
            if (dataType == DATA_TYPE_FILE && keptPath.empty()) {
                reason = L"keep file failed";
                Log(L"SYS", L"FINISH_PACKET FAIL: keep file failed");
            } else if (nothingToKeep) {
                failed = false;
                {
                    std::lock_guard<std::mutex> guard(sessionLock_);
                    session_.completed = true;
                }
                Log(L"SYS", L"FINISH_PACKET OK: kind=text size=0 path=\"\"");
            } else if (!BuildEntry(entry)) {
                reason = L"build entry failed";
                Log(L"SYS", L"FINISH_PACKET FAIL: build entry failed");
            } else {
                failed = false;
                {
                    std::lock_guard<std::mutex> guard(sessionLock_);
                    session_.completed = true;
                }
                if (dataType == DATA_TYPE_FILE)
                    AfterReceivedFile(keptPath);
                Notifier* target = window();
                const bool posted =
                    target && target->PostReceivedEntry(std::make_unique<ClipboardEntry>(entry));
                if (!posted)
                    Log(L"SYS", L"FINISH_PACKET WARN: notify UI failed (transfer ok locally)");
                const wchar_t* kind = entry.kind == ENTRY_KIND_TEXT    ? L"text"
                                      : entry.kind == ENTRY_KIND_IMAGE ? L"image"
                                                                       : L"files";
                Log(L"SYS", FormatText(L"FINISH_PACKET OK: kind=%ls size=%lld path=\"%ls\"", kind,
                                       static_cast<long long>(entry.dataSize),
                                       entry.kind == ENTRY_KIND_FILES ? keptPath.c_str() : L""));
            }
        }
    }
    if (failed) {
        Log(L"SYS", FormatText(L"FINISH_PACKET result FAIL reason=%ls", reason.c_str()));
        // A FINISH_PACKET without a transfer before it is the device's confusion, not a loss.
        if (Notifier* target = window(); target && active)
            target->PostReceiveFailed();
    }

    ReplyList replies = ReplyWithCode(header, failed ? RSP_FAILURE : RSP_SUCCESS,
                                      L"GENERAL_REPLY for FINISH_PACKET");
    ResetSession(failed);
    return replies;
}

void ProtocolEngine::ResetSession(bool discard) {
    std::unique_lock<std::mutex> lock(sessionLock_);
    if (discard && !session_.completed && !session_.filePaths.partPath.empty()) {
        // Only the partial file goes; an older file of the same name was never touched.
        const std::wstring line =
            FormatText(L"ResetSession discard file path=\"%ls\" handle=%ls",
                       session_.filePaths.path.c_str(), OpenClosed(session_.file.IsOpen()));
        lock.unlock();
        Log(L"SYS", line);
        lock.lock();
        session_.file.Abort();
        DeleteReceivedFile(session_.filePaths.partPath);
    } else if (session_.file.IsOpen()) {
        session_.file.Close();
    }
    ClearSessionLocked();
}

void ProtocolEngine::AbandonSilentSession(uint32_t now) {
    const uint32_t frames = inboundFrames_.load();
    std::unique_lock<std::mutex> lock(sessionLock_);
    if (!session_.active) {
        silenceWatched_ = false;
        return;
    }
    if (!silenceWatched_ || frames != framesAtLastCheck_) {
        // A frame came since the last look (or this is the first): the silence starts now.
        silenceWatched_ = true;
        framesAtLastCheck_ = frames;
        lastFrameTick_ = now;
        return;
    }
    const uint32_t silent = now - lastFrameTick_;
    if (silent < INBOUND_SILENCE_MS)
        return;
    const std::wstring line = FormatText(
        L"TRANS inbound silent %us · 放弃接收 type=%ls highest=%d expected=%d", silent / 1000,
        DataTypeName(session_.descriptor.data_type).c_str(), session_.highest, session_.expected);
    silenceWatched_ = false;
    lock.unlock();
    // A device that reset or gave up mid-transfer never finishes it; holding the session would
    // keep the echo checks suspended for good.
    Log(L"SYS", line);
    ResetSession(true);
    if (Notifier* target = window())
        target->PostReceiveFailed();
}

void ProtocolEngine::ClearSessionLocked() {
    session_.file.Abort();
    session_.active = false;
    session_.descriptor = TransferDescriptor{};
    Bytes().swap(session_.memory);  // give a large buffer back now, not at the next transfer
    session_.filePaths = ReceivedFilePaths{};
    session_.expected = 0;
    session_.highest = 0;
    session_.completed = false;
}

void ProtocolEngine::CloseReceivedFile() {
    std::lock_guard<std::mutex> lock(sessionLock_);
    if (!session_.file.IsOpen())
        return;
    if (!session_.file.Flush() || !session_.file.Close())
        session_.file.Abort();
}

uint32_t ProtocolEngine::ComputeReceivedChecksum(std::wstring& method) {
    std::unique_lock<std::mutex> lock(sessionLock_);
    if (session_.descriptor.data_type != DATA_TYPE_FILE) {
        const Bytes copy = session_.memory;
        method = L"memory";
        lock.unlock();
        return copy.empty() ? 0 : ProtocolChecksum(copy);
    }
    const std::wstring path = session_.filePaths.partPath;
    const int64_t expected = session_.expected;
    if (!session_.file.IsOpen()) {
        method = L"file_path";
        lock.unlock();
        return ChecksumFileByPath(path, expected);
    }
    uint32_t calc = 0;
    if (!session_.file.Flush() || !TryChecksumOpenFile(session_.file, expected, calc)) {
        method = FormatText(L"file_path_fallback err=%lu",
                            static_cast<unsigned long>(session_.file.LastError()));
        lock.unlock();
        return ChecksumFileByPath(path, expected);
    }
    if (calc == 0 && expected >= 1) {
        // A zero sum through the handle may mean nothing was read; read it again by path.
        method = L"file_path_fallback_handle_read_zero";
        lock.unlock();
        return ChecksumFileByPath(path, expected);
    }
    method = L"file_handle";
    return calc;
}

bool ProtocolEngine::BuildEntry(ClipboardEntry& entry) {
    ReceivedContent content;
    {
        std::lock_guard<std::mutex> lock(sessionLock_);
        content.dataType = session_.descriptor.data_type;
        content.name = session_.descriptor.file_name;
        content.data = session_.memory;
        content.savedPath = session_.filePaths.path;
        content.declaredSize = session_.expected;
    }
    return BuildEntryFromReceived(content, entry);
}

bool TryChecksumOpenFile(ReceivedFile& file, int64_t count, uint32_t& sum) {
    sum = 0;
    if (count < 1 || !file.IsOpen())
        return true;
    Bytes buffer(static_cast<size_t>(std::min(count, CHECKSUM_PIECE)));
    int64_t position = 0;
    int64_t remaining = count;
    while (remaining > 0) {
        const size_t want = static_cast<size_t>(std::min(remaining, CHECKSUM_PIECE));
        size_t got = 0;
        if (!file.ReadAt(position, buffer.data(), want, got))
            return false;
        if (got == 0)
            break;
        sum = ProtocolChecksumContinue(sum, buffer.data(), got, static_cast<uint64_t>(position));
        position += static_cast<int64_t>(got);
        remaining -= static_cast<int64_t>(got);
        if (got < want)
            break;
    }
    return true;
}

uint32_t ChecksumOpenFile(ReceivedFile& file, int64_t count) {
    uint32_t sum = 0;
    return TryChecksumOpenFile(file, count, sum) ? sum : 0;
}

uint32_t ChecksumFileByPath(const std::wstring& path, int64_t count) {
    if (path.empty() || count < 1)
        return 0;
    ReceivedFile file;
    if (!file.OpenForReading(path))
        return 0;
    return ChecksumOpenFile(file, count);
}

}  // namespace zovrel
