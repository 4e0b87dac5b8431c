// The LAN hub's line reader on arbitrary bytes from a connected socket pair: every complete line comes
// back once, without "\r", cut to MAX_LINE_BYTES; an unfinished last line is dropped when the peer closes.
#include <sys/socket.h>
#include <unistd.h>

#include <cstdint>
#include <cstdlib>
#include <string>
#include <vector>

#include "net/hub.hpp"

namespace {

void check(bool ok) {
    if (!ok) std::abort();
}

std::vector<std::string> expectedLines(const std::string& bytes) {
    std::vector<std::string> lines;
    std::string line;
    for (char ch : bytes) {
        if (ch == '\n') {
            lines.push_back(line);
            line.clear();
        } else if (ch != '\r' && line.size() < kvr::MAX_LINE_BYTES) {
            line += ch;
        }
    }
    return lines;
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    // Everything is written before anything is read, so the input must fit the socket buffer.
    if (size > 60000) return 0;
    int pair[2];
    check(socketpair(AF_UNIX, SOCK_STREAM, 0, pair) == 0);
    const std::string bytes(reinterpret_cast<const char*>(data), size);
    check(kvr::sendSocketBytes(static_cast<kvr::SocketHandle>(pair[1]), bytes.data(), bytes.size()) ||
          size == 0);
    close(pair[1]);

    kvr::LanHub hub;
    kvr::SocketHandle reader = static_cast<kvr::SocketHandle>(pair[0]);
    std::vector<std::string> got;
    std::string line;
    while (hub.receiveLine(reader, line)) got.push_back(line);
    check(got == expectedLines(bytes));
    check(!hub.receiveLine(reader, line) && line.empty());
    close(pair[0]);
    return 0;
}
