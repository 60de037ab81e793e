// The program's own messages, formats and table texts are GBK (code page 936)
// bytes; Qt works in UTF-16. These convert at the Qt backend's edge: in
// through the program's one GBK decoder, out through Qt's encoder.
#pragma once

#include <QByteArray>
#include <QString>

// A NUL-terminated GBK text as Qt text; null gives the empty text.
QString FromGbk(const char* gbk);
// Qt text as GBK bytes; characters GBK cannot hold become '?'.
QByteArray ToGbk(const QString& text);
