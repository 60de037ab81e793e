#include "ScriptedUnit.h"

#include "EchoWatch.h"

namespace {

constexpr std::size_t kRequestBytes = 8;
constexpr int kTimeoutMs = 2000;  // a bound for a failing test, not a pace

}  // namespace

CScriptedUnit::CScriptedUnit(CTestLine& line, Mode mode, std::vector<Bytes> pieces,
                             CEchoWatch* watch)
    : m_line(line), m_thread(&CScriptedUnit::Run, this, mode, std::move(pieces), watch) {}

CScriptedUnit::~CScriptedUnit() {
    Join();
}

const CScriptedUnit::Bytes& CScriptedUnit::Request() {
    Join();
    return m_request;
}

void CScriptedUnit::Join() {
    if (m_thread.joinable()) {
        m_thread.join();
    }
}

void CScriptedUnit::Run(Mode mode, std::vector<Bytes> pieces, CEchoWatch* watch) {
    m_request = m_line.Receive(kRequestBytes, kTimeoutMs);
    if (m_request.size() != kRequestBytes || mode == Silent) {
        return;
    }
    if (mode == Echo) {
        m_line.Send(m_request);
        return;
    }
    const int echoesBefore = watch != nullptr ? static_cast<int>(watch->Texts().size()) : 0;
    for (std::size_t i = 0; i < pieces.size(); ++i) {
        if (!m_line.Send(pieces[i])) {
            return;
        }
        if (watch != nullptr && i + 1 < pieces.size()) {
            watch->WaitForChanges(echoesBefore + static_cast<int>(i) + 1, kTimeoutMs);
        }
    }
}
