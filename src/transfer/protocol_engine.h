#pragma once

#include <atomic>
#include <cstdint>
#include <deque>
#include <mutex>
#include <string>
#include <vector>

#include "base/bytes.h"
#include "base/notifier.h"
#include "base/tick_source.h"
#include "protocol/frame_codec.h"
#include "protocol/message_bodies.h"
#include "settings/protocol_log.h"
#include "transfer/received_content.h"
#include "transfer/received_file.h"
#include "transfer/serial_channel.h"

namespace zovrel {

// The frames to write back for one received frame, in order.
using ReplyList = std::vector<Bytes>;

// A device reply waiting for the sender.
struct PendingReply {
    uint16_t type = 0;  // GENERAL_REPLY or DEVICE_QUERY_RSP
    uint32_t sn = 0;
    Bytes payload;
};

// An inbound session that sees no frame of its transfer for this long is abandoned.
constexpr uint32_t INBOUND_SILENCE_MS = 10000;

// The one transfer from the device that is being received.
struct InboundSession {
    bool active = false;
    TransferDescriptor descriptor;
    Bytes memory;                 // text and image payloads, allocated at full size up front
    ReceivedFilePaths filePaths;  // file payloads go straight to disk, under a temporary name
    ReceivedFile file;
    int32_t expected = 0;
    int32_t highest = 0;  // one past the largest chunk end written, at most `expected`
    bool completed = false;
};

// The state shared by the receive dispatcher, the inbound session and the sender.
//
// Locks: sendLock guards busy, acceptReplies, cancelRequested and replyQueue; sessionLock
// guards the inbound session. Whoever also holds the front lock of TransferProtocol takes it
// first. Neither engine lock is held while a frame is written, the sender sleeps or a window is
// posted to; only the chunk-mismatch and write-error lines are logged under sessionLock.
class ProtocolEngine {
  public:
    ProtocolEngine(Notifier* window, SerialChannel* serialLink);
    // Closes a received file that is still open; an unfinished one is deleted.
    ~ProtocolEngine();
    ProtocolEngine(const ProtocolEngine&) = delete;
    ProtocolEngine& operator=(const ProtocolEngine&) = delete;

    void SetTargets(Notifier* window, SerialChannel* serialLink);

    // The reply list for one frame from the device, decoded and checked (serial reader thread
    // only).
    ReplyList DispatchFrame(const Frame& frame);
    // The same for a frame's wire bytes, which are checked first; bytes that are not one valid
    // frame get no reply.
    ReplyList DispatchFrame(const Bytes& frame);
    // Ends an inbound session that has seen no frame of its transfer for INBOUND_SILENCE_MS, as a
    // new START_REQUEST would; `now` is the reader's tick count. The reader calls it every pass.
    void AbandonSilentSession(uint32_t now);

    void RequestCancel();
    bool IsBusy();
    bool IsReceiving();

    // The sender's side (one send at a time, on its own thread).
    // Claims the engine for a send: false while another runs. Clears the cancel request and
    // the reply queue, and starts queueing replies.
    bool BeginSend();
    // Stops queueing replies and frees the engine for the next send.
    void EndSend();
    // Empties the reply queue between the transfers of one send (the files of one entry).
    void DropReplies();
    // Takes the oldest queued reply; false when there is none.
    bool TakeReply(PendingReply& out);
    // Sleeps on `ticks` up to `ms`, or less once the dispatcher queues a reply; true when woken.
    bool WaitForReply(TickSource& ticks, uint32_t ms) {
        return ticks.SleepUnlessWoken(ms, replyQueued_);
    }
    bool CancelRequested();
    void SetSendProgress(int percent) { sendProgress_.store(percent); }
    int SendProgress() const { return sendProgress_.load(); }
    SerialChannel* serialLink() const { return serialLink_.load(); }
    Notifier* window() const { return window_.load(); }
    ProtocolLog& log() { return log_; }

  private:
    // Receive dispatcher.
    bool RouteReplyToSender(const FrameHeader& header, const Bytes& payload);
    ReplyList HandleTransferFrame(const FrameHeader& header, const Bytes& payload);
    ReplyList HandleEcho(const Frame& frame);
    ReplyList ReplyWithCode(const FrameHeader& header, uint8_t rspCode, const wchar_t* label);
    ReplyList ReplyFailure(const FrameHeader& header, const wchar_t* reason);

    // Inbound session.
    ReplyList HandleFirstPacket(const FrameHeader& header, const Bytes& payload);
    ReplyList HandleMiddlePacket(const FrameHeader& header, const Bytes& payload);
    ReplyList HandleFinishPacket(const FrameHeader& header);
    void ResetSession(bool discard);
    void ClearSessionLocked();
    void CloseReceivedFile();
    uint32_t ComputeReceivedChecksum(std::wstring& method);
    bool BuildEntry(ClipboardEntry& entry);

    void Log(const wchar_t* channel, const std::wstring& text) { log_.Log(channel, text); }

    std::atomic<Notifier*> window_;
    std::atomic<SerialChannel*> serialLink_;
    ProtocolLog log_;

    std::mutex sendLock_;
    bool busy_ = false;
    bool acceptReplies_ = false;
    bool cancelRequested_ = false;
    std::deque<PendingReply> replyQueue_;
    WakeSignal replyQueued_;  // signalled under sendLock_ whenever a reply is queued

    std::mutex sessionLock_;
    std::atomic<int> sendProgress_{0};
    InboundSession session_;

    // Inbound transfer frames handled so far, and what the reader's silence check last saw of
    // them (reader thread only).
    std::atomic<uint32_t> inboundFrames_{0};
    uint32_t framesAtLastCheck_ = 0;
    uint32_t lastFrameTick_ = 0;
    bool silenceWatched_ = false;
};

// The checksum of the first `count` bytes of an open file (all of it when shorter), read in
// 256 KiB pieces. False when positioning or reading fails; `sum` then holds what was counted.
bool TryChecksumOpenFile(ReceivedFile& file, int64_t count, uint32_t& sum);
uint32_t ChecksumOpenFile(ReceivedFile& file, int64_t count);
// The same for a file opened by path (read only, shared); 0 when it cannot be opened.
uint32_t ChecksumFileByPath(const std::wstring& path, int64_t count);

}  // namespace zovrel
