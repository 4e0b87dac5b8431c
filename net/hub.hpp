// The host side of LAN play: the listening socket, the accepted clients, and the line protocol.
// Host to client is the same UTF-8 text a console would show; client to host is one typed line at a time.
#pragma once

#include <cstdint>
#include <map>
#include <string>
#include <string_view>
#include <vector>

#include "net/socket.hpp"

namespace kvr {

// Longest line kept from a client; the rest of a longer line is dropped up to its newline.
constexpr std::size_t MAX_LINE_BYTES = 4096;

class LanHub {
  public:
    LanHub();
    ~LanHub();
    LanHub(const LanHub&) = delete;
    LanHub& operator=(const LanHub&) = delete;

    // Listens on every local IPv4 address; false when the socket library or the port can't be had.
    bool start(std::uint16_t port);
    // Accepts clients until `wanted` have joined or `seconds` have passed, polling every 100 ms.
    void waitForClients(int wanted, int seconds);
    const std::vector<SocketHandle>& clients() const { return clients_; }
    // The port listened on (the one the system chose when started on port 0).
    std::uint16_t port() const { return boundPort(listener_); }

    // Sends to one client. A client whose send once failed gets nothing more: it is gone or never reads.
    bool sendTo(SocketHandle s, std::string_view text);
    void broadcast(std::string_view text);
    // The client's next line without "\r", at most MAX_LINE_BYTES kept; false when the connection ended.
    bool receiveLine(SocketHandle s, std::string& out);

  private:
    // Bytes received after the end of the last line read from each client; at most one read's worth.
    struct Inbox {
        std::string rest;
        bool broken = false;
    };
    Inbox& inbox(SocketHandle s) { return inboxes_[s]; }

    SocketHandle listener_ = INVALID_NET_SOCKET;
    std::vector<SocketHandle> clients_;
    bool socketsReady_ = false;
    std::map<SocketHandle, Inbox> inboxes_;
};

} // namespace kvr
