// Which COM ports the machine has: the names from the registry's list of
// serial devices (HKLM\HARDWARE\DEVICEMAP\SERIALCOMM, which Wine fills too),
// the details through SetupAPI's Ports class where the system has them.
// Nothing here opens a port.
#pragma once

#include <string>
#include <vector>

struct ComPortInfo {
    std::string name;          // "COM5"
    std::string device;        // the kernel's device name ("\Device\Serial0")
    std::string friendlyName;  // "USB-SERIAL CH340 (COM5)"
    std::string vendorId;      // USB vendor, 4 hex digits ("1A86")
    std::string productId;     // USB product ("7523")
    std::string manufacturer;  // the driver's maker ("wch.cn")
    std::string serial;        // the USB serial number, where the adapter has one
    std::string driver;        // the driver's service ("CH341SER_A64", "FTDIBUS")
    std::string hardwareKey;   // the device's registry path under HKLM\SYSTEM\CurrentControlSet\Enum
    bool usb = false;
};

// The ports present, USB adapters first, each group by COM number.
std::vector<ComPortInfo> DiscoverComPorts();

// One line for a list: "COM5: USB-SERIAL CH340 (COM5), USB 1A86:7523"; the
// name alone when the system told nothing.
std::string DescribeComPortInfo(const ComPortInfo& info);
