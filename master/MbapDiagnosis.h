// What the bytes of a failed exchange over Modbus TCP say: the same findings
// as on a serial line (link/LineDiagnosis.h), told from MBAP frames instead
// of RTU frames, and worded for a network device or gateway.
#pragma once

#include <string>

#include "link/Exchange.h"
#include "link/LineDiagnosis.h"

// Nothing (no byte), PeerClosed (the device closed the connection),
// NoFrame (a frame with the request's transaction id that does not answer
// it, kept whole; else bytes that are no reply, the first kept), EarlierReply
// (a reply with another transaction id was discarded), or Exception.
LineDiagnosis MbapDiagnosis(const CModbusComm& comm, const ExchangeResult& result);
// The sentence for it; replies discarded for their transaction id are counted
// in it, and a frame that does not answer the request (an MBAP frame) is
// named with its reason. request: the MBAP frame that was sent.
std::string MbapDiagnosisText(const LineDiagnosis& d, const ExchangeResult& result,
                              const std::uint8_t* request, int waitMs);
