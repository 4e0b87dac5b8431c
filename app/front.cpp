#include <chrono>
#include <exception>
#include <iostream>

#include "app/cli.hpp"
#include "model/game.hpp"

#ifdef _WIN32
#define NOMINMAX
#include <windows.h>
#ifndef ENABLE_VIRTUAL_TERMINAL_PROCESSING
#define ENABLE_VIRTUAL_TERMINAL_PROCESSING 0x0004
#endif
#endif

namespace kvr {

void consoleUtf8() {
#ifdef _WIN32
    SetConsoleOutputCP(65001);
    SetConsoleCP(65001);
    HANDLE out = GetStdHandle(STD_OUTPUT_HANDLE);
    DWORD mode = 0;
    if (GetConsoleMode(out, &mode)) SetConsoleMode(out, mode | ENABLE_VIRTUAL_TERMINAL_PROCESSING);
#endif
}

namespace {

const char* const LAN_UNAVAILABLE = "局域网联机功能尚未开放。\n";

void playLocal(Mode mode, const Options& opt) {
    Game game(mode, opt, nullptr, {});
    game.setup();
    game.run();
}

void showMenu() {
    std::string bar;
    for (int i = 0; i < 38; ++i) bar += "═";
    std::cout << "\x1b[33;1m╔" << bar << "╗\n"
              << "║ 六人卡维林 · 单机/局域网" << std::string(13, ' ') << "║\n"
              << "╚" << bar << "╝\x1b[0m\n"
              << "1.单机普通3v3  2.单机身份局\n"
              << "3.主机普通3v3  4.主机身份局  5.加入局域网\n"
              << "6.教程  7.武将  8.牌表  0.退出\n"
              << "> ";
}

void menuLoop(const Options& opt) {
    for (;;) {
        showMenu();
        std::string choice;
        if (!std::getline(std::cin, choice) || choice == "0") return;
        if (choice == "6") {
            Game::tutorial();
        } else if (choice == "7") {
            Game::listHeroes();
        } else if (choice == "8") {
            Game::listCards();
        } else if (choice == "1" || choice == "2") {
            playLocal(choice == "1" ? Normal3v3 : Identity, opt);
        } else if (choice == "3" || choice == "4" || choice == "5") {
            std::cout << LAN_UNAVAILABLE;
        }
    }
}

// Every game and the menu run inside one handler: an error ends the program with a message, never an abort.
template <class F> int guarded(F body) {
    try {
        body();
        return 0;
    } catch (const std::exception& e) {
        std::cerr << "游戏错误：" << e.what() << "\n";
        return 1;
    }
}

} // namespace

int runFront(const std::vector<std::string>& args) {
    Options defaults;
    defaults.seed = static_cast<std::uint32_t>(std::chrono::system_clock::now().time_since_epoch().count());

    CommandLine cl;
    try {
        cl = parseCommandLine(args, defaults);
    } catch (const BadArgument& e) {
        std::cerr << "游戏错误：" << e.what() << "\n";
        return 1;
    }
    if (cl.help) {
        std::cout << HELP_TEXT;
        return 0;
    }
    if (!cl.joinIp.empty() || (cl.host && !cl.opt.autoPlay && !cl.tut && !cl.heroes && !cl.cards)) {
        if (!validPort(cl.port)) {
            std::cerr << BAD_PORT_TEXT;
            return 1;
        }
    }
    if (!cl.joinIp.empty()) {
        std::cerr << LAN_UNAVAILABLE;
        return 1;
    }
    if (cl.tut) return guarded([] { Game::tutorial(); });
    if (cl.heroes) return guarded([] { Game::listHeroes(); });
    if (cl.cards) return guarded([] { Game::listCards(); });
    if (cl.opt.autoPlay) return guarded([&cl] { playLocal(cl.opt.forcedMode.value_or(Identity), cl.opt); });
    if (cl.host) {
        std::cerr << LAN_UNAVAILABLE;
        return 1;
    }
    return guarded([&cl] { menuLoop(cl.opt); });
}

} // namespace kvr
