#pragma once

#include <memory>
#include <mutex>
#include <string>

#include "base/bytes.h"
#include "base/notifier.h"
#include "base/tick_source.h"
#include "clipboard/clipboard_entry.h"
#include "transfer/protocol_engine.h"
#include "transfer/serial_channel.h"

namespace zovrel {

// The process-wide transfer engine front. Every operation may be called from any thread.
//
// Lock order: the front lock, then one of the engine's locks. The front lock only guards the
// fields below; the engine is handed out as a shared pointer, so a frame being dispatched or a
// send in progress keeps it alive even if Detach runs meanwhile.
class TransferProtocol {
  public:
    TransferProtocol() = default;
    ~TransferProtocol();
    TransferProtocol(const TransferProtocol&) = delete;
    TransferProtocol& operator=(const TransferProtocol&) = delete;

    // Creates the engine on the first call; a later call only replaces the targets.
    void Attach(Notifier* window, SerialChannel* serialLink);
    // Drops the engine (an unfinished received file is closed and deleted).
    void Detach();

    // The frames to write back for one frame from the device; none while detached. The serial
    // reader hands over frames it has cut out and checked; wire bytes are checked here.
    ReplyList DispatchFrame(const Frame& frame);
    ReplyList DispatchFrame(const Bytes& frame);
    // Abandons an inbound transfer that has been silent too long (see ProtocolEngine); the
    // serial reader calls it on every pass with its tick count.
    void AbandonSilentInbound(uint32_t now);

    void CancelSend();
    bool IsSending();
    bool IsReceiving();

    // Sends one entry to the device and blocks until the transfer ends; false with the reason
    // in `error`. Progress goes to `window`. Runs on the send task's thread.
    bool Send(const ClipboardEntry& entry, Notifier* window, std::wstring& error,
              TickSource& ticks = SystemTicks());

    // The attached engine for the sender, or null while detached.
    std::shared_ptr<ProtocolEngine> AttachedEngine();

  private:
    std::mutex frontLock_;
    Notifier* window_ = nullptr;
    SerialChannel* serialLink_ = nullptr;
    bool attached_ = false;
    std::shared_ptr<ProtocolEngine> engine_;
};

// Created on first use, lives until the process ends.
TransferProtocol& GetTransferProtocol();

}  // namespace zovrel
