// The monitoring unit played by a test on the master side of a
// pseudo-terminal. An exchange blocks the GUI thread until its reply or its
// time-out, so the unit runs on a thread of its own: it takes one 8-byte
// request and answers it with the pieces it was given.
#pragma once

#include <QMetaObject>
#include <QObject>
#include <QStringList>
#include <condition_variable>
#include <cstdint>
#include <mutex>
#include <thread>
#include <vector>

class CEdit;

using Bytes = std::vector<std::uint8_t>;

// Every text an edit box is given, in order, as the box reports the change,
// and the text it showed each time it was painted. The unit's thread can wait
// for the next change: then each piece it sends is seen by the program before
// the next piece is on the line.
class CEchoWatch : public QObject {
public:
    explicit CEchoWatch(CEdit& box);
    ~CEchoWatch();
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

class CScriptedUnit {
public:
    // pieces: what the unit sends after the request, in order; none makes a
    // unit that takes the request and stays silent. With a watch, each piece
    // but the last is sent only after the program has echoed the ones before.
    CScriptedUnit(int master, std::vector<Bytes> pieces, CEchoWatch* watch = nullptr);
    ~CScriptedUnit();
    CScriptedUnit(const CScriptedUnit&) = delete;
    CScriptedUnit& operator=(const CScriptedUnit&) = delete;

    // Waits for the unit to finish; the request it took (empty when none came).
    Bytes Request();

private:
    void Run(std::vector<Bytes> pieces, CEchoWatch* watch);

    int m_master;
    Bytes m_request;
    std::thread m_thread;
};
