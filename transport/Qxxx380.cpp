#include "transport/Qxxx380.h"

#include "platform/ProgramFolder.h"
#include "transport/LoadFailure.h"

namespace kv {
namespace {

std::string LibraryPath(std::uint8_t kind) {
    return platform::ProgramFolder() + kInterfaceKinds[kind].file;
}

std::string EntryName(std::uint8_t kind, const char* suffix) {
    return std::string(kInterfaceKinds[kind].prefix) + "_" + suffix;
}

template <typename F>
F Resolve(const platform::DynamicLibrary& library, std::uint8_t kind, const char* suffix) {
    return reinterpret_cast<F>(library.Symbol(EntryName(kind, suffix).c_str()));
}

// The texts name the library file, not the kind: code 100 belongs to kind 2.
std::string TableText(std::uint32_t code) {
    for (const auto& info : kInterfaceKinds) {
        if (code == info.loadFailed) return std::string("chyba inicializace knihovny ") + info.file;
        if (code == info.entryMissing) return std::string("chybná knihovna ") + info.file;
    }
    return "neznámý chybový kód";
}

// A library whose Init failed is let go at once, so the text of its failure code would
// otherwise be lost just when the connection dialog wants to show it: the kind's file is
// loaded for this one call, asked for its Error and let go again.
std::uint32_t ErrorTextFromUnloadedLibrary(std::uint8_t kind, std::uint32_t code, TextWords& text) {
    platform::DynamicLibrary library;
    if (!library.Load(LibraryPath(kind))) return kErrNotLoaded;
    auto error = Resolve<kvt_error_fn>(library, kind, "Error");
    if (error == nullptr) return kErrNotLoaded;
    return error(code, text.data());
}

}  // namespace

std::shared_ptr<LoadedLibrary> LoadedLibrary::Load(std::uint8_t kind, std::uint32_t& code) {
    if (kind >= kInterfaceKindCount) {
        code = kErrNotLoaded;
        return nullptr;
    }
    std::shared_ptr<LoadedLibrary> loaded(new LoadedLibrary(kind));
    const std::string path = LibraryPath(kind);
    if (!loaded->library_.Load(path)) {
        NoteLoadFailure(kind, NotLoaded(path, loaded->library_));
        code = kInterfaceKinds[kind].loadFailed;
        return nullptr;
    }
    if (!loaded->ResolveAll()) {
        NoteLoadFailure(kind, EntryMissing(kind, path, loaded->library_));
        code = kInterfaceKinds[kind].entryMissing;
        return nullptr;
    }
    NoteLoaded(kind);
    code = 0;
    return loaded;
}

bool LoadedLibrary::ResolveAll() {
    // Resolved in the library's documented order; every one is required, even those the
    // program never calls, so that a library built against another contract is refused
    // as a whole rather than failing halfway through a session.
    version_ = Resolve<kvt_version_fn>(library_, kind_, "Version");
    if (version_ == nullptr) return false;
    init_ = Resolve<void*>(library_, kind_, "Init");
    if (init_ == nullptr) return false;
    setConfig_ = Resolve<kvt_set_config_fn>(library_, kind_, "SetConfig");
    if (setConfig_ == nullptr) return false;
    getConfig_ = Resolve<kvt_get_config_fn>(library_, kind_, "GetConfig");
    if (getConfig_ == nullptr) return false;
    send_ = Resolve<kvt_send_fn>(library_, kind_, "Send");
    if (send_ == nullptr) return false;
    done_ = Resolve<kvt_done_fn>(library_, kind_, "Done");
    if (done_ == nullptr) return false;
    error_ = Resolve<kvt_error_fn>(library_, kind_, "Error");
    return error_ != nullptr;
}

std::uint32_t LoadedLibrary::Init(std::uint32_t* handle, const InitBlock& block) const {
    switch (kInterfaceKinds[kind_].initForm) {
        case InitForm::kWord:
            return reinterpret_cast<kvt_init_word_fn>(init_)(handle,
                                                             static_cast<std::uint32_t>(block[0]));
        case InitForm::kPlain:
            return reinterpret_cast<kvt_init_plain_fn>(init_)(handle);
        case InitForm::kBlock:
        default:
            return reinterpret_cast<kvt_init_block_fn>(init_)(handle, block.data());
    }
}

std::uint32_t LoadedLibrary::SetConfig(std::uint32_t handle, std::uint32_t baud,
                                       std::uint32_t replyTimeoutMs, std::uint32_t mode) const {
    return setConfig_(handle, baud, replyTimeoutMs, mode);
}

std::uint32_t LoadedLibrary::Send(std::uint32_t handle, const RequestFrame& frame, DataBuffer& data,
                                  std::uint32_t* replyValue, std::uint32_t* errorWord) const {
    std::uint32_t replySpare = 0;
    std::uint32_t errorSpare = 0;
    return send_(handle, frame.data(), data.data(),
                 replyValue != nullptr ? replyValue : &replySpare,
                 errorWord != nullptr ? errorWord : &errorSpare);
}

std::uint32_t LoadedLibrary::Done(std::uint32_t* handle) const {
    return done_(handle);
}

std::uint32_t LoadedLibrary::ErrorText(std::uint32_t code, TextWords& text) const {
    if (code < 100) return error_(code, text.data());
    TextToWords(TableText(code), text);
    return 0;
}

std::string ErrorString(std::uint8_t kind, std::uint32_t code) {
    TextWords text{};
    if (code < 100) {
        if (kind < kInterfaceKindCount) ErrorTextFromUnloadedLibrary(kind, code, text);
    } else {
        TextToWords(TableText(code), text);
    }
    return TextFromWords(text);
}

}  // namespace kv
