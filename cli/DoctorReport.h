// What every platform's "k40ctl doctor" shares: the report's pass/warn/fail
// lines, the order of the checks, and the last one, a read of the unit. The
// port checks before it are the platform's (SerialChecks: cli/posix/Doctor.cpp on
// Linux, cli/win32/Doctor.cpp on Windows).
#pragma once

#include <cstdio>
#include <string>

#include "cli/CtlOptions.h"
#include "master/UnitLink.h"

class Report {
public:
    void Pass(const std::string& what) { Line("pass", what, {}); }
    void Warn(const std::string& what, const std::string& fix) { Line("warn", what, fix); }
    void Fail(const std::string& what, const std::string& fix) {
        Line("fail", what, fix);
        failed_ = true;
    }
    void Skip(const std::string& what) { Line("skip", what, {}); }
    bool Failed() const { return failed_; }

private:
    static void Line(const char* level, const std::string& what, const std::string& fix) {
        std::printf("%s  %s\n", level, what.c_str());
        if (!fix.empty()) {
            std::printf("      fix: %s\n", fix.c_str());
        }
        std::fflush(stdout);
    }
    bool failed_ = false;
};

// The checks of the serial port name names, one report line each.
void SerialChecks(const std::string& name, Report& report);

// Opens the port and reads the unit once, reporting what came back; tcp: the
// port is a device server's, whose baud rate k40ctl cannot know. 0 when no
// check failed, 1 otherwise.
int ReadTheUnit(const CtlOptions& o, UnitLink& link, Report& report, bool tcp);
