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

const char* ExceptionNameEnglish(std::uint8_t code) {
    switch (code) {
        case 0x01:
            return "illegal function";
        case 0x02:
            return "illegal data address";
        case 0x03:
            return "illegal data value";
        case 0x04:
            return "server device failure";
        case 0x05:
            return "acknowledge";
        case 0x06:
            return "server device busy";
        case 0x08:
            return "memory parity error";
        case 0x0A:
            return "gateway path unavailable";
        case 0x0B:
            return "gateway target device failed to respond";
        default:
            return "unknown exception";
    }
}

const char* ExceptionHint(std::uint8_t code) {
    // 0A and 0B come from a gateway, not from the device behind it: the
    // gateway could not route the request, or the device did not answer it.
    switch (code) {
        case 0x0A:
            return "the gateway has no path to that unit: check the unit id (--slave) and the "
                   "gateway's routing of it";
        case 0x0B:
            return "the device behind the gateway did not answer: check the unit id (--slave), "
                   "the gateway's serial settings (baud rate, parity) and its routing";
        default:
            return "";
    }
}

std::string ExceptionMessage(const char* headline, std::uint8_t code) {
    char line[64];
    std::snprintf(line, sizeof line, "异常码 %02X：", static_cast<unsigned>(code));
    return std::string(headline) + "\n" + line + ExceptionName(code);
}

bool GatewayFoundNoDevice(std::uint8_t code) {
    return code == 0x0A || code == 0x0B;
}
