// For the libFuzzer targets: with KV_FUZZ_SEED_DIR set, the target's own seeds (the valid
// inputs FuzzDriver mutates from) are written there as files before fuzzing starts, so a
// long run can begin its corpus from them instead of from nothing.

#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <fstream>
#include <string>
#include <vector>

extern "C" __attribute__((weak)) std::size_t KvFuzzSeeds(
    std::vector<std::vector<std::uint8_t>>* out);

extern "C" int LLVMFuzzerInitialize(int* argc, char*** argv) {
    (void)argc;
    (void)argv;
    const char* folder = std::getenv("KV_FUZZ_SEED_DIR");
    if (folder == nullptr || KvFuzzSeeds == nullptr) return 0;
    std::vector<std::vector<std::uint8_t>> seeds;
    KvFuzzSeeds(&seeds);
    for (std::size_t i = 0; i < seeds.size(); ++i) {
        std::ofstream file(std::string(folder) + "/seed-" + std::to_string(i), std::ios::binary);
        file.write(reinterpret_cast<const char*>(seeds[i].data()),
                   static_cast<std::streamsize>(seeds[i].size()));
    }
    return 0;
}
