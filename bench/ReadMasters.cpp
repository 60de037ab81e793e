#include "bench/ReadMasters.h"

#include <modbus.h>
#include <time.h>

#include <cerrno>
#include <cstdlib>
#include <cstring>

#include "bench/Stopwatch.h"
#include "link/Exchange.h"

namespace {

// The simulator lifts the previous holder's exclusive mark when it sees the
// close; a new open may come a moment before that.
constexpr int kOpenTries = 200;

void PauseMs(long ms) {
    timespec ts{0, ms * 1000000L};
    nanosleep(&ts, nullptr);
}

}  // namespace

CReadMasters::CReadMasters(std::string path, const LineSettings& line)
    : m_path(std::move(path)), m_line(line) {
    setenv("K40_COM1", m_path.c_str(), 1);
}

bool CReadMasters::LinkBlock(int count, CSampleSet& micros) {
    CModbusComm comm;
    comm.m_nPort = 0;
    if (!comm.SetLineSettings(m_line)) {
        m_error = "the link has no rate " + std::to_string(m_line.baud);
        return false;
    }
    comm.m_nWaitTime = 1500;
    int tries = 0;
    while (comm.InitPort() != 1) {
        if (++tries == kOpenTries) {
            m_error = "the link could not open " + m_path;
            return false;
        }
        PauseMs(1);
    }
    for (int i = 0; i < count; ++i) {
        const CStopwatch watch;
        const ExchangeResult r =
            RunExchange(comm, ExchangeVariant::QuietRead, 0x03, 100, kRegisters, nullptr);
        const double us = watch.WallMicroseconds();
        if (r.outcome != ExchangeOutcome::Reply || r.replyLength != 5 + 2 * kRegisters) {
            m_error = "the link's read " + std::to_string(i) + " got no reply";
            return false;
        }
        micros.Add(us);
        for (int k = 0; k < kRegisters; ++k) {
            m_link[k] = static_cast<std::uint16_t>(comm.m_RecvBuf[3 + 2 * k] << 8 |
                                                   comm.m_RecvBuf[4 + 2 * k]);
        }
    }
    return true;
}

bool CReadMasters::LibmodbusBlock(int count, CSampleSet& micros) {
    const char parity = m_line.parity == Parity::Even ? 'E' : m_line.parity == Parity::Odd ? 'O' : 'N';
    modbus_t* ctx = modbus_new_rtu(m_path.c_str(), static_cast<int>(m_line.baud), parity, 8,
                                   m_line.stopBits);
    if (ctx == nullptr || modbus_set_slave(ctx, 1) != 0) {
        m_error = "libmodbus: no RTU context";
        if (ctx != nullptr) {
            modbus_free(ctx);
        }
        return false;
    }
    int tries = 0;
    while (modbus_connect(ctx) != 0) {
        if (++tries == kOpenTries) {
            m_error = "libmodbus could not open " + m_path + ": " + modbus_strerror(errno);
            modbus_free(ctx);
            return false;
        }
        PauseMs(1);
    }
    bool ok = true;
    for (int i = 0; i < count; ++i) {
        const CStopwatch watch;
        const int n = modbus_read_registers(ctx, 100, kRegisters, m_libmodbus.data());
        const double us = watch.WallMicroseconds();
        if (n != kRegisters) {
            m_error = "libmodbus read " + std::to_string(i) + ": " + modbus_strerror(errno);
            ok = false;
            break;
        }
        micros.Add(us);
    }
    modbus_close(ctx);
    modbus_free(ctx);
    return ok;
}
