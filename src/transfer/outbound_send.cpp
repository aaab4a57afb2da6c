#include "transfer/outbound_send.h"

#include <algorithm>
#include <optional>
#include <utility>

#include "base/text.h"
#include "clipboard/own_write_guard.h"
#include "protocol/diagnostics.h"
#include "protocol/frame_codec.h"
#include "protocol/message_bodies.h"
#include "transfer/file_send_plan.h"
#include "transfer/outbound_file.h"
#include "transfer/outbound_payload.h"
#include "transfer/payload_source.h"
#include "transfer/protocol_engine.h"
#include "transfer/transfer_protocol.h"

namespace zovrel {

namespace {

constexpr wchar_t CANCELLED[] = L"已取消发送";
constexpr wchar_t CANNOT_READ[] = L"无法读取文件";
constexpr wchar_t CHANGED_WHILE_SENT[] = L"文件在发送过程中被修改";
constexpr wchar_t NO_FILES[] = L"没有可发送的文件";

enum SendState : int {
    STATE_START_REQUEST = 0,
    STATE_DEVICE_QUERY = 1,
    STATE_FIRST_PACKET = 2,
    STATE_MIDDLE_PACKET = 3,
    STATE_FINISH_PACKET = 4,
};

// Releases the engine on every way out of a send that claimed it.
class EngineClaim {
  public:
    explicit EngineClaim(ProtocolEngine& engine) : engine_(engine) {}
    ~EngineClaim() { Release(); }
    EngineClaim(const EngineClaim&) = delete;
    EngineClaim& operator=(const EngineClaim&) = delete;
    void Release() {
        if (held_)
            engine_.EndSend();
        held_ = false;
    }

  private:
    ProtocolEngine& engine_;
    bool held_ = true;
};

int Clamp100(int p) {
    return std::clamp(p, 0, 100);
}

// What came of reading and sending the next chunk.
enum class Chunk { SENT, NOT_SENT, UNREADABLE, CHANGED };

// One running transfer: the local state of the five-state machine and the steps that move it.
// A files entry runs one per file (`turn`); the engine and the watcher's hold are released when
// the last one ends or any one fails.
class OutboundSender {
  public:
    OutboundSender(ProtocolEngine& engine, TickSource& ticks, Notifier* window,
                   const OutboundPayload& payload, PayloadSource& source, FileTurn turn,
                   EngineClaim& claim, OwnClipboardWriteScope& hold)
        : engine_(engine),
          ticks_(ticks),
          window_(window),
          payload_(payload),
          source_(source),
          turn_(turn),
          claim_(claim),
          hold_(hold) {}

    bool Run(std::wstring& error);

  private:
    bool SendFrame(const wchar_t* caption, const Bytes& frame);
    bool SendTransferFrame(uint16_t type, uint32_t sn, const Bytes& body, const wchar_t* caption);
    void Retransmit(int state, uint32_t s);
    Chunk SendNextChunk();
    void SendFinish();
    bool FinishSend(const std::wstring& error);
    void SetProgress(int p);
    void PostProgress(int value, const std::wstring& text);
    void PostPercent(int p);
    void Pace() { ticks_.Sleep(SEND_PACING_MS); }
    void ArmDeadline() { deadline_ = ticks_.Now() + REPLY_TIMEOUT_MS; }

    // Returns false when the reply ends the transfer; `error` is set on a failure.
    bool HandleReply(const PendingReply& reply, std::wstring& error);
    bool HandleTimeout(std::wstring& error);
    void Log(const wchar_t* channel, const std::wstring& text) { engine_.log().Log(channel, text); }

    ProtocolEngine& engine_;
    TickSource& ticks_;
    Notifier* window_;
    const OutboundPayload& payload_;
    PayloadSource& source_;
    const FileTurn turn_;
    EngineClaim& claim_;
    OwnClipboardWriteScope& hold_;

