#include "MessageBoxRecorder.h"

#include <gtest/gtest.h>

#include "resources/resource.h"
#include "tests/console/support/ConsoleTestSupport.h"

CMessageBoxRecorder::CMessageBoxRecorder() : m_pPrevious(SetMessageBoxService(this)) {}

CMessageBoxRecorder::~CMessageBoxRecorder() {
    SetMessageBoxService(m_pPrevious);
}

int CMessageBoxRecorder::Show(const std::string& caption, const std::string& text, UINT nType) {
    m_boxes.push_back({caption, text, nType});
    return IDOK;
}

std::vector<std::string> CMessageBoxRecorder::Texts() const {
    std::vector<std::string> texts;
    for (const RecordedBox& box : m_boxes) {
        texts.push_back(box.text);
    }
    return texts;
}

int CUnexpectedMessageBoxes::Show(const std::string& caption, const std::string& text, UINT nType) {
    ADD_FAILURE() << "unexpected message box [" << caption << "] " << text << " type " << nType;
    return IDOK;
}

int RunConsoleTests(int argc, char** argv) {
    ::testing::InitGoogleTest(&argc, argv);
    CUnexpectedMessageBoxes unexpected;
    SetMessageBoxService(&unexpected);
    PointPortsNowhere();
    const int result = RUN_ALL_TESTS();
    SetMessageBoxService(nullptr);
    return result;
}
