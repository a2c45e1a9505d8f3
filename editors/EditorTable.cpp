#include "editors/EditorTable.h"

#include "editors/NastavLAN.h"
#include "editors/SitoveParam.h"
#include "editors/VzdalenaSprava.h"

namespace kv {

const std::array<const EditorSpec*, 5>& AllEditors() {
    static const std::array<const EditorSpec*, 5> editors = {
        &RemoteManagementEditor(), &VlanEditor(Vlan::FromIndex(0)), &VlanEditor(Vlan::FromIndex(1)),
        &VlanEditor(Vlan::FromIndex(2)), &NetworkParamEditor()};
    return editors;
}

const EditorSpec* EditorForBlock(std::uint16_t block) {
    for (const EditorSpec* spec : AllEditors())
        if (spec->block == block) return spec;
    return nullptr;
}

}  // namespace kv
