// The monitoring unit played by a test on its side of the test line. An
// exchange blocks the GUI thread until its reply or its time-out, so the unit
// runs on a thread of its own: it takes one 8-byte request and then echoes
// it, answers with the pieces it was given, or stays silent.
//
//   CScriptedUnit unit(m_line, CScriptedUnit::Echo);
//   ClickButton(Item(IDC_MANUAL));
//   EXPECT_EQ(unit.Request(), frame);
#pragma once

#include <cstdint>
#include <thread>
#include <vector>

#include "TestLine.h"

class CEchoWatch;

class CScriptedUnit {
public:
    using Bytes = std::vector<std::uint8_t>;

    // What the unit sends once it has the request: the request itself (a write
    // command's echo), the pieces in order, or nothing.
    enum Mode { Echo, Answer, Silent };

    // pieces: with Answer, what the unit sends; none is silence too. With a
    // watch, each piece but the last is sent only after the program has echoed
    // the ones before in the watched box.
    CScriptedUnit(CTestLine& line, Mode mode, std::vector<Bytes> pieces = {},
                  CEchoWatch* watch = nullptr);
    ~CScriptedUnit();
    CScriptedUnit(const CScriptedUnit&) = delete;
    CScriptedUnit& operator=(const CScriptedUnit&) = delete;

    // Waits for the unit to finish; the request it took (short or empty when
    // no whole request came).
    const Bytes& Request();

private:
    void Run(Mode mode, std::vector<Bytes> pieces, CEchoWatch* watch);
    void Join();

    CTestLine& m_line;
    Bytes m_request;
    std::thread m_thread;  // last: starts once the members above exist
};
