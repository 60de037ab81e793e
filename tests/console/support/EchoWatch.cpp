#include "EchoWatch.h"

#include <QEvent>
#include <QPlainTextEdit>
#include <chrono>

#include "console/windowing/Edit.h"

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
