#include "app/HelpPages.h"

#include <cstring>

#include "platform/ConfigFolder.h"
#include "platform/HelpViewer.h"
#include "platform/ProgramFolder.h"

namespace kv {
namespace {

struct WindowPage {
    const char* objectName;
    const char* page;
};

// Every window has a page of its own; the VLAN editor and the diagnostics serve all
// three interfaces with one window, and so with one page.
constexpr WindowPage kWindowPages[] = {
    {"Form1", "hlavni-okno.html"},
    {"Form2", "pripojeni.html"},
    {"FormLanParam", "sitove-parametry.html"},
    {"FormVzdalenaSprava", "vzdalena-sprava.html"},
    {"FormNastavLAN", "rozhrani-vlan.html"},
    {"FormDiagnostika", "diagnostika.html"},
    {"FormRestart", "restart.html"},
    {"FormObnova", "zaloha-obnova.html"},
    {"FormOProgramu", "o-programu.html"},
};

}  // namespace

const char* HelpPageForWindow(const std::string& objectName) {
    for (const auto& entry : kWindowPages) {
        if (objectName == entry.objectName) return entry.page;
    }
    return kWindowPages[0].page;
}

std::string HelpPageUrl(const std::string& page) {
    return std::string("qthelp://") + kHelpNamespace + "/" + kHelpFolder + "/" + page;
}

std::string HelpPageAddress(const std::string& page) {
    if (!platform::kHelpInBrowser) return HelpPageUrl(page);
    return platform::FileUrl(platform::ProgramFolder() + "help" + platform::kPathSeparator + page);
}

std::string HelpCollectionPath() {
    return platform::ProgramFolder() + "W_kv3380u.qhc";
}

std::string HelpStartPageFile() {
    return platform::ProgramFolder() + "help/" + kHelpStartPage;
}

}  // namespace kv
