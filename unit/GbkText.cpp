// The conversion is glibc's iconv: part of the C library every Linux program
// links, a pure byte transformation with no device or descriptor behind it, and
// its GBK table is the code page the tables were written in. Writing a 22000-
// entry table by hand would only add a second, untested copy of it.
#include "unit/GbkText.h"

#include <iconv.h>

#include <cerrno>
#include <cstring>

namespace {

class CIconv {
public:
    CIconv() : m_cd(iconv_open("UTF-8", "GBK")) {}
    ~CIconv() {
        if (m_cd != reinterpret_cast<iconv_t>(-1)) {
            iconv_close(m_cd);
        }
    }
    CIconv(const CIconv&) = delete;
    CIconv& operator=(const CIconv&) = delete;
    iconv_t Get() const { return m_cd; }

private:
    iconv_t m_cd;
};

}  // namespace

std::string GbkToUtf8(const char* gbk) {
    if (gbk == nullptr) {
        return {};
    }
    std::string in(gbk);
    std::string out;
    CIconv cd;
    if (cd.Get() == reinterpret_cast<iconv_t>(-1)) {
        return in;  // no converter: ASCII still reads right
    }
    char* ip = in.data();
    std::size_t il = in.size();
    char buffer[256];
    while (il > 0) {
        char* op = buffer;
        std::size_t ol = sizeof buffer;
        const std::size_t r = iconv(cd.Get(), &ip, &il, &op, &ol);
        out.append(buffer, static_cast<std::size_t>(op - buffer));
        if (r == static_cast<std::size_t>(-1) && errno != E2BIG) {
            // EILSEQ or EINVAL: one byte GBK does not define, or a cut-off pair.
            out += "\xEF\xBF\xBD";
            ++ip;
            --il;
        }
    }
    return out;
}
