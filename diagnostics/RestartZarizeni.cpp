#include "diagnostics/RestartZarizeni.h"

#include "transport/InterfaceKinds.h"

namespace kv {

std::string RestartedText(std::uint8_t kind) {
    return kind == kKindLan ? "Zařízení restartováno. Nutno provést novou inicializaci připojení!"
                            : "Zařízení restartováno.";
}

RestartOutcome RestartModule(const ModuleLink& link, const StatusSink& status) {
    RestartOutcome out;
    auto show = [&](const std::string& text) {
        out.texts.push_back(text);
        ShowStatus(status, text);
    };
    if (!link.Usable()) {
        show(kNotConnectedText);
        return out;
    }
    // Painted before the request, which blocks the window until the library returns.
    show(kRestartProgressText);
    link.Transact(kRestartRequest);
    out.sent = true;
    show(RestartedText(link.Kind()));
    return out;
}

}  // namespace kv
