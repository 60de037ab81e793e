// What the operating system knows about a serial port that matters when a
// unit does not answer: who else has it open, whether the programs that grab
// USB serial adapters are about, and whether the driver keeps its input
// latency low. Read from /proc and sysfs and with one short open of the
// device; the folders are parameters so that tests can use trees of their own.
#pragma once

#include <string>
#include <vector>


// A process that has the device open.
struct PortHolder {
    int pid = 0;
    std::string command;  // /proc/PID/comm
};

// Every process but this one with a descriptor on the same character device
// (processes of other users whose descriptors may not be read are missed).
std::vector<PortHolder> FindPortHolders(const std::string& device, const std::string& procDir);

// Whether the device is a pseudo-terminal's slave side (its other side is a
// program on this machine, such as a simulator).
bool IsPseudoTerminal(const std::string& device);

// Whether a program is installed (in /usr/sbin, /usr/bin, /sbin or /bin) and
// whether a process of that name runs.
bool ProgramInstalled(const std::string& name);
bool ProgramRunning(const std::string& name, const std::string& procDir);

// One short open of the device: whether another program holds its lock, and
// whether the driver accepts low-latency mode (as the link asks for it).
enum class LowLatency { Accepted, Refused, NotSerial };
struct PortProbe {
    int openError = 0;    // errno of the open, 0 when it opened
    bool locked = false;  // another program holds the port's lock
    LowLatency lowLatency = LowLatency::NotSerial;
};
PortProbe ProbePort(const std::string& device);

// The FTDI driver's latency timer of a ttyUSBn in ms, with the file it is read
// from in *file; -1 when the device has none.
int UsbLatencyTimerMs(const std::string& device, const std::string& sysDir, std::string* file);
