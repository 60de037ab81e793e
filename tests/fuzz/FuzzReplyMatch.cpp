// Fuzz target: the reply search and the exchange on arbitrary receive data.
// Input: slave address, request function, address and value (6 bytes), then the
// bytes the line delivers, cut into chunks by the fuzzer's own length bytes.
// Function 17 is Report Server ID (no data); 43 is an encapsulated request
// whose MEI type, read code and object id are the address and value's first
// three bytes (0E: Read Device Identification).
#include <cstdint>
#include <cstdlib>
#include <cstring>

#include "IdentificationFrames.h"
#include "link/Crc.h"
#include "link/Exchange.h"
#include "link/ReplyMatch.h"
#include "support/FakeSerial.h"

namespace {

void Check(bool ok) {
    if (!ok) {
        std::abort();
    }
}

// The accepted frame, checked from first principles.
void CheckAccepted(const std::uint8_t* frame, int length, int slave, const std::uint8_t* req,
                   bool exception) {
    Check(length >= 4);
    Check(frame[0] == slave);
    Check(EndsInOwnCrc(frame, static_cast<std::size_t>(length)));
    if (exception) {
        Check(length == 5 && frame[1] == (req[1] | 0x80));
        return;
    }
    const int quantity = req[4] << 8 | req[5];
    switch (req[1]) {
        case 0x01:
        case 0x02:
            Check(frame[1] == req[1] && frame[2] == (quantity + 7) / 8 && length == frame[2] + 5);
            break;
        case 0x03:
        case 0x04:
            Check(frame[1] == req[1] && frame[2] == 2 * quantity && length == frame[2] + 5);
            break;
        case 0x05:
        case 0x06:
            Check(length == 8 && std::memcmp(frame, req, 8) == 0);
            break;
        case 0x0F:
        case 0x10:
            Check(length == 8 && std::memcmp(frame, req, 6) == 0);
            break;
        case 0x11:
            Check(IsServerIdBody(frame, length - 2));
            break;
        case 0x2B:
            Check(req[2] == 0x0E && IsDeviceIdBody(frame, length - 2, req[3]));
            break;
        default:
            Check(frame[1] == req[1]);
            break;
    }
}

// Every start position in order; the first frame from the slave with a valid
// CRC that answers the request wins, a reply before an exception.
ReplyMatch SlowFind(const std::uint8_t* buf, int len, int slave, const std::uint8_t* req) {
    ReplyMatch m;
    const int quantity = req[4] << 8 | req[5];
    for (int i = 0; i < len; ++i) {
        const std::uint8_t* f = buf + i;
        const int n = len - i;
        if (f[0] != slave) {
            continue;
        }
        if (n < 4) {
            break;
        }
        if (!EndsInOwnCrc(f, static_cast<std::size_t>(n))) {
            continue;
        }
        bool reply = false;
        switch (req[1]) {
            case 0x01:
            case 0x02:
                reply = f[1] == req[1] && f[2] == (quantity + 7) / 8 && n == f[2] + 5;
                break;
            case 0x03:
            case 0x04:
                reply = f[1] == req[1] && f[2] == 2 * quantity && n == f[2] + 5;
                break;
            case 0x05:
            case 0x06:
                reply = n == 8 && std::memcmp(f, req, 8) == 0;
                break;
            case 0x0F:
            case 0x10:
                reply = n == 8 && std::memcmp(f, req, 6) == 0;
                break;
            case 0x11:
                reply = IsServerIdBody(f, n - 2);
                break;
            case 0x2B:
                reply = req[2] == 0x0E && IsDeviceIdBody(f, n - 2, req[3]);
                break;
            default:
                reply = f[1] == req[1];
                break;
        }
        const bool exception = n == 5 && f[1] == (req[1] | 0x80);
        if (reply || exception) {
            m.kind = reply ? ReplyKind::Reply : ReplyKind::Exception;
            m.exceptionCode = reply ? 0 : f[2];
            m.pos = i;
            m.length = n;
            return m;
        }
    }
    return m;
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    if (size < 6) {
        return 0;
    }
    FakeClock clock;
    FakeLine line(clock);
    FakePorts ports;
    ports.Attach(0, line);
    CModbusComm comm(ports);
    comm.m_nSlaveAddr = data[0];
    comm.m_nWaitTime = 1000;
    comm.InitPort();
    // 17 and 43 are requests of their own length; the others take 8 bytes.
    const bool identification = data[1] == 0x11 || data[1] == 0x2B;
    const std::uint8_t pdu[] = {data[1], data[2], data[3], data[4]};
    const int pduLength = data[1] == 0x11 ? 1 : 4;
    if (identification) {
        comm.BuildFrame(pdu, pduLength);
    } else {
        comm.BuildRequest(data[1], data[2] << 8 | data[3],
                          static_cast<std::uint16_t>(data[4] << 8 | data[5]));
    }
    std::uint8_t request[8] = {};
    std::memcpy(request, comm.m_SendBuf, static_cast<std::size_t>(comm.m_nSendLen));
    Check(!identification || RequestLength(request) == comm.m_nSendLen);

    // The pure search over the whole input as one receive buffer.
    const int len = static_cast<int>(std::min<std::size_t>(size - 6, CModbusComm::kBufSize));
    const std::uint8_t* rx = data + 6;
    const ReplyMatch m = FindReply(rx, len, comm.m_nSlaveAddr, request);
    const ReplyMatch slow = SlowFind(rx, len, comm.m_nSlaveAddr, request);
    Check(m.kind == slow.kind && m.pos == slow.pos && m.length == slow.length &&
          m.exceptionCode == slow.exceptionCode);
    if (m.kind != ReplyKind::None) {
        Check(m.pos + m.length == len);
        CheckAccepted(rx + m.pos, m.length, comm.m_nSlaveAddr, request,
                      m.kind == ReplyKind::Exception);
        std::memcpy(comm.m_RecvBuf, rx, static_cast<std::size_t>(len));
        comm.m_nRecvLen = len;
        Check(comm.CheckResponse() == 1);  // the plain search accepts at least as much
    }

    // The exchange with the same bytes arriving in chunks, one chunk every 7 ms.
    std::uint32_t at = 1;
    for (std::size_t p = 6; p < size;) {
        const std::size_t chunk = 1 + data[p] % 16;
        const std::size_t end = std::min(size, p + chunk);
        line.Arrive(at, Bytes(data + p, data + end));
        at += 7;
        p = end;
    }
    const ExchangeResult r =
        identification
            ? RunRequest(comm, ExchangeVariant::ModuleCommand, pdu, pduLength, nullptr, clock)
            : RunExchange(comm, ExchangeVariant::ModuleCommand, data[1], data[2] << 8 | data[3],
                          static_cast<std::uint16_t>(data[4] << 8 | data[5]), nullptr, clock);
    Check(comm.m_nRecvLen >= 0 && comm.m_nRecvLen <= CModbusComm::kBufSize);
    if (r.outcome != ExchangeOutcome::Timeout) {
        CheckAccepted(comm.m_RecvBuf, r.replyLength, comm.m_nSlaveAddr, request,
                      r.outcome == ExchangeOutcome::Exception);
    }
    return 0;
}
