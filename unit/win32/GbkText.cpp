// On Windows the conversion is the system's own code page 936 (GBK), the code
// page the tables were written in, one character at a time so that a byte
// sequence GBK does not define becomes U+FFFD as with iconv, not the private-
// use character Windows substitutes.
#include <windows.h>

#include <cstring>

#include "unit/GbkText.h"

namespace {

void AppendUtf8(const wchar_t* text, int length, std::string& out) {
    char buffer[16];
    const int n =
        WideCharToMultiByte(CP_UTF8, 0, text, length, buffer, sizeof buffer, nullptr, nullptr);
    out.append(buffer, static_cast<std::size_t>(n > 0 ? n : 0));
}

// The character of code page 936 at bytes (1 or 2 of them); false when it has none.
bool Decode936(const char* bytes, int length, std::string& out) {
    wchar_t wide[4];
    const int n = MultiByteToWideChar(936, MB_ERR_INVALID_CHARS, bytes, length, wide, 4);
    if (n <= 0) {
        return false;
    }
    AppendUtf8(wide, n, out);
    return true;
}

}  // namespace

std::string GbkToUtf8(const char* gbk) {
    if (gbk == nullptr) {
        return {};
    }
    std::string out;
    const std::size_t size = std::strlen(gbk);
    for (std::size_t i = 0; i < size;) {
        const auto byte = static_cast<unsigned char>(gbk[i]);
        if (byte < 0x80) {
            out += gbk[i++];
        } else if (i + 1 < size && Decode936(gbk + i, 2, out)) {
            i += 2;
        } else {
            out += "\xEF\xBF\xBD";  // U+FFFD
            ++i;
        }
    }
    return out;
}
