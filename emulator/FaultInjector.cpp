#include "emulator/FaultInjector.h"

namespace kv::emu {

FaultInjector::FaultInjector(const FaultSettings& settings)
    : settings_(settings), rng_(settings.seed) {}

bool FaultInjector::Chance(double share) {
    if (share <= 0) return false;
    if (share >= 1) return true;
    return std::uniform_real_distribution<double>(0.0, 1.0)(rng_) < share;
}

SendPlan FaultInjector::Plan(const std::vector<std::uint8_t>& reply) {
    SendPlan plan;
    if (settings_.silent || reply.empty() || Chance(settings_.drop)) return plan;
    const int copies = Chance(settings_.duplicate) ? 2 : 1;
    for (int i = 0; i < copies; ++i) {
        plan.copies.push_back(reply);
        if (Chance(settings_.corrupt)) {
            auto& copy = plan.copies.back();
            std::size_t at = std::uniform_int_distribution<std::size_t>(0, copy.size() - 1)(rng_);
            // A non-zero mask really changes the byte; the reply's CRC then gives it away.
            auto mask = static_cast<std::uint8_t>(std::uniform_int_distribution<int>(1, 255)(rng_));
            copy[at] ^= mask;
        }
    }
    if (settings_.delayMs > 0 && Chance(settings_.delayShare)) plan.delayMs = settings_.delayMs;
    return plan;
}

}  // namespace kv::emu
