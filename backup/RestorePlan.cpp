#include "backup/RestorePlan.h"

#include <algorithm>
#include <cstdio>
#include <map>

#include "core/NumberText.h"
#include "core/StatusSink.h"

namespace kv {
namespace {

bool IsVlanBlock(std::uint16_t block) {
    const BlockSection* section = SectionByBlock(block);
    return section != nullptr && std::string(section->name).rfind("vlan", 0) == 0;
}

// The key a field belongs to.
std::size_t KeyOfField(const std::vector<SettingKey>& keys, int field) {
    for (std::size_t k = 0; k < keys.size(); ++k)
        if (std::find(keys[k].fields.begin(), keys[k].fields.end(), field) != keys[k].fields.end())
            return k;
    return keys.size();
}

std::string Place(const BlockSection& section, const SettingKey& key) {
    return "[" + std::string(section.name) + "] " + key.name + ": ";
}

std::string HexByte(std::uint8_t byte) {
    char text[8];
    std::snprintf(text, sizeof text, "%02x", static_cast<unsigned>(byte));
    return text;
}

ModuleConfig Decoded(const EditorSpec& spec, const ConfigBlock& block) {
    ModuleConfig config = DefaultModuleConfig();
    if (spec.decode) spec.decode(block, config);
    return config;
}

// Sealed by the encoder; without one all zero, which sums to 0.
ConfigBlock Encoded(const EditorSpec& spec, const ModuleConfig& config) {
    return spec.encode ? spec.encode(config) : ConfigBlock{};
}

// The file's values against the values of its bytes; read-only settings do not count.
bool SameValues(const std::vector<SettingKey>& keys, const std::vector<std::string>& fromBytes,
                const std::vector<std::string>& fromFile) {
    for (std::size_t k = 0; k < keys.size(); ++k)
        if (!keys[k].hidden && fromBytes[k] != fromFile[k]) return false;
    return true;
}

// The bytes of the block that the editor's codec writes from some field.
std::array<bool, kConfigBlockSize> NamedBytes(const EditorSpec& spec) {
    std::array<bool, kConfigBlockSize> named{};
    if (!spec.encode) return named;
    ModuleConfig low = DefaultModuleConfig();
    ModuleConfig high = low;
    for (const EditorField& field : spec.fields) {
        for (std::size_t k = 0; k < (field.word ? 2u : 1u); ++k) {
            if (field.offset + k >= ModuleConfig::kSize) continue;
            low.bytes[field.offset + k] = 0x00;
            high.bytes[field.offset + k] = 0xFF;
        }
    }
    const ConfigBlock a = spec.encode(low);
    const ConfigBlock b = spec.encode(high);
    for (std::size_t i = 0; i + 1 < kConfigBlockSize; ++i) named[i] = a[i] != b[i];
    return named;
}

PlannedBlock PlanBlock(const BlockSection& section, const EditorSpec& spec,
                       const BackupSection& stored, ModuleConfig& image) {
    const std::vector<SettingKey> keys = SettingKeys(spec);
    PlannedBlock planned;
    planned.section = &section;

    // The editor as the window holds it: opened on the image, the file's bytes read into
    // its copy, then its mode chosen, which stores the mode at once and sets the enabling.
    ConnectionSettings holder;
    holder.moduleConfig = image;
    EditorSession session(spec, &holder);
    session.Show();
    if (stored.data && spec.decode) spec.decode(*stored.data, session.Copy());
    const ModuleConfig asRead = session.Copy();
    if (spec.modeField >= 0) {
        const std::size_t k = KeyOfField(keys, spec.modeField);
        FieldStates probe(spec.fields.size());
        if (k < keys.size() && !ApplySetting(spec, keys[k], stored.values[k], probe))
            session.ChangeMode(probe[static_cast<std::size_t>(spec.modeField)].position);
    }

    FieldStates fields = session.Fields();
    for (std::size_t k = 0; k < keys.size(); ++k) {
        if (keys[k].hidden) continue;
        if (auto wrong = ApplySetting(spec, keys[k], stored.values[k], fields)) {
            planned.refusal = FileProblem{stored.lines[k], Place(section, keys[k]) + *wrong};
            return planned;
        }
    }
    const CheckOutcome check = CheckFields(spec, fields, session.Copy(), {});
    if (!check.passed) {
        const std::size_t k = KeyOfField(keys, check.failedField);
        // The editors' message as they show it, without the status bar's leading blank.
        const std::string message = check.status;
        planned.refusal = k < keys.size()
                              ? FileProblem{stored.lines[k], Place(section, keys[k]) + message}
                              : FileProblem{stored.line, message};
        return planned;
    }

    // A value the chosen mode disables is neither checked nor taken, as in the window: say
    // so where the file asks for something else than what stays.
    const std::vector<std::string> kept = RenderSettings(spec, keys, session.Copy());
    for (std::size_t k = 0; k < keys.size(); ++k) {
        if (keys[k].hidden || kept[k] == stored.values[k]) continue;
        const auto first = static_cast<std::size_t>(keys[k].fields.front());
        if (fields[first].enabled) continue;
        planned.warnings.push_back(
            {stored.lines[k],
             Place(section, keys[k]) + "v tomto režimu se nepoužije, zůstává " + kept[k]});
    }

    if (!stored.data) {
        // Built from the values alone: the block the editor writes from them.
        planned.target = Encoded(spec, session.Copy());
        image = session.Copy();
        return planned;
    }
    // Values as the file's bytes have them, or changed only where a check kept the old
    // value: those bytes go back unchanged, with what no setting names.
    const std::vector<std::string> fromData = RenderSettings(spec, keys, asRead, &*stored.data);
    if (SameValues(keys, fromData, stored.values) || SameValues(keys, fromData, kept)) {
        planned.target = *stored.data;
        planned.asStored = true;
        if (spec.decode) spec.decode(*stored.data, image);
        return planned;
    }
    // The keys win over the Data rows where both name the same bytes: say so, as the rows
    // may have been what was edited.
    for (std::size_t k = 0; k < keys.size(); ++k) {
        if (keys[k].hidden || fromData[k] == stored.values[k]) continue;
        planned.notes.push_back({stored.lines[k], Place(section, keys[k]) +
                                                      "platí hodnota klíče „" + stored.values[k] +
                                                      "“, ne „" + fromData[k] +
                                                      "“ z řádků Data (řádky Data drží "
                                                      "jen to, co žádný klíč nepojmenovává)"});
    }
    // The file's bytes with what the checked values change in them, as the editor's codec
    // writes those values: the bytes no setting names stay as the rows give them.
    const ConfigBlock after = Encoded(spec, session.Copy());
    const std::array<bool, kConfigBlockSize> named = NamedBytes(spec);
    planned.target = *stored.data;
    for (std::size_t i = 0; i + 1 < kConfigBlockSize; ++i)
        if (named[i]) planned.target[i] = after[i];
    SealBlock(planned.target);
    image = session.Copy();
    return planned;
}

}  // namespace

const std::vector<std::uint16_t>& WriteOrder() {
    static const std::vector<std::uint16_t> order = [] {
        std::vector<std::uint16_t> blocks;
        for (const char* name : {"vlan1", "vlan2", "vlan3", "remote", "network"})
            blocks.push_back(SectionByName(name)->block);
        return blocks;
    }();
    return order;
}

bool RestorePlan::Refused() const {
    return std::any_of(blocks.begin(), blocks.end(),
                       [](const PlannedBlock& b) { return b.refusal.has_value(); });
}

std::vector<FileProblem> RestorePlan::Refusals() const {
    std::vector<FileProblem> refusals;
    for (const PlannedBlock& planned : blocks)
        if (planned.refusal) refusals.push_back(*planned.refusal);
    return refusals;
}

Selection SelectBlocks(const BackupDocument& doc, const std::vector<std::string>& only,
                       bool cloning) {
    Selection selection;
    std::vector<std::uint16_t> chosen;
    if (only.empty()) {
        // A file cut short lacks blocks its header names: that is never a whole restore.
        std::string missing;
        for (std::uint16_t block : doc.named) {
            const BlockSection* section = SectionByBlock(block);
            if (doc.Find(block) != nullptr || (cloning && std::string(section->name) == "network"))
                continue;
            missing += (missing.empty() ? "" : ", ") + ("[" + std::string(section->name) + "]");
        }
        if (!missing.empty()) {
            selection.error = "soubor neobsahuje " + missing +
                              ", přestože je záhlaví jmenuje: je nejspíš useknutý. Ostatní bloky "
                              "obnovíte s --only, které je vyjmenuje";
            return selection;
        }
        for (const BackupSection& section : doc.sections) {
            // Each module of a clone keeps its own IP address unless --only asks for it.
            if (cloning && std::string(section.section->name) == "network") continue;
            chosen.push_back(section.section->block);
        }
    } else {
        for (const std::string& name : only) {
            const BlockSection* section = SectionByName(name);
            if (section == nullptr) {
                selection.error = "neznámý blok „" + name + "“; známé jsou " + SectionNameList();
                return selection;
            }
            if (doc.Find(section->block) == nullptr) {
                selection.error = "soubor neobsahuje oddíl [" + std::string(section->name) + "]";
                return selection;
            }
            chosen.push_back(section->block);
        }
    }
    for (std::uint16_t block : WriteOrder())
        if (std::find(chosen.begin(), chosen.end(), block) != chosen.end())
            selection.blocks.push_back(block);
    if (selection.blocks.empty()) selection.error = "není co obnovit: soubor nemá vybrané bloky";
    return selection;
}

std::vector<std::uint16_t> BlocksToRead(const std::vector<std::uint16_t>& selected) {
    const bool anyVlan = std::any_of(selected.begin(), selected.end(), IsVlanBlock);
    std::vector<std::uint16_t> blocks;
    for (std::uint16_t block : WriteOrder()) {
        const bool chosen = std::find(selected.begin(), selected.end(), block) != selected.end();
        if (chosen || (anyVlan && IsVlanBlock(block))) blocks.push_back(block);
    }
    return blocks;
}

ModuleConfig ImageOfFile(const BackupDocument& doc) {
    ModuleConfig image = DefaultModuleConfig();
    for (const BackupSection& section : doc.sections)
        if (section.data && section.section->spec->decode)
            section.section->spec->decode(*section.data, image);
    return image;
}

RestorePlan PlanRestore(const BackupDocument& doc, const std::vector<std::uint16_t>& selected,
                        ModuleConfig image, bool othersKnown) {
    RestorePlan plan;
    std::vector<const BlockSection*> chosen;
    for (std::uint16_t block : WriteOrder())
        if (std::find(selected.begin(), selected.end(), block) != selected.end() &&
            doc.Find(block) != nullptr)
            chosen.push_back(SectionByBlock(block));

    // Every chosen interface's port as the file gives it, so that each is checked against
    // the ports the others will have, not the ones they are leaving.
    for (const BlockSection* section : chosen) {
        const EditorCheck* portFree = PortFreeCheck(*section->spec);
        if (portFree == nullptr) continue;
        const std::vector<SettingKey> keys = SettingKeys(*section->spec);
        const std::size_t k = KeyOfField(keys, portFree->field);
        if (k == keys.size()) continue;
        if (const auto port =
                WordFromText(doc.Find(section->block)->values[k], portFree->low, portFree->high))
            image.SetU16(portFree->offset, *port);
    }

    std::vector<std::size_t> chosenPorts;
    for (const BlockSection* section : chosen)
        if (const EditorCheck* portFree = PortFreeCheck(*section->spec))
            chosenPorts.push_back(portFree->offset);

    for (const BlockSection* section : chosen) {
        EditorSpec spec = *section->spec;
        if (!othersKnown) {
            for (EditorCheck& check : spec.checks) {
                if (check.rule != CheckRule::kPortFree) continue;
                std::erase_if(check.others, [&](std::size_t offset) {
                    return std::find(chosenPorts.begin(), chosenPorts.end(), offset) ==
                           chosenPorts.end();
                });
            }
        }
        plan.blocks.push_back(PlanBlock(*section, spec, *doc.Find(section->block), image));
    }
    return plan;
}

std::optional<std::string> ForeignFile(const BackupDocument& doc, const std::string& serial) {
    if (doc.serial.empty())
        return doc.format < 2 ? std::string("soubor formátu 1 neříká, ze kterého modulu je")
                              : std::string("soubor neříká výrobní číslo svého modulu");
    if (serial.empty())
        return "modul své výrobní číslo neřekl (soubor je modulu " + doc.serial + ")";
    if (serial != doc.serial)
        return "soubor je zálohou modulu s výrobním číslem " + doc.serial +
               ", připojený modul má " + serial;
    return std::nullopt;
}

std::optional<std::string> WhyNotRestorable(const std::string& bytes) {
    const BackupRead read = ReadBackupText(bytes);
    if (!read.problems.empty()) return read.problems.front().text;
    const Selection selection = SelectBlocks(read.document, {}, false);
    if (!selection.error.empty()) return selection.error;
    const RestorePlan plan =
        PlanRestore(read.document, selection.blocks, ImageOfFile(read.document), false);
    if (plan.Refused()) return plan.Refusals().front().text;
    return std::nullopt;
}

ModuleConfig ImageAfter(const RestorePlan& plan, ModuleConfig image) {
    for (const PlannedBlock& planned : plan.blocks)
        if (!planned.refusal && planned.section->spec->decode)
            planned.section->spec->decode(planned.target, image);
    return image;
}

std::vector<Lockout> Lockouts(const ModuleConfig& before, const ModuleConfig& after) {
    std::vector<Lockout> lockouts;
    constexpr std::size_t kMode = ModuleConfig::kRemote + ModuleConfig::kRemoteMode;
    constexpr std::size_t kPort = ModuleConfig::kRemote + ModuleConfig::kRemotePort;
    const std::uint16_t remote = SectionByName("remote")->block;
    if (before.bytes[kMode] != 0 && after.bytes[kMode] == 0)
        lockouts.push_back({remote,
                            "vzdálená správa bude zakázána: modul pak přes LAN nepřijme žádný "
                            "příkaz, ani od tohoto programu či okna W_KV3380U; zapnout ji půjde "
                            "jen přes jiné rozhraní (USB)"});
    for (int v = 0; v < 3; ++v) {
        const std::size_t port = ModuleConfig::VlanOffset(v) + ModuleConfig::kVlanPort;
        const bool now = after.U16(port) == after.U16(kPort);
        const bool was = before.U16(port) == before.U16(kPort);
        if (!now || was) continue;
        const std::uint16_t block = SectionByName("vlan" + std::to_string(v + 1))->block;
        lockouts.push_back(
            {before.U16(port) != after.U16(port) ? block : remote,
             "rozhraní VLAN" + std::to_string(v + 1) + " bude na UDP portu " +
                 std::to_string(after.U16(port)) +
                 ", na kterém je vzdálená správa: modul port neotevře pro obojí a rozhraní "
                 "(nebo správa přes LAN) přestane odpovídat"});
    }
    return lockouts;
}

std::vector<WriteStep> PlanWrites(const std::vector<BackupBlock>& changed,
                                  const std::map<std::uint16_t, ConfigBlock>& current) {
    // Where each interface listens in the module as the writes go on.
    std::map<std::uint16_t, std::uint16_t> now;
    std::vector<std::uint16_t> inUse;
    for (const auto& [block, bytes] : current) {
        if (const auto port = InterfacePort(block, bytes)) {
            now[block] = *port;
            inUse.push_back(*port);
        }
    }
    // The remote management port is none of the interfaces' but is kept clear of them too.
    if (const auto remote = current.find(SectionByName("remote")->block); remote != current.end()) {
        ModuleConfig config = DefaultModuleConfig();
        SectionByBlock(remote->first)->spec->decode(remote->second, config);
        inUse.push_back(config.U16(ModuleConfig::kRemote + ModuleConfig::kRemotePort));
    }

    std::vector<const BackupBlock*> pending;  // the interfaces, in write order
    for (std::uint16_t block : WriteOrder())
        for (const BackupBlock& one : changed)
            if (one.number == block && InterfacePort(block, one.bytes)) {
                pending.push_back(&one);
                inUse.push_back(*InterfacePort(block, one.bytes));
            }
    auto takenByAnother = [&](std::uint16_t block, std::uint16_t port) {
        for (const auto& [other, held] : now)
            if (other != block && held == port) return true;
        return false;
    };

    std::vector<WriteStep> steps;
    std::vector<std::uint16_t> parked;
    while (!pending.empty()) {
        auto ready = std::find_if(pending.begin(), pending.end(), [&](const BackupBlock* one) {
            return !takenByAnother(one->number, *InterfacePort(one->number, one->bytes));
        });
        const bool stuck = std::all_of(pending.begin(), pending.end(), [&](const BackupBlock* one) {
            return std::find(parked.begin(), parked.end(), one->number) != parked.end();
        });
        if (ready == pending.end() && stuck) ready = pending.begin();  // no order helps
        if (ready != pending.end()) {
            steps.push_back({(*ready)->number, (*ready)->bytes, false, 0});
            now[(*ready)->number] = *InterfacePort((*ready)->number, (*ready)->bytes);
            pending.erase(ready);
            continue;
        }
        // Interfaces that trade ports: the first not yet moved goes to a port nobody uses.
        const BackupBlock* first =
            *std::find_if(pending.begin(), pending.end(), [&](const BackupBlock* one) {
                return std::find(parked.begin(), parked.end(), one->number) == parked.end();
            });
        std::uint16_t free = 65535;
        while (std::find(inUse.begin(), inUse.end(), free) != inUse.end()) --free;
        const auto held = current.find(first->number);
        const ConfigBlock& base = held != current.end() ? held->second : first->bytes;
        steps.push_back({first->number, WithInterfacePort(first->number, base, free), true, free});
        now[first->number] = free;
        inUse.push_back(free);
        parked.push_back(first->number);
    }
    for (std::uint16_t block : WriteOrder())
        for (const BackupBlock& one : changed)
            if (one.number == block && !InterfacePort(block, one.bytes))
                steps.push_back({one.number, one.bytes, false, 0});
    return steps;
}

std::vector<BlockChange> DiffBlocks(const EditorSpec& spec, const ConfigBlock& current,
                                    const ConfigBlock& target) {
    std::vector<BlockChange> changes;
    const std::vector<SettingKey> keys = SettingKeys(spec);
    const ModuleConfig before = Decoded(spec, current);
    const ModuleConfig after = Decoded(spec, target);
    const std::vector<std::string> was = RenderSettings(spec, keys, before, &current);
    const std::vector<std::string> will = RenderSettings(spec, keys, after, &target);
    for (std::size_t k = 0; k < keys.size(); ++k)
        if (was[k] != will[k]) changes.push_back({keys[k].name, was[k], will[k]});

    // Bytes a setting explains read back as they are through the editor's own codec.
    const ConfigBlock currentAgain = Encoded(spec, before);
    const ConfigBlock targetAgain = Encoded(spec, after);
    bool anyByte = false;
    for (std::size_t i = 0; i < kChecksumByte; ++i) {
        if (current[i] == target[i]) continue;
        anyByte = true;
        if (currentAgain[i] == current[i] && targetAgain[i] == target[i]) continue;
        changes.push_back({"bajt " + std::to_string(i), HexByte(current[i]), HexByte(target[i])});
    }
    const std::size_t last = kChecksumByte;
    if (!anyByte && current[last] != target[last])
        changes.push_back({"kontrolní součet (bajt " + std::to_string(last) + ")",
                           HexByte(current[last]), HexByte(target[last])});
    return changes;
}

}  // namespace kv
