#include "MessageBoxRecorder.h"

#include <gtest/gtest.h>

#include "resources/resource.h"

CMessageBoxRecorder::CMessageBoxRecorder() : m_pPrevious(SetMessageBoxService(this)) {}

CMessageBoxRecorder::~CMessageBoxRecorder() {
    SetMessageBoxService(m_pPrevious);
}

int CMessageBoxRecorder::Show(const QString& caption, const QString& text, UINT nType) {
    m_boxes.push_back({caption, text, nType});
    return IDOK;
}

QStringList CMessageBoxRecorder::Texts() const {
    QStringList texts;
    for (const RecordedBox& box : m_boxes) {
        texts << box.text;
    }
    return texts;
}

int CUnexpectedMessageBoxes::Show(const QString& caption, const QString& text, UINT nType) {
    ADD_FAILURE() << "unexpected message box [" << caption.toStdString() << "] "
                  << text.toStdString() << " type " << nType;
    return IDOK;
}
