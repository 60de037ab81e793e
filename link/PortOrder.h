// What the window's COM1, COM2, ... mean on Windows, where COM names are the
// system's own: an existing COMn is that port, and a USB serial adapter (by
// COM number) stands in for a COMn that does not exist: the usual laptop has
// no COM1 and one adapter on COM5. Nothing else stands in: the same laptop's
// Bluetooth, modem and management (AMT SOL) ports are no line to a unit, and
// a Bluetooth port can block the open for seconds while it tries to connect.
// Pure functions, so that a table test runs them on every platform.
#pragma once

#include <string>
#include <vector>

// A port present, as the system lists it.
struct PresentPort {
    std::string name;  // "COM5"
    bool usb = false;  // behind a USB adapter
};

// n for "COMn" (COM1 to COM999, no leading zeros), 0 for any other name.
int ComPortNumber(const std::string& name);

// The names in the order ports stand in for missing ones: USB adapters first,
// then the others, each group by COM number.
std::vector<std::string> OrderComPorts(std::vector<PresentPort> ports);

// The port that index port (0 = COM1) opens: override when not empty (the
// user's $K40_COMn); else COMn itself when present; else the k-th USB adapter
// of present (by COM number) that no lower or equal COMm present (nor COM1 or
// COM2, which the settings page names itself) answers to by its own name,
// where COMn is the k-th missing name from COM1 on; else COMn, which fails to
// open as a missing port does. Empty for a negative index.
std::string ResolveComIndex(int port, const std::vector<PresentPort>& present,
                            const std::string& override);

// $K40_COMn for index port (0 = COM1): the one place it is read. Empty when
// unset, empty or for a negative index.
std::string ComPortVariable(int port);
