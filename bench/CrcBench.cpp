// The cost of the CRC and of the reply search: CModbusComm::Crc16 throughput,
// and the worst case of CheckResponse and FindReply: 1024 received bytes that
// all equal the slave address, so that every position starts a candidate and
// each candidate is checked by a CRC over the rest of the buffer (quadratic).
// Also the worst for one exchange: such bytes arriving one at a time, with the
// reply search run after every arrival.
//
//   bench_crc
#include <chrono>
#include <cstdio>
#include <cstring>
#include <random>
#include <vector>

#include "bench/BenchTable.h"
#include "bench/SampleSet.h"
#include "link/ModbusComm.h"
#include "link/ReplyMatch.h"

namespace {

using Clock = std::chrono::steady_clock;

volatile std::uint32_t g_sink;  // keeps the measured work from being optimised away

// Median over rounds of the time of one call, each round timing batch calls.
template <typename F>
CSampleSet TimePerCall(F call, int rounds, int batch) {
    CSampleSet s;
    for (int r = 0; r < rounds; ++r) {
        const auto t0 = Clock::now();
        for (int i = 0; i < batch; ++i) {
            g_sink = g_sink + call();
        }
        const double us = std::chrono::duration<double, std::micro>(Clock::now() - t0).count();
        s.Add(us / batch);
    }
    return s;
}

}  // namespace

int main() {
    std::mt19937 random(1);
    std::vector<std::uint8_t> data(CModbusComm::kBufSize);
    for (auto& b : data) {
        b = static_cast<std::uint8_t>(random());
    }

    CBenchTable t("4. CRC and reply search (CModbusComm::kBufSize = 1024 bytes)",
                  {"operation", "median us/call", "p99 us/call", "throughput"});

    const CSampleSet crc1k = TimePerCall(
        [&] { return CModbusComm::Crc16(data.data(), static_cast<int>(data.size())); }, 200, 200);
    const double mbps = static_cast<double>(data.size()) / crc1k.Median();  // bytes/us = MB/s
    t.AddRow({"Crc16 over 1024 bytes", CBenchTable::Number(crc1k.Median(), 3),
              CBenchTable::Number(crc1k.Percentile(99), 3),
              CBenchTable::Number(mbps, 0) + " MB/s (" + CBenchTable::Number(1000.0 / mbps, 2) +
                  " ns/byte)"});
    const CSampleSet crc6 =
        TimePerCall([&] { return CModbusComm::Crc16(data.data(), 6); }, 200, 20000);
    t.AddRow({"Crc16 over 6 bytes (a request)", CBenchTable::Number(crc6.Median(), 4),
              CBenchTable::Number(crc6.Percentile(99), 4), ""});

    // The worst buffer: every byte is the slave address 1.
    CModbusComm comm;
    comm.m_nSlaveAddr = 1;
    int accepted = 0;
    const CSampleSet check = TimePerCall(
        [&] {
            std::memset(comm.m_RecvBuf, 1, CModbusComm::kBufSize);
            comm.m_nRecvLen = CModbusComm::kBufSize;
            const int r = comm.CheckResponse();
            accepted += r;
            return static_cast<std::uint32_t>(r);
        },
        50, 10);
    t.AddRow({"CheckResponse, 1024 x 01 (worst)", CBenchTable::Number(check.Median(), 1),
              CBenchTable::Number(check.Percentile(99), 1),
              accepted == 0 ? "no frame found" : "a frame was found"});

    std::vector<std::uint8_t> ones(CModbusComm::kBufSize, 1);
    const std::uint8_t request[8] = {0x01, 0x03, 0x00, 0x64, 0x00, 0x09, 0xC4, 0x13};
    int found = 0;
    const CSampleSet find = TimePerCall(
        [&] {
            const ReplyMatch m = FindReply(ones.data(), static_cast<int>(ones.size()), 1, request);
            found += m.kind != ReplyKind::None ? 1 : 0;
            return static_cast<std::uint32_t>(m.pos);
        },
        50, 10);
    t.AddRow({"FindReply, 1024 x 01 (worst)", CBenchTable::Number(find.Median(), 1),
              CBenchTable::Number(find.Percentile(99), 1),
              found == 0 ? "no frame found" : "a frame was found"});

    // One exchange's worst: the search after each of 1024 single-byte arrivals.
    const CSampleSet flood = TimePerCall(
        [&] {
            std::uint32_t any = 0;
            for (int len = 1; len <= CModbusComm::kBufSize; ++len) {
                any += FindReply(ones.data(), len, 1, request).kind != ReplyKind::None;
            }
            return any;
        },
        5, 1);
    t.AddRow({"FindReply after each of 1024 arrivals", CBenchTable::Number(flood.Median(), 0),
              CBenchTable::Number(flood.Percentile(99), 0), "one exchange's whole search"});
    t.Print();
    return 0;
}
