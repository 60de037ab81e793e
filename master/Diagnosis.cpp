#include "master/Diagnosis.h"

#include "link/HexEcho.h"
#include "unit/ExceptionText.h"
#include "unit/GbkText.h"

namespace {

std::string Hex2(std::uint8_t value) {
    return HexBytes(&value, 1);
}

// Through a device server the wires, baud rate and parity of the line are the
// server's: the advice names what the master can still check.
std::string Nothing(const LineDiagnosis& d) {
    if (d.connection) {
        return "nothing arrived through the device server: check the slave address (--slave) "
               "and that the unit behind the server is on; k40ctl scan tries every address";
    }
    return "nothing arrived: check the wiring and the unit's power, the slave address "
           "(--slave), the baud rate and parity (--baud, --parity; a unit hears a request at "
           "another parity as noise), and try the A and B wires swapped; "
           "k40ctl doctor and k40ctl scan help";
}

std::string EchoOnly(const LineDiagnosis& d) {
    if (d.connection) {
        return "only the echo of the request came back: the line behind the device server "
               "echoes and the unit is silent (check the unit's power and its address)";
    }
    return "only the echo of the request came back: the adapter echoes and the unit is "
           "silent (check the unit's power, its address and the A/B wiring beyond the "
           "adapter)";
}

std::string NoFrame(const LineDiagnosis& d) {
    if (d.connection) {
        return "bytes without a valid frame (" + ShownBytes(d) +
               "): the device server may expect Modbus TCP rather than RTU over TCP, or the "
               "line behind it garbles the frames";
    }
    if (d.damagedReply) {
        return "bytes without a valid frame (" + ShownBytes(d) +
               "): the unit's reply with bytes missing or damaged, as when the parity "
               "(--parity) or the stop bits (--stop-bits) differ from the unit's, or the line is "
               "noisy; try k40ctl scan --all-lines";
    }
    return "bytes without a valid frame (" + ShownBytes(d) +
           "): the baud rate is wrong, or the line is noisy; try k40ctl scan";
}

std::string CrcError(const LineDiagnosis& d) {
    const std::string frame = "a reply with a wrong CRC (" + ShownBytes(d) +
                              "): its address, function and length are right, ";
    if (d.connection) {
        return frame + "so the bytes were damaged on the line behind the device server";
    }
    return frame +
           "so the bytes were damaged on the line: noise, a missing or extra termination "
           "resistor, or poor earthing of the cable's shield";
}

// "exception reply 0B gateway target device failed to respond (网关目标设备响应失败)",
// with what to check where the code calls for it.
std::string ExceptionSentence(std::uint8_t code) {
    const std::string hint = ExceptionHint(code);
    return "exception reply " + Hex2(code) + " " + ExceptionNameEnglish(code) + " (" +
           GbkToUtf8(ExceptionName(code)) + ")" + (hint.empty() ? "" : ": " + hint);
}

}  // namespace

std::string ShownBytes(const LineDiagnosis& d) {
    return HexBytes(d.bytes.data(), static_cast<int>(d.bytes.size()));
}

std::string DiagnosisText(const LineDiagnosis& d, int waitMs) {
    switch (d.finding) {
        case LineFinding::Nothing:
            return Nothing(d);
        case LineFinding::EchoOnly:
            return EchoOnly(d);
        case LineFinding::LoneCopy:
            return "only one copy of the request came back and nothing after it: either the "
                   "adapter echoes and the unit is silent, or the line does not echo and that "
                   "copy was the unit's reply (--echo on takes it for the echo); try --echo "
                   "auto, which reads first to learn which";
        case LineFinding::EchoAltered:
            return "the copy of the request came back altered (" + ShownBytes(d) +
                   "): a collision on the line, or an adapter that drops a byte" +
                   (d.replyAfterCopy ? "; the unit's reply came whole after it" : "");
        case LineFinding::NoFrame:
            return NoFrame(d);
        case LineFinding::CrcError:
            return CrcError(d);
        case LineFinding::OtherSlave:
            return "a valid frame from slave address " + std::to_string(d.otherSlave) +
                   " (function " + Hex2(d.function) +
                   "), which was not asked: another master on the bus is polling it, or two "
                   "units share the line";
        case LineFinding::EarlierReply:
            return "a reply to an earlier request (function " + Hex2(d.function) +
                   "): the unit answers late; raise --wait (now " + std::to_string(waitMs) + " ms)";
        case LineFinding::PeerClosed:
            return "the device server closed the connection: it may expect Modbus TCP rather "
                   "than RTU over TCP, or serve one client at a time" +
                   (d.bytes.empty() ? std::string() : " (it sent " + ShownBytes(d) + " first)");
        case LineFinding::Exception:
            return ExceptionSentence(d.exceptionCode);
        case LineFinding::Answered:
            return "the unit answered";
    }
    return {};
}

std::string DiagnosisFacts(const LineDiagnosis& d, int waitMs) {
    std::string facts = d.connection ? "via=server" : "";
    const auto add = [&facts](const std::string& key, const std::string& value) {
        facts += (facts.empty() ? "" : ";") + key + "=" + value;
    };
    switch (d.finding) {
        case LineFinding::EchoAltered:
        case LineFinding::NoFrame:
        case LineFinding::CrcError:
        case LineFinding::PeerClosed:
            if (!d.bytes.empty()) {
                add("bytes", ShownBytes(d));
            }
            if (d.damagedReply) {
                add("damaged", "1");
            }
            if (d.replyAfterCopy) {
                add("after", "1");
            }
            break;
        case LineFinding::OtherSlave:
            add("slave", std::to_string(d.otherSlave));
            add("function", Hex2(d.function));
            break;
        case LineFinding::EarlierReply:
            add("function", Hex2(d.function));
            add("wait_ms", std::to_string(waitMs));
            break;
        default:
            break;
    }
    return facts;
}
