#include <iostream>

#include "model/game.hpp"
#include "net/hub.hpp"
#include "net/router.hpp"
#include "net/seats.hpp"

namespace kvr {

LanHub* g_lanHub = nullptr;
NetworkStreamBuf* g_networkOutput = nullptr;
SocketHandle g_activeSocket = INVALID_NET_SOCKET;
int g_activePlayer = -1;
std::function<void(int)> g_disconnectHandler;

// Standard output goes through the router from here until the game is destroyed.
void Game::installRouter() {
    originalOutput_ = std::cout.rdbuf();
    router_ = new NetworkStreamBuf(originalOutput_, hub_);
    std::cout.rdbuf(router_);
    g_lanHub = hub_;
    g_networkOutput = router_;
}

void Game::removeRouter() {
    std::cout.flush();
    std::cout.rdbuf(originalOutput_);
    g_disconnectHandler = nullptr;
    g_lanHub = nullptr;
    g_networkOutput = nullptr;
    g_activeSocket = INVALID_NET_SOCKET;
    delete router_;
    router_ = nullptr;
}

// Remote humans take the computer seats in seat order, the first client to connect the first seat,
// and keep the role and hero dealt there. Each learns its seat privately.
void Game::attachNetworkPlayers() {
    if (!hub_) return;
    std::size_t k = 0;
    for (int seat = 0; seat < 6 && k < remotes_.size(); ++seat) {
        if (seat == human_) continue;
        Player& x = ps_[seat];
        x.human = true;
        x.remote = remotes_[k++];
        x.label = "远程玩家" + std::to_string(k);
        if (socketValid(x.remote))
            hub_->sendTo(x.remote, "\n[开局] 你是" + std::to_string(seat + 1) + "号位，武将【" + x.hero.name +
                                       "】，身份/阵营【" + roleText(x.role) + "】。\n");
    }
}

// A remote seat whose connection failed is played by the computer from now on.
void Game::dropSeat(int p) {
    if (p < 0 || p >= static_cast<int>(ps_.size()) || !ps_[p].human) return;
    ps_[p].human = false;
    ps_[p].remote = INVALID_NET_SOCKET;
    publicMessage("[网络] " + ps_[p].hero.name + "断线，已由AI接管。\n");
}

// From here on prompts and private screen text address seat p.
void Game::activateSeat(int p) {
    g_activeSocket = INVALID_NET_SOCKET;
    viewSeat_ = p;
    g_activePlayer = p;
    if (p >= 0 && p < static_cast<int>(ps_.size()) && ps_[p].human && socketValid(ps_[p].remote))
        g_activeSocket = ps_[p].remote;
    if (router_) router_->setActive(g_activeSocket);
}

// Every seat sees a public line exactly once: the host console and every client.
void Game::publicMessage(const std::string& text) const {
    if (!router_) {
        std::cout << text;
        return;
    }
    router_->publicText(text);
    hub_->broadcast(text);
}

} // namespace kvr
