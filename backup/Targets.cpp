#include "backup/Targets.h"

#include <cctype>
#include <cstdint>

#include "core/KindParameters.h"

namespace kv {
namespace {

// The target's value of a role, as the request holds it: a number, or else the text.
std::string RoleText(const ConnectionRequest& request, ParameterRole role) {
    const KindParameter* parameter = FindKindParameter(request.kind, role);
    if (parameter == nullptr) return {};
    const ParameterValue& value = request.values[parameter->row];
    if (role == ParameterRole::kBaseAddress && value.number)
        return BaseAddressText(static_cast<std::uint16_t>(*value.number));
    return value.number ? std::to_string(*value.number) : value.text;
}

bool IsUdp(const ConnectionRequest& request) {
    return FindKindParameter(request.kind, ParameterRole::kIpAddress) != nullptr;
}

}  // namespace

std::string TargetKey(const ConnectionRequest& request) {
    using R = ParameterRole;
    std::string key = std::to_string(request.kind);
    for (const R role : {R::kIpAddress, R::kPort, R::kSerial, R::kComPort, R::kBaseAddress})
        key += "|" + RoleText(request, role);
    return key;
}

std::optional<std::pair<std::size_t, std::size_t>> RepeatedTarget(
    const std::vector<ConnectionRequest>& inputs) {
    for (std::size_t i = 0; i < inputs.size(); ++i)
        for (std::size_t j = 0; j < i; ++j)
            if (TargetKey(inputs[i]) == TargetKey(inputs[j])) return std::pair(i, j);
    return std::nullopt;
}

std::string BackupFileName(const ConnectionRequest& request) {
    using R = ParameterRole;
    std::string name;
    if (IsUdp(request)) {
        name = RoleText(request, R::kIpAddress) + "_" + RoleText(request, R::kPort);
    } else if (FindKindParameter(request.kind, R::kComPort) != nullptr) {
        name = "COM" + RoleText(request, R::kComPort);
    } else {
        name = RoleText(request, R::kSerial) + RoleText(request, R::kBaseAddress);
    }
    // Only what every file system takes: no separators, no drive letters, no blanks.
    for (char& c : name)
        if (!std::isalnum(static_cast<unsigned char>(c)) && c != '.' && c != '-' && c != '_')
            c = '_';
    if (name.empty() || name.front() == '.') name = "_" + name;
    return name + ".ini";
}

}  // namespace kv
