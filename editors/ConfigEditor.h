#pragma once

// What the three configuration editors share, without a window: the table that
// describes an editor (its fields, its checks in order, its block, codec and enabling
// rule), and the operations that run from that table: reading the block into the editor
// copy, writing it back with read-back verification, checking the field texts into the
// editor copy, and the four buttons built on them. The blocks themselves, their numbers,
// checksum and layouts, are the core's (core/ConfigBlocks.h). A window, or a program
// without one, hands over the field texts, list positions and enabled states and gets
// status texts and outcomes back.

#include <array>
#include <cstddef>
#include <cstdint>
#include <functional>
#include <string>
#include <vector>

#include "core/ConfigBlocks.h"
#include "core/Dekl.h"
#include "core/ModuleLink.h"
#include "core/StatusSink.h"

namespace kv {

// One byte per word, as the verified write takes a block.
BlockWords BlockToWords(const ConfigBlock& block);
// The block in a block-read reply: byte k in word 4 + k, low 8 bits.
ConfigBlock BlockFromReply(const DataBuffer& reply);

// "Probíhá čtení konfigurace z modulu (N %)" and the writing counterpart.
std::string ReadProgressText(int percent);
std::string WriteProgressText(int percent);
inline constexpr const char* kReadDoneText = "Konfigurace přečtena.";
inline constexpr const char* kWriteDoneText = "Konfigurace zapsána.";
// What a passed check leaves in the status bar; "Zapsat" and "Ok" go on only after it.
inline constexpr const char* kCheckPassedText = "";

enum class FieldKind {
    kEdit,  // a number typed as text
    kList,  // a drop-down list without free text: its position counts
};

// One field of an editor window, in the editor's field order.
struct EditorField {
    std::string control;  // the window's control: "Edit1", "ComboBox2"
    std::string name;     // how it is announced: "IP adresa 1", "Uživatel 2 Přístup"
    FieldKind kind;
    std::size_t offset;              // the value it shows, in ModuleConfig
    bool word;                       // a 16-bit value (low byte first) rather than one byte
    int area;                        // enabling area; 0 is always enabled
    bool hidden;                     // filled from the editor copy but never shown nor read
    std::vector<const char*> items;  // list texts, position = value
};

enum class CheckRule {
    kByteRange,       // ByteFromText(text, low, high), stored as one byte
    kWordRange,       // WordFromText(text, low, high), stored as a 16-bit value
    kPortFree,        // the same 16-bit number must differ from every port in `others`
    kPosition,        // the list position, no check; nothing selected keeps the value
    kPositionLowBit,  // the lowest bit of the list position, as kPosition otherwise
    kSetWord,         // no field: `low` is stored as a 16-bit value whenever reached
};

// One step of an editor's check, in order. The first failing step ends the check:
// steps before it have stored their values, steps after it store nothing.
struct EditorCheck {
    int field;  // index into EditorSpec::fields; -1 for kSetWord
    CheckRule rule;
    std::int32_t low;
    std::int32_t high;
    bool store;             // false: checked only, a later step stores it
    std::size_t offset;     // where the value goes in ModuleConfig
    const char* message;    // without the leading blank; nullptr for steps that cannot fail
    bool skipWhenDisabled;  // a disabled field is neither checked nor stored
    std::vector<std::size_t> others;  // kPortFree: the ports it must differ from
};

// Everything that sets one editor apart from the others.
struct EditorSpec {
    std::string caption;  // the window's caption
    std::uint16_t block;  // its configuration block, 250..254
    std::vector<EditorField> fields;
    std::vector<EditorCheck> checks;
    // Only the editor's group of the configuration changes.
    std::function<void(const ConfigBlock&, ModuleConfig&)> decode;
    // Unnamed bytes 0, checksum in byte 255.
    std::function<ConfigBlock(const ModuleConfig&)> encode;
    // Whether the fields of an area are enabled for the configuration (its mode).
    std::function<bool(const ModuleConfig&, int area)> areaEnabled;
    // The mode list, whose choice is stored at once; -1 when the editor has none.
    int modeField = -1;
};

// What a field shows, or what the operator left in it.
struct FieldState {
    std::string text;   // edit boxes
    int position = -1;  // lists; -1 nothing selected
    bool enabled = true;
};
using FieldStates = std::vector<FieldState>;

// The value a field shows, as the editor copy holds it (0 for an offset beyond the image).
unsigned FieldValue(const EditorField& field, const ModuleConfig& config);

// The editor copy as the window shows it (ZapisOkno): every field in decimal or as a
// list position, a value the list has no entry for as no selection, and which fields
// the enabling rule leaves enabled.
FieldStates ShowFields(const EditorSpec& spec, const ModuleConfig& config);
// Whether the fields of an area are enabled for this configuration.
bool AreaEnabled(const EditorSpec& spec, const ModuleConfig& config, int area);

struct CheckOutcome {
    bool passed = false;
    int failedCheck = -1;  // index into spec.checks
    int failedField = -1;  // index into spec.fields
    std::string status;    // empty after a pass, else the step's message
};

// What the windows' PrectiOkno does: the fields (indexed as spec.fields; missing ones count as
// empty and enabled) checked in order into the editor copy. The status text goes to the sink.
CheckOutcome CheckFields(const EditorSpec& spec, const FieldStates& fields, ModuleConfig& copy,
                         const StatusSink& status);

enum class TransferResult {
    kNotConnected,  // no usable connection: nothing was sent and nothing shown
    kDone,
    kFailed,
};

struct TransferOutcome {
    TransferResult result = TransferResult::kNotConnected;
    std::uint8_t error = 0;  // the failing error byte (9: the read-back differs)
    std::string status;      // the final status text; empty when nothing was done
};

// One configuration block read with the read progress texts, the block as the reply
// carries it. `block` changes only when the read succeeded. Over a link that is not
// usable nothing is sent nor shown.
TransferOutcome ReadConfigBlock(const ModuleLink& link, std::uint16_t number, ConfigBlock& block,
                                const StatusSink& status);
// The verified write of a block exactly as given (its checksum included), with the write
// progress texts.
TransferOutcome WriteConfigBlock(const ModuleLink& link, std::uint16_t number,
                                 const ConfigBlock& block, const StatusSink& status);

// What the windows' PrectiData does: reads the editor's block into the editor copy with the
// progress texts. After a failure the copy keeps what it held.
TransferOutcome ReadEditorBlock(const ModuleLink& link, const EditorSpec& spec, ModuleConfig& copy,
                                const StatusSink& status);
// What the windows' ZapisData does: encodes the editor copy into its block and writes it with
// read-back verification.
TransferOutcome WriteEditorBlock(const ModuleLink& link, const EditorSpec& spec,
                                 const ModuleConfig& copy, const StatusSink& status);

// One open editor: its copy of the configuration and the four buttons. The record may be
// absent (a window opened without one): then reading and writing do nothing and "Ok"
// only closes.
class EditorSession {
  public:
    EditorSession(const EditorSpec& spec, ConnectionSettings* settings);

