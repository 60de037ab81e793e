#include "console/windowing/GbkText.h"

#include <QStringDecoder>
#include <QStringEncoder>

QString FromGbk(const char* gbk) {
    if (gbk == nullptr) {
        return {};
    }
    QStringDecoder decoder("GBK");
    return decoder(QByteArrayView(gbk));
}

QByteArray ToGbk(const QString& text) {
    QStringEncoder encoder("GBK");
    return encoder(text);
}
