// The echo watch's hook on Qt: the multi-line box's change signal and the
// paint events of its viewport.
#include <QEvent>
#include <QPlainTextEdit>

#include "console/windowing/Edit.h"
#include "console/windowing/qt/QtWindows.h"
#include "tests/console/support/EchoWatch.h"

struct CEchoWatch::Hook : QObject {
    explicit Hook(CEchoWatch& watch) : m_watch(watch) {}
    bool eventFilter(QObject* watched, QEvent* event) override {
        if (event->type() == QEvent::Paint) {
            m_watch.Painting();
        }
        return QObject::eventFilter(watched, event);
    }
    CEchoWatch& m_watch;
    QMetaObject::Connection m_connection;
};

CEchoWatch::CEchoWatch(CEdit& box) : m_box(box), m_pHook(std::make_unique<Hook>(*this)) {
    auto* multi = qobject_cast<QPlainTextEdit*>(WidgetOf(box.GetSafeHwnd()));
    if (multi == nullptr) {
        return;
    }
    multi->viewport()->installEventFilter(m_pHook.get());
    m_pHook->m_connection =
        QObject::connect(multi, &QPlainTextEdit::textChanged, multi, [this] { Changed(); });
}

CEchoWatch::~CEchoWatch() {
    QObject::disconnect(m_pHook->m_connection);
}
