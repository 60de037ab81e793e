#include "link/EchoFilter.h"

CEchoFilter::CEchoFilter(CModbusComm& comm, std::uint8_t function, bool purged,
                         const std::uint8_t* request, int staleBytes)
    : m_comm(comm),
      m_request(request),
      m_bRead(CopyNeverAnswers(function)),
      m_bPurged(purged),
      m_bExpected(comm.EchoExpected()),
      m_bLearning(comm.m_echoMode == EchoMode::Auto && !m_bExpected && m_bRead),
      m_nStale(purged ? 0 : staleBytes) {}

bool CEchoFilter::Search(ExchangeResult& result, ReplyMatch& m) {
    const std::uint8_t* buf = m_comm.m_RecvBuf;
    const int len = m_comm.m_nRecvLen;
    if (!result.echoRemoved && (m_bExpected || m_bLearning)) {
        // After a purge the copy is the first thing to come; without one,
        // bytes left from before may come first. Evidence for learning may
        // sit anywhere.
        const int from = len > m_nStale ? m_nStale : len;
        const int at =
            FindRequestCopy(buf + from, len - from, m_request, m_bLearning || !m_bPurged);
        if (at >= 0) {
            result.echoRemoved = true;
            result.afterEcho = from + at + RequestLength(m_request);
            if (m_bLearning) {
                m_comm.m_echoState = EchoState::Present;  // a read request is never a reply
                m_bExpected = true;
            }
        }
    }
    if (result.echoRemoved) {
        m = FindReply(buf + result.afterEcho, len - result.afterEcho, m_comm.m_nSlaveAddr,
                      m_request);
        m.pos += result.afterEcho;
        return true;
    }
    if (!m_bExpected) {
        m = FindReply(buf, len, m_comm.m_nSlaveAddr, m_request);
        if (m_bLearning && m_bPurged && m.kind != ReplyKind::None && m.pos == 0 &&
            m_comm.m_echoState == EchoState::Unknown) {
            // The reply came with nothing in front of it: no copy came before.
            m_comm.m_echoState = EchoState::Absent;
        }
        return true;
    }
    if (m_bRead) {
        // A line that does not echo after all: a reply with nothing in
        // front of it cannot be a spoilt copy, and is taken.
        m = FindReply(buf, len, m_comm.m_nSlaveAddr, m_request);
        if (m.pos != 0) {
            m = ReplyMatch{};
        }
        return true;
    }
    if (m_bPurged && !IsRequestPrefix(buf, len, m_request)) {
        // Only the copy can come first, and this is not it.
        result.echoMismatch = true;
        return false;
    }
    return true;
}

void CEchoFilter::Finish(ExchangeResult& result) const {
    if (m_bExpected && !result.echoRemoved && m_comm.m_nRecvLen > 0) {
        result.echoMismatch = true;
    }
    // An echoing adapter returns every request it sends: silence on a purged
    // line means there is no echo. A device that failed proves nothing.
    if (m_bLearning && m_bPurged && !result.deviceFailed && m_comm.m_nRecvLen == 0 &&
        m_comm.m_echoState == EchoState::Unknown) {
        m_comm.m_echoState = EchoState::Absent;
    }
}
