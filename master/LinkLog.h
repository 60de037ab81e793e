// The port's loss and return as lines on a stream the program gives (k40ctl
// gives standard error; under systemd that is the journal), and the run's
// summary at its end: scans, failures, and the link's counters.
#pragma once

#include <cstdio>

#include "master/Poller.h"

class LinkLog : public PollSink {
public:
    // quiet: something else shows the link's state on the same terminal (the
    // live view); the losses and returns are then left out, the summary not.
    LinkLog(const UnitLink& link, std::FILE* out, bool quiet = false)
        : link_(link), out_(out), quiet_(quiet) {}
    void OnScan(const ReadRecord&, const ScanStatus&) override {}
    void OnLink(const LinkEvent& event) override;
    void OnEnd(const ScanStatus& status) override;

private:
    const UnitLink& link_;
    std::FILE* out_;
    bool quiet_;
};
