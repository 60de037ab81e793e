#include "MessageBoxRecorder.h"

#include <gtest/gtest.h>

#include "resources/resource.h"

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
