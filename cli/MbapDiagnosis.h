// What the bytes of a failed exchange over Modbus TCP say: the same findings
// as on a serial line (link/LineDiagnosis.h), told from MBAP frames instead
// of RTU frames, and worded for a network device or gateway.
#pragma once

#include <string>

#include "link/Exchange.h"
#include "link/LineDiagnosis.h"

// Nothing (no byte), PeerClosed (the device closed the connection),
// EarlierReply (a reply with another transaction id was discarded),
// Exception, or NoFrame (bytes that are no reply, the first kept).
LineDiagnosis MbapDiagnosis(const CModbusComm& comm, const ExchangeResult& result);
// The sentence for it; replies discarded for their transaction id are counted in it.
std::string MbapDiagnosisText(const LineDiagnosis& d, const ExchangeResult& result, int waitMs);
