// What COMn opens on Windows: the system's own port where it exists, else the
// adapter that stands in for it. Pure functions, run on every platform.
#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "link/PortOrder.h"

TEST(PortOrder, UsbAdaptersFirstThenByNumber) {
    const std::vector<PresentPort> found = {
        {"COM3", false}, {"COM12", true}, {"COM1", false}, {"COM5", true}, {"COM10", false}};
    EXPECT_EQ(OrderComPorts(found),
              (std::vector<std::string>{"COM5", "COM12", "COM1", "COM3", "COM10"}));
}

TEST(PortOrder, WhatEachIndexOpens) {
    const PresentPort usb5{"COM5", true}, usb7{"COM7", true}, usb9{"COM9", true};
    const PresentPort com1{"COM1", false}, com2{"COM2", false};
    const PresentPort bluetooth3{"COM3", false}, bluetooth4{"COM4", false}, amt6{"COM6", false};
    struct Case {
        const char* what;
        std::vector<PresentPort> present;
        int port;
        std::string override;
        std::string expected;
    };
    const Case cases[] = {
        {"the usual laptop: no COM1, one adapter", {usb5}, 0, "", "COM5"},
        {"  and COM2 has none left", {usb5}, 1, "", "COM2"},
        {"an existing COMn is that port", {usb5, com2}, 1, "", "COM2"},
        {"a desktop: COM1 built in, adapter on COM5", {usb5, com1}, 0, "", "COM1"},
        {"  COM2 takes the adapter", {usb5, com1}, 1, "", "COM5"},
        {"two adapters for two missing ports", {usb9, usb7}, 1, "", "COM9"},
        {"a port found under its own name is no stand-in", {com2, {"COM4", true}}, 0, "", "COM4"},
        {"Bluetooth, modem and AMT ports never stand in",
         {bluetooth3, bluetooth4, amt6},
         0,
         "",
         "COM1"},
        {"  nor for COM2", {bluetooth3, bluetooth4, amt6}, 1, "", "COM2"},
        {"  an adapter beside them does", {bluetooth3, usb7, bluetooth4}, 0, "", "COM7"},
        {"nothing present", {}, 0, "", "COM1"},
        {"the variable wins", {com1}, 0, "tcp://10.0.0.7:4001", "tcp://10.0.0.7:4001"},
        {"COM10 and above", {{"COM10", false}}, 9, "", "COM10"},
        {"no port selected", {com1}, -1, "", ""},
    };
    for (const Case& c : cases) {
        EXPECT_EQ(ResolveComIndex(c.port, c.present, c.override), c.expected) << c.what;
    }
}
