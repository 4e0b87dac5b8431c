// `kavrin --serve`: the room runs until SIGINT or SIGTERM, and the console shows only its address and a
// line per table opened and ended.
#include <chrono>
#include <csignal>
#include <cstdio>
#include <cstdlib>
#include <iostream>
#include <thread>

#include "app/cli.hpp"
#include "net/web_guard.hpp"
#include "net/web_host.hpp"
#include "room/room.hpp"
#ifdef KAVRIN_STORE
#include "store/sqlite_store.hpp"
#endif

namespace kvr {

namespace {

volatile std::sig_atomic_t g_stopSignal = 0;

extern "C" void onStopSignal(int) { g_stopSignal = 1; }

} // namespace

int serveRoom(const CommandLine& cl) {
    RoomOptions o;
    o.base = cl.opt;
    o.webPort = static_cast<std::uint16_t>(cl.portGiven ? cl.port : DEFAULT_PORT + 1);
    o.tables = cl.tables;
    o.linePort = static_cast<std::uint16_t>(cl.linePort);
    if (cl.linePort != 0 && !validPort(cl.linePort)) {
        std::cerr << BAD_PORT_TEXT;
        return 1;
    }
    o.answerSeconds = cl.answerGiven ? cl.answerSeconds : 90;
    o.recordsDir = cl.recordsDir;
    o.publicUrl = cl.publicUrl;
    if (!o.publicUrl.empty() && publicOrigin(o.publicUrl).empty()) {
        std::cerr << "--public-url 应为 https://名称/ 这样的地址。\n";
        return 1;
    }
    o.opensPerMinute = cl.opensPerMinute;
    o.connections = cl.maxConnections;
    o.connectionsFromOne = cl.maxFromOne;
    o.keepEndedSeconds = cl.keepEndedSeconds;
    o.unstartedSeconds = cl.unstartedSeconds;
    if (!validPort(o.webPort)) {
        std::cerr << BAD_PORT_TEXT;
        return 1;
    }
#ifdef KAVRIN_STORE
    // A database that cannot be had stops the room before it takes anyone. It lives as long as the
    // process: the room's tables may still write to it as it exits.
    SqliteStore* store = nullptr;
    try {
        store = new SqliteStore(cl.dataDir);
    } catch (const StoreError& e) {
        std::cerr << e.what() << "\n";
        return 1;
    }
    o.store = store;
#else
    if (cl.dataGiven) {
        std::cerr << "本程序构建时没有数据库（SQLite），无法使用 --data。\n";
        return 1;
    }
#endif
    std::signal(SIGINT, onStopSignal);
    std::signal(SIGTERM, onStopSignal);
    auto* room = new Room(o);
    if (!room->start()) {
        std::cerr << "无法监听端口" << o.webPort << "，可能已被占用。\n";
        return 1;
    }
    std::cout << "房间已开启：\n";
    for (const std::string& a : pageAddresses(room->port())) std::cout << "  " << a << "\n";
    if (!cl.publicUrl.empty()) std::cout << "  " << cl.publicUrl << "\n";
    if (o.linePort != 0) std::cout << "命令行加入：kavrin --join 本机IP --port " << o.linePort << "，再输入牌桌ID。\n";
    std::cout << std::flush;
    while (g_stopSignal == 0) std::this_thread::sleep_for(std::chrono::milliseconds(50));
    std::cout << "[房间] 正在关闭……" << std::endl;
    room->stop();
    // The pages have a moment to read that the room closes; tables still playing are not waited for.
    std::this_thread::sleep_for(std::chrono::milliseconds(800));
    std::cout << "[房间] 已关闭。" << std::endl;
    std::fflush(nullptr);
    std::_Exit(0);
}

} // namespace kvr
