// The facts beside each diagnosis sentence: what a reader needs to word the
// finding in its own language, and nothing the finding does not use.
#include <gtest/gtest.h>

#include "master/Diagnosis.h"

namespace {

LineDiagnosis Finding(LineFinding finding) {
    LineDiagnosis d;
    d.finding = finding;
    return d;
}

}  // namespace

TEST(DiagnosisFacts, NameWhatEachSentenceIsMadeOf) {
    LineDiagnosis crcViaServer = Finding(LineFinding::CrcError);
    crcViaServer.connection = true;
    crcViaServer.bytes = {0x01, 0x03, 0x12};
    LineDiagnosis damaged = Finding(LineFinding::NoFrame);
    damaged.bytes = {0x01, 0x83};
    damaged.damagedReply = true;
    LineDiagnosis altered = Finding(LineFinding::EchoAltered);
    altered.bytes = {0x01};
    altered.replyAfterCopy = true;
    LineDiagnosis other = Finding(LineFinding::OtherSlave);
    other.otherSlave = 7;
    other.function = 0x03;
    other.bytes = {0x07};  // not a fact of this finding
    LineDiagnosis earlier = Finding(LineFinding::EarlierReply);
    earlier.function = 0x01;
    const struct {
        LineDiagnosis diagnosis;
        const char* facts;
    } cases[] = {
        {Finding(LineFinding::Nothing), ""},
        {crcViaServer, "via=server;bytes=01 03 12"},
        {damaged, "bytes=01 83;damaged=1"},
        {altered, "bytes=01;after=1"},
        {other, "slave=7;function=03"},
        {earlier, "function=01;wait_ms=800"},
        {Finding(LineFinding::PeerClosed), ""},
    };
    for (const auto& c : cases) {
        EXPECT_EQ(DiagnosisFacts(c.diagnosis, 800), c.facts) << c.facts;
    }
}
