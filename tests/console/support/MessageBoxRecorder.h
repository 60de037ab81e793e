// Records the message boxes the console would show, instead of showing them,
// for as long as it exists.
#pragma once

#include <QString>
#include <QStringList>
#include <vector>

#include "console/windowing/MessageBox.h"

struct RecordedBox {
    QString caption;
    QString text;
    UINT type;
};

class CMessageBoxRecorder : public IMessageBoxService {
public:
    CMessageBoxRecorder();
    ~CMessageBoxRecorder() override;
    CMessageBoxRecorder(const CMessageBoxRecorder&) = delete;
    CMessageBoxRecorder& operator=(const CMessageBoxRecorder&) = delete;

    int Show(const QString& caption, const QString& text, UINT nType) override;

    const std::vector<RecordedBox>& Boxes() const { return m_boxes; }
    QStringList Texts() const;
    void Clear() { m_boxes.clear(); }

private:
    IMessageBoxService* m_pPrevious;
    std::vector<RecordedBox> m_boxes;
};

// Installed for the whole test run: a box that nobody expected fails the
// running test instead of waiting for a click that never comes.
class CUnexpectedMessageBoxes : public IMessageBoxService {
public:
    int Show(const QString& caption, const QString& text, UINT nType) override;
};
