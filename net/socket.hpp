// The socket handle type seen by the rest of the program; no platform header leaks from here.
#pragma once

#include <cstdint>

namespace kvr {

// Wide enough for a Windows SOCKET and a POSIX descriptor alike.
using SocketHandle = std::uintptr_t;
constexpr SocketHandle INVALID_NET_SOCKET = ~SocketHandle(0);

inline bool socketValid(SocketHandle s) { return s != INVALID_NET_SOCKET; }

} // namespace kvr
