#pragma once

// The web browser's stand-in for the tests of the help on Windows: KV3380U_BROWSER names
// the fake viewer, which logs each address it was started with ("open ADDRESS") into a
// scratch file, so no real browser starts. Both variables are put back when it goes.

#include <chrono>
#include <string>
#include <thread>

#include "platform/HelpViewer.h"
#include "tests/support/Environment.h"
#include "tests/support/ScratchFolder.h"

namespace kv::testing {

class FakeBrowser {
  public:
    bool Ok() const { return folder_.Ok(); }
    std::string Log() const { return ReadBytes(log_); }
    // A file of the scratch folder (for a browser that is not there).
    std::string File(const std::string& name) const { return folder_.File(name); }
    // Waits (bounded) until the stand-in has logged the line.
    bool Logged(const std::string& line) const {
        const auto deadline = std::chrono::steady_clock::now() + std::chrono::seconds(20);
        while (std::chrono::steady_clock::now() < deadline) {
            if (Log().find(line + "\n") != std::string::npos) return true;
            std::this_thread::sleep_for(std::chrono::milliseconds(10));
        }
        return false;
    }

  private:
    ScratchFolder folder_{"kv-browser"};
    std::string log_ = folder_.File("browser.log");
    ScopedEnvironment browser_{platform::kBrowserVariable,
                               std::string(KV_BIN_DIR) + "/fakes/fake_help_viewer.exe"};
    ScopedEnvironment logName_{"KV_FAKE_BROWSER_LOG", log_};
};

}  // namespace kv::testing
