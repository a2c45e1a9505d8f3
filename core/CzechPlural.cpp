#include "core/CzechPlural.h"

namespace kv {

const char* Plural(std::size_t count, const char* one, const char* few, const char* many) {
    if (count == 1) return one;
    return count >= 2 && count <= 4 ? few : many;
}

std::string Counted(std::size_t count, const char* one, const char* few, const char* many) {
    return std::to_string(count) + " " + Plural(count, one, few, many);
}

}  // namespace kv
