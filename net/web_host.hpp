// The web page a hosted game serves on a port of its own: the HTTP and WebSocket server on a thread
// of its own, and the web table it shares with the game. The line protocol's port is untouched.
#pragma once

#include <cstdint>
#include <memory>
#include <string>
#include <vector>

namespace kvr {

class LanHub;
class WebTable;

// Connections open at once at most, pages and browsers together, and from any one address. Past either
// limit a newcomer displaces the oldest connection that has not said who it is, or is closed.
constexpr int MAX_WEB_CONNECTIONS = 40;
constexpr int MAX_WEB_CONNECTIONS_FROM_ONE = 16;
// How long a WebSocket may take to send its hello before it is closed.
constexpr int HELLO_WAIT_MS = 5000;

class WebHost {
  public:
    // The record the host writes, offered for download once the game is over; empty for none.
    WebHost(LanHub& hub, const std::string& recordPath);
    ~WebHost();
    WebHost(const WebHost&) = delete;
    WebHost& operator=(const WebHost&) = delete;

    // Listens on every local IPv4 address and serves; false when the port can't be had.
    bool start(std::uint16_t port);
    // The port served (the one the system chose when started on port 0); 0 when not serving.
    std::uint16_t port() const;
    WebTable& table();

    // The server proper (Boost.Beast), kept out of this header.
    struct Server;

  private:
    LanHub& hub_;
    std::unique_ptr<WebTable> table_;
    std::unique_ptr<Server> server_;
};

// The page's addresses on this machine's LAN addresses, for the host to show its players.
std::vector<std::string> pageAddresses(std::uint16_t port);

} // namespace kvr
