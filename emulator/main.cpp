// kv3380u-emulator: a stand-in KV-3380U module on the loopback network.

#include <unistd.h>

#include <chrono>
#include <cstdio>
#include <random>
#include <string>
#include <vector>

#include "emulator/Module.h"
#include "emulator/Options.h"
#include "emulator/Server.h"
#include "emulator/StateFile.h"
#include "emulator/StateWriter.h"

int main(int argc, char** argv) {
    using namespace kv::emu;
    // Before anything else, and above all before the state writer's thread: a thread
    // started with SIGINT or SIGTERM open could be picked to take a stop signal, which
    // would end the emulator at once, its latest stores unwritten. Every thread started
    // later inherits the block; the server's loop takes the signals from a signalfd.
    Server::BlockStopSignals();
    auto parsed = ParseOptions(std::vector<std::string>(argv + 1, argv + argc));
    if (!parsed.ok) {
        std::fprintf(stderr, "kv3380u-emulator: %s\nTry kv3380u-emulator --help.\n",
                     parsed.error.c_str());
        return 2;
    }
    const Options& options = parsed.options;
    if (options.help) {
        std::fputs(UsageText().c_str(), stdout);
        return 0;
    }

    LoadResult loaded = LoadState(options.statePath);
    ModuleState state;
    switch (loaded.kind) {
        case LoadResult::kLoaded:
            state = loaded.state;
            break;
        case LoadResult::kAbsent: {
            std::random_device device;
            const std::uint64_t seed =
                (static_cast<std::uint64_t>(device()) << 32) ^ device() ^
                static_cast<std::uint64_t>(::getpid()) ^
                static_cast<std::uint64_t>(
                    std::chrono::system_clock::now().time_since_epoch().count());
            state = NewState(options.usbSerial.value_or("00000001"), seed);
            std::string error;
            if (!SaveState(options.statePath, state, &error)) {
                std::fprintf(stderr, "kv3380u-emulator: cannot create %s\n", error.c_str());
                return 1;
            }
            break;
        }
        case LoadResult::kFailed:
            // Left as it is: the file may hold settings someone wants back.
            std::fprintf(stderr, "kv3380u-emulator: %s; not overwriting it\n",
                         loaded.error.c_str());
            return 1;
    }
    const std::string serial = options.usbSerial.value_or(state.serial);
    StateWriter writer(options.statePath);
    Module module(
        state,
        [] {
            return static_cast<std::uint64_t>(
                std::chrono::duration_cast<std::chrono::milliseconds>(
                    std::chrono::steady_clock::now().time_since_epoch())
                    .count());
        },
        // The folder proved writable when the state was loaded or created; a later
        // failure to write is reported by the writer and the block stays in memory.
        [&writer](const ModuleState& s, std::string*) {
            writer.Submit(s);
            return true;
        },
        options.faults.corruptStore);
    module.SetSerial(serial);

    Server server(options, module, serial);
    if (!server.Start()) return 1;
    const int code = server.Run();
    return writer.Flush() ? code : 1;
}
