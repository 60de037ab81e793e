#include "master/LinkLog.h"

#include "master/LocalTime.h"

void LinkLog::OnLink(const LinkEvent& event) {
    if (quiet_) {
        return;
    }
    if (event.kind == LinkEvent::Kind::Lost) {
        std::fprintf(out_, "k40ctl: %s failed (error or hang-up); reopening it every second\n",
                     event.port.c_str());
    } else if (event.kind == LinkEvent::Kind::Back) {
        std::fprintf(out_, "k40ctl: %s is back (lost since %s)\n", event.port.c_str(),
                     ClockTime(event.lostSince).c_str());
    }
}

void LinkLog::OnEnd(const ScanStatus& status) {
    std::fprintf(out_, "k40ctl: %llu scans, %llu failed",
                 static_cast<unsigned long long>(status.scans),
                 static_cast<unsigned long long>(status.failures));
    if (status.missed != 0) {
        std::fprintf(out_, " (%llu while the port was lost)",
                     static_cast<unsigned long long>(status.missed));
    }
    std::fprintf(out_, "\n%s", link_.Counters().Summary().c_str());
}
