// Runs a fuzz entry point without libFuzzer: a few hand-made seeds, then a bounded
// number of inputs mutated from them with a fixed-seed generator, so a failure repeats.

#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <cstring>
#include <random>
#include <vector>

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size);
// A target may offer seeds (valid inputs to mutate from); weak so it may also not.
extern "C" __attribute__((weak)) std::size_t KvFuzzSeeds(
    std::vector<std::vector<std::uint8_t>>* out);

int main(int argc, char** argv) {
    long runs = argc > 1 ? std::strtol(argv[1], nullptr, 10) : 10000;
    if (runs <= 0 || runs > 10'000'000) runs = 10000;
    std::vector<std::vector<std::uint8_t>> seeds = {{}, {0}, {0xFF, 0xFF, 0xFF, 0xFF}};
    if (KvFuzzSeeds != nullptr) KvFuzzSeeds(&seeds);
    for (const auto& s : seeds) LLVMFuzzerTestOneInput(s.data(), s.size());

    std::mt19937 rng(12345);
    std::vector<std::uint8_t> buf;
    for (long i = 0; i < runs; ++i) {
        buf = seeds[rng() % seeds.size()];
        int edits = 1 + static_cast<int>(rng() % 8);
        for (int e = 0; e < edits; ++e) {
            switch (rng() % 5) {
                case 0:  // flip a byte
                    if (!buf.empty())
                        buf[rng() % buf.size()] ^= static_cast<std::uint8_t>(1u << (rng() % 8));
                    break;
                case 1:  // random byte
                    if (!buf.empty()) buf[rng() % buf.size()] = static_cast<std::uint8_t>(rng());
                    break;
                case 2:  // insert
                    if (buf.size() < 4096)
                        buf.insert(buf.begin() + static_cast<std::ptrdiff_t>(
                                                     buf.empty() ? 0 : rng() % buf.size()),
                                   static_cast<std::uint8_t>(rng()));
                    break;
                case 3:  // truncate
                    if (!buf.empty()) buf.resize(rng() % buf.size());
                    break;
                default:  // append garbage
                    for (int k = static_cast<int>(rng() % 16); k > 0 && buf.size() < 4096; --k)
                        buf.push_back(static_cast<std::uint8_t>(rng()));
                    break;
            }
        }
        LLVMFuzzerTestOneInput(buf.data(), buf.size());
    }
    return 0;
}
