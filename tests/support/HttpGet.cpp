#include "tests/support/HttpGet.h"

#include <arpa/inet.h>
#include <netinet/in.h>
#include <poll.h>
#include <strings.h>
#include <sys/socket.h>
#include <unistd.h>

#include <algorithm>
#include <cmath>
#include <cstdlib>
#include <sstream>

namespace kv::testing {

HttpAnswer HttpGet(std::uint16_t port, const std::string& target,
                   const std::vector<std::string>& headers, std::chrono::milliseconds timeout,
                   const std::string& host) {
    HttpAnswer answer;
    const auto deadline = std::chrono::steady_clock::now() + timeout;
    const int fd = socket(AF_INET, SOCK_STREAM | SOCK_CLOEXEC | SOCK_NONBLOCK, 0);
    if (fd < 0) return answer;
    sockaddr_in address{};
    address.sin_family = AF_INET;
    address.sin_port = htons(port);
    inet_pton(AF_INET, host.c_str(), &address.sin_addr);
    auto left = [&] {
        const auto ms = std::chrono::duration_cast<std::chrono::milliseconds>(
                            deadline - std::chrono::steady_clock::now())
                            .count();
        return static_cast<int>(std::max<long long>(0, ms));
    };
    std::string request = "GET " + target + " HTTP/1.0\r\nHost: " + host + "\r\n";
    for (const std::string& header : headers) request += header + "\r\n";
    request += "\r\n";
    bool ok = connect(fd, reinterpret_cast<sockaddr*>(&address), sizeof address) == 0 ||
              errno == EINPROGRESS;
    std::size_t sent = 0;
    while (ok && sent < request.size()) {
        pollfd p{fd, POLLOUT, 0};
        if (poll(&p, 1, left()) <= 0) ok = false;
        const ssize_t n =
            ok ? send(fd, request.data() + sent, request.size() - sent, MSG_NOSIGNAL) : -1;
        if (n > 0)
            sent += static_cast<std::size_t>(n);
        else if (n < 0 && errno != EAGAIN)
            ok = false;
    }
    std::string bytes;
    while (ok) {
        pollfd p{fd, POLLIN, 0};
        if (poll(&p, 1, left()) <= 0) {
            ok = false;
            break;
        }
        char buffer[4096];
        const ssize_t n = recv(fd, buffer, sizeof buffer, 0);
        if (n == 0) break;
        if (n < 0 && errno != EAGAIN) ok = false;
        if (n > 0) bytes.append(buffer, static_cast<std::size_t>(n));
    }
    close(fd);
    const auto end = bytes.find("\r\n\r\n");
    if (!ok || end == std::string::npos || bytes.rfind("HTTP/", 0) != 0) return answer;
    answer.status = std::atoi(bytes.c_str() + bytes.find(' ') + 1);
    answer.body = bytes.substr(end + 4);
    std::istringstream head(bytes.substr(0, end));
    std::string line;
    while (std::getline(head, line)) {
        if (line.size() > 13 && strncasecmp(line.c_str(), "content-type:", 13) == 0) {
            answer.contentType = line.substr(13);
            while (!answer.contentType.empty() &&
                   (answer.contentType.front() == ' ' || answer.contentType.back() == '\r')) {
                if (answer.contentType.front() == ' ')
                    answer.contentType.erase(0, 1);
                else
                    answer.contentType.pop_back();
            }
        }
    }
    return answer;
}

double SampleValue(const std::string& exposition, const std::string& name) {
    std::istringstream lines(exposition);
    std::string line;
    while (std::getline(lines, line))
        if (line.size() > name.size() && line.compare(0, name.size(), name) == 0 &&
            line[name.size()] == ' ')
            return std::strtod(line.c_str() + name.size() + 1, nullptr);
    return std::nan("");
}

}  // namespace kv::testing
