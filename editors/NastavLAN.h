#pragma once

// The VLAN interface editor without its window: one VLAN interface's UDP port, mode (off,
// an IP address validity timer, a table of three users), validity time, access right and
// user table, kept in configuration block 251 + the VLAN index.

#include <cstdint>

#include "editors/ConfigEditor.h"
#include "editors/UserTable.h"

namespace kv {

constexpr std::uint16_t kFirstVlanBlock = 251;

// Enabling areas: the group box (every mode but "vypnuto"), the timer settings (mode 1)
// and the user table (mode 2 and any other value).
constexpr int kVlanGroupArea = 1;
constexpr int kVlanTimerArea = 2;
constexpr int kVlanUserArea = 3;

// Bytes 0, 1 the port (low first), 2 the mode (above 2 read as 0), 3 the validity time,
// 4 the access right (above 1 read as 0), then eight bytes per user from byte 16: four
// IP octets, the port, the access right (above 1 read as 0). Only the record of `vlan`
// changes.
void DecodeVlanInterface(const ConfigBlock& block, Vlan vlan, ModuleConfig& config);
ConfigBlock EncodeVlanInterface(const ModuleConfig& config, Vlan vlan);

// The editor of the interface. Fields: Edit1 (port), ComboBox1
// (mode), Edit2 (validity time), ComboBox5 (interface access), then per user four octet
// boxes, the hidden port box and the access list (Edit3..Edit7 ComboBox2, Edit8..Edit12
// ComboBox3, Edit13..Edit17 ComboBox4).
const EditorSpec& VlanEditor(Vlan vlan);
inline constexpr int kVlanPortField = 0;
inline constexpr int kVlanModeField = 1;
inline constexpr int kVlanValidityField = 2;
inline constexpr int kVlanAccessField = 3;
// Per user the four octets, the hidden port and the access list.
inline constexpr UserRows kVlanUserRows{4, 6, 3};

}  // namespace kv
