#pragma once

// The open connections of one library, by handle. Handles are small non-zero numbers the
// library hands out, never addresses, so a stale or forged handle is simply not found.

#include <cstdint>
#include <map>
#include <memory>
#include <mutex>

#include "libraries/Link.h"

namespace kv::lib {

struct Connection {
    std::unique_ptr<Link> link;
    std::uint8_t kind = 0;
    std::uint32_t linkTimeoutMs = 1000;   // from the InitBlock
    std::uint32_t baud = 9600;            // from SetConfig
    std::uint32_t replyTimeoutMs = 1000;  // from SetConfig
    std::uint32_t mode = 0;               // from SetConfig, kept for GetConfig
    std::uint32_t nextSequence = 0;
    // One exchange at a time per connection; a second caller waits its turn.
    std::mutex exchange;
};

class ConnectionTable {
  public:
    static constexpr std::size_t kMaxOpen = 64;

    static ConnectionTable& Instance();

    // kOk and the new handle, or kTooManyOpen.
    std::uint32_t Add(std::shared_ptr<Connection> connection, std::uint32_t& handle);
    // Null when the handle is not open. The connection stays alive while a caller holds
    // it, even if another thread closes the handle meanwhile.
    std::shared_ptr<Connection> Find(std::uint32_t handle);
    std::shared_ptr<Connection> Remove(std::uint32_t handle);

  private:
    std::mutex mutex_;
    std::map<std::uint32_t, std::shared_ptr<Connection>> open_;
    std::uint32_t last_ = 0;
};

}  // namespace kv::lib
