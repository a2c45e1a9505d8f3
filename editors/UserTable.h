#pragma once

// The access tables of remote management and of each VLAN interface keep their three
// users alike. In ModuleConfig octet k of user u stands at ip + 3k + u (all first octets,
// then all second octets, ...) and the user's port at port + 2u; in the block each user
// has eight bytes from byte 16: the four octets, then the port, low byte first.

#include <cstddef>
#include <cstdint>

#include "editors/ConfigEditor.h"

namespace kv {

constexpr int kTableUsers = 3;

struct UserTable {
    std::size_t ip;    // ModuleConfig offset of the first user's first octet
    std::size_t port;  // ModuleConfig offset of the first user's port

    std::size_t Ip(int user, int octet) const {
        return ip + 3 * static_cast<std::size_t>(octet) + static_cast<std::size_t>(user);
    }
    std::size_t Port(int user) const { return port + 2 * static_cast<std::size_t>(user); }
};

// Where user u's eight bytes start in the block.
constexpr std::size_t BlockUser(int user) {
    return 16 + 8 * static_cast<std::size_t>(user);
}
// Within a user's eight bytes: the octets at 0..3, the port at 4 and 5.
constexpr std::size_t kBlockUserPort = 4;

// The three users' addresses and ports, between block and configuration.
void DecodeUserAddresses(const ConfigBlock& block, const UserTable& table, ModuleConfig& config);
void EncodeUserAddresses(const ModuleConfig& config, const UserTable& table, ConfigBlock& block);

// Where an editor's user rows stand: user 1's first octet in the field table, the fields
// each user has (four octets and the port, then the editor's own: five or six), and the
// number of user 1's first octet box (Edit<n>; each user has five boxes).
struct UserRows {
    int firstField;
    int fieldsPerUser;
    int firstEdit;

    // The field index of user u's box: 0..3 the octets, 4 the port, 5 an access list.
    constexpr int Field(int user, int box) const { return firstField + fieldsPerUser * user + box; }
    // The number n of user u's Edit<n> box (0..4).
    constexpr int EditNumber(int user, int box) const { return firstEdit + 5 * user + box; }
};

// User u's row of an editor: the four octet boxes Edit<firstEdit>..Edit<firstEdit + 3>
// ("Uživatel n IP adresa 1".."4"), each checked 0..255 and skipped while disabled, the
// hidden port box Edit<firstEdit + 4>, and the step that sets the user's port to 65535:
// the ports are not edited, a passed row lets the user in from any port.
// The row must start at rows.Field(user, 0).
void AddUserAddressRow(EditorSpec& spec, const UserTable& table, const UserRows& rows, int user,
                       int area);

}  // namespace kv
