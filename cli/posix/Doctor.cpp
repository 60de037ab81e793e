#include "cli/Doctor.h"

#include <grp.h>
#include <sys/stat.h>
#include <unistd.h>

#include <climits>
#include <cstdio>
#include <cstdlib>
#include <cstring>

#include "cli/DoctorReport.h"
#include "link/PortDiscovery.h"
#include "link/TcpAddress.h"
#include "link/posix/PortChecks.h"
#include "link/posix/TermiosDevice.h"

namespace {

// Who may open the device and why: the owner, a group of ours, everyone, or
// an access list (the seat's, for a logged-in user).
std::string AccessReason(const std::string& device) {
    struct stat st {};
    if (stat(device.c_str(), &st) != 0) {
        return {};
    }
    if (st.st_uid == getuid()) {
        return "you own it";
    }
    if (getuid() == 0) {
        return "as root";
    }
    gid_t groups[256];
    const int n = getgroups(256, groups);
    for (int i = 0; i < n; ++i) {
        if (groups[i] == st.st_gid) {
            const group* g = getgrgid(st.st_gid);
            return std::string("group ") + (g != nullptr ? g->gr_name : std::to_string(st.st_gid));
        }
    }
    if ((st.st_mode & 006) == 006) {
        return "open to everyone";
    }
    return "an access list (the seat's)";
}

// What the port is: the adapter's details when sysfs knows them.
std::string Describe(const std::string& device) {
    char resolved[PATH_MAX];
    const std::string real = realpath(device.c_str(), resolved) != nullptr ? resolved : device;
    const std::string name = real == device ? device : device + " (" + real + ")";
    for (const SerialPortInfo& info : DiscoverSerialPorts("/dev", "/sys")) {
        if (info.path == real || info.path == device || info.byId == device) {
            return (real == device ? std::string() : device + " -> ") + DescribeSerialPort(info);
        }
    }
    return IsPseudoTerminal(real) ? name + ": a pseudo-terminal" : name;
}

// Whether another program holds the port, or merely has it open.
void HolderChecks(const std::string& device, const PortProbe& probe, Report& report) {
    std::string others;
    for (const PortHolder& h : FindPortHolders(device, "/proc")) {
        others += (others.empty() ? "" : ", ") + h.command + " (pid " + std::to_string(h.pid) + ")";
    }
    if (probe.locked || probe.openError == EBUSY) {
        report.Fail("another program holds it" + (others.empty() ? "" : ": " + others),
                    "close that program (a terminal program, another k40ctl or k40tool) and try "
                    "again.");
    } else if (!others.empty() && !IsPseudoTerminal(device)) {
        report.Fail("another program has it open: " + others,
                    "close that program: it takes the unit's replies off the line.");
    } else if (!others.empty()) {
        report.Pass("nobody else holds it (open in " + others +
                    ", the pseudo-terminal's other side)");
    } else {
        report.Pass("nobody else holds it");
    }
}

// The programs that grab USB serial adapters on a desktop.
void GrabberChecks(Report& report) {
    const bool brltty = ProgramInstalled("brltty") || ProgramRunning("brltty", "/proc");
    const bool modemManager =
        ProgramInstalled("ModemManager") || ProgramRunning("ModemManager", "/proc");
    if (brltty) {
        report.Warn(
            "brltty is present: its device rules claim several USB serial adapters "
            "(CH340, CP210x, FTDI), whose port then vanishes",
            "remove it unless a braille display is used (sudo apt remove brltty).");
    }
    if (modemManager) {
        report.Warn(
            "ModemManager is present: it probes new serial ports for modems and can "
            "hold an adapter for seconds after it is plugged in",
            "stop it (sudo systemctl stop ModemManager) or remove it "
            "(sudo apt remove modemmanager).");
    }
    if (!brltty && !modemManager) {
        report.Pass("neither brltty nor ModemManager is present to grab USB serial adapters");
    }
}

// What the driver adds to every reply: low-latency mode and the FTDI timer.
void LatencyChecks(const std::string& device, const PortProbe& probe, Report& report) {
    std::string timerFile;
    const int timer = UsbLatencyTimerMs(device, "/sys", &timerFile);
    if (probe.lowLatency == LowLatency::Accepted) {
        report.Pass("the driver accepts low-latency mode");
    } else if (timer > 1) {
        report.Warn("low-latency mode refused and the FTDI latency timer is " +
                        std::to_string(timer) + " ms: up to that much is added to every reply",
                    "lower it: echo 1 > " + timerFile + " (as root).");
    } else if (probe.lowLatency == LowLatency::Refused) {
        report.Warn("the driver refuses low-latency mode: replies may reach k40ctl a few ms late",
                    "raise --wait a little if replies time out now and then.");
    } else {
        report.Skip("low-latency mode: not a serial driver (" +
                    std::string(probe.openError != 0 ? std::strerror(probe.openError)
                                                     : "no serial settings") +
                    ")");
    }
    if (timer > 1 && probe.lowLatency == LowLatency::Accepted) {
        report.Warn("the FTDI latency timer is " + std::to_string(timer) + " ms",
                    "lower it: echo 1 > " + timerFile + " (as root).");
    }
}

}  // namespace

void SerialChecks(const std::string& name, Report& report) {
    const std::string device = ResolvePortName(name);
    if (access(device.c_str(), F_OK) != 0) {
        report.Fail(name + " does not exist",
                    "plug the adapter in and check dmesg, or name a port that "
                    "ls /dev/ttyUSB* /dev/ttyACM* /dev/ttyS* lists.");
        return;
    }
    report.Pass("port exists: " + Describe(device));

    if (access(device.c_str(), R_OK | W_OK) != 0) {
        report.Fail("you may not open " + device + " (" + std::strerror(errno) + ")",
                    "add yourself to the group dialout (sudo usermod -aG dialout $USER) and log "
                    "in again.");
    } else {
        report.Pass("you may open it: " + AccessReason(device));
    }

    const PortProbe probe = ProbePort(device);
    HolderChecks(device, probe, report);
    GrabberChecks(report);
    LatencyChecks(device, probe, report);
}
