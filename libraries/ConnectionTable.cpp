#include "libraries/ConnectionTable.h"

#include "libraries/KvWire.h"

namespace kv::lib {

ConnectionTable& ConnectionTable::Instance() {
    static ConnectionTable table;
    return table;
}

std::uint32_t ConnectionTable::Add(std::shared_ptr<Connection> connection, std::uint32_t& handle) {
    std::lock_guard lock(mutex_);
    if (open_.size() >= kMaxOpen) return wire::kTooManyOpen;
    // Handles are not reused right away, so a caller holding a closed handle gets
    // kBadHandle rather than somebody else's connection.
    do {
        ++last_;
    } while (last_ == 0 || open_.count(last_) != 0);
    open_.emplace(last_, std::move(connection));
    handle = last_;
    return wire::kOk;
}

std::shared_ptr<Connection> ConnectionTable::Find(std::uint32_t handle) {
    std::lock_guard lock(mutex_);
    auto it = open_.find(handle);
    return it == open_.end() ? nullptr : it->second;
}

std::shared_ptr<Connection> ConnectionTable::Remove(std::uint32_t handle) {
    std::lock_guard lock(mutex_);
    auto it = open_.find(handle);
    if (it == open_.end()) return nullptr;
    auto connection = std::move(it->second);
    open_.erase(it);
    return connection;
}

}  // namespace kv::lib
