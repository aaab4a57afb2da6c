#include "transfer/protocol_engine.h"

#include "base/text.h"

namespace zovrel {

ProtocolEngine::ProtocolEngine(Notifier* window, SerialChannel* serialLink)
    : window_(window), serialLink_(serialLink), log_(window) {}

ProtocolEngine::~ProtocolEngine() {
    // A transfer cut off by shutdown can never be finished; its file holds reserved zeros where
    // data is missing and must not stay behind looking complete. Nothing is logged: this may
    // run while the process ends.
    std::lock_guard<std::mutex> lock(sessionLock_);
    const bool unfinished = !session_.completed && !session_.filePaths.partPath.empty();
    session_.file.Abort();
    if (unfinished)
        DeleteReceivedFile(session_.filePaths.partPath);
}

void ProtocolEngine::SetTargets(Notifier* window, SerialChannel* serialLink) {
    window_.store(window);
    serialLink_.store(serialLink);
    log_.SetNotifier(window);
}

void ProtocolEngine::RequestCancel() {
    std::lock_guard<std::mutex> lock(sendLock_);
    cancelRequested_ = true;
}

bool ProtocolEngine::IsBusy() {
    std::lock_guard<std::mutex> lock(sendLock_);
    return busy_;
}

bool ProtocolEngine::IsReceiving() {
    std::lock_guard<std::mutex> lock(sessionLock_);
    return session_.active;
}

bool ProtocolEngine::BeginSend() {
    std::lock_guard<std::mutex> lock(sendLock_);
    if (busy_)
        return false;
    busy_ = true;
    acceptReplies_ = true;
    cancelRequested_ = false;
    replyQueue_.clear();
    return true;
}

void ProtocolEngine::EndSend() {
    std::lock_guard<std::mutex> lock(sendLock_);
    busy_ = false;
    acceptReplies_ = false;
    replyQueue_.clear();
}

void ProtocolEngine::DropReplies() {
    std::lock_guard<std::mutex> lock(sendLock_);
    replyQueue_.clear();
}

bool ProtocolEngine::TakeReply(PendingReply& out) {
    std::lock_guard<std::mutex> lock(sendLock_);
    if (replyQueue_.empty())
        return false;
    out = std::move(replyQueue_.front());
    replyQueue_.pop_front();
    return true;
}

bool ProtocolEngine::CancelRequested() {
    std::lock_guard<std::mutex> lock(sendLock_);
    return cancelRequested_;
}

ReplyList ProtocolEngine::ReplyWithCode(const FrameHeader& header, uint8_t rspCode,
                                        const wchar_t* label) {
    ReplyList replies{BuildGeneralReply(header.channel, header.sn, rspCode, OUR_APP_ID)};
    Log(L"TX", FormatText(L"%ls rsp=%u sn=%u", label, static_cast<unsigned>(rspCode), header.sn));
    return replies;
}

ReplyList ProtocolEngine::ReplyFailure(const FrameHeader& header, const wchar_t* reason) {
    ReplyList replies{BuildGeneralReply(header.channel, header.sn, RSP_FAILURE, OUR_APP_ID)};
    Log(L"TX", FormatText(L"GENERAL_REPLY fail %ls sn=%u", reason, header.sn));
    return replies;
}

}  // namespace zovrel
