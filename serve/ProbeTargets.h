// Which units `k40ctl serve` may probe on request (GET /probe?target=T): the
// destinations an operator allowed with --probe-target and --probe-port, and
// the check of a requested target against them. Whoever reaches the exporter
// chooses the target, so the exporter must never connect where it was not
// told it may: anything not allowed is refused before a socket is made, and a
// host name is looked up once and only the numeric addresses that passed the
// check are connected to (a name server cannot swap the address between the
// check and the connect).
#pragma once

#include <cstdint>
#include <string>
#include <vector>

#include "link/TcpAddress.h"
#include "serve/IpAddress.h"

// A host name allowed as written (lower case), with its port (0: any).
struct NamedHost {
    std::string host;
    std::uint16_t port = 0;
};

struct ProbeRules {
    // From --probe-target; both empty: loopback only (127.0.0.0/8, ::1).
    std::vector<AddressBlock> blocks;
    std::vector<NamedHost> names;
    // From --probe-port: the serial ports a probe may open, names exactly as
    // given.
    std::vector<std::string> serialPorts;
    // The --port this serve polls itself: never opened by a probe as well (its
    // values are on /metrics, and a device server that takes one client would
    // drop the poller for the probe). Set by SetServedPort, before
    // AddProbePort.
    std::string servedPort;
    // A tcp:// or mbtcp:// servedPort's every address with its port, as
    // LineKeyOf spells them: "127.0.0.1:15021", "[::1]:15021".
    std::vector<std::string> servedLines;
    // Without --probe-target, whether loopback is allowed: only when serve
    // listens on loopback (then whoever probes is on this host already).
    bool loopbackByDefault = true;
};

// The port this serve polls; a host name is looked up now (within waitMs),
// every address it gives kept, so that no spelling of the same device server
// (localhost, 127.1, 2130706433) reaches it through a probe.
void SetServedPort(const std::string& port, std::uint32_t waitMs, ProbeRules* rules);

// One --probe-target: "192.0.2.7", "192.0.2.7:4001", "[fd00::7]:502",
// "fd00::7", "unit7.plant", "unit7.plant:4001", "192.0.2.0/24", "fd00::/8".
// A host without a port allows every port; a block allows every port of every
// address in it. A name allows that name (as a probe's target spells it) and
// whatever the name service gives for it. False with the reason in *why.
bool AddProbeTarget(const std::string& option, ProbeRules* rules, std::string* why);
// One --probe-port: a serial port name, never a tcp:// one and never the
// serve's own --port (also not under another name of the same device: COM1
// and /dev/ttyS0, a symbolic link, /dev/./pts/4: SameSerialDevice). False with the reason in *why.
bool AddProbePort(const std::string& port, ProbeRules* rules, std::string* why);

enum class ProbeKind { Serial, RtuOverTcp, ModbusTcp };

// A requested target, parsed.
struct ProbeTarget {
    ProbeKind kind = ProbeKind::Serial;
    std::string given;     // as requested: the port label of the answer
    TcpAddress address;    // tcp:// and mbtcp://
    std::string lineKey;   // probes with the same key share a line: one at a time
    bool numeric = false;  // address.host is an IP address: ip
    IpAddress ip;
};

// Whether the rules allow the address and port.
bool AddressAllowed(const ProbeRules& rules, const IpAddress& address, std::uint16_t port);

enum class TargetVerdict {
    Refused,      // malformed or not allowed: *why says which
    Allowed,      // a serial port, or a numeric address that is allowed
    NeedsLookup,  // a host name: CheckProbeAddresses decides on what it resolves to
};
// What can be decided without the name service.
TargetVerdict ParseProbeTarget(const std::string& text, const ProbeRules& rules,
                               ProbeTarget* target, std::string* why);

// After the lookup of a tcp:// or mbtcp:// target: the port names to connect
// to ("tcp://192.0.2.7:4001", "mbtcp://[fd00::7]:502"), in the resolver's
// order. False (nothing to connect to) when any resolved address is not
// allowed or is the unit this serve polls, with the reason in *why.
bool CheckProbeAddresses(const ProbeRules& rules, const ProbeTarget& target,
                         const std::vector<IpAddress>& resolved,
                         std::vector<std::string>* connectTo, std::string* why);

// The whole check of a target that ParseProbeTarget did not refuse: a name is
// looked up within waitMs, then CheckProbeAddresses. False with the reason in
// *why; *refused tells a target that is not allowed (the request's fault)
// from a name that did not resolve (the target's).
bool ResolveProbeTarget(const ProbeRules& rules, const ProbeTarget& target, std::uint32_t waitMs,
                        std::vector<std::string>* connectTo, std::string* why, bool* refused);
