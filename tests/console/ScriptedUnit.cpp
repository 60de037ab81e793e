#include "ScriptedUnit.h"

#include <poll.h>
#include <unistd.h>

#include <QEvent>
#include <QPlainTextEdit>
#include <chrono>

#include "console/windowing/Edit.h"

namespace {

constexpr int kRequestBytes = 8;
constexpr int kRequestTimeoutMs = 3000;  // a bound for a failing test, not a pace

// Reads up to count bytes, giving up when the line stays quiet for timeoutMs.
Bytes ReadBytes(int fd, int count, int timeoutMs) {
    Bytes got;
    while (static_cast<int>(got.size()) < count) {
        pollfd p{fd, POLLIN, 0};
        if (poll(&p, 1, timeoutMs) <= 0 || (p.revents & POLLIN) == 0) {
            break;
        }
        std::uint8_t buf[kRequestBytes];
        const ssize_t n = read(fd, buf, static_cast<size_t>(count) - got.size());
        if (n <= 0) {
            break;
        }
        got.insert(got.end(), buf, buf + n);
    }
    return got;
}

}  // namespace

CEchoWatch::CEchoWatch(CEdit& box) : m_box(box) {
    auto* multi = qobject_cast<QPlainTextEdit*>(box.GetSafeHwnd());
    if (multi == nullptr) {
        return;
    }
    multi->viewport()->installEventFilter(this);
    m_connection = QObject::connect(multi, &QPlainTextEdit::textChanged, multi, [this] {
        const QString text = m_box.GetWindowText();
        {
            std::lock_guard<std::mutex> lock(m_mutex);
            m_texts << text;
        }
        m_changed.notify_all();
    });
}

CEchoWatch::~CEchoWatch() {
    QObject::disconnect(m_connection);
}

bool CEchoWatch::eventFilter(QObject* watched, QEvent* event) {
    if (event->type() == QEvent::Paint) {
        const QString text = m_box.GetWindowText();
        if (m_painted.isEmpty() || m_painted.back() != text) {
            m_painted << text;
        }
    }
    return QObject::eventFilter(watched, event);
}

QStringList CEchoWatch::Painted() const {
    return m_painted;
}

QStringList CEchoWatch::Texts() const {
    std::lock_guard<std::mutex> lock(m_mutex);
    return m_texts;
}

bool CEchoWatch::WaitForChanges(int count, int timeoutMs) {
    std::unique_lock<std::mutex> lock(m_mutex);
    return m_changed.wait_for(lock, std::chrono::milliseconds(timeoutMs),
                              [&] { return m_texts.size() >= count; });
}

CScriptedUnit::CScriptedUnit(int master, std::vector<Bytes> pieces, CEchoWatch* watch)
    : m_master(master), m_thread(&CScriptedUnit::Run, this, std::move(pieces), watch) {}

CScriptedUnit::~CScriptedUnit() {
    if (m_thread.joinable()) {
        m_thread.join();
    }
}

Bytes CScriptedUnit::Request() {
    if (m_thread.joinable()) {
        m_thread.join();
    }
    return m_request;
}

void CScriptedUnit::Run(std::vector<Bytes> pieces, CEchoWatch* watch) {
    m_request = ReadBytes(m_master, kRequestBytes, kRequestTimeoutMs);
    if (static_cast<int>(m_request.size()) != kRequestBytes) {
        return;
    }
    const int echoesBefore = watch != nullptr ? static_cast<int>(watch->Texts().size()) : 0;
    for (std::size_t i = 0; i < pieces.size(); ++i) {
        if (write(m_master, pieces[i].data(), pieces[i].size()) !=
            static_cast<ssize_t>(pieces[i].size())) {
            return;
        }
        if (watch != nullptr && i + 1 < pieces.size()) {
            watch->WaitForChanges(echoesBefore + static_cast<int>(i) + 1, kRequestTimeoutMs);
        }
    }
}
