#pragma once

// The golden status replies, as the module sends them (one byte per word from word 0),
// shared by the tests of the decoders and of what is made of their values.

#include <string>

#include "transport/Qxxx380.h"

namespace kv::testing {

// The module status reply with every value set: uptime 0x12345678 s, 1000 allowed and
// 4294967295 denied accesses, "KV-3380U" "1.20" "SN123456", the setup mode, both modes'
// addresses, MAC 00-0A-FF-01-02-AB, 9600 Bd, 100 ms, 3 messages, 2 errors, and five error
// records (the third all ones, the fourth all zero). Words 0-179; `unread` ("ff", "00")
// fills every word the program does not read.
std::string ModuleStatusReplyHex(const std::string& unread = "ff");

// The VLAN status reply: VLAN1 in the timer mode (port 5000, 1500 ms remaining), VLAN2
// in the table mode (5001) with other users, VLAN3 off (5002). Words 0-243.
std::string VlanStatusReplyHex(const std::string& unread = "ff");

// A reply buffer whose words from 0 on hold the bytes of the hex text.
DataBuffer ReplyOfHex(const std::string& hex);

}  // namespace kv::testing
