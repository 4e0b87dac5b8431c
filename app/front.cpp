#include <algorithm>
#include <chrono>
#include <exception>
#include <functional>
#include <iostream>
#include <memory>

#include "app/cli.hpp"
#include "console/console_io.hpp"
#include "console/replay_io.hpp"
#include "console/win_console.hpp"
#include "model/game.hpp"
#include "model/text.hpp"
#include "net/client.hpp"
#include "net/hosted_table.hpp"
#include "net/hub.hpp"
#include "net/web_host.hpp"
#ifdef KAVRIN_STORE
#include "store/sqlite_store.hpp"
#include "store/storing_io.hpp"
#endif

#ifdef _WIN32
#ifndef NOMINMAX
#define NOMINMAX
#endif
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
    installConsoleOutput();
#endif
}

namespace {

#ifdef KAVRIN_STORE
// The database of games that --record-db opened for the whole run; null without it.
std::unique_ptr<GameStore> g_gameStore;
#endif

// Plays one game at `io`, on the game's own table or one that records it; `seated` hears of it once it is
// set up, `over` once it has stopped, however it stopped.
void playAt(Mode mode, const Options& opt, TableIo& io, HostedTable* hosted,
            const std::function<void(const Game&)>& seated, const std::function<void(const Game&)>& over) {
    Game game(mode, opt, &io);
    // A hosted table's browsers see the game's views: each seat its own, the others the public one.
    if (hosted) hosted->showViewsOf(game);
    try {
        game.setup();
        if (seated) seated(game);
        game.run();
    } catch (...) {
        if (over) over(game);
        throw;
    }
    if (over) over(game);
}

// Plays one game at `io`. With a record path the file is written anew and every answer is appended to it
// as it is read; with a database of games the game is kept there too, the same lines as they come.
void play(Mode mode, const Options& opt, TableIo& io, const std::string& recordPath,
          HostedTable* hosted = nullptr) {
    RecordedGame kind = io.hosted()    ? RecordedGame::Hosted
                        : opt.autoPlay ? RecordedGame::Automatic
                                       : RecordedGame::Local;
    RecordHead head{kind, mode, opt, io.remotePlayers()};
    RecordWriter writer;
    std::unique_ptr<RecordingIo> recording;
    if (!recordPath.empty()) {
        if (!writer.create(recordPath)) throw std::runtime_error("无法写入记录文件 " + recordPath);
        writer.head(head);
        recording = std::make_unique<RecordingIo>(io, writer);
    }
    TableIo& table = recording ? static_cast<TableIo&>(*recording) : io;
#ifdef KAVRIN_STORE
    if (g_gameStore) {
        GameStart start{kind == RecordedGame::Hosted ? "host" : "local",
                        true,
                        storeClock(),
                        mode,
                        opt.seed,
                        opt.ai,
                        opt.strongRoles};
        StoringIo storing(table, *g_gameStore, start, head, std::cerr);
        playAt(
            mode, opt, storing, hosted, [&storing](const Game& game) { storing.seated(game); },
            [&storing](const Game& game) { storing.finish(game); });
        return;
    }
#endif
    playAt(mode, opt, table, hosted, nullptr, nullptr);
}

void playLocal(Mode mode, const Options& opt, const std::string& recordPath) {
    play(mode, opt, standardConsole(), recordPath);
}

void playHosted(Mode mode, const Options& opt, LanHub& hub, const std::string& recordPath, int answerSeconds) {
    HostedTable table(hub, standardConsole());
    table.answerWithin(answerSeconds);
    play(mode, opt, table, recordPath, &table);
}

// The page for browsers, on its own port (0: none; -1: the game's port + 1); its addresses are shown.
void servePage(WebHost& web, int gamePort, int webPort) {
    if (webPort < 0) webPort = gamePort < 65535 ? gamePort + 1 : 0;
    if (webPort == 0) return;
    if (!web.start(static_cast<std::uint16_t>(webPort))) {
        std::cout << "网页端口" << webPort << "无法监听，浏览器无法加入；命令行加入不受影响。\n";
        return;
    }
    std::cout << "手机或电脑的浏览器打开以下地址即可加入或观战，无需安装：\n";
    for (const std::string& a : pageAddresses(web.port())) std::cout << "  " << a << "\n";
}

// False, with the reason told on standard error, when the file is no record.
bool loadRecord(const std::string& path, Record& record) {
    try {
        record = readRecord(path);
        return true;
    } catch (const RecordError& e) {
        std::cerr << e.what() << "\n";
        return false;
    }
}

// A record played again with nobody at the keyboard: what the host's console showed goes to standard
// output; where the record stops or goes wrong is told on standard error.
int replayFromFile(const std::string& path) {
    Record record;
    if (!loadRecord(path, record)) return 1;
    ReplayIo io(record, &std::cout);
    Game game(record.head.mode, record.head.opt, &io);
    int rc = 0;
    try {
        game.setup();
        game.run();
        io.checkUsedUp();
    } catch (const RecordStop& e) {
        std::cout.flush();
        if (!io.over()) std::cerr << e.what() << "\n";
    } catch (const RecordError& e) {
        std::cout.flush();
        std::cerr << e.what() << "\n";
        rc = 1;
    } catch (const std::exception& e) {
        std::cout.flush();
        std::cerr << "游戏错误：" << e.what() << "\n";
        rc = 1;
    }
    std::cout.flush();
    return rc;
}

// A local game's record played silently to its last answer; then the player sees the table as it was
// and plays on, new answers appended to the same file.
int resumeFromFile(const std::string& path) {
    Record record;
    if (!loadRecord(path, record)) return 1;
    if (!record.damage.empty()) {
        std::cerr << record.damage << "\n";
        return 1;
    }
    if (record.head.game != RecordedGame::Local) {
        std::cerr << "记录文件 " << path << " 是"
                  << (record.head.game == RecordedGame::Hosted ? "主机"
                      : record.head.game == RecordedGame::Room ? "房间"
                                                               : "自动")
                  << "对局的记录：只有单机对局可以续玩，可用 --replay 重放。\n";
        return 1;
    }
    if (resumePoint(record) < 0) {
        std::cerr << "记录文件 " << path << " 中的对局已经结束，无可续玩，可用 --replay 重放。\n";
        return 1;
    }
    ReplayIo io(record, nullptr);
    io.goLive(standardConsole());
    Game game(record.head.mode, record.head.opt, &io);
    try {
        game.setup();
        game.run();
    } catch (const RecordError& e) {
        std::cout.flush();
        std::cerr << e.what() << "\n";
        return 1;
    } catch (const std::exception& e) {
        std::cout.flush();
        std::cerr << "游戏错误：" << e.what() << "\n";
        return 1;
    }
    return 0;
}

// So that players know what to type into --join.
void showAddresses() {
    std::string list;
    for (const std::string& a : localIpv4Addresses()) list += (list.empty() ? "" : "  ") + a;
    std::cout << "本机IPv4地址：" << (list.empty() ? "未找到，请在系统网络设置中查看" : list) << "\n";
}

// A menu answer; false when input has ended, which cancels the flow.
bool ask(const char* prompt, std::string& answer) {
    std::cout << prompt;
    return static_cast<bool>(std::getline(std::cin, answer));
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

// Menu choice 5. Every failure comes back to the menu.
void joinFlow() {
    std::string ip, p;
    if (!ask("主机IPv4地址：", ip) || !ask("端口（默认9527）：", p)) return;
    int port = menuPort(p);
    if (port == 0) {
        std::cout << BAD_PORT_TEXT;
    } else {
        std::cout << (runLanClient(trimmed(ip), static_cast<std::uint16_t>(port)) != 0
                          ? "未能进入联机房间，程序不会退出。\n"
                          : "已离开联机房间。\n");
    }
    std::string back;
    ask("按 Enter 返回主菜单...", back);
}

// Menu choices 3 and 4. A bad answer is a typo: it is named and the menu comes back.
void hostFlow(Mode mode, const Options& opt, const std::string& recordPath, int webPort) {
    std::string p, w, s;
    if (!ask("端口（默认9527）：", p)) return;
    int port = menuPort(p);
    if (port == 0) {
        std::cout << BAD_PORT_TEXT;
        return;
    }
    if (!ask("期望真人总数1~6：", w)) return;
    int wanted = 6;
    if (!w.empty() && !parseLeadingInt(w, wanted)) {
        std::cout << BAD_NUMBER_TEXT;
        return;
    }
    wanted = std::max(1, std::min(6, wanted));
    if (!ask("等待秒数（默认20）：", s)) return;
    int waitFor = 20;
    if (!s.empty() && !parseLeadingInt(s, waitFor)) {
        std::cout << BAD_NUMBER_TEXT;
        return;
    }
    waitFor = std::max(1, waitFor);
    std::string t;
    if (!ask("远程座位答题时限秒数（默认0，一直等待）：", t)) return;
    int answerSeconds = 0;
    if (!t.empty() && !parseLeadingInt(t, answerSeconds)) {
        std::cout << BAD_NUMBER_TEXT;
        return;
    }
    answerSeconds = std::max(0, answerSeconds);
    LanHub hub;
    if (!hub.start(static_cast<std::uint16_t>(port))) {
        std::cout << "端口监听失败。\n";
        return;
    }
    std::cout << "大厅已开启。其他电脑选择“加入局域网”，输入本机IP与端口" << port << "。\n";
    showAddresses();
    WebHost web(hub, recordPath);
    servePage(web, port, webPort);
    std::cout << std::flush;
    hub.waitForClients(wanted - 1, waitFor);
    playHosted(mode, opt, hub, recordPath, answerSeconds);
}

// The command-line host plays one game.
int hostFromCommandLine(const CommandLine& cl) {
    LanHub hub;
    if (!hub.start(static_cast<std::uint16_t>(cl.port))) {
        std::cerr << "无法监听端口，可能已被占用。\n";
        return 1;
    }
    std::cout << "局域网大厅已建立，端口" << cl.port << "。请让其他玩家使用 --join 主机IP --port " << cl.port
              << " 加入。\n"
              << "等待" << cl.waitSeconds << "秒，目标真人" << cl.humans << "人；不足部分将由AI补充。\n";
    showAddresses();
    WebHost web(hub, cl.recordPath);
    servePage(web, cl.port, cl.webPort);
    std::cout << std::flush;
    hub.waitForClients(cl.humans - 1, cl.waitSeconds);
    playHosted(cl.opt.forcedMode.value_or(Identity), cl.opt, hub, cl.recordPath, cl.answerSeconds);
    return 0;
}

void menuLoop(const Options& opt, const std::string& recordPath, int webPort) {
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
            playLocal(choice == "1" ? Normal3v3 : Identity, opt, recordPath);
        } else if (choice == "3" || choice == "4") {
            hostFlow(choice == "3" ? Normal3v3 : Identity, opt, recordPath, webPort);
        } else if (choice == "5") {
            joinFlow();
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
    if (!cl.replayPath.empty()) return replayFromFile(cl.replayPath);
    if (cl.serve) return serveRoom(cl);
    if (!cl.resumePath.empty()) return resumeFromFile(cl.resumePath);
    bool playing = cl.joinIp.empty() && !cl.tut && !cl.heroes && !cl.cards;
    if (playing && !cl.recordPath.empty() && !RecordWriter().create(cl.recordPath)) {
        std::cerr << "无法写入记录文件 " << cl.recordPath << "。\n";
        return 1;
    }
    if (playing && !cl.recordDb.empty()) {
#ifdef KAVRIN_STORE
        try {
            g_gameStore = std::make_unique<SqliteStore>(cl.recordDb);
        } catch (const StoreError& e) {
            std::cerr << e.what() << "\n";
            return 1;
        }
#else
        std::cerr << "本程序构建时没有数据库（SQLite），无法使用 --record-db。\n";
        return 1;
#endif
    }
    if (!cl.joinIp.empty() || (cl.host && !cl.opt.autoPlay && !cl.tut && !cl.heroes && !cl.cards)) {
        if (!validPort(cl.port) || (cl.webPort != -1 && cl.webPort != 0 && !validPort(cl.webPort))) {
            std::cerr << BAD_PORT_TEXT;
            return 1;
        }
    }
    if (!cl.joinIp.empty()) return runLanClient(cl.joinIp, static_cast<std::uint16_t>(cl.port));
    if (cl.tut) return guarded([] { Game::tutorial(); });
    if (cl.heroes) return guarded([] { Game::listHeroes(); });
    if (cl.cards) return guarded([] { Game::listCards(); });
    if (cl.opt.autoPlay)
        return guarded([&cl] { playLocal(cl.opt.forcedMode.value_or(Identity), cl.opt, cl.recordPath); });
    if (cl.host) {
        int rc = 0;
        int guard = guarded([&cl, &rc] { rc = hostFromCommandLine(cl); });
        return guard != 0 ? guard : rc;
    }
    return guarded([&cl] { menuLoop(cl.opt, cl.recordPath, cl.webPort); });
}

} // namespace kvr
