// Watches an edit box of a page while an exchange runs: every text the box is
// given, in order, as the box reports the change, and the text it showed each
// time it was painted. A unit played on another thread can wait for the next
// change, so that each piece it sends is seen by the program before the next
// piece is on the line.
#pragma once

#include <QMetaObject>
#include <QObject>
#include <QStringList>
#include <condition_variable>
#include <mutex>

class CEdit;

class CEchoWatch : public QObject {
public:
    explicit CEchoWatch(CEdit& box);
    ~CEchoWatch() override;
    CEchoWatch(const CEchoWatch&) = delete;
    CEchoWatch& operator=(const CEchoWatch&) = delete;

    // The texts with line breaks as CR LF, as the page wrote them.
    QStringList Texts() const;
    // The texts painted, each once however often it was painted in a row.
    QStringList Painted() const;
    // From another thread: true once the box has changed count times.
    bool WaitForChanges(int count, int timeoutMs);

protected:
    bool eventFilter(QObject* watched, QEvent* event) override;

private:
    CEdit& m_box;
    mutable std::mutex m_mutex;
    std::condition_variable m_changed;
    QStringList m_texts;
    QStringList m_painted;  // GUI thread only
    QMetaObject::Connection m_connection;
};
