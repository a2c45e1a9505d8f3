#pragma once

// The remote management editor without its window: the management channel's UDP port,
// its mode (off, open to everyone, an access table) and the access table of three users,
// kept in configuration block 250.

#include <cstdint>

#include "editors/ConfigEditor.h"
#include "editors/UserTable.h"

namespace kv {

// The enabling area of the access table: enabled exactly in mode 2.
constexpr int kRemoteTableArea = 1;

// Block 250 into the remote management record, the mode as it stands.
void DecodeRemoteManagement(const ConfigBlock& block, ModuleConfig& config);
ConfigBlock EncodeRemoteManagement(const ModuleConfig& config);

// Fields: Edit16 (port), ComboBox1 (mode), then per user four octet boxes and the hidden
// port box (Edit1..Edit5, Edit6..Edit10, Edit11..Edit15).
const EditorSpec& RemoteManagementEditor();
inline constexpr int kRemotePortField = 0;
inline constexpr int kRemoteModeField = 1;
inline constexpr UserRows kRemoteUserRows{2, 5, 1};

}  // namespace kv
