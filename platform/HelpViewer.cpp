#include "platform/HelpViewer.h"

#include <string_view>

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

std::string FileUrl(const std::string& path) {
    std::string url = "file://";
    std::size_t start = 0;
    const bool unc = path.size() >= 2 && (path[0] == '\\' || path[0] == '/') &&
                     (path[1] == '\\' || path[1] == '/');
    if (unc) {
        start = 2;  // file://server/share/...
    } else if (path.empty() || (path[0] != '/' && path[0] != '\\')) {
        url += '/';  // file:///C:/...
    }
    static const char kHex[] = "0123456789ABCDEF";
    for (std::size_t i = start; i < path.size(); ++i) {
        const auto c = static_cast<unsigned char>(path[i]);
        const bool plain = c >= 0x80 || (c >= 'A' && c <= 'Z') || (c >= 'a' && c <= 'z') ||
                           (c >= '0' && c <= '9') ||
                           std::string_view("-._~/:").find(c) != std::string_view::npos;
        if (c == '\\') {
            url += '/';
        } else if (plain) {
            url += static_cast<char>(c);
        } else {
            url += '%';
            url += kHex[c >> 4];
            url += kHex[c & 0x0F];
        }
    }
    return url;
}

}  // namespace kv::platform
