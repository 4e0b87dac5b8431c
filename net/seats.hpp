// Program-wide state of a hosted game: which seat is being addressed and how to reach it.
#pragma once

#include <functional>

#include "net/socket.hpp"

namespace kvr {

class LanHub;
class NetworkStreamBuf;

extern LanHub* g_lanHub;
extern NetworkStreamBuf* g_networkOutput;
extern SocketHandle g_activeSocket;
extern int g_activePlayer;
// Called with the addressed seat when its connection fails while the game waits for its answer.
extern std::function<void(int)> g_disconnectHandler;

} // namespace kvr
