#include "link/ReplySearch.h"

#include <algorithm>
#include <cstring>

void CRtuReplySearch::BeforeSend() {
    if (m_bPurge) {
        m_comm.Purge(2);
        return;
    }
    // Without a purge, bytes may be waiting from before: the copy of this
    // request can only come after them (see CEchoFilter).
    if (m_comm.Device() != nullptr) {
        const long queued = m_comm.Device()->QueuedInput();
        m_nStale = (m_bResetCount ? 0 : m_comm.m_nRecvLen) + static_cast<int>(std::max(queued, 0L));
    }
}

void CRtuReplySearch::AfterSend() {
    std::memcpy(m_request, m_comm.m_SendBuf, static_cast<std::size_t>(m_comm.m_nSendLen));
    if (m_bResetCount) {
        m_comm.m_nRecvLen = 0;
    }
    m_filter.emplace(m_comm, m_function, m_bPurge, m_request, m_nStale);
}

bool CRtuReplySearch::Search(ExchangeResult& result, ReplyMatch& m) {
    return m_filter->Search(result, m);
}

int CRtuReplySearch::TakeReply(const ReplyMatch& m, ExchangeResult&) {
    std::memmove(m_comm.m_RecvBuf, m_comm.m_RecvBuf + m.pos, static_cast<std::size_t>(m.length));
    return m.length;
}

void CRtuReplySearch::Finish(ExchangeResult& result) {
    m_filter->Finish(result);
}

// Over Modbus TCP nothing is purged: a late reply carries its own transaction
// id and is discarded and counted by the search, and a purge in the middle of
// a frame would leave a tail that can pass for a header. The bytes the last
// exchange left unjudged (a frame cut off by the end of its wait) move to the
// start of the buffer, to be judged with what follows them; everything before
// them is done with.
void CTcpReplySearch::BeforeSend() {
    const int from = std::min(std::max(m_comm.m_nMbapJudged, 0), m_comm.m_nRecvLen);
    const int tail = m_comm.m_nRecvLen - from;
    std::memmove(m_comm.m_RecvBuf, m_comm.m_RecvBuf + from, static_cast<std::size_t>(tail));
    m_comm.m_nRecvLen = tail;
    m_comm.m_nMbapJudged = 0;
}

void CTcpReplySearch::AfterSend() {
    m_search.emplace(m_comm.m_SendBuf, m_comm.m_nSendLen);
}

bool CTcpReplySearch::Search(ExchangeResult& result, ReplyMatch& m) {
    m = m_search->Search(m_comm.m_RecvBuf, m_comm.m_nRecvLen);
    m_comm.m_nDiscardedReplies += m_search->Discarded() - result.discardedReplies;
    result.discardedReplies = m_search->Discarded();
    return true;
}

int CTcpReplySearch::TakeReply(const ReplyMatch& m, ExchangeResult& result) {
    m_comm.m_nMbapJudged = m.pos + m.length;
    result.otherUnit = m_search->OtherUnit();
    return MbapToRtu(m_comm.m_RecvBuf, m.pos, m.length);
}

void CTcpReplySearch::Finish(ExchangeResult& result) {
    m_comm.m_nMbapJudged = m_search->Scanned();
    if (m_search->MismatchLength() > 0) {
        const std::uint8_t* at = m_comm.m_RecvBuf + m_search->MismatchPos();
        result.mismatch.assign(at, at + m_search->MismatchLength());
    }
}
