// Measures what a remote seat costs per answer over loopback: the host sends a prompt through the
// hub and reads the answer line, while a client thread answers every prompt at once.
#include <chrono>
#include <cstdlib>
#include <iostream>
#include <thread>

#include "net/hub.hpp"

using namespace kvr;

int main(int argc, char** argv) {
    int rounds = argc > 1 ? std::atoi(argv[1]) : 20000;
    LanHub hub;
    if (!hub.start(0)) {
        std::cerr << "cannot listen\n";
        return 1;
    }
    std::uint32_t loopback = 0;
    parseIpv4("127.0.0.1", loopback);
    std::thread client([&] {
        int error = 0;
        SocketHandle s = connectTcp(loopback, hub.port(), error);
        char buf[4096];
        std::string seen;
        for (long n; (n = receiveSome(s, buf, sizeof buf)) > 0;) {
            seen.append(buf, static_cast<std::size_t>(n));
            if (seen.size() >= 2 && seen.compare(seen.size() - 2, 2, "> ") == 0) {
                seen.clear();
                sendSocketText(s, "1\n");
            }
        }
        closeSocket(s);
    });
    hub.waitForClients(1, 5);
    SocketHandle seat = hub.clients().at(0);
    std::string answer;
    auto start = std::chrono::steady_clock::now();
    for (int i = 0; i < rounds; ++i) {
        hub.sendTo(seat, "\n选择目标（0取消）：\n1.Varnok HP4 手牌4 距1 身份汉军\n> ");
        if (!hub.receiveLine(seat, answer)) break;
    }
    double us = std::chrono::duration<double, std::micro>(std::chrono::steady_clock::now() - start).count();
    shutdownSocket(seat);
    client.join();
    std::cout << "rounds " << rounds << " microseconds per remote answer " << us / rounds << "\n";
    return 0;
}
