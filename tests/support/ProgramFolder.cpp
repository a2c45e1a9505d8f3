#include "tests/support/ProgramFolder.h"

#include <filesystem>

#include "platform/ProgramFolder.h"
#include "transport/InterfaceKinds.h"

namespace kv::testing {

std::string FakeLibraryFolder() {
    return std::string(KV_BIN_DIR) + "/fakes/complete";
}

std::string RealLibraryFolder() {
    return KV_BIN_DIR;
}

ProgramFolder::ProgramFolder(const std::string& libraries) : folder_("kv-program") {
    ok_ = folder_.Ok();
    for (const auto& kind : kInterfaceKinds) {
        std::error_code ec;
        const auto target =
            std::filesystem::canonical(std::filesystem::path(libraries) / kind.file, ec);
        if (!ec) std::filesystem::create_symlink(target, folder_.File(kind.file), ec);
        if (ec) ok_ = false;
    }
    platform::SetProgramFolderForTesting(folder_.Path());
}

ProgramFolder::~ProgramFolder() {
    platform::SetProgramFolderForTesting("");
}

}  // namespace kv::testing
