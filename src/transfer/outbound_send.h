#pragma once

#include <cstdint>
#include <string>

#include "base/notifier.h"
#include "base/tick_source.h"
#include "clipboard/clipboard_entry.h"
#include "transfer/outbound_payload.h"

namespace zovrel {

class ProtocolEngine;

constexpr uint32_t SEND_PACING_MS = 150;     // pause before every frame we send
constexpr uint32_t REPLY_TIMEOUT_MS = 2000;  // an answer later than this is overdue
constexpr uint32_t POLL_INTERVAL_MS = 10;    // between looks at the reply queue
constexpr int MAX_TIMEOUT_RETRIES = 10;      // the 11th time-out ends the transfer
constexpr int MAX_FAILURE_RETRIES = 3;       // the 4th failure reply in a row ends it

// Sends one entry to the device over `engine` and blocks until the device has acknowledged the
// FINISH_PACKET (true) or the transfer ended otherwise (false, `error` says why). Progress
// goes to `window` (may be null). Runs on the send task's thread; the engine must stay attached
// until it returns. Everything after the engine lookup of TransferProtocol::Send happens here.
bool SendEntry(ProtocolEngine& engine, TickSource& ticks, const ClipboardEntry& entry,
               Notifier* window, std::wstring& error);

// The same for content that is already prepared (the device simulator and tests send payloads
// no history entry can hold, such as an empty one).
bool SendPayload(ProtocolEngine& engine, TickSource& ticks, const OutboundPayload& payload,
                 Notifier* window, std::wstring& error);

}  // namespace zovrel
