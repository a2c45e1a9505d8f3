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
        const auto target = std::filesystem::canonical(PathOf(libraries) / kind.file, ec);
        // Windows: a hard link (a symbolic link needs a privilege there); the loader keeps
        // an instance a path, and the program and the test open the same path.
#ifdef _WIN32
        if (!ec) std::filesystem::create_hard_link(target, PathOf(folder_.File(kind.file)), ec);
#else
        if (!ec) std::filesystem::create_symlink(target, folder_.File(kind.file), ec);
#endif
        if (ec) ok_ = false;
    }
    platform::SetProgramFolderForTesting(folder_.Path());
}

ProgramFolder::~ProgramFolder() {
    platform::SetProgramFolderForTesting("");
}

}  // namespace kv::testing
