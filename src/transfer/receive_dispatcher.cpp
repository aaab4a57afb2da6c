#include "base/text.h"
#include "protocol/diagnostics.h"
#include "transfer/protocol_engine.h"

namespace zovrel {

ReplyList ProtocolEngine::DispatchFrame(const Bytes& frame) {
    Frame parsed;
    if (!ParseFrame(frame, parsed))
        return {};
    return DispatchFrame(parsed);
}

ReplyList ProtocolEngine::DispatchFrame(const Frame& frame) {
    const FrameHeader& header = frame.header;
    const Bytes& payload = frame.payload;

    if (header.channel == CHANNEL_TRANSFER && RouteReplyToSender(header, payload)) {
        if (header.type == GENERAL_REPLY && payload.size() >= 2) {
            const unsigned rsp = payload[0];
            Log(L"SYS", FormatText(L"TRANS GENERAL_REPLY sn=%u → 发送状态机 rsp=%u(%ls) appID=%u",
                                   header.sn, rsp, rsp == 0 ? L"成功" : L"失败",
                                   static_cast<unsigned>(payload[1])));
        } else {
            Log(L"SYS", FormatText(L"TRANS %ls sn=%u → 发送状态机（非对端入站落盘）",
                                   FrameTypeName(header.type).c_str(), header.sn));
        }
        return {};
    }
    if (header.channel == CHANNEL_TRANSFER)
        return HandleTransferFrame(header, payload);
    if (header.channel == CHANNEL_PERIPHERAL)
        return HandleEcho(frame);
    return {};
}

bool ProtocolEngine::RouteReplyToSender(const FrameHeader& header, const Bytes& payload) {
    if (header.type != GENERAL_REPLY && header.type != DEVICE_QUERY_RSP)
        return false;
    std::lock_guard<std::mutex> lock(sendLock_);
    if (!acceptReplies_)
        return false;
    replyQueue_.push_back(PendingReply{header.type, header.sn, payload});
    replyQueued_.Signal();  // the sender goes on now, not at its next look at the queue
    return true;
}

ReplyList ProtocolEngine::HandleTransferFrame(const FrameHeader& header, const Bytes& payload) {
    ++inboundFrames_;  // keeps a running inbound session from being taken for abandoned
    switch (header.type) {
        case START_REQUEST:
            Log(L"SYS", L"TRANS START_REQUEST");
            ResetSession(true);
            return ReplyWithCode(header, RSP_SUCCESS, L"GENERAL_REPLY for START_REQUEST");
        case DEVICE_QUERY: {
            Log(L"SYS", L"TRANS DEVICE_QUERY");
            ReplyList replies{
                BuildDeviceQueryRsp(header.channel, header.sn, ADVERTISED_MAX_PACKET, 0)};
            Log(L"TX", L"DEVICE_QUERY_RSP");
            return replies;
        }
        case FIRST_PACKET:
            return HandleFirstPacket(header, payload);
        case MIDDLE_PACKET:
            return HandleMiddlePacket(header, payload);
        case FINISH_PACKET:
            return HandleFinishPacket(header);
        default:
            return ReplyFailure(header, L"unsupported type");
    }
}

ReplyList ProtocolEngine::HandleEcho(const Frame& frame) {
    const FrameHeader& header = frame.header;
    const Bytes& payload = frame.payload;
    if (header.type != PERIPHERAL_ECHO)
        return {};
    if (SerialChannel* link = serialLink())
        link->StampEcho();

    EchoTlv tlv;
    if (ParseEchoTlv(payload, tlv)) {
        Log(L"SYS", FormatText(L"PERIPHERAL ECHO sn=%u tlv.type=0x%04X value=%ls", header.sn,
                               static_cast<unsigned>(tlv.type), DescribeTlvValue(tlv).c_str()));
    } else {
        Log(L"SYS",
            FormatText(L"PERIPHERAL ECHO sn=%u tlv parse failed (%ls) payload=%u B hex=[%ls]",
                       header.sn, DescribeTlvFailure(payload).c_str(),
                       static_cast<unsigned>(payload.size()), HexBytes(payload).c_str()));
    }
    // The device expects its own frame back, byte for byte, whatever it carried.
    return ReplyList{EncodeFrame(frame)};
}

}  // namespace zovrel