    Bytes descriptor_;
    uint32_t announcedSum_ = 0;  // mcAdd of the descriptor
    uint32_t readSum_ = 0;       // the same over the chunks as they are read for sending
    int state_ = STATE_START_REQUEST;
    uint32_t sn_ = 0;
    int32_t total_ = 0;
    int32_t cursor_ = static_cast<int32_t>(DESCRIPTOR_SIZE);
    uint32_t chunk_ = DEFAULT_CHUNK_SIZE;
    Bytes retransmission_;
    uint32_t start_ = 0;
    uint32_t end_ = 0;
    int timeouts_ = 0;
    int failures_ = 0;
    uint32_t deadline_ = 0;
    bool succeeded_ = false;
};

bool OutboundSender::SendFrame(const wchar_t* caption, const Bytes& frame) {
    SerialChannel* serial = engine_.serialLink();
    if (serial == nullptr || !serial->IsOpen())
        return false;
    std::wstring line = caption;
    if (!frame.empty())
        line += L" · " + FrameSummary(frame);
    // Logged before the write so the log shows what was attempted even when the write fails.
    Log(L"TX", line);
    return serial->Write(frame);
}

bool OutboundSender::SendTransferFrame(uint16_t type, uint32_t sn, const Bytes& body,
                                       const wchar_t* caption) {
    return SendFrame(caption, BuildFrame(CHANNEL_TRANSFER, type, sn, body));
}

void OutboundSender::Retransmit(int state, uint32_t s) {
    Pace();
    switch (state) {
        case STATE_START_REQUEST:
            SendTransferFrame(START_REQUEST, s, {}, L"TRANS START_REQUEST");
            break;
        case STATE_DEVICE_QUERY:
            SendTransferFrame(DEVICE_QUERY, s, {}, L"TRANS DEVICE_QUERY");
            break;
        case STATE_FIRST_PACKET:
            if (!retransmission_.empty()) {
                SendTransferFrame(FIRST_PACKET, s, retransmission_, L"TRANS FIRST_PACKET");
            }
            break;
        case STATE_MIDDLE_PACKET:
            if (!retransmission_.empty()) {
                SendTransferFrame(
                    MIDDLE_PACKET, s,
                    BuildMiddleBody(retransmission_.data(), retransmission_.size(), start_, end_),
                    L"TRANS MIDDLE_PACKET");
            }
            break;
        case STATE_FINISH_PACKET:
            SendTransferFrame(FINISH_PACKET, s, {}, L"TRANS FINISH_PACKET");
            break;
    }
}

Chunk OutboundSender::SendNextChunk() {
    if (cursor_ >= total_)
        return Chunk::NOT_SENT;
    const uint32_t n = std::min<uint32_t>(static_cast<uint32_t>(total_ - cursor_), chunk_);
    const size_t offset = static_cast<size_t>(cursor_) - DESCRIPTOR_SIZE;
    const uint8_t* data = source_.Next(n);
    if (data == nullptr) {
        Log(L"SYS", FormatText(L"TRANS 读取失败 start=%u", static_cast<unsigned>(offset)));
        return Chunk::UNREADABLE;
    }
    // Where writers cannot be kept out, a file changed since its checksum pass would reach the
    // device as other bytes than announced; it is caught before the FINISH_PACKET.
    readSum_ = ProtocolChecksumContinue(readSum_, data, n, offset);
    if (cursor_ + static_cast<int32_t>(n) == total_ && readSum_ != announcedSum_) {
        Log(L"SYS", L"TRANS 校验和不符: 文件在发送过程中被修改");
        return Chunk::CHANGED;
    }
    retransmission_.assign(data, data + n);
    start_ = static_cast<uint32_t>(offset);
    end_ = start_ + n - 1;
    cursor_ += static_cast<int32_t>(n);

    int p = static_cast<int>(static_cast<double>(cursor_) / total_ * 100 + 0.5);
    SetProgress(std::clamp(p, 5, 99));

    Bytes body = BuildMiddleBody(retransmission_.data(), retransmission_.size(), start_, end_);
    Pace();
    return SendTransferFrame(MIDDLE_PACKET, sn_, body, L"TRANS MIDDLE_PACKET") ? Chunk::SENT
                                                                               : Chunk::NOT_SENT;
}

void OutboundSender::SendFinish() {
    state_ = STATE_FINISH_PACKET;
    engine_.SetSendProgress(99);
    PostPercent(99);
    Pace();
    SendTransferFrame(FINISH_PACKET, sn_, {}, L"TRANS FINISH_PACKET");
    timeouts_ = 0;
    ArmDeadline();
}

bool OutboundSender::FinishSend(const std::wstring& error) {
    if (succeeded_ && !turn_.Last())
        return true;  // the next file follows under the same claim; its progress takes over
    hold_.Release();
    claim_.Release();
    if (succeeded_) {
        PostProgress(-1, L"100%");
        return true;
    }
    const int q = Clamp100(engine_.SendProgress());
    PostProgress(-1, FormatText(error == CANCELLED ? L"%d%% 已取消" : L"%d%% 失败", q));
    return false;
}

void OutboundSender::SetProgress(int p) {
    engine_.SetSendProgress(Clamp100(p));
    if (p >= 100) {
        PostProgress(p, L"100%");
    } else if (p > 0) {
        PostProgress(p, FormatText(L"%d%%", p));
    } else {
        PostProgress(p, L"0%");
    }
}

void OutboundSender::PostProgress(int value, const std::wstring& text) {
    if (window_ != nullptr)
        window_->PostSendProgress(value, FileProgressText(turn_, value, text));
}

void OutboundSender::PostPercent(int p) {
    PostProgress(p, FormatText(L"%d%%", p));
}

bool OutboundSender::HandleReply(const PendingReply& reply, std::wstring& error) {
    if (reply.type == DEVICE_QUERY_RSP) {
        if (state_ != STATE_DEVICE_QUERY || reply.payload.size() < 4)
            return true;
        chunk_ = ChunkSizeFromDevice(ReadLE32(reply.payload, 0));
        sn_ = reply.sn + 1;
        cursor_ = static_cast<int32_t>(DESCRIPTOR_SIZE);
        retransmission_ = BuildFirstPacketBody(descriptor_);
        Pace();
        SendTransferFrame(FIRST_PACKET, sn_, retransmission_, L"TRANS FIRST_PACKET");
        timeouts_ = 0;
        ArmDeadline();
        engine_.SetSendProgress(5);
        PostPercent(5);
        state_ = STATE_FIRST_PACKET;
        return true;
    }
    if (reply.type != GENERAL_REPLY || reply.payload.size() < 2)
        return true;
    const uint8_t rspCode = reply.payload[0];
    if (!IsAcceptedReplyAppId(reply.payload[1]) || reply.sn != sn_)
        return true;

    if (rspCode != RSP_SUCCESS) {
        if (failures_ >= MAX_FAILURE_RETRIES) {
            error = FormatText(L"传输失败: rsp_code=%u", static_cast<unsigned>(rspCode));
            return false;
        }
        ++failures_;
        Retransmit(state_, reply.sn);
        timeouts_ = 0;
        ArmDeadline();
        return true;
    }

    failures_ = 0;
    sn_ = reply.sn + 1;
    switch (state_) {
        case STATE_START_REQUEST:
            state_ = STATE_DEVICE_QUERY;
            engine_.SetSendProgress(3);
            PostPercent(3);
            Pace();
            // The device expects the query under the acknowledged START_REQUEST's number.
            SendTransferFrame(DEVICE_QUERY, reply.sn, {}, L"TRANS DEVICE_QUERY");
            timeouts_ = 0;
            ArmDeadline();
            break;
        case STATE_DEVICE_QUERY:
            break;  // still waiting for the DEVICE_QUERY_RSP
        case STATE_FIRST_PACKET:
        case STATE_MIDDLE_PACKET:
            retransmission_.clear();
            if (state_ == STATE_FIRST_PACKET) {
                cursor_ = static_cast<int32_t>(DESCRIPTOR_SIZE);
                state_ = STATE_MIDDLE_PACKET;
            }
            switch (SendNextChunk()) {
                case Chunk::SENT:
                    timeouts_ = 0;
                    ArmDeadline();
                    break;
                case Chunk::NOT_SENT:
                    SendFinish();
                    break;
                case Chunk::UNREADABLE:
                    error = CANNOT_READ;
                    return false;
                case Chunk::CHANGED:
                    error = CHANGED_WHILE_SENT;
                    return false;
            }
            break;
        case STATE_FINISH_PACKET:
            engine_.SetSendProgress(100);
            PostProgress(100, L"100%");
            succeeded_ = true;
            return false;
    }
    return true;
}

bool OutboundSender::HandleTimeout(std::wstring& error) {
    if (timeouts_ >= MAX_TIMEOUT_RETRIES) {
        Log(L"SYS", FormatText(L"TRANS 超时放弃 state=%d sn=%u（已重试 %d 次）", state_, sn_,
                               MAX_TIMEOUT_RETRIES));
        error = L"传输超时";
        return false;
    }
    ++timeouts_;
    if (timeouts_ == 1 || timeouts_ == MAX_TIMEOUT_RETRIES) {
        Log(L"SYS", FormatText(L"TRANS timeout state=%d sn=%u retry=%d/%d", state_, sn_, timeouts_,
                               MAX_TIMEOUT_RETRIES));
    }
    Retransmit(state_, sn_);
    ArmDeadline();
    return true;
}

bool OutboundSender::Run(std::wstring& error) {
    // Fits: content preparation refuses payloads that would overflow the signed total.
    const auto length = static_cast<uint32_t>(source_.Size());
    total_ = static_cast<int32_t>(DESCRIPTOR_SIZE + length);

    Log(L"SYS", FormatText(L"TRANS SEND begin type=%ls file=\"%ls\" payload=%u B (%u KB) "
                           L"totalFileSize=%u B header=%d",
                           DataTypeName(payload_.dataType).c_str(), payload_.fileName.c_str(),
                           length, length / 1024, static_cast<unsigned>(total_),
                           static_cast<int>(DESCRIPTOR_SIZE)));
    engine_.SetSendProgress(0);
    PostProgress(0, L"0%");

    // The descriptor announces the checksum of the whole payload, so a file is read through once
    // before the transfer starts; a cancel is looked at between the pieces.
    switch (ChecksumWholeSource(
        source_, [this] { return engine_.CancelRequested(); }, announcedSum_)) {
        case ChecksumPass::DONE:
            break;
        case ChecksumPass::CANCELLED:
            error = CANCELLED;
            return FinishSend(error);
        case ChecksumPass::UNREADABLE:
            error = CANNOT_READ;
            return FinishSend(error);
    }
    descriptor_ =
        BuildTransferDescriptor(payload_.dataType, length, announcedSum_, payload_.fileName);

    Pace();
    if (!SendTransferFrame(START_REQUEST, 0, {}, L"TRANS START_REQUEST")) {
        hold_.Release();
        claim_.Release();
        error = L"发送失败";
        return false;
    }
    ArmDeadline();
    engine_.SetSendProgress(1);
    PostPercent(1);

    for (;;) {
        if (engine_.CancelRequested()) {
            error = CANCELLED;
            break;
        }
        PendingReply reply;
        if (engine_.TakeReply(reply)) {
            if (!HandleReply(reply, error))
                break;
            continue;  // the next cycle starts with the cancel check
        }
        if (TickReached(ticks_.Now(), deadline_)) {
            if (!HandleTimeout(error))
                break;
            continue;
        }
        // Woken as soon as a reply is queued; the deadline and cancel request are looked at
        // again at least every POLL_INTERVAL_MS.
        engine_.WaitForReply(ticks_, POLL_INTERVAL_MS);
    }
    return FinishSend(error);
}

// Claims the engine for one send; false with the reason when the port is down or a send runs.
bool ClaimEngine(ProtocolEngine& engine, std::wstring& error) {
    error.clear();
    SerialChannel* serial = engine.serialLink();
    if (serial == nullptr || !serial->IsOpen()) {
        error = L"串口未连接";
        return false;
    }
    if (!engine.BeginSend()) {
        error = L"另一个剪贴板传输正在进行中";
        return false;
    }
    engine.SetSendProgress(0);
    return true;
}

// One transfer of a prepared payload on the claimed engine.
bool RunTransfer(ProtocolEngine& engine, TickSource& ticks, const OutboundPayload& payload,
                 FileTurn turn, Notifier* window, EngineClaim& claim, OwnClipboardWriteScope& hold,
                 std::wstring& error) {
    MemoryPayloadSource memory(payload.bytes);
    PayloadSource& source = payload.stream ? *payload.stream : memory;
    OutboundSender sender(engine, ticks, window, payload, source, turn, claim, hold);
    return sender.Run(error);
}

// Every file of a files entry, one transfer after the other on the one claim; the first that
// fails or is cancelled ends the send and the rest are not sent.
bool SendFiles(ProtocolEngine& engine, TickSource& ticks, const ClipboardEntry& entry,
               Notifier* window, EngineClaim& claim, std::wstring& error) {
    const FileSendPlan plan = PlanFileSend(entry, OutboundFile::IsFolder);
    for (const std::wstring& folder : plan.folders)
        engine.log().Log(L"SYS", FormatText(L"TRANS 跳过文件夹 \"%ls\"", folder.c_str()));
    if (plan.files.empty()) {
        error = NO_FILES;
        return false;
    }
    // The watcher stays quiet from the first transfer to the last; lowered on every way out.
    std::optional<OwnClipboardWriteScope> hold;
    for (size_t i = 0; i < plan.files.size(); ++i) {
        const FileTurn turn{i, plan.files.size()};
        if (i > 0)
            engine.DropReplies();  // late answers to the last file must not answer this one
        OutboundPayload payload;
        if (!PrepareOutboundFile(plan.files[i], payload, error)) {
            error = FileFailureText(turn, error);
            return false;
        }
        if (!hold)
            hold.emplace();
        // A cancel between two files is seen by the next one's checksum pass.
        if (!RunTransfer(engine, ticks, payload, turn, window, claim, *hold, error)) {
            if (error != CANCELLED)
                error = FileFailureText(turn, error);
            return false;
        }
    }
    return true;
}

}  // namespace

bool SendEntry(ProtocolEngine& engine, TickSource& ticks, const ClipboardEntry& entry,
               Notifier* window, std::wstring& error) {
    if (!ClaimEngine(engine, error))
        return false;
    EngineClaim claim(engine);
    if (entry.kind == ENTRY_KIND_FILES)
        return SendFiles(engine, ticks, entry, window, claim, error);
    OutboundPayload payload;
    if (!PrepareOutboundPayload(entry, payload, error))
        return false;
    OwnClipboardWriteScope hold;
    return RunTransfer(engine, ticks, payload, FileTurn{}, window, claim, hold, error);
}

bool SendPayload(ProtocolEngine& engine, TickSource& ticks, const OutboundPayload& payload,
                 Notifier* window, std::wstring& error) {
    if (!ClaimEngine(engine, error))
        return false;
    EngineClaim claim(engine);
    const uint64_t size = payload.stream ? payload.stream->Size() : payload.bytes.size();
    if (DESCRIPTOR_SIZE + size > MAX_TRANSFER_TOTAL) {
        error = L"传输内容超过允许大小";
        return false;
    }
    OwnClipboardWriteScope hold;
    return RunTransfer(engine, ticks, payload, FileTurn{}, window, claim, hold, error);
}

bool TransferProtocol::Send(const ClipboardEntry& entry, Notifier* window, std::wstring& error,
                            TickSource& ticks) {
    // The shared engine stays alive for the whole send even if Detach runs meanwhile.
    const std::shared_ptr<ProtocolEngine> engine = AttachedEngine();
    if (!engine) {
        error = L"协议未初始化";
        return false;
    }
    return SendEntry(*engine, ticks, entry, window, error);
}

}  // namespace zovrel
