#pragma once

// The VLAN interface editor without its window: one VLAN interface's UDP port, mode (off,
// an IP address validity timer, a table of three users), validity time, access right and
// user table, kept in configuration block 251 + the VLAN index.

#include <cstdint>

#include "editors/ConfigEditor.h"
#include "editors/UserTable.h"

namespace kv {

// Enabling areas: the group box (every mode but "vypnuto"), the timer settings (mode 1)
// and the user table (mode 2 and any other value).
constexpr int kVlanGroupArea = 1;
constexpr int kVlanTimerArea = 2;
constexpr int kVlanUserArea = 3;

// Block 251 + the VLAN index into the interface's record: a mode above 2 is read as 0,
// an access right above 1 (the interface's or a user's) as 0. Only the record of `vlan`
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
