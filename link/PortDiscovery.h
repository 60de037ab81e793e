// Which serial ports the machine has, read from its device lists. Nothing here
// opens a port: opening one can disturb the device behind it (a modem hangs
// up, a board resets on DTR). One implementation a platform:
//
// Linux (link/posix/): the names from /dev, the details from sysfs. COMn is
// $K40_COMn when set; otherwise the n-th port present, USB adapters first;
// otherwise /dev/ttyS(n-1), which fails to open the usual way. The folders are
// parameters so that tests run on trees of their own; the program passes
// "/dev" and "/sys".
//
// Windows (link/win32/): the names from the registry's list of serial devices
// (HKLM\HARDWARE\DEVICEMAP\SERIALCOMM), the details through SetupAPI; the
// folders mean nothing there. COM names are the system's own: COMn is
// $K40_COMn when set, else COMn itself, else a USB adapter stands in
// (ResolveComIndex).
#pragma once

#include <string>
#include <vector>

// One serial port present. Details are empty where sysfs does not tell them.
// On Windows: path "COM5", product the friendly name ("USB-SERIAL CH340
// (COM5)"), manufacturer the driver's maker, driver its service ("FTDIBUS").
struct SerialPortInfo {
    std::string path;          // <dev>/ttyUSB0
    std::string byId;          // <dev>/serial/by-id/usb-FTDI_..., stable across replugs
    std::string vendorId;      // USB idVendor, 4 hex digits ("0403")
    std::string productId;     // USB idProduct ("6001")
    std::string manufacturer;  // USB manufacturer string ("FTDI")
    std::string product;       // USB product string, the model ("FT232R USB UART")
    std::string serial;        // USB serial number string
    std::string driver;        // kernel driver of the port ("ftdi_sio", "cdc_acm")
    std::string deviceKey;     // Windows: the device's key under HKLM\SYSTEM\CurrentControlSet\Enum
};

// The serial ports present, in COMn order (Windows: USB adapters first, then
// the others, each by COM number): <dev>/ttyUSB*, then <dev>/ttyACM*,
// each by number (ttyUSB10 after ttyUSB2), then the <dev>/ttyS* that have a
// UART behind them (<sys>/class/tty/ttySn/type not 0; no type file: none).
std::vector<SerialPortInfo> DiscoverSerialPorts(const std::string& devDir,
                                                const std::string& sysDir);

// The device of port index port (0 = COM1) given the ports present:
// $K40_COMn when set and not empty, else ports[port], else <dev>/ttyS<port>.
// Empty for a negative index (no port selected).
std::string ResolveComPort(int port, const std::vector<SerialPortInfo>& ports,
                           const std::string& devDir);

// The port among ports that path names: its device path, its by-id link, or
// another name of the same device node; null when none.
const SerialPortInfo* FindSerialPort(const std::vector<SerialPortInfo>& ports,
                                     const std::string& path);

// The same, discovering the ports only when the variable is not set.
std::string ResolveComPort(int port, const std::string& devDir, const std::string& sysDir);

// One line for a tooltip or a list: "/dev/ttyUSB0: FTDI FT232R USB UART,
// serial A10K3XYZ"; the path alone when sysfs told nothing.
std::string DescribeSerialPort(const SerialPortInfo& info);

// Where the program's own ports (SystemPorts) look for devices: tests point
// them at trees of their own on Linux. Nothing on Windows.
void SetPortFolders(const std::string& devDir, const std::string& sysDir);

// What port index port resolves to right now, described: the details of the
// discovered port it names (also when $K40_COMn names it, directly or by a
// /dev/serial/by-id/ link), else the path alone.
std::string DescribeComPort(int port, const std::string& devDir, const std::string& sysDir);
