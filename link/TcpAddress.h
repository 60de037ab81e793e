// The name of a port behind a serial device server: "tcp://HOST:PORT", where
// the unit's RS-485 line ends at a box that passes the RTU frames through a TCP
// connection unchanged. HOST is a host name, an IPv4 address or an IPv6
// address in brackets ("tcp://[fe80::1]:4001"). Pure text work: resolving and
// connecting are the TCP device's.
#pragma once

#include <cstdint>
#include <string>
#include <string_view>

struct TcpAddress {
    std::string host;        // without the brackets of an IPv6 address
    std::uint16_t port = 0;  // 1..65535 in a port name; 0 only where allowed
};

// True when name is meant as a TCP port ("tcp://..." or "mbtcp://..."), well
// formed or not: such a name is never a device path.
bool IsTcpPortName(std::string_view name);
// True for "mbtcp://HOST[:PORT]": a Modbus TCP device or gateway, spoken to
// in MBAP frames (link/MbapFraming.h) rather than RTU over TCP.
bool IsMbapPortName(std::string_view name);

// "HOST:PORT" into address. allowPortZero lets a listener ask the system for a
// free port. False with a short English reason in error when the text is not
// such an address: no port, a port out of range or not a number, an empty or
// malformed host.
bool ParseHostPort(std::string_view text, bool allowPortZero, TcpAddress& address,
                   std::string& error);

// "tcp://HOST:PORT" with PORT 1..65535, or "mbtcp://HOST[:PORT]" with 502
// when PORT is left out; as ParseHostPort otherwise.
bool ParseTcpPortName(std::string_view name, TcpAddress& address, std::string& error);

// The address as "HOST:PORT" again, IPv6 hosts in brackets.
std::string FormatHostPort(const TcpAddress& address);
