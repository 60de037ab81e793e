#include "link/TcpDevice.h"

#include <vector>

#include "link/Deadline.h"
#include "link/OpenError.h"
#include "link/TcpAddress.h"

namespace {

// A purge reads at most this much; a peer that floods faster is not outrun.
constexpr std::size_t kPurgeLimit = 1 << 20;

}  // namespace

std::uint32_t ConnectShare(std::uint32_t leftMs, std::size_t untried) {
    return untried <= 1 ? leftMs : static_cast<std::uint32_t>(leftMs / untried);
}

std::unique_ptr<CTcpDevice> CTcpDevice::Open(const std::string& name, std::uint32_t waitMs,
                                             std::string& reason, int& error) {
    TcpAddress address;
    if (!ParseTcpPortName(name, address, reason)) {
        reason = "bad address: " + reason;
        error = kTcpBadAddress;
        return nullptr;
    }
    if (!StartSockets(error)) {
        reason = SystemErrorText(error);
        return nullptr;
    }
    const CDeadline deadline(SystemClock(), waitMs);
    std::vector<ResolvedAddress> candidates;
    if (!ResolveTcp(address.host, address.port, waitMs, candidates, reason)) {
        reason = "cannot resolve " + reason;
        error = kTcpUnresolved;
        return nullptr;
    }
    error = kTcpTimedOut;
    for (std::size_t i = 0; i < candidates.size(); ++i) {
        const std::uint32_t left = deadline.Remaining();
        if (left == 0) {
            break;
        }
        const std::uint32_t share = ConnectShare(left, candidates.size() - i);
        CTcpSocket socket = CTcpSocket::Connect(candidates[i], share, error);
        if (socket.Valid()) {
            socket.KeepAlive();
            error = 0;
            return std::unique_ptr<CTcpDevice>(
                new CTcpDevice(std::move(socket), IsMbapPortName(name)));
        }
    }
    reason = "connect to " + FormatHostPort(address) + ": " +
             (error == kTcpTimedOut ? "no answer within " + std::to_string(waitMs) + " ms"
                                    : SystemErrorText(error));
    return nullptr;
}

int CTcpDevice::SetLine(const LineSettings& /*line*/) {
    return 1;  // the device server's line is set up on the device server
}

void CTcpDevice::Discard(bool input, bool /*output*/) {
    if (!input || m_bEnded) {
        return;
    }
    std::uint8_t junk[4096];
    for (std::size_t total = 0; total < kPurgeLimit;) {
        const long n = Read(junk, sizeof junk);
        if (n <= 0) {
            return;
        }
        total += static_cast<std::size_t>(n);
    }
}

long CTcpDevice::QueuedInput() {
    return m_bEnded ? -1 : m_socket.Pending();
}

long CTcpDevice::Read(std::uint8_t* buffer, std::size_t size) {
    if (m_bEnded) {
        return -1;
    }
    if (size == 0) {
        return 0;
    }
    const long n = m_socket.Receive(buffer, size);
    if (n < 0) {
        m_bEnded = true;  // the peer closed, reset, or the connection failed
    }
    return n;
}

long CTcpDevice::WriteSome(const std::uint8_t* buffer, std::size_t length) {
    if (m_bEnded) {
        return -1;
    }
    const long n = m_socket.Send(buffer, length);
    if (n < 0) {
        m_bEnded = true;
    }
    return n;
}

long CTcpDevice::QueuedOutput() {
    return m_bEnded ? -1 : 0;
}

WaitResult CTcpDevice::WaitWritable(std::uint32_t ms) {
    return m_bEnded ? WaitResult::Failed : m_socket.WaitWritable(ms);
}

WaitResult CTcpDevice::WaitReadable(std::uint32_t ms) {
    if (m_bEnded) {
        return WaitResult::Failed;
    }
    const WaitResult r = m_socket.WaitReadable(ms);
    if (r != WaitResult::Readable) {
        return r;
    }
    // Bytes that came before a close are still the reply: read them first.
    if (QueuedInput() > 0) {
        return WaitResult::Readable;
    }
    // Readable with nothing to read is the end of the stream; a hang-up or an
    // error the same. Waiting again would return at once: report it instead.
    m_bEnded = true;
    return WaitResult::Failed;
}
