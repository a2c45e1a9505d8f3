#include "editors/ConfigEditor.h"

#include "core/NumberText.h"

namespace kv {
namespace {

std::string Progress(const char* what, int percent) {
    return std::string(what) + std::to_string(percent) + " %)";
}

// Progress of a sequence of steps: an integer share of 100.
int Percent(int done, int steps) {
    return steps > 0 ? 100 * done / steps : 100;
}

bool Fits(std::size_t offset, bool word) {
    return word ? offset + 1 < ModuleConfig::kSize : offset < ModuleConfig::kSize;
}

void StoreByte(ModuleConfig& copy, std::size_t offset, std::uint8_t value) {
    if (Fits(offset, false)) copy.bytes[offset] = value;
}

void StoreWord(ModuleConfig& copy, std::size_t offset, std::uint16_t value) {
    if (Fits(offset, true)) copy.SetU16(offset, value);
}

}  // namespace

unsigned FieldValue(const EditorField& field, const ModuleConfig& config) {
    if (!Fits(field.offset, field.word)) return 0;
    return field.word ? config.U16(field.offset) : config.bytes[field.offset];
}

BlockWords BlockToWords(const ConfigBlock& block) {
    BlockWords words{};
    for (std::size_t k = 0; k < block.size(); ++k) words[k] = block[k];
    return words;
}

ConfigBlock BlockFromReply(const DataBuffer& reply) {
    ConfigBlock block{};
    for (std::size_t k = 0; k < block.size(); ++k)
        block[k] = static_cast<std::uint8_t>(reply[4 + k] & 0xFF);
    return block;
}

std::string ReadProgressText(int percent) {
    return Progress("Probíhá čtení konfigurace z modulu (", percent);
}

std::string WriteProgressText(int percent) {
    return Progress("Probíhá zápis konfigurace do modulu (", percent);
}

bool AreaEnabled(const EditorSpec& spec, const ModuleConfig& config, int area) {
    if (area == 0) return true;
    return spec.areaEnabled ? spec.areaEnabled(config, area) : true;
}

FieldStates ShowFields(const EditorSpec& spec, const ModuleConfig& config) {
    FieldStates states;
    states.reserve(spec.fields.size());
    for (const EditorField& field : spec.fields) {
        FieldState state;
        const unsigned value = FieldValue(field, config);
        if (field.kind == FieldKind::kList) {
            // A value the list has no entry for shows as no selection.
            state.position = value < field.items.size() ? static_cast<int>(value) : -1;
        } else {
            state.text = std::to_string(value);
        }
        state.enabled = AreaEnabled(spec, config, field.area);
        states.push_back(std::move(state));
    }
    return states;
}

CheckOutcome CheckFields(const EditorSpec& spec, const FieldStates& fields, ModuleConfig& copy,
                         const StatusSink& status) {
    static const FieldState kMissing;
    CheckOutcome outcome;
    for (std::size_t i = 0; i < spec.checks.size(); ++i) {
        const EditorCheck& check = spec.checks[i];
        const FieldState& field =
            check.field >= 0 && static_cast<std::size_t>(check.field) < fields.size()
                ? fields[static_cast<std::size_t>(check.field)]
                : kMissing;
        if (check.skipWhenDisabled && !field.enabled) continue;

        bool passed = true;
        switch (check.rule) {
            case CheckRule::kByteRange:
                if (const auto value = ByteFromText(field.text, check.low, check.high)) {
                    if (check.store) StoreByte(copy, check.offset, *value);
                } else {
                    passed = false;
                }
                break;
            case CheckRule::kWordRange:
                if (const auto value = WordFromText(field.text, check.low, check.high)) {
                    if (check.store) StoreWord(copy, check.offset, *value);
                } else {
                    passed = false;
                }
                break;
            case CheckRule::kPortFree:
                if (const auto value = WordFromText(field.text, check.low, check.high)) {
                    for (std::size_t other : check.others) {
                        if (Fits(other, true) && copy.U16(other) == *value) passed = false;
                    }
                    if (passed && check.store) StoreWord(copy, check.offset, *value);
                } else {
                    passed = false;
                }
                break;
            case CheckRule::kPosition:
                // With nothing selected the value stays as it was: a value the list cannot
                // show goes back to the module unchanged unless a mode is picked.
                if (field.position >= 0 && field.position <= 0xFF)
                    StoreByte(copy, check.offset, static_cast<std::uint8_t>(field.position));
                break;
            case CheckRule::kPositionLowBit:
                if (field.position >= 0)
                    StoreByte(copy, check.offset, static_cast<std::uint8_t>(field.position & 1));
                break;
            case CheckRule::kSetWord:
                StoreWord(copy, check.offset, static_cast<std::uint16_t>(check.low));
                break;
        }
        if (!passed) {
            outcome.failedCheck = static_cast<int>(i);
            outcome.failedField = check.field;
            outcome.status = check.message != nullptr ? check.message : "";
            ShowStatus(status, outcome.status);
            return outcome;
        }
    }
    outcome.passed = true;
    outcome.status = kCheckPassedText;
    ShowStatus(status, outcome.status);
    return outcome;
}

TransferOutcome ReadConfigBlock(const ModuleLink& link, std::uint16_t number, ConfigBlock& block,
                                const StatusSink& status) {
    TransferOutcome outcome;
    if (!link.Usable()) return outcome;

    // One block read is the whole sequence.
    constexpr int kSteps = 1;
    ShowStatus(status, ReadProgressText(Percent(0, kSteps)));

    DataBuffer request{};
    request[1] = number & 0xFF;
    request[2] = number >> 8;
    const Reply reply = link.Transact(kReadBlockRequest, request);
    if (!reply.Ok()) {
        outcome.result = TransferResult::kFailed;
        outcome.error = reply.error;
        outcome.status = link.ErrorText(reply.error);
        ShowStatus(status, outcome.status);
        return outcome;
    }
    ShowStatus(status, ReadProgressText(Percent(1, kSteps)));
    block = BlockFromReply(reply.data);

    outcome.result = TransferResult::kDone;
    outcome.status = kReadDoneText;
    ShowStatus(status, outcome.status);
    return outcome;
}

TransferOutcome WriteConfigBlock(const ModuleLink& link, std::uint16_t number,
                                 const ConfigBlock& block, const StatusSink& status) {
    TransferOutcome outcome;
    if (!link.Usable()) return outcome;

    constexpr int kSteps = 1;
    ShowStatus(status, WriteProgressText(Percent(0, kSteps)));

    const WriteOutcome write = link.WriteBlockVerified(number, BlockToWords(block));
    if (!write.Ok()) {
        outcome.result = TransferResult::kFailed;
        outcome.error = write.error;
        outcome.status = write.text;
        ShowStatus(status, outcome.status);
        return outcome;
    }
    ShowStatus(status, WriteProgressText(Percent(1, kSteps)));
    outcome.result = TransferResult::kDone;
    outcome.status = kWriteDoneText;
    ShowStatus(status, outcome.status);
    return outcome;
}

TransferOutcome ReadEditorBlock(const ModuleLink& link, const EditorSpec& spec, ModuleConfig& copy,
                                const StatusSink& status) {
    ConfigBlock block{};
    TransferOutcome outcome = ReadConfigBlock(link, spec.block, block, status);
    if (outcome.result == TransferResult::kDone && spec.decode) spec.decode(block, copy);
    return outcome;
}

TransferOutcome WriteEditorBlock(const ModuleLink& link, const EditorSpec& spec,
                                 const ModuleConfig& copy, const StatusSink& status) {
    // An encoder leaves its block sealed; without one the block is all zero, which sums to 0.
    const ConfigBlock block = spec.encode ? spec.encode(copy) : ConfigBlock{};
    return WriteConfigBlock(link, spec.block, block, status);
}

EditorSession::EditorSession(const EditorSpec& spec, ConnectionSettings* settings)
    : spec_(&spec),
      settings_(settings),
      copy_(settings != nullptr ? settings->moduleConfig : DefaultModuleConfig()) {}

bool EditorSession::Show() {
    if (settings_ == nullptr) return false;
    copy_ = settings_->moduleConfig;
    return true;
}

EditorSession::ButtonOutcome EditorSession::BeginRead(const StatusSink& status) {
    ButtonOutcome outcome;
    if (settings_ == nullptr) return outcome;
    if (!ConnectionUsable(*settings_)) {
        outcome.attempt = Attempt::kRefused;
        ShowStatus(status, kNotConnectedText);
        return outcome;
    }
    outcome.attempt = Attempt::kDone;
    return outcome;
}

void EditorSession::EndRead(const TransferOutcome& transfer, const ConfigBlock& block) {
    if (transfer.result == TransferResult::kDone && spec_->decode) spec_->decode(block, copy_);
}

EditorSession::ButtonOutcome EditorSession::BeginWrite(const FieldStates& fields,
                                                       const StatusSink& status,
                                                       ConfigBlock& block) {
    ButtonOutcome outcome = BeginRead(status);
    if (outcome.attempt != Attempt::kDone) return outcome;
    outcome.check = CheckFields(*spec_, fields, copy_, status);
    if (!outcome.check.passed) {
        outcome.attempt = Attempt::kCheckFailed;
        return outcome;
    }
    // An encoder leaves its block sealed; without one the block is all zero, which sums to 0.
    block = spec_->encode ? spec_->encode(copy_) : ConfigBlock{};
    return outcome;
}

EditorSession::ButtonOutcome EditorSession::Read(const ModuleLink& link, const StatusSink& status) {
    ButtonOutcome outcome = BeginRead(status);
    if (outcome.attempt != Attempt::kDone) return outcome;
    ConfigBlock block{};
    outcome.transfer = ReadConfigBlock(link, spec_->block, block, status);
    EndRead(outcome.transfer, block);
    return outcome;
}

EditorSession::ButtonOutcome EditorSession::Write(const ModuleLink& link, const FieldStates& fields,
                                                  const StatusSink& status) {
    ConfigBlock block{};
    ButtonOutcome outcome = BeginWrite(fields, status, block);
    if (outcome.attempt != Attempt::kDone) return outcome;
    outcome.transfer = WriteConfigBlock(link, spec_->block, block, status);
    return outcome;
}

bool EditorSession::Confirm(const FieldStates& fields, const StatusSink& status) {
    if (settings_ == nullptr) return true;
    if (!CheckFields(*spec_, fields, copy_, status).passed) return false;
    settings_->moduleConfig = copy_;
    return true;
}

void EditorSession::ChangeMode(int position) {
    if (spec_->modeField < 0 ||
        static_cast<std::size_t>(spec_->modeField) >= spec_->fields.size() || position < 0 ||
        position > 0xFF)
        return;
    const EditorField& field = spec_->fields[static_cast<std::size_t>(spec_->modeField)];
    StoreByte(copy_, field.offset, static_cast<std::uint8_t>(position));
}

}  // namespace kv
