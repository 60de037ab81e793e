#include "EchoWatch.h"

#include <chrono>

#include "console/windowing/Edit.h"
#include "unit/GbkText.h"

void CEchoWatch::Changed() {
    const std::string text = GbkToUtf8(m_box.GetWindowText().c_str());
    {
        std::lock_guard<std::mutex> lock(m_mutex);
        m_texts.push_back(text);
    }
    m_changed.notify_all();
}

void CEchoWatch::Painting() {
    const std::string text = GbkToUtf8(m_box.GetWindowText().c_str());
    if (m_painted.empty() || m_painted.back() != text) {
        m_painted.push_back(text);
    }
}

std::vector<std::string> CEchoWatch::Painted() const {
    return m_painted;
}

std::vector<std::string> CEchoWatch::Texts() const {
    std::lock_guard<std::mutex> lock(m_mutex);
    return m_texts;
}

bool CEchoWatch::WaitForChanges(int count, int timeoutMs) {
    std::unique_lock<std::mutex> lock(m_mutex);
    return m_changed.wait_for(lock, std::chrono::milliseconds(timeoutMs),
                              [&] { return m_texts.size() >= static_cast<std::size_t>(count); });
}
