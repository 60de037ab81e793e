// How one exchange finds the reply to its request in the bytes received, for
// the framing of the open device: RTU on a line that may echo the request
// (CEchoFilter), or Modbus TCP, where nothing echoes and the reply is found
// by its MBAP header and transaction id (CMbapReplySearch). The exchange
// itself (sending, reading, waiting) is the same for both.
#pragma once

#include <cstdint>
#include <optional>

#include "link/EchoFilter.h"
#include "link/Exchange.h"
#include "link/MbapFraming.h"
#include "link/ReplyMatch.h"

class IReplySearch {
public:
    virtual ~IReplySearch() = default;
    // Before the request is framed: readies the receive buffer for it.
    virtual void BeforeSend() = 0;
    // Once the request (m_SendBuf) has been written, before the first read.
    virtual void AfterSend() = 0;
    // Looks at the bytes received so far; m is the reply if one is there.
    // False when the exchange must end as a failure now.
    virtual bool Search(ExchangeResult& result, ReplyMatch& m) = 0;
    // Moves the reply found to the start of m_RecvBuf in RTU form, so that
    // the decoding is the same for both framings; its length.
    virtual int TakeReply(const ReplyMatch& m, ExchangeResult& result) = 0;
    // At the end of the wait without a reply: notes what came instead.
    virtual void Finish(ExchangeResult& result) = 0;
};

// RTU: the copy of the request a line echoes is taken off first.
class CRtuReplySearch : public IReplySearch {
public:
    // purge: the input is purged before sending. resetCount: the receive
    // count starts again at 0 once the request has gone out.
    CRtuReplySearch(CModbusComm& comm, std::uint8_t function, bool purge, bool resetCount)
        : m_comm(comm), m_function(function), m_bPurge(purge), m_bResetCount(resetCount) {}

    void BeforeSend() override;
    void AfterSend() override;
    bool Search(ExchangeResult& result, ReplyMatch& m) override;
    int TakeReply(const ReplyMatch& m, ExchangeResult& result) override;
    void Finish(ExchangeResult& result) override;

private:
    CModbusComm& m_comm;
    std::uint8_t m_function;
    bool m_bPurge;
    bool m_bResetCount;
    int m_nStale = 0;  // bytes waiting from before the request (see CEchoFilter)
    std::uint8_t m_request[CModbusComm::kBufSize] = {};
    std::optional<CEchoFilter> m_filter;
};

// Modbus TCP: nothing is purged and nothing echoes; a frame cut off by the
// end of one exchange's wait is judged with what follows it in the next.
class CTcpReplySearch : public IReplySearch {
public:
    explicit CTcpReplySearch(CModbusComm& comm) : m_comm(comm) {}

    void BeforeSend() override;
    void AfterSend() override;
    bool Search(ExchangeResult& result, ReplyMatch& m) override;
    int TakeReply(const ReplyMatch& m, ExchangeResult& result) override;
    void Finish(ExchangeResult& result) override;

private:
    CModbusComm& m_comm;
    std::optional<CMbapReplySearch> m_search;
};
