#include "tests/support/FakePortTree.h"

#include <stdlib.h>

#include <filesystem>
#include <fstream>

namespace fs = std::filesystem;

namespace {

void WriteFile(const fs::path& file, const std::string& text) {
    fs::create_directories(file.parent_path());
    std::ofstream(file) << text << '\n';
}

// A relative link from at to target, as sysfs makes them.
void RelativeLink(const fs::path& target, const fs::path& at) {
    fs::create_directories(at.parent_path());
    fs::create_directory_symlink(target.lexically_relative(at.parent_path()), at);
}

}  // namespace

CFakePortTree::CFakePortTree() {
    char pattern[] = "/tmp/k40-ports-XXXXXX";
    if (mkdtemp(pattern) == nullptr) {
        return;
    }
    m_root = pattern;
    m_dev = m_root + "/dev";
    m_sys = m_root + "/sys";
    fs::create_directories(m_dev);
    fs::create_directories(fs::path(m_sys) / "class" / "tty");
}

CFakePortTree::~CFakePortTree() {
    if (!m_root.empty()) {
        std::error_code ec;
        fs::remove_all(m_root, ec);
    }
}

void CFakePortTree::AddNode(const std::string& name, const std::string& target) {
    const fs::path node = fs::path(m_dev) / name;
    if (target.empty()) {
        WriteFile(node, "");
    } else {
        fs::create_symlink(target, node);
    }
}

void CFakePortTree::AddUsbDetails(const std::string& name, const Usb& usb) {
    const fs::path sys(m_sys);
    const std::string bus = "1-" + std::to_string(++m_nUsbDevices);
    const fs::path device = sys / "devices/pci0000:00/0000:00:14.0/usb1" / bus;
    WriteFile(device / "idVendor", usb.vendorId);
    WriteFile(device / "idProduct", usb.productId);
    if (!usb.manufacturer.empty()) {
        WriteFile(device / "manufacturer", usb.manufacturer);
    }
    if (!usb.product.empty()) {
        WriteFile(device / "product", usb.product);
    }
    if (!usb.serial.empty()) {
        WriteFile(device / "serial", usb.serial);
    }
    const fs::path interface = device / (bus + ":1.0");
    WriteFile(interface / "bInterfaceNumber", "00");
    // A usb-serial converter has a port device of its own under the interface
    // (driven by ftdi_sio, cp210x, ...); a CDC-ACM tty hangs off the interface.
    const bool acm = name.compare(0, 6, "ttyACM") == 0;
    const fs::path port = acm ? interface : interface / name;
    const fs::path drivers = sys / "bus" / (acm ? "usb" : "usb-serial") / "drivers" / usb.driver;
    fs::create_directories(drivers);
    RelativeLink(drivers, port / "driver");
    const fs::path classDevice = port / "tty" / name;
    fs::create_directories(classDevice);
    WriteFile(classDevice / "dev", "188:0");
    RelativeLink(port, classDevice / "device");
    RelativeLink(classDevice, sys / "class" / "tty" / name);

    std::string id = "usb-" + usb.manufacturer + "_" + usb.product + "_" + usb.serial + "-if00";
    for (char& c : id) {
        if (c == ' ') {
            c = '_';
        }
    }
    const fs::path byId = fs::path(m_dev) / "serial" / "by-id";
    fs::create_directories(byId);
    fs::create_symlink(fs::path("../..") / name, byId / (acm ? id : id + "-port0"));
}

void CFakePortTree::AddUart(const std::string& name, int type) {
    AddNode(name);
    const fs::path classDevice = fs::path(m_sys) / "devices/platform/serial8250/tty" / name;
    WriteFile(classDevice / "type", std::to_string(type));
    RelativeLink(classDevice, fs::path(m_sys) / "class" / "tty" / name);
}
