#pragma once

// A plain HTTP/1.0 GET over loopback for the tests of the exporter and of Prometheus: one
// request, the whole answer, bounded in time. Kept apart from the server's library so
// that a test reads the answer as any client would.

#include <chrono>
#include <cstdint>
#include <string>
#include <vector>

namespace kv::testing {

struct HttpAnswer {
    int status = 0;  // 0: no answer (refused, cut off, or too slow)
    std::string contentType;
    std::string body;
};

// `headers` are whole lines without line ends ("X-Prometheus-Scrape-Timeout-Seconds: 2").
HttpAnswer HttpGet(std::uint16_t port, const std::string& target,
                   const std::vector<std::string>& headers = {},
                   std::chrono::milliseconds timeout = std::chrono::seconds(30),
                   const std::string& host = "127.0.0.1");

// The value of the sample `name` (its name with the labels as written, e.g.
// `kv3380u_vlan_allowed_total{vlan="1"}`) in a text exposition; NaN when absent.
double SampleValue(const std::string& exposition, const std::string& name);

}  // namespace kv::testing
