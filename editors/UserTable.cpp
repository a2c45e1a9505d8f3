#include "editors/UserTable.h"

#include <string>

namespace kv {

void AddUserAddressRow(EditorSpec& spec, const UserTable& table, const UserRows& rows, int user,
                       int area) {
    const int firstEdit = rows.EditNumber(user, 0);
    const std::string name = "Uživatel " + std::to_string(user + 1);
    for (int k = 0; k < 4; ++k) {
        const int field = static_cast<int>(spec.fields.size());
        spec.fields.push_back({"Edit" + std::to_string(firstEdit + k),
                               name + " IP adresa " + std::to_string(k + 1),
                               FieldKind::kEdit,
                               table.Ip(user, k),
                               false,
                               area,
                               false,
                               {}});
        spec.checks.push_back({field,
                               CheckRule::kByteRange,
                               0,
                               255,
                               true,
                               table.Ip(user, k),
                               "Hodnoty IP adresy musí být v rozsahu 0-255.",
                               true,
                               {}});
    }
    spec.fields.push_back({"Edit" + std::to_string(firstEdit + 4),
                           name + " Port",
                           FieldKind::kEdit,
                           table.Port(user),
                           true,
                           area,
                           true,
                           {}});
    spec.checks.push_back(
        {-1, CheckRule::kSetWord, 65535, 65535, true, table.Port(user), nullptr, false, {}});
}

}  // namespace kv
