#include "console/windowing/MessageBox.h"

#include <QApplication>
#include <QMessageBox>
#include <QPushButton>

#include "console/windowing/GbkText.h"
#include "console/windowing/WinApp.h"
#include "resources/StringTable.h"
#include "resources/resource.h"

namespace {

QMessageBox::Icon IconOf(UINT nType) {
    switch (nType & MB_ICONMASK) {
        case MB_ICONSTOP:
            return QMessageBox::Critical;
        case MB_ICONEXCLAMATION:
            return QMessageBox::Warning;
        case MB_ICONINFORMATION:
            return QMessageBox::Information;
        default:
            return QMessageBox::NoIcon;
    }
}

class CQtMessageBoxService : public IMessageBoxService {
public:
    int Show(const QString& caption, const QString& text, UINT nType) override {
        QMessageBox box(IconOf(nType), caption, text, QMessageBox::Ok,
                        QApplication::activeModalWidget());
        box.button(QMessageBox::Ok)->setText(QString::fromUtf16(u"确定"));
        box.exec();
        return IDOK;
    }
};

CQtMessageBoxService g_qtService;
IMessageBoxService* g_pService = &g_qtService;

QString Caption() {
    if (const CWinApp* app = AfxGetApp()) {
        return app->m_pszAppName;
    }
    return QString::fromUtf16(FindResourceString(IDS_APP_TITLE));
}

}  // namespace

IMessageBoxService* SetMessageBoxService(IMessageBoxService* pService) {
    IMessageBoxService* previous = g_pService;
    g_pService = pService != nullptr ? pService : &g_qtService;
    return previous;
}

int AfxMessageBox(const QString& text, UINT nType) {
    if ((nType & MB_ICONMASK) == 0) {
        nType |= MB_ICONEXCLAMATION;
    }
    return g_pService->Show(Caption(), text, nType);
}

int AfxMessageBox(const char* lpszGbkText, UINT nType) {
    return AfxMessageBox(FromGbk(lpszGbkText), nType);
}

int AfxMessageBox(UINT nIDPrompt, UINT nType) {
    const char16_t* text = FindResourceString(static_cast<int>(nIDPrompt));
    return AfxMessageBox(text != nullptr ? QString::fromUtf16(text) : QString(), nType);
}
