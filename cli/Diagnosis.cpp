#include "cli/Diagnosis.h"

#include "link/HexEcho.h"
#include "unit/ExceptionText.h"
#include "unit/GbkText.h"

namespace {

std::string Hex2(std::uint8_t value) {
    return HexBytes(&value, 1);
}

}  // namespace

std::string DiagnosisText(const LineDiagnosis& d, int waitMs) {
    std::string text;
    if (d.echoAltered) {
        text =
            "the copy of the request came back altered (a collision, or an adapter that "
            "drops a byte); ";
    }
    switch (d.finding) {
        case LineFinding::Nothing:
            return text +
                   "nothing arrived: check the wiring and the unit's power, the slave address "
                   "(--slave) and the baud rate (--baud), and try the A and B wires swapped; "
                   "k40ctl doctor and k40ctl scan help";
        case LineFinding::EchoOnly:
            return text +
                   "only the echo of the request came back: the adapter echoes and the unit is "
                   "silent (check the unit's power, its address and the A/B wiring beyond the "
                   "adapter)";
        case LineFinding::NoFrame: {
            const std::string bytes =
                HexBytes(d.firstBytes.data(), static_cast<int>(d.firstBytes.size()));
            return text + "bytes without a valid frame (" + bytes +
                   "): the baud rate or parity is wrong, or the line is noisy; try k40ctl scan";
        }
        case LineFinding::OtherSlave:
            return text + "a valid frame from slave address " + std::to_string(d.otherSlave) +
                   " (function " + Hex2(d.function) +
                   "): the unit is at another address; try --slave " + std::to_string(d.otherSlave);
        case LineFinding::EarlierReply:
            return text + "a reply to an earlier request (function " + Hex2(d.function) +
                   "): the unit answers late; raise --wait (now " + std::to_string(waitMs) + " ms)";
        case LineFinding::Exception:
            return text + "exception reply " + Hex2(d.exceptionCode) + " " +
                   GbkToUtf8(ExceptionName(d.exceptionCode));
        case LineFinding::Answered:
            return text + "the unit answered";
    }
    return text;
}
