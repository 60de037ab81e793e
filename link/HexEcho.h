// The hex echo text of the send and receive boxes: every byte as "%02X ", at
// most the first 200 bytes; the receive text breaks the line (CR LF) after
// every tenth byte.
#pragma once

#include <cstdint>
#include <string>

constexpr int kHexEchoMaxBytes = 200;

// Send box: one line. A count of 0 or less gives the empty text.
std::string HexEchoSendText(const std::uint8_t* data, int count);
// Receive box: ten bytes a line, each full line ending in a space and CR LF.
std::string HexEchoRecvText(const std::uint8_t* data, int count);
// "01 03 00 64": all count bytes, one space between them and none after;
// the form of traffic logs and messages.
std::string HexBytes(const std::uint8_t* data, int count);
