// The port's loss and return as lines on a stream the program gives (k40ctl
// gives standard error; under systemd that is the journal), and the run's
// summary at its end: scans, failures, and the link's counters.
#pragma once

#include <cstdio>
#include <functional>

#include "master/Poller.h"

class LinkLog : public PollSink {
public:
    // quiet: asked at each event; true while something else shows the link's
    // state on the same terminal (the live view).
    LinkLog(const UnitLink& link, std::FILE* out, std::function<bool()> quiet = {})
        : link_(link), out_(out), quiet_(std::move(quiet)) {}
    void OnScan(const ReadRecord&, const ScanStatus&) override {}
    void OnLink(const LinkEvent& event) override;
    void OnEnd(const ScanStatus& status) override;

private:
    const UnitLink& link_;
    std::FILE* out_;
    std::function<bool()> quiet_;
};
