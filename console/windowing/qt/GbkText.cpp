#include "console/windowing/qt/GbkText.h"

#include <QStringEncoder>

#include "unit/GbkText.h"

QString FromGbk(const char* gbk) {
    return QString::fromStdString(GbkToUtf8(gbk));
}

QByteArray ToGbk(const QString& text) {
    QStringEncoder encoder("GBK");
    return encoder(text);
}
