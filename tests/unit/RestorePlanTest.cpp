// What a restore would write: the file's bytes where its values are theirs, blocks built
// through the editors' checks where a person changed a value, the editors' refusals with
// the line of the value, and the changes against the module's blocks.

#include <gtest/gtest.h>

#include <algorithm>
#include <map>
#include <string>
#include <vector>

#include "backup/RestorePlan.h"
#include "editors/NastavLAN.h"
#include "editors/SitoveParam.h"
#include "editors/VzdalenaSprava.h"
#include "tests/support/CliSupport.h"
#include "tests/support/Hex.h"

namespace kv::cli {
namespace {

using testing::BlocksOf;
using testing::Hex;

BackupDocument Document(const ModuleConfig& config) {
    BackupRead read = ReadBackupText(BackupText(kv::testing::kTestModule, BlocksOf(config)));
    EXPECT_TRUE(read.problems.empty());
    return read.document;
}

// Sets a setting's value in the document as a person would edit the file.
void Edit(BackupDocument& doc, std::uint16_t block, const std::string& key,
          const std::string& value) {
    for (BackupSection& section : doc.sections) {
        if (section.section->block != block) continue;
        const auto keys = SettingKeys(*section.section->spec);
        for (std::size_t k = 0; k < keys.size(); ++k)
            if (keys[k].name == key) {
                section.values[k] = value;
                return;
            }
    }
    ADD_FAILURE() << "no key " << key << " in block " << block;
}

std::size_t LineOfKey(const BackupDocument& doc, std::uint16_t block, const std::string& key) {
    const BackupSection* section = doc.Find(block);
    const auto keys = SettingKeys(*section->section->spec);
    for (std::size_t k = 0; k < keys.size(); ++k)
        if (keys[k].name == key) return section->lines[k];
    return 0;
}

const PlannedBlock* Planned(const RestorePlan& plan, std::uint16_t block) {
    for (const PlannedBlock& p : plan.blocks)
        if (p.section->block == block) return &p;
    return nullptr;
}

std::vector<std::uint16_t> All() {
    return WriteOrder();
}

TEST(RestorePlanTest, AnUneditedBackupGoesBackAsItsOwnBytesInWriteOrder) {
    ModuleConfig config = DefaultModuleConfig();
    std::vector<BackupBlock> blocks = BlocksOf(config);
    // Bytes no editor names, which only the file's rows can carry back.
    for (BackupBlock& block : blocks) {
        block.bytes[200] = static_cast<std::uint8_t>(block.number);
        SealBlock(block.bytes);
    }
    const BackupDocument doc =
        ReadBackupText(BackupText(kv::testing::kTestModule, blocks)).document;
    const RestorePlan plan = PlanRestore(doc, All(), config);
    ASSERT_FALSE(plan.Refused());
    ASSERT_EQ(plan.blocks.size(), 5u);
    for (std::size_t i = 0; i < plan.blocks.size(); ++i) {
        EXPECT_EQ(plan.blocks[i].section->block, WriteOrder()[i]);
        EXPECT_TRUE(plan.blocks[i].asStored);
        EXPECT_EQ(Hex(plan.blocks[i].target), Hex(*doc.Find(WriteOrder()[i])->data));
        EXPECT_TRUE(plan.blocks[i].warnings.empty());
    }
    // The VLANs first, the module's own address last.
    EXPECT_EQ(WriteOrder().back(), kNetworkParamBlock);
    EXPECT_EQ(WriteOrder()[3], kRemoteManagementBlock);
}

TEST(RestorePlanTest, AnEditedValueBuildsTheBlockAsTheEditorWouldWriteIt) {
    const ModuleConfig config = DefaultModuleConfig();
    BackupDocument doc = Document(config);
    Edit(doc, kFirstVlanBlock + 1, "Číslo UDP portu", "6001");
    Edit(doc, kFirstVlanBlock + 1, "Režim rozhraní", "tabulka platných IP adres");
    Edit(doc, kFirstVlanBlock + 1, "Uživatel 2 IP adresa", "10.0.0.7");
    Edit(doc, kFirstVlanBlock + 1, "Uživatel 2 Přístup", "1");
    const RestorePlan plan = PlanRestore(doc, {kFirstVlanBlock + 1}, config);
    ASSERT_FALSE(plan.Refused());
    ASSERT_EQ(plan.blocks.size(), 1u);
    const PlannedBlock& planned = plan.blocks[0];
    EXPECT_FALSE(planned.asStored);

    // The block holds the entries where the editor's codec puts them.
    ModuleConfig written = config;
    DecodeVlanInterface(planned.target, kv::Vlan::FromIndex(1), written);
    const std::size_t vlan2 = ModuleConfig::VlanOffset(1);
    EXPECT_EQ(written.U16(vlan2 + ModuleConfig::kVlanPort), 6001);
    EXPECT_EQ(written.bytes[vlan2 + ModuleConfig::kVlanMode], 2);
    EXPECT_EQ(written.bytes[vlan2 + ModuleConfig::kVlanUserIp + 1], 10);         // user 2, octet 1
    EXPECT_EQ(written.bytes[vlan2 + ModuleConfig::kVlanUserIp + 3 * 3 + 1], 7);  // octet 4
    EXPECT_EQ(written.bytes[vlan2 + ModuleConfig::kVlanUserAccess + 1], 1);
    EXPECT_EQ(planned.target[kConfigBlockSize - 1], BlockChecksum(planned.target));

    // The changes, setting by setting, the user ports the check sets included.
    const auto changes = DiffBlocks(VlanEditor(kv::Vlan::FromIndex(1)),
                                    *doc.Find(kFirstVlanBlock + 1)->data, planned.target);
    std::vector<std::string> what;
    for (const BlockChange& change : changes) what.push_back(change.what);
    EXPECT_EQ(what,
              (std::vector<std::string>{"Číslo UDP portu", "Režim rozhraní", "Uživatel 1 Port",
                                        "Uživatel 2 IP adresa", "Uživatel 2 Port",
                                        "Uživatel 2 Přístup", "Uživatel 3 Port"}));
    EXPECT_EQ(changes[0].before, "5001");
    EXPECT_EQ(changes[0].after, "6001");
    EXPECT_EQ(changes[3].after, "10.0.0.7");
}

TEST(RestorePlanTest, RefusalsCarryTheEditorsMessagesAndTheLineOfTheValue) {
    const ModuleConfig config = DefaultModuleConfig();
    struct Case {
        std::uint16_t block;
        const char* key;
        const char* value;
        const char* message;
        std::uint16_t alsoRefused = 0;  // a port taken is taken from both interfaces
    };
    const Case cases[] = {
        {kNetworkParamBlock, "Maska podsítě", "255.255.256.0",
         "Hodnoty masky musí být v rozsahu 0-255."},
        {kNetworkParamBlock, "Brána", "1.2.3.", "Hodnoty brany musí být v rozsahu 0-255."},
        {kNetworkParamBlock, "IP adresa", "1.2.3", "adresa musí mít čtyři čísla oddělená tečkou"},
        {kRemoteManagementBlock, "Číslo UDP portu", "65536",
         "Hodnota portu musí být v rozsahu 0-65535."},
        {kFirstVlanBlock, "Doba platnosti IP adresy [s]", "0",
         "Hodnota doby platnosti IP adresy musí být v rozsahu 1-255."},
        {kFirstVlanBlock, "Číslo UDP portu", "5002",
         "Číslo portu je již použito u jiného rozhraní.", kFirstVlanBlock + 2},
        {kFirstVlanBlock, "Režim rozhraní", "zapnuto", "neznámá hodnota „zapnuto“"},
        // Not a number at all, rather than a number out of range: a comment after it.
        {kFirstVlanBlock + 1, "Číslo UDP portu", "6001 ; pozn.",
         "„6001 ; pozn.“ není číslo (poznámka patří na vlastní řádek začínající „;“)"},
        {kNetworkParamBlock, "IP adresa", "10.0.0.x", "„10.0.0.x“ není číslo"},
    };
    for (const Case& c : cases) {
        BackupDocument doc = Document(config);
        Edit(doc, c.block, c.key, c.value);
        const RestorePlan plan = PlanRestore(doc, All(), config);
        ASSERT_TRUE(plan.Refused()) << c.key << "=" << c.value;
        const PlannedBlock* planned = Planned(plan, c.block);
        ASSERT_TRUE(planned->refusal.has_value());
        EXPECT_EQ(planned->refusal->line, LineOfKey(doc, c.block, c.key));
        const std::string expected =
            "[" + std::string(SectionByBlock(c.block)->name) + "] " + c.key + ": " + c.message;
        EXPECT_EQ(planned->refusal->text.substr(0, expected.size()), expected);
        // Only the block with the mistake is refused.
        for (const PlannedBlock& other : plan.blocks) {
            if (other.section->block != c.block) {
                EXPECT_EQ(other.refusal.has_value(), other.section->block == c.alsoRefused);
            }
        }
    }
}

TEST(RestorePlanTest, VlanPortsAreCheckedAgainstTheOtherInterfacesAsTheyWillBe) {
    ModuleConfig module = DefaultModuleConfig();
    BackupDocument doc = Document(module);
    // Two interfaces swap their ports in one restore: each is free once both are written.
    Edit(doc, kFirstVlanBlock, "Číslo UDP portu", "5001");
    Edit(doc, kFirstVlanBlock + 1, "Číslo UDP portu", "5000");
    EXPECT_FALSE(PlanRestore(doc, {kFirstVlanBlock, kFirstVlanBlock + 1}, module).Refused());
    // Restored alone, VLAN1's new port is still VLAN2's on the module.
    EXPECT_TRUE(PlanRestore(doc, {kFirstVlanBlock}, module).Refused());
    // The module's own VLAN2 port decides, not the file's.
    module.SetU16(ModuleConfig::VlanOffset(1) + ModuleConfig::kVlanPort, 7000);
    EXPECT_FALSE(PlanRestore(doc, {kFirstVlanBlock}, module).Refused());
    // Before any module is known, only the chosen interfaces are compared.
    EXPECT_FALSE(PlanRestore(doc, {kFirstVlanBlock}, DefaultModuleConfig(), false).Refused());
    Edit(doc, kFirstVlanBlock + 2, "Číslo UDP portu", "5001");
    EXPECT_TRUE(
        PlanRestore(doc, {kFirstVlanBlock, kFirstVlanBlock + 2}, DefaultModuleConfig(), false)
            .Refused());
}

TEST(RestorePlanTest, AValueTheModeDisablesIsKeptAndTheFileIsToldSo) {
    const ModuleConfig config = DefaultModuleConfig();  // VLAN1 in the timer mode
    BackupDocument doc = Document(config);
    Edit(doc, kFirstVlanBlock, "Uživatel 1 IP adresa", "10.0.0.1");
    Edit(doc, kFirstVlanBlock, "Doba platnosti IP adresy [s]", "20");
    const RestorePlan plan = PlanRestore(doc, {kFirstVlanBlock}, config);
    ASSERT_FALSE(plan.Refused());
    const PlannedBlock& planned = plan.blocks[0];
    ASSERT_EQ(planned.warnings.size(), 1u);
    EXPECT_EQ(planned.warnings[0].line, LineOfKey(doc, kFirstVlanBlock, "Uživatel 1 IP adresa"));
    EXPECT_NE(planned.warnings[0].text.find("nepoužije, zůstává 0.0.0.0"), std::string::npos);
    ModuleConfig written = DefaultModuleConfig();
    DecodeVlanInterface(planned.target, kv::Vlan::FromIndex(0), written);
    EXPECT_EQ(written.bytes[ModuleConfig::VlanOffset(0) + ModuleConfig::kVlanValidity], 20);
    EXPECT_EQ(written.bytes[ModuleConfig::VlanOffset(0) + ModuleConfig::kVlanUserIp], 0);
}

TEST(RestorePlanTest, ASectionWithoutItsRowsIsBuiltFromItsValuesOverTheModule) {
    ModuleConfig module = DefaultModuleConfig();
    // The module limits remote management to its table; the file says otherwise.
    module.bytes[ModuleConfig::kRemote + ModuleConfig::kRemoteMode] = 2;
    BackupDocument doc = Document(DefaultModuleConfig());
    for (BackupSection& section : doc.sections) section.data.reset();
    Edit(doc, kRemoteManagementBlock, "Číslo UDP portu", "40000");
    const RestorePlan plan = PlanRestore(doc, {kRemoteManagementBlock}, module);
    ASSERT_FALSE(plan.Refused());
    EXPECT_FALSE(plan.blocks[0].asStored);
    ModuleConfig written = DefaultModuleConfig();
    DecodeRemoteManagement(plan.blocks[0].target, written);
    EXPECT_EQ(written.U16(ModuleConfig::kRemote + ModuleConfig::kRemotePort), 40000);
    // Every setting is in the file, only its rows went: the file's mode counts.
    EXPECT_EQ(written.bytes[ModuleConfig::kRemote + ModuleConfig::kRemoteMode], 1);
}

TEST(RestorePlanTest, SelectionLeavesTheNetworkBlockOutOfAClone) {
    const BackupDocument doc = Document(DefaultModuleConfig());
    const Selection one = SelectBlocks(doc, {}, false);
    EXPECT_EQ(one.blocks, WriteOrder());
    const Selection clone = SelectBlocks(doc, {}, true);
    EXPECT_EQ(std::count(clone.blocks.begin(), clone.blocks.end(), kNetworkParamBlock), 0);
    EXPECT_EQ(clone.blocks.size(), 4u);
    const Selection named = SelectBlocks(doc, {"network", "VLAN2"}, true);
    EXPECT_EQ(named.blocks, (std::vector<std::uint16_t>{kFirstVlanBlock + 1, kNetworkParamBlock}));

    BackupDocument partial = doc;
    partial.sections.erase(partial.sections.begin());  // no [network]
    EXPECT_NE(SelectBlocks(partial, {"network"}, false).error, "");
    EXPECT_NE(SelectBlocks(doc, {"vlan9"}, false).error, "");

    // The plan also needs the VLANs it does not write, for their ports.
    EXPECT_EQ(
        BlocksToRead({kFirstVlanBlock + 1}),
        (std::vector<std::uint16_t>{kFirstVlanBlock, kFirstVlanBlock + 1, kFirstVlanBlock + 2}));
    EXPECT_EQ(BlocksToRead({kNetworkParamBlock}), (std::vector<std::uint16_t>{kNetworkParamBlock}));
}

TEST(RestorePlanTest, BytesNoSettingExplainsAreNamedByTheirOffset) {
    const ConfigBlock before = EncodeNetworkParameters(DefaultModuleConfig());
    ConfigBlock after = before;
    after[0] = 0x11;  // "not used" by the editor
    after[1] = 10;    // the IP address's first octet
    SealBlock(after);
    const auto changes = DiffBlocks(NetworkParamEditor(), before, after);
    ASSERT_EQ(changes.size(), 2u);
    EXPECT_EQ(changes[0].what, "IP adresa");
    EXPECT_EQ(changes[1].what, "bajt 0");
    EXPECT_EQ(changes[1].before, "00");
    EXPECT_EQ(changes[1].after, "11");
    EXPECT_TRUE(DiffBlocks(NetworkParamEditor(), before, before).empty());
    // A module block spoilt only in its checksum is no equal block.
    ConfigBlock spoilt = before;
    spoilt[kConfigBlockSize - 1] ^= 1;
    EXPECT_EQ(DiffBlocks(NetworkParamEditor(), spoilt, before).size(), 1u);
}

// The module's five blocks with the three VLAN ports given.
std::map<std::uint16_t, ConfigBlock> ModuleWithPorts(std::uint16_t p1, std::uint16_t p2,
                                                     std::uint16_t p3) {
    ModuleConfig config = DefaultModuleConfig();
    const std::uint16_t ports[3] = {p1, p2, p3};
    for (int v = 0; v < 3; ++v)
        config.SetU16(ModuleConfig::VlanOffset(v) + ModuleConfig::kVlanPort, ports[v]);
    std::map<std::uint16_t, ConfigBlock> blocks;
    for (const BackupBlock& block : BlocksOf(config)) blocks[block.number] = block.bytes;
    return blocks;
}

// The interfaces' ports after each step; fails the test where two share one that did not
// share it before.
std::vector<std::uint16_t> Walk(std::map<std::uint16_t, ConfigBlock> module,
                                const std::vector<WriteStep>& steps) {
    std::vector<std::uint16_t> order;
    auto sharedPairs = [&] {
        int pairs = 0;
        for (std::uint16_t a = kFirstVlanBlock; a < kFirstVlanBlock + 3; ++a)
            for (std::uint16_t b = a + 1; b < kFirstVlanBlock + 3; ++b)
                pairs += *InterfacePort(a, module[a]) == *InterfacePort(b, module[b]);
        return pairs;
    };
    int shared = sharedPairs();
    for (const WriteStep& step : steps) {
        EXPECT_EQ(step.bytes[kConfigBlockSize - 1], BlockChecksum(step.bytes));
        module[step.block] = step.bytes;
        EXPECT_LE(sharedPairs(), shared) << "after writing " << step.block;
        shared = sharedPairs();
        order.push_back(step.block);
    }
    return order;
}

std::vector<BackupBlock> Targets(const std::map<std::uint16_t, ConfigBlock>& wanted,
                                 const std::vector<std::uint16_t>& blocks) {
    std::vector<BackupBlock> targets;
    for (std::uint16_t block : blocks) targets.push_back({block, wanted.at(block)});
    return targets;
}

TEST(RestorePlanTest, InterfacesThatTradePortsNeverShareOneBetweenTwoWrites) {
    const auto module = ModuleWithPorts(5000, 5001, 5002);
    const auto swapped = ModuleWithPorts(5001, 5000, 5002);
    const std::uint16_t v1 = kFirstVlanBlock, v2 = kFirstVlanBlock + 1, v3 = kFirstVlanBlock + 2;
    const std::vector<WriteStep> steps = PlanWrites(Targets(swapped, {v1, v2}), module);
    // VLAN1 first parks on a port nobody uses, VLAN2 takes 5000, VLAN1 takes 5001.
    EXPECT_EQ(Walk(module, steps), (std::vector<std::uint16_t>{v1, v2, v1}));
    ASSERT_EQ(steps.size(), 3u);
    EXPECT_TRUE(steps[0].parking);
    EXPECT_EQ(InterfacePort(v1, steps[0].bytes), steps[0].port);
    for (std::uint16_t used : {5000, 5001, 5002, 56565}) EXPECT_NE(steps[0].port, used);
    // Parked, the interface keeps everything else it had.
    EXPECT_EQ(WithInterfacePort(v1, steps[0].bytes, 5000), module.at(v1));
    EXPECT_FALSE(steps[1].parking);
    EXPECT_EQ(steps[1].bytes, swapped.at(v2));
    EXPECT_EQ(steps[2].bytes, swapped.at(v1));

    // Three in a ring: one parks, the others follow each other.
    const auto ring = ModuleWithPorts(5001, 5002, 5000);
    EXPECT_EQ(Walk(module, PlanWrites(Targets(ring, {v1, v2, v3}), module)),
              (std::vector<std::uint16_t>{v1, v3, v2, v1}));
}

TEST(RestorePlanTest, AnInterfaceWaitsForThePortItTakesAndTheAddressGoesLast) {
    const std::uint16_t v1 = kFirstVlanBlock, v2 = kFirstVlanBlock + 1, v3 = kFirstVlanBlock + 2;
    const auto module = ModuleWithPorts(5000, 5001, 5002);
    // A chain: each takes the port the next one leaves, so the last goes first.
    const auto chain = ModuleWithPorts(5001, 5002, 5003);
    std::vector<BackupBlock> targets = Targets(chain, {v1, v2, v3});
    ModuleConfig other = DefaultModuleConfig();
    other.bytes[ModuleConfig::kIpAddress] = 10;
    other.SetU16(ModuleConfig::kRemote + ModuleConfig::kRemotePort, 40000);
    for (const BackupBlock& block : BlocksOf(other))
        if (block.number == kNetworkParamBlock || block.number == kRemoteManagementBlock)
            targets.insert(targets.begin(), block);
    const std::vector<WriteStep> steps = PlanWrites(targets, module);
    EXPECT_EQ(Walk(module, steps),
              (std::vector<std::uint16_t>{v3, v2, v1, kRemoteManagementBlock, kNetworkParamBlock}));
    for (const WriteStep& step : steps) EXPECT_FALSE(step.parking);

    // A module a cut-off swap left with two interfaces on one port is mended in an order
    // that frees the port first.
    const auto sharing = ModuleWithPorts(5001, 5001, 5002);
    ConfigBlock vlan1 = sharing.at(v1);
    vlan1[40] ^= 0x01;  // something else changes in VLAN1, its port stays
    vlan1[kConfigBlockSize - 1] = BlockChecksum(vlan1);
    const std::vector<BackupBlock> mend = {{v1, vlan1},
                                           {v2, ModuleWithPorts(5001, 5000, 5002).at(v2)}};
    EXPECT_EQ(Walk(sharing, PlanWrites(mend, sharing)), (std::vector<std::uint16_t>{v2, v1}));
}

}  // namespace
}  // namespace kv::cli
