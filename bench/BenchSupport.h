#pragma once

// What the benchmarks share: a series of timed runs of one operation and its
// percentiles, and names padded for the tables they print.

#include <algorithm>
#include <cstddef>
#include <functional>
#include <string>
#include <utility>
#include <vector>

#include "platform/Text.h"

namespace kvbench {

// The p-th percentile (0..100) by nearest rank; 0 for no values.
inline double Percentile(std::vector<double> values, double p) {
    if (values.empty()) return 0;
    std::sort(values.begin(), values.end());
    const auto at =
        static_cast<std::size_t>(p / 100.0 * static_cast<double>(values.size() - 1) + 0.5);
    return values[std::min(at, values.size() - 1)];
}

// One operation timed again and again: the times of its successful runs in
// microseconds and the count of failed ones.
struct Series {
    Series(std::string n, std::function<bool()> o) : name(std::move(n)), op(std::move(o)) {}

    std::string name;
    std::function<bool()> op;  // false when the operation failed
    std::vector<double> us;
    std::size_t failures = 0;

    double Percentile(double p) const { return kvbench::Percentile(us, p); }
};

// The name padded to `width` characters, counting each UTF-8 character once.
inline std::string Padded(const std::string& text, std::size_t width) {
    const std::size_t chars = kv::platform::Utf8Length(text);
    return text + std::string(chars < width ? width - chars : 0, ' ');
}

}  // namespace kvbench
