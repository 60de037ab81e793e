// Watches an edit box of a page while an exchange runs: every text the box is
// given, in order, as the box reports the change, and the text it showed each
// time it was painted. A unit played on another thread can wait for the next
// change, so that each piece it sends is seen by the program before the next
// piece is on the line. Texts are UTF-8 with line breaks as CR LF, as the page
// wrote them. The hook into the box is the backend's (support/qt/).
#pragma once

#include <condition_variable>
#include <memory>
#include <mutex>
#include <string>
#include <vector>

class CEdit;

class CEchoWatch {
public:
    explicit CEchoWatch(CEdit& box);
    ~CEchoWatch();
    CEchoWatch(const CEchoWatch&) = delete;
    CEchoWatch& operator=(const CEchoWatch&) = delete;

    std::vector<std::string> Texts() const;
    // The texts painted, each once however often it was painted in a row.
    std::vector<std::string> Painted() const;
    // From another thread: true once the box has changed count times.
    bool WaitForChanges(int count, int timeoutMs);

    // Called by the backend's hook, on the GUI thread.
    void Changed();
    void Painting();

private:
    struct Hook;  // the backend's connection to the box
    CEdit& m_box;
    mutable std::mutex m_mutex;
    std::condition_variable m_changed;
    std::vector<std::string> m_texts;
    std::vector<std::string> m_painted;  // GUI thread only
    std::unique_ptr<Hook> m_pHook;
};
