#include "transfer/transfer_protocol.h"

#include "settings/protocol_log.h"

namespace zovrel {

TransferProtocol::~TransferProtocol() {
    Detach();
}

void TransferProtocol::Attach(Notifier* window, SerialChannel* serialLink) {
    std::lock_guard<std::mutex> lock(frontLock_);
    if (!engine_) {
        engine_ = std::make_shared<ProtocolEngine>(window, serialLink);
        SetActiveProtocolLog(&engine_->log());
    } else {
        engine_->SetTargets(window, serialLink);
    }
    window_ = window;
    serialLink_ = serialLink;
    attached_ = true;
}

void TransferProtocol::Detach() {
    std::shared_ptr<ProtocolEngine> engine;
    {
        std::lock_guard<std::mutex> lock(frontLock_);
        if (engine_) {
            ClearActiveProtocolLog();
            // A send that outlives the detach keeps the engine alive but must reach neither the
            // link nor the window any more: both may be gone by the time it ends.
            engine_->SetTargets(nullptr, nullptr);
        }
        engine.swap(engine_);
        attached_ = false;
        window_ = nullptr;
        serialLink_ = nullptr;
    }
    // The engine goes when its last user lets go, outside the front lock.
}

std::shared_ptr<ProtocolEngine> TransferProtocol::AttachedEngine() {
    std::lock_guard<std::mutex> lock(frontLock_);
    return attached_ ? engine_ : nullptr;
}

ReplyList TransferProtocol::DispatchFrame(const Frame& frame) {
    const std::shared_ptr<ProtocolEngine> engine = AttachedEngine();
    if (!engine)
        return {};
    return engine->DispatchFrame(frame);
}

ReplyList TransferProtocol::DispatchFrame(const Bytes& frame) {
    const std::shared_ptr<ProtocolEngine> engine = AttachedEngine();
    if (!engine)
        return {};
    return engine->DispatchFrame(frame);
}

void TransferProtocol::AbandonSilentInbound(uint32_t now) {
    if (const std::shared_ptr<ProtocolEngine> engine = AttachedEngine())
        engine->AbandonSilentSession(now);
}

void TransferProtocol::CancelSend() {
    if (const std::shared_ptr<ProtocolEngine> engine = AttachedEngine())
        engine->RequestCancel();
}

bool TransferProtocol::IsSending() {
    const std::shared_ptr<ProtocolEngine> engine = AttachedEngine();
    return engine && engine->IsBusy();
}

bool TransferProtocol::IsReceiving() {
    std::lock_guard<std::mutex> lock(frontLock_);
    return attached_ && engine_ && engine_->IsReceiving();
}

TransferProtocol& GetTransferProtocol() {
    static TransferProtocol& instance = []() -> TransferProtocol& {
        // The active-log registry must outlive the front, which unregisters at process exit:
        // using it first makes it be destroyed after the front.
        ClearActiveProtocolLog();
        static TransferProtocol front;
        return front;
    }();
    return instance;
}

}  // namespace zovrel
