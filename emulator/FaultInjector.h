#pragma once

// Faults the emulator can put into its replies on request, so that the libraries'
// retries, time-outs and checks can be seen at work. Decisions come from a seeded
// generator: the same seed gives the same faults in the same order.

#include <cstdint>
#include <random>
#include <vector>

namespace kv::emu {

struct FaultSettings {
    static constexpr std::uint64_t kDefaultSeed = 3380;

    double drop = 0;       // share of replies not sent
    double duplicate = 0;  // share of replies sent twice
    double corrupt = 0;    // share of sent copies with one byte changed
    std::uint32_t delayMs = 0;
    double delayShare = 1;  // share of replies that get the delay
    bool silent = false;    // answer nothing at all
    bool corruptStore = false;
    std::uint64_t seed = kDefaultSeed;
    // A stored block's reply is lost (every repeat of it too): the block is stored all
    // the same, as when a reply goes astray on the network.
    bool loseStoreReplies = false;
    // After the first block it stores, the module answers nothing more (its reply lost).
    bool silentAfterStore = false;
};

struct SendPlan {
    // The datagrams to send, in order: none (dropped), one, or two (duplicated), each
    // possibly corrupted.
    std::vector<std::vector<std::uint8_t>> copies;
    std::uint32_t delayMs = 0;
};

class FaultInjector {
  public:
    explicit FaultInjector(const FaultSettings& settings);

    SendPlan Plan(const std::vector<std::uint8_t>& reply);
    const FaultSettings& Settings() const { return settings_; }

  private:
    bool Chance(double share);

    FaultSettings settings_;
    std::mt19937_64 rng_;
};

}  // namespace kv::emu
