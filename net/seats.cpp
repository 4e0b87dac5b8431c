#include <iostream>

#include "model/game.hpp"
#include "net/seats.hpp"

namespace kvr {

LanHub* g_lanHub = nullptr;
NetworkStreamBuf* g_networkOutput = nullptr;
SocketHandle g_activeSocket = INVALID_NET_SOCKET;
int g_activePlayer = -1;
std::function<void(int)> g_disconnectHandler;

// Remote humans take computer seats; without a hub there is nobody to seat.
void Game::attachNetworkPlayers() {
    if (!hub_) return;
}

// From here on prompts and private screen text address seat p.
void Game::activateSeat(int p) {
    g_activeSocket = INVALID_NET_SOCKET;
    viewSeat_ = p;
    g_activePlayer = p;
}

void Game::publicMessage(const std::string& text) const { std::cout << text; }

} // namespace kvr
