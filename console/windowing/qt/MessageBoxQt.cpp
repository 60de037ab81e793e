#include "console/windowing/MessageBox.h"

#include <QApplication>
#include <QMessageBox>
#include <QPushButton>

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

// The box of the active modal window (the sheet), with its icon and one
// button "确定".
class CQtMessageBoxService : public IMessageBoxService {
public:
    int Show(const std::string& caption, const std::string& text, UINT nType) override {
        QMessageBox box(IconOf(nType), QString::fromStdString(caption),
                        QString::fromStdString(text), QMessageBox::Ok,
                        QApplication::activeModalWidget());
        box.button(QMessageBox::Ok)->setText(QString::fromUtf16(u"确定"));
        box.exec();
        return IDOK;
    }
};

}  // namespace

IMessageBoxService& BackendMessageBoxService() {
    static CQtMessageBoxService service;
    return service;
}
