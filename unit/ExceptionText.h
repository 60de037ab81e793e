// The names of the Modbus exception codes, for the message that reports an
// exception reply. Texts are GBK, like every message of the program.
#pragma once

#include <cstdint>
#include <string>

// "非法功能" for 01, ... "未知异常" for a code the protocol does not define.
const char* ExceptionName(std::uint8_t code);

// The protocol's English name of the code: "illegal data address" for 02,
// ... "unknown exception" for a code the protocol does not define. ASCII.
const char* ExceptionNameEnglish(std::uint8_t code);
// What to check for the code, in English; "" where the name says enough.
const char* ExceptionHint(std::uint8_t code);

// headline, then a second line "异常码 XX：NAME" with XX the code in hex.
std::string ExceptionMessage(const char* headline, std::uint8_t code);

// Exceptions 0A (gateway path unavailable) and 0B (gateway target device
// failed to respond) come from a gateway that found no device at the unit id:
// they prove the gateway, not a device at that address.
bool GatewayFoundNoDevice(std::uint8_t code);
