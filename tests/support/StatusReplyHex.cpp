#include "tests/support/StatusReplyHex.h"

#include <algorithm>

#include "tests/support/Hex.h"

namespace kv::testing {
namespace {

std::string Repeat(const std::string& unread, std::size_t words) {
    std::string out;
    for (std::size_t i = 0; i < words; ++i) out += unread;
    return out;
}

// One VLAN record of 80 words.
std::string VlanRecord(const std::string& port, const std::string& mode,
                       const std::string& remaining, const std::string& users,
                       const std::string& unread) {
    return port + mode + remaining +
           "d0070000"             // 7-10 maximum validity 2000 ms
           "15000000"             // 11-14 allowed 21
           "0c000000"             // 15-18 denied 12
           "0a000007"             // 19-22 last denied address 10.0.0.7
           "8813"                 // 23-24 its port 5000
           "2c010000"             // 25-28 its time 300 s
           + Repeat(unread, 3) +  // 29-31 not read
           users;
}

std::string User(const std::string& ip, const std::string& port, const std::string& allowed,
                 const std::string& last, const std::string& unread) {
    return ip + port + allowed + last + Repeat(unread, 2);
}

}  // namespace

std::string ModuleStatusReplyHex(const std::string& unread) {
    return Repeat("00", 4) +           // 0-3 parameter words
           "78563412"                  // 4-7 seconds since power-on: 0x12345678
           "e8030000"                  // 8-11 allowed accesses: 1000
           "ffffffff"                  // 12-15 denied accesses: 4294967295
           "4b562d3333383055"          // 16-23 type "KV-3380U"
           "312e3230"                  // 24-27 version "1.20"
           "534e313233343536"          // 28-35 serial "SN123456"
           "01" +                      // 36 operating mode: setup
           Repeat(unread, 15) +        // 37-51 not read
           "c0a80101ffffff00c0a801fe"  // 52-63 setup IP, mask, gateway
           "c0a80063ffff0000c0a8007b"  // 64-75 working IP, mask, gateway
           "000aff0102ab" +            // 76-81 MAC
           Repeat(unread, 2) +         // 82-83 not read
           "80250000"                  // 84-87 baud rate 9600
           "6400" +                    // 88-89 timeout 100 ms
           Repeat(unread, 2) +         // 90-91 not read
           "03000000"                  // 92-95 messages
           "02000000"                  // 96-99 errors
           // 100-179 error records: code, interface, user, address, function, peripheral,
           // command, duration (2), repetitions, time stamp (4), 2 words not read. Newest
           // first.
           "16 02 03 24 cc 10 00 e803 01 a0860100" +
           Repeat(unread, 2) + "0b 01 00 05 c8 00 01 0500 00 10270000" + Repeat(unread, 2) +
           "ff 03 03 ff ff ff ff ffff ff ffffffff" + Repeat(unread, 2) +
           "00 00 00 00 00 00 00 0000 00 00000000" + Repeat(unread, 2) +
           "01 00 00 00 00 00 00 0000 00 01000000" + Repeat(unread, 2);
}

std::string VlanStatusReplyHex(const std::string& unread) {
    const std::string usersA = User("c0a80a01", "3930", "01000000", "02000000", unread) +
                               User("c0a80a02", "3a30", "03000000", "04000000", unread) +
                               User("c0a80a03", "3b30", "05000000", "06000000", unread);
    const std::string usersB = User("0a010203", "d204", "40e20100", "ffffffff", unread) +
                               User("00000000", "0000", "00000000", "00000000", unread) +
                               User("7f000001", "ffff", "ffffffff", "01000000", unread);
    return Repeat("00", 4) + VlanRecord("8813", "01", "dc050000", usersA, unread) +
           VlanRecord("8913", "02", "00000000", usersB, unread) +
           VlanRecord("8a13", "00", "01000000", usersA, unread);
}

DataBuffer ReplyOfHex(const std::string& hex) {
    DataBuffer data{};
    const auto bytes = FromHex(hex);
    std::copy_n(bytes.begin(), std::min(bytes.size(), data.size()), data.begin());
    return data;
}

}  // namespace kv::testing
