#include "diagnostics/RestartZarizeni.h"

#include "transport/InterfaceKinds.h"
#include "transport/Qxxx380.h"

namespace kv {

std::string RestartedText(std::uint8_t kind) {
    return kind == kKindLan ? " Zařízení restartováno. Nutno provést novou inicializaci připojení!"
                            : " Zařízení restartováno.";
}

RestartOutcome RestartZarizeni(const ConnectionSettings& settings, const StatusSink& status) {
    RestartOutcome out;
    auto show = [&](const std::string& text) {
        out.texts.push_back(text);
        ShowStatus(status, text);
    };
    if (!ConnectionUsable(settings)) {
        show(kNotConnectedText);
        return out;
    }
    // Painted before the request, which blocks the window until the library returns.
    show(kRestartProgressText);
    DataBuffer data{};
    std::uint8_t command = 0;
    std::uint8_t error = 0;
    Transact(settings.interfaceKind, settings.handle, settings.moduleAddress, kRestartFunction,
             kRestartPeripheral, command, error, data);
    out.sent = true;
    show(RestartedText(settings.interfaceKind));
    return out;
}

}  // namespace kv
