// Temporary folders standing in for /dev and /sys, with serial ports laid out
// the way the kernel and udev lay them out: the node in dev, a by-id link for
// USB adapters, and in sys the class link, the device chain up to the USB
// device with its descriptors, and the driver link. Removed when destroyed.
#pragma once

#include <string>

class CFakePortTree {
public:
    CFakePortTree();
    ~CFakePortTree();
    CFakePortTree(const CFakePortTree&) = delete;
    CFakePortTree& operator=(const CFakePortTree&) = delete;

    const std::string& Dev() const { return m_dev; }
    const std::string& Sys() const { return m_sys; }
    bool IsValid() const { return !m_root.empty(); }

    // <dev>/name: an empty file, or a link to target (a pseudo-terminal).
    void AddNode(const std::string& name, const std::string& target = {});

    struct Usb {
        std::string vendorId;      // "0403"
        std::string productId;     // "6001"
        std::string manufacturer;  // "FTDI"
        std::string product;       // "FT232R USB UART"
        std::string serial;        // "A10K3XYZ"
        std::string driver;        // "ftdi_sio"
    };
    // The sysfs side and the by-id link of USB node name (ttyUSBn or ttyACMn);
    // the node itself is added with AddNode.
    void AddUsbDetails(const std::string& name, const Usb& usb);
    // An on-board UART: its node and <sys>/class/tty/name/type (0: no hardware).
    void AddUart(const std::string& name, int type);

private:
    std::string m_root;
    std::string m_dev;
    std::string m_sys;
    int m_nUsbDevices = 0;
};
