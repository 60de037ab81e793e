// GBK text: this file is compiled with -fexec-charset=GBK.
#include "unit/ExceptionText.h"

#include <cstdio>

const char* ExceptionName(std::uint8_t code) {
    switch (code) {
        case 0x01:
            return "非法功能";
        case 0x02:
            return "非法数据地址";
        case 0x03:
            return "非法数据值";
        case 0x04:
            return "从站设备故障";
        case 0x05:
            return "确认";
        case 0x06:
            return "从站设备忙";
        case 0x08:
            return "存储奇偶性差错";
        case 0x0A:
            return "不可用网关路径";
        case 0x0B:
            return "网关目标设备响应失败";
        default:
            return "未知异常";
    }
}

std::string ExceptionMessage(const char* headline, std::uint8_t code) {
    char line[64];
    std::snprintf(line, sizeof line, "异常码 %02X：", static_cast<unsigned>(code));
    return std::string(headline) + "\n" + line + ExceptionName(code);
}
