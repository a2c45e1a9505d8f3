#pragma once

// The access tables of remote management and of each VLAN interface keep their three
// users alike, and so do their editors' rows: four octet boxes and a hidden port box per
// user. Where the users stand in the configuration image is ModuleConfig's, in the blocks
// core/ConfigBlocks'.

#include <cstddef>
#include <cstdint>

#include "editors/ConfigEditor.h"

namespace kv {

struct UserTable {
    std::size_t ip;    // ModuleConfig offset of the first user's first octet
    std::size_t port;  // ModuleConfig offset of the first user's port

    std::size_t Ip(int user, int octet) const { return ModuleConfig::UserIp(ip, user, octet); }
    std::size_t Port(int user) const { return ModuleConfig::UserPort(port, user); }
};

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
