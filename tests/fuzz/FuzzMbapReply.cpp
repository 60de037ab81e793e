// Fuzz target: what a Modbus TCP device or gateway sends, through the MBAP
// framing, the exchange and the raw reply decoding, for every function and
// type of raw access. Nothing may crash, and an accepted reply must answer
// its request's transaction id, function and quantity.
// Input: unit id, request kind (table or write, type, word order; F0 and up:
// Report Server ID, or for odd kinds Read Device Identification with the
// next two bytes as read code and object id), address (2), count (2), then
// the bytes the device sends, cut into chunks by the
// fuzzer's own length bytes; two exchanges run, the second on what the first
// left over.
#include <cstdint>
#include <cstdlib>
#include <cstring>
#include <vector>

#include "IdentificationFrames.h"
#include "master/MbapMismatch.h"
#include "master/RawAccess.h"
#include "link/Exchange.h"
#include "link/MbapFraming.h"
#include "support/FakeSerial.h"

namespace {

void Check(bool ok) {
    if (!ok) {
        std::abort();
    }
}

constexpr int kHeader = 7;

// The request's PDU from the input's first bytes; the read it asks, if a read.
bool MakeRequest(const std::uint8_t* in, std::vector<std::uint8_t>& pdu, RawRead& read,
                 bool& isRead) {
    const int kind = in[1] % 8;
    const int address = in[3] << 8 | in[4];
    const int count = in[5] << 8 | in[6];
    isRead = kind < 4 && in[1] < 0xF0;
    if (in[1] >= 0xF0) {
        pdu = (in[1] & 1) != 0 ? std::vector<std::uint8_t>{0x2B, 0x0E, in[2], in[3]}
                               : std::vector<std::uint8_t>{0x11};
    } else if (isRead) {
        read.table = static_cast<RawTable>(kind);
        read.type = static_cast<RawType>(in[2] % 10);
        read.order = static_cast<ByteOrder>(in[2] >> 6);
        read.address = address;
        read.count = count % 2100;
        if (!CheckRead(read).empty()) {
            return false;
        }
        pdu = ReadPdu(read);
    } else if (kind == 4) {
        pdu = WriteCoilPdu(address, (count & 1) != 0);
    } else if (kind == 5) {
        pdu = WriteRegisterPdu(address, static_cast<std::uint16_t>(count));
    } else if (kind == 6) {
        pdu = WriteRegistersPdu(address, std::vector<std::uint16_t>(1 + count % 123, 0x1234));
    } else {
        pdu = WriteCoilsPdu(address, std::vector<bool>(1 + count % 1968, true));
    }
    return true;
}

// An accepted reply (an RTU-form frame, CRC included) against the request's PDU.
void CheckAnswer(const std::uint8_t* frame, int length, const std::vector<std::uint8_t>& pdu,
                 bool exception) {
    if (exception) {
        Check(length == 5 && frame[1] == (pdu[0] | 0x80));
        return;
    }
    Check(frame[1] == pdu[0]);
    if (pdu[0] == 0x11 || pdu[0] == 0x2B) {
        Check(pdu[0] == 0x11 ? IsServerIdBody(frame, length - 2)
                             : IsDeviceIdBody(frame, length - 2, pdu[2]));
        return;
    }
    const int quantity = pdu[3] << 8 | pdu[4];
    switch (pdu[0]) {
        case 0x01:
        case 0x02:
            Check(frame[2] == (quantity + 7) / 8 && length == frame[2] + 5);
            break;
        case 0x03:
        case 0x04:
            Check(frame[2] == 2 * quantity && length == frame[2] + 5);
            break;
        default:  // 05, 06, 15, 16: the request's address and value or quantity
            Check(length == 8 && std::memcmp(frame + 1, pdu.data(), 5) == 0);
            break;
    }
}

void CheckDecoded(const RawRead& read, const std::uint8_t* frame) {
    const std::vector<SignalReading> values = DecodeRawReply(read, frame);
    Check(static_cast<int>(values.size()) == ValuesOf(read));
    for (const SignalReading& v : values) {
        Check(!IsBitTable(read.table) && read.type == RawType::Ascii
                  ? v.text.size() >= 2u * static_cast<unsigned>(read.count)
                                          : !v.text.empty() && v.text.size() < 32);
    }
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    std::vector<std::uint8_t> pdu;
    RawRead read;
    bool isRead = false;
    if (size < 7 || !MakeRequest(data, pdu, read, isRead)) {
        return 0;
    }
    std::uint8_t request[CModbusComm::kBufSize];
    const int requestLength = BuildMbapFrame(request, 1, data[0], pdu.data(),
                                             static_cast<int>(pdu.size()));

    // The pure search over the input as one buffer, as the first request's.
    const int len = static_cast<int>(std::min<std::size_t>(size - 7, CModbusComm::kBufSize));
    std::vector<std::uint8_t> rx(data + 7, data + 7 + len);
    CMbapReplySearch search(request, requestLength);
    const ReplyMatch m = search.Search(rx.data(), len);
    Check(search.Scanned() <= len && search.MismatchPos() + search.MismatchLength() <= len);
    if (search.MismatchLength() > 0) {
        Check(!MbapMismatch(rx.data() + search.MismatchPos(), search.MismatchLength(), request)
                   .empty());
    }
    if (m.kind != ReplyKind::None) {
        Check(m.pos + m.length <= len && m.length >= kHeader + 1);
        Check(MbapTransaction(rx.data() + m.pos) == 1);
        Check(search.OtherUnit() == (rx[m.pos + 6] == data[0] ? -1 : rx[m.pos + 6]));
        const int rtu = MbapToRtu(rx.data(), m.pos, m.length);
        CheckAnswer(rx.data(), rtu, pdu, m.kind == ReplyKind::Exception);
        if (isRead && m.kind == ReplyKind::Reply) {
            CheckDecoded(read, rx.data());
        }
    }

    // Two exchanges over a fake connection, the bytes arriving one chunk every 7 ms.
    FakeClock clock;
    FakeLine line(clock);
    line.m_bMbap = true;
    FakePorts ports;
    ports.Attach(0, line);
    CModbusComm comm(ports);
    comm.m_nSlaveAddr = data[0];
    comm.m_nWaitTime = 1000;
    comm.InitPort();
    std::uint32_t at = 1;
    for (std::size_t p = 7; p < size;) {
        const std::size_t end = std::min(size, p + 1 + data[p] % 16);
        line.Arrive(at, Bytes(data + p, data + end));
        at += 7;
        p = end;
    }
    for (int round = 0; round < 2; ++round) {
        const ExchangeResult r = RunRequest(comm, ExchangeVariant::Read, pdu.data(),
                                            static_cast<int>(pdu.size()), nullptr, clock);
        Check(comm.m_nRecvLen >= 0 && comm.m_nRecvLen <= CModbusComm::kBufSize);
        if (r.outcome != ExchangeOutcome::Timeout) {
            CheckAnswer(comm.m_RecvBuf, r.replyLength, pdu,
                        r.outcome == ExchangeOutcome::Exception);
            if (isRead && r.outcome == ExchangeOutcome::Reply) {
                CheckDecoded(read, comm.m_RecvBuf);
            }
        } else if (!r.mismatch.empty()) {
            Check(!MbapMismatch(r.mismatch.data(), static_cast<int>(r.mismatch.size()),
                                comm.m_SendBuf)
                       .empty());
        }
    }
    return 0;
}
