// Program-wide state of a hosted game: which seat is being addressed and how to reach it.
#pragma once

#include <functional>

#include "net/socket.hpp"

namespace kvr {

class LanHub;
class NetworkStreamBuf;

// What `Game::line` returns in place of an answer when the addressed remote seat has gone.
constexpr const char* NET_DISCONNECTED = "__NET_DISCONNECTED__";

extern LanHub* g_lanHub;
extern NetworkStreamBuf* g_networkOutput;
extern SocketHandle g_activeSocket;
extern int g_activePlayer;
extern std::function<void(int)> g_disconnectHandler;

} // namespace kvr
