#include "platform/HelpViewer.h"

namespace kv::platform {

HelpViewer::HelpViewer(std::string program, std::string collection)
    : program_(std::move(program)), collection_(std::move(collection)) {}

HelpViewer::~HelpViewer() {
    End();
}

std::string HelpViewer::StartCommands(const std::string& page) {
    return "setSource " + page + ";syncContents\n";
}

std::string HelpViewer::ShowCommands(const std::string& page) {
    if (page.empty()) return "show contents\n";
    return "show contents;setSource " + page + ";syncContents\n";
}

HelpOutcome HelpViewer::Show(const std::string& page, const std::string& startPage) {
    if (Running()) {
        if (Send(ShowCommands(page))) return HelpOutcome::kShown;
        // It went away between the check and the command: start a new one below.
        End();
    }
    if (!Start()) return HelpOutcome::kNoViewer;
    // The viewer keeps the commands until its window is ready. Should it fail at once,
    // the next help command finds it gone and tries again.
    Send(StartCommands(page.empty() ? startPage : page));
    return HelpOutcome::kStarted;
}

}  // namespace kv::platform