    const EditorSpec& Spec() const { return *spec_; }
    ConnectionSettings* Settings() const { return settings_; }
    ModuleConfig& Copy() { return copy_; }
    const ModuleConfig& Copy() const { return copy_; }

    // FormShow: the editor copy := the shared image. False without a record.
    bool Show();
    // The fields as ZapisOkno shows the editor copy.
    FieldStates Fields() const { return ShowFields(*spec_, copy_); }

    enum class Attempt {
        kNothing,  // no record: nothing happened
        kRefused,  // no usable connection: the status names it, nothing else changed
        kCheckFailed,
        kDone,  // the transfer ran; outcome tells how it ended
    };
    struct ButtonOutcome {
        Attempt attempt = Attempt::kNothing;
        CheckOutcome check;
        TransferOutcome transfer;
    };

    // "Přečíst" over the connection's link. The window refreshes its fields afterwards when
    // attempt is kDone, also after a failed read.
    ButtonOutcome Read(const ModuleLink& link, const StatusSink& status);
    // "Zapsat": the guard, the check, and the write only if the check passed.
    ButtonOutcome Write(const ModuleLink& link, const FieldStates& fields,
                        const StatusSink& status);

    // The same two buttons in halves, for a window whose transfers run on another thread.
    // First the guard (and for "Zapsat" the check, which fills `block` with what to
    // write); attempt kDone means the transfer may go out: ReadConfigBlock or
    // WriteConfigBlock with the editor's block number (EditorSpec::block), on the worker,
    // touching nothing of this session. Then EndRead puts a read block into the editor
    // copy.
    ButtonOutcome BeginRead(const StatusSink& status);
    ButtonOutcome BeginWrite(const FieldStates& fields, const StatusSink& status,
                             ConfigBlock& block);
    void EndRead(const TransferOutcome& transfer, const ConfigBlock& block);
    // "Ok": true when the window closes; the editor copy went into the shared image if
    // the check passed. Needs no connection and sends nothing.
    bool Confirm(const FieldStates& fields, const StatusSink& status);
    // ComboBox1Change: the chosen mode goes into the editor copy at once. A position of
    // -1 (the list cleared) changes nothing.
    void ChangeMode(int position);

  private:
    const EditorSpec* spec_;
    ConnectionSettings* settings_;
    ModuleConfig copy_;
};

}  // namespace kv
