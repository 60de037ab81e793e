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
    struct Case {
        const char* what;
        std::vector<std::string> ordered;  // as OrderComPorts gives them
        int port;
        std::string override;
        std::string expected;
    };
    const Case cases[] = {
        {"the usual laptop: no COM1, one adapter", {"COM5"}, 0, "", "COM5"},
        {"  and COM2 has none left", {"COM5"}, 1, "", "COM2"},
        {"an existing COMn is that port", {"COM5", "COM2"}, 1, "", "COM2"},
        {"a desktop: COM1 built in, adapter on COM5", {"COM5", "COM1"}, 0, "", "COM1"},
        {"  COM2 takes the adapter", {"COM5", "COM1"}, 1, "", "COM5"},
        {"two adapters for two missing ports", {"COM7", "COM9"}, 1, "", "COM9"},
        {"a port found under its own name is no stand-in", {"COM2", "COM4"}, 0, "", "COM4"},
        {"nothing present", {}, 0, "", "COM1"},
        {"the variable wins", {"COM1"}, 0, "tcp://10.0.0.7:4001", "tcp://10.0.0.7:4001"},
        {"COM10 and above", {"COM10"}, 9, "", "COM10"},
        {"no port selected", {"COM1"}, -1, "", ""},
    };
    for (const Case& c : cases) {
        EXPECT_EQ(ResolveComIndex(c.port, c.ordered, c.override), c.expected) << c.what;
    }
}
