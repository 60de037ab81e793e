#include "console/windowing/DlgItem.h"

#include <QVariant>
#include <QWidget>

namespace {
constexpr const char* kIdProperty = "k40DlgCtrlId";
}

int GetDlgCtrlID(const QWidget* pWnd) {
    return pWnd != nullptr ? pWnd->property(kIdProperty).toInt() : 0;
}

void SetDlgCtrlID(QWidget* pWnd, int nID) {
    if (pWnd != nullptr) {
        pWnd->setProperty(kIdProperty, nID);
    }
}

void DestroyWindow(QWidget* pWnd) {
    if (pWnd == nullptr) {
        return;
    }
    SetDlgCtrlID(pWnd, 0);
    pWnd->hide();
    pWnd->deleteLater();
}
