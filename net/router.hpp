// The routing buffer of a hosted game: standard output goes to the seat being addressed, a remote
// seat's socket or the host console; public text goes to the host console whoever is addressed.
#pragma once

#include <streambuf>
#include <string>

#include "net/socket.hpp"

namespace kvr {

class LanHub;

class NetworkStreamBuf : public std::streambuf {
  public:
    NetworkStreamBuf(std::streambuf* host, LanHub* hub) : host_(host), hub_(hub) {}

    void setActive(SocketHandle s) { active_ = s; }
    SocketHandle active() const { return active_; }
    // Always the host console, flushed.
    void publicText(const std::string& text);

  protected:
    int sync() override;
    std::streamsize xsputn(const char* s, std::streamsize n) override;
    int_type overflow(int_type c) override;

  private:
    std::streambuf* host_;
    LanHub* hub_;
    SocketHandle active_ = INVALID_NET_SOCKET;
};

} // namespace kvr
