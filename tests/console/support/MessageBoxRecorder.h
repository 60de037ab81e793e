// Records the message boxes the console would show, instead of showing them,
// for as long as it exists. Captions and texts are UTF-8.
#pragma once

#include <string>
#include <vector>

#include "console/windowing/MessageBox.h"

// The caption of every message box, the application's title, and the
// program's own messages the tests look for: one definition each, since a
// file's private copy would hide these in a batch of the unity build.
inline const std::string kTitle = "K40-MODBUS规约调试软件";
inline const std::string kOk = "操作成功!";
inline const std::string kNotOk = "操作不成功!";
inline const std::string kOpened = "串口初始化成功!";
inline const std::string kRefused = "串口初始化失败!";

struct RecordedBox {
    std::string caption;
    std::string text;
    UINT type;
};

class CMessageBoxRecorder : public IMessageBoxService {
public:
    CMessageBoxRecorder();
    ~CMessageBoxRecorder() override;
    CMessageBoxRecorder(const CMessageBoxRecorder&) = delete;
    CMessageBoxRecorder& operator=(const CMessageBoxRecorder&) = delete;

    int Show(const std::string& caption, const std::string& text, UINT nType) override;

    const std::vector<RecordedBox>& Boxes() const { return m_boxes; }
    std::vector<std::string> Texts() const;
    void Clear() { m_boxes.clear(); }

private:
    IMessageBoxService* m_pPrevious;
    std::vector<RecordedBox> m_boxes;
};

// Installed for the whole test run: a box that nobody expected fails the
// running test instead of waiting for a click that never comes.
class CUnexpectedMessageBoxes : public IMessageBoxService {
public:
    int Show(const std::string& caption, const std::string& text, UINT nType) override;
};

// The page tests' run, after the backend's own start: every box unexpected
// unless a test records it, the serial ports pointed nowhere.
int RunConsoleTests(int argc, char** argv);
