#include "room/room.hpp"

#include <algorithm>
#include <functional>
#include <atomic>
#include <chrono>
#include <deque>
#include <fstream>
#include <iostream>
#include <map>
#include <mutex>
#include <sstream>
#include <thread>

#include "console/console_io.hpp"
#include "console/record.hpp"
#include "console/recording_io.hpp"
#include "model/game.hpp"
#include "net/hosted_table.hpp"
#include "net/web_host.hpp"
#include "net/web_table.hpp"
#include "room/game_pages.hpp"
#include "store/storing_io.hpp"

namespace kvr {

namespace {

using Clock = std::chrono::steady_clock;

const char* const CLOSING_TEXT = "\n[房间] 房间即将关闭，本桌到此结束。\n";
const char* const NEVER_BEGUN_TEXT = "\n[房间] 牌桌长时间未开局，已关闭。\n";
const char* const START_OFFER_TEXT =
    "[房间] 把本页地址发给朋友即可入座。人齐后自动开局；你也可以现在开局，空位由电脑补上。\n按 Enter 开局...";

// The start offer as the opener's page asks it.
const Query& startOffer() {
    static const Query offer{"start", "", "人齐后自动开局；你也可以现在开局，空位由电脑补上。", {{"", "现在开局"}}};
    return offer;
}

// Letters a person can read back without confusing them; 32 of them, so each byte gives one.
const char LETTERS[] = "abcdefghijkmnpqrstuvwxyz23456789";


std::string drawCode(const SecureSource& random) {
    unsigned char raw[12];
    random(raw, sizeof raw);
    std::string out;
    for (unsigned char b : raw) out += LETTERS[b % 32];
    return out;
}

// A record's file, written line by line as the table plays, until the room stops it: after that the
// file holds whole lines only, however far the game got.
class RecordFile : public RecordSink {
  public:
    bool open(const std::string& path) {
        out_.open(path, std::ios::binary | std::ios::trunc);
        return static_cast<bool>(out_);
    }
    bool keep(std::string_view lines) override {
        std::lock_guard<std::mutex> lock(mutex_);
        if (stopped_) return true;
        out_.write(lines.data(), static_cast<std::streamsize>(lines.size()));
        out_.flush();
        return static_cast<bool>(out_);
    }
    void stop() {
        std::lock_guard<std::mutex> lock(mutex_);
        stopped_ = true;
        out_.flush();
    }

  private:
    std::mutex mutex_;
    std::ofstream out_;
    bool stopped_ = false;
};

// The room's console: nobody reads it, and it shows nothing.
struct NoConsole {
    std::istringstream in;
    std::ostream out{nullptr};
    ConsoleIo io{in, out};
};

} // namespace

struct RoomTable {
    enum Phase { Lobby, Playing, Ended };

    std::string id;
    TableRequest request;
    std::string openerCode;
    std::string recordPath;
    Options opt;
    int answerSeconds = 0;
    int unstartedSeconds = 0;
    LanHub hub;
    std::unique_ptr<WebTable> web;
    RecordFile record;
    bool recording = false;
    // The room's store of games, and what the room's console is told when it fails.
    GameStore* store = nullptr;
    std::function<void()> storeFailing;
    // The game being kept, while it is played; once the room stops, no more is kept.
    std::mutex storingLock;
    StoringIo* storing = nullptr;
    bool storeStopped = false;
    // The game's id in the store once it is kept, and whether a strong player played in it.
    std::atomic<std::int64_t> keptId{-1};
    bool strong = false;
    NoConsole console;
    // Line clients the room's line port sent to this table's lobby, waiting for its thread to take them.
    std::mutex arrivingLock;
    std::vector<SocketHandle> arriving;
    std::atomic<int> phase{Lobby};
    std::atomic<bool> stopping{false};
    std::atomic<int> humans{0};
    Clock::time_point opened = Clock::now();
    Clock::time_point ended;
    std::thread thread;

    explicit RoomTable(const SecureSource& random) : hub(random), web(std::make_unique<WebTable>(hub)) {
        hub.attachWeb(web.get());
    }
    ~RoomTable() {
        if (thread.joinable()) thread.join();
        for (SocketHandle s : arriving) closeSocket(s);
        hub.attachWeb(nullptr);
    }

    void run();
    bool lobby();
    void play();
    void stopStoring() {
        std::lock_guard<std::mutex> lock(storingLock);
        storeStopped = true;
        if (storing) storing->stop();
    }
};

// The lobby: the opener starts the game, or it starts once every seat for people is taken. A table
// nobody starts closes in the end, as does every table when the room stops.
bool RoomTable::lobby() {
    auto deadline = opened + std::chrono::seconds(unstartedSeconds);
    int wanted = request.people - 1;
    const char* end = CLOSING_TEXT;
    while (!stopping.load()) {
        {
            std::lock_guard<std::mutex> lock(arrivingLock);
            for (SocketHandle s : arriving) hub.adopt(s);
            arriving.clear();
        }
        hub.pollLobby(wanted);
        bool opener = web->host() >= 0;
        if (opener) web->offerStart(START_OFFER_TEXT, startOffer());
        int joined = static_cast<int>(web->lobbyJoiners().size() + hub.clients().size());
        if (opener && (web->startWanted() || joined >= wanted)) return true;
        if (Clock::now() >= deadline) {
            end = NEVER_BEGUN_TEXT;
            break;
        }
        std::this_thread::sleep_for(std::chrono::milliseconds(100));
    }
    web->closeWith(end);
    hub.closeAll(end, 300);
    return false;
}

void RoomTable::play() {
    HostedTable table(hub, console.io);
    table.answerWithin(answerSeconds);
    humans = 1 + table.remotePlayers();
    phase = Playing;
    RecordWriter writer(record);
    RecordingIo recorded(table, writer);
    TableIo& io = recording ? static_cast<TableIo&>(recorded) : table;
    RecordHead head{RecordedGame::Room, request.mode, opt, table.remotePlayers()};
    if (recording) writer.head(head);
    std::unique_ptr<StoringIo> kept;
    if (store) {
        std::lock_guard<std::mutex> lock(storingLock);
        if (!storeStopped) {
            GameStart start{id, request.listed, storeClock(), request.mode, opt.seed, opt.ai, opt.strongRoles};
            kept = std::make_unique<StoringIo>(io, *store, start, head, storeFailing);
            storing = kept.get();
            keptId = kept->id();
            strong = opt.ai == StrongAi || opt.strongRoles != 0;
        }
    }
    // The store hears of the game's end however it ended, and lets go of it before it goes.
    struct Release {
        RoomTable& t;
        ~Release() {
            std::lock_guard<std::mutex> lock(t.storingLock);
            t.storing = nullptr;
        }
    } release{*this};
    Game game(request.mode, opt, kept ? static_cast<TableIo*>(kept.get()) : &io);
    table.showViewsOf(game);
    table.hostedFromWeb([&game] { return game.hostSeat(); });
    try {
        game.setup();
        if (kept) kept->seated(game);
        game.run();
    } catch (...) {
        if (kept) kept->finish(game);
        throw;
    }
    if (kept) kept->finish(game);
}

void RoomTable::run() {
    try {
        if (lobby()) play();
    } catch (const std::exception& e) {
        std::cerr << "[房间] 牌桌 " << id << " 出错：" << e.what() << "\n";
        web->closeWith(CLOSING_TEXT);
    }
    record.stop();
    ended = Clock::now();
    phase = Ended;
}

// A line client at the room's line port, until it names a table: what it typed so far, and until when
// it may take to name one.
struct LineGuest {
    SocketHandle s = INVALID_NET_SOCKET;
    std::string typed;
    Clock::time_point deadline;
    int tries = 0;
};

// Line clients deciding at once at most, and how long each has.
constexpr std::size_t MAX_LINE_GUESTS = 32;
constexpr int LINE_GUEST_SECONDS = 120;

struct Room::Impl : WebSite {
    RoomOptions options;
    mutable std::mutex mutex;
    std::map<std::string, std::shared_ptr<RoomTable>> tables;
    std::vector<std::string> order;
    std::map<std::string, std::deque<Clock::time_point>> opensFrom;
    std::atomic<bool> stopped{false};
    // The room's console is told once that its store of games has failed, however many tables it fails.
    std::atomic<bool> storeFailTold{false};
    std::uint32_t serial = 0;
    std::mutex sayLock;
    std::unique_ptr<WebHost> web;
    SocketHandle lineListener = INVALID_NET_SOCKET;
    std::thread lineThread;
    // The pages of kept games, when the room keeps them.
    std::unique_ptr<GamePages> pages;

    bool networking = startNetworking();

    explicit Impl(RoomOptions o) : options(std::move(o)) {
        if (options.store) pages = std::make_unique<GamePages>(*options.store, options.random);
    }
    ~Impl() override {
        if (networking) stopNetworking();
    }

    void lineLoop();
    void lineAnswered(LineGuest& g, const std::string& line);

    void say(const std::string& line) {
        std::lock_guard<std::mutex> lock(sayLock);
        std::cout << line << std::endl;
    }

    std::shared_ptr<RoomTable> find(const std::string& id) const {
        std::lock_guard<std::mutex> lock(mutex);
        auto it = tables.find(id);
        return it == tables.end() ? nullptr : it->second;
    }

    // "/t/ID" and what follows it: the table and the rest of the path.
    std::shared_ptr<RoomTable> tableOf(const std::string& path, std::string& rest) const {
        if (path.rfind("/t/", 0) != 0) return nullptr;
        std::size_t end = path.find('/', 3);
        rest = end == std::string::npos ? std::string() : path.substr(end);
        return find(path.substr(3, end == std::string::npos ? std::string::npos : end - 3));
    }

    std::shared_ptr<WebTable> tableAt(const std::string& path) override {
        std::string rest;
        auto t = tableOf(path, rest);
        if (!t || rest != "/ws") return nullptr;
        return std::shared_ptr<WebTable>(t, t->web.get());
    }

    std::string recordAt(const std::string& path) override {
        std::string rest;
        auto t = tableOf(path, rest);
        if (!t || rest != "/record" || !t->recording || !t->web->over()) return "";
        return t->recordPath;
    }

    // A table's page is the hosted game's page; its files are named relative to it.
    std::string assetAt(const std::string& path) override {
        if (pages && !GamePages::pageAt(path).empty()) return GamePages::pageAt(path);
        std::string rest;
        if (tableOf(path, rest) && rest.empty()) return "/index.html";
        if (path.rfind("/t/", 0) == 0 && path.find('/', 3) == std::string::npos) return "/" + path.substr(3);
        // The room page wears the table's colours; the kept games' pages draw the table as it does.
        if (path == "/style.css") return path;
        if (pages) {
            for (const char* file : {"/history.js", "/replay.js", "/stats.js", "/table.js", "/answers.js", "/screen.js"})
                if (path == file) return path;
        }
        return "";
    }

    bool aside(const std::string& path) const override {
        return pages && (GamePages::ours(path) || GamePages::takesUploads(path));
    }
    std::size_t uploadLimit(const std::string& path) const override {
        return pages && GamePages::takesUploads(path) ? MAX_UPLOAD_BYTES : 0;
    }
    bool upload(const std::string& path, const std::string& body, const std::string& from, Reply& out) override {
        return pages && pages->upload(path, body, from, out);
    }

    bool answer(const std::string& path, const std::string& query, const std::string& from, Reply& out) override {
        if (pages && GamePages::ours(path)) return pages->answer(path, query, out);
        if (path == "/" || path == "/index.html") {
            out.body = roomPage(listed(), pages != nullptr);
            out.headers.emplace_back("Content-Security-Policy",
                                     "default-src 'self'; img-src 'self' data:; base-uri 'none'; "
                                     "form-action 'self'; frame-ancestors 'none'");
            return true;
        }
        if (path == "/tables.json") {
            out.type = "application/json";
            out.body = roomJson(listed());
            return true;
        }
        if (path != "/open") return false;
        TableRequest request;
        out.type = "text/plain; charset=utf-8";
        if (!parseTableRequest(query, request)) {
            out.status = 400;
            out.body = "400 开桌参数无效\n";
            return true;
        }
        Opened o = open(request, from);
        if (o.id.empty()) {
            out.status = 429;
            out.body = o.refusal;
            return true;
        }
        out.status = 303;
        out.location = "/t/" + o.id + "#code=" + o.openerCode;
        return true;
    }

    void tick() override {
        std::vector<std::shared_ptr<RoomTable>> gone;
        std::vector<std::shared_ptr<RoomTable>> all;
        {
            std::lock_guard<std::mutex> lock(mutex);
            auto now = Clock::now();
            for (auto it = tables.begin(); it != tables.end();) {
                RoomTable& t = *it->second;
                if (t.phase.load() == RoomTable::Ended &&
                    now - t.ended >= std::chrono::seconds(options.keepEndedSeconds) && t.web->connected() == 0) {
                    gone.push_back(it->second);
                    order.erase(std::find(order.begin(), order.end(), it->first));
                    it = tables.erase(it);
                } else {
                    all.push_back(it->second);
                    ++it;
                }
            }
        }
        for (auto& t : all) t->web->tick();
        for (auto& t : gone) say("[房间] 牌桌 " + t->id + " 已撤下。");
    }

    int maxConnections() const override { return options.connections; }
    int maxConnectionsFromOne() const override { return options.connectionsFromOne; }

    Opened open(const TableRequest& request, const std::string& from) {
        Opened o;
        std::shared_ptr<RoomTable> t;
        {
            std::lock_guard<std::mutex> lock(mutex);
            if (stopped.load()) {
                o.refusal = "房间正在关闭。\n";
                return o;
            }
            int open = 0;
            for (const auto& [id, table] : tables) open += table->phase.load() != RoomTable::Ended;
            if (open >= options.tables) {
                o.refusal = "房间的牌桌已满，请稍后再试。\n";
                return o;
            }
            auto now = Clock::now();
            std::deque<Clock::time_point>& recent = opensFrom[from];
            while (!recent.empty() && now - recent.front() >= std::chrono::minutes(1)) recent.pop_front();
            if (static_cast<int>(recent.size()) >= options.opensPerMinute) {
                o.refusal = "一分钟内开桌太多，请稍后再试。\n";
                return o;
            }
            recent.push_back(now);
            t = std::make_shared<RoomTable>(options.random);
            do {
                t->id = drawHex(options.random, 8);
            } while (tables.count(t->id) != 0);
            t->openerCode = drawCode(options.random);
            t->web->hostCode(t->openerCode);
            t->request = request;
            t->opt = options.base;
            t->opt.ai = request.ai;
            t->opt.seed = options.base.seed + serial++;
            t->answerSeconds = options.answerSeconds;
            t->unstartedSeconds = options.unstartedSeconds;
            if (!options.recordsDir.empty()) {
                t->recordPath = options.recordsDir + "/" + t->id + ".txt";
                t->recording = t->record.open(t->recordPath);
            }
            t->web->recordAt(t->recording ? t->recordPath : std::string());
            t->store = options.store;
            t->storeFailing = [this] {
                std::string text = STORE_FAILING_TEXT;
                text.pop_back();
                if (!storeFailTold.exchange(true)) say(text);
            };
            WebHost* host = web.get();
            const WebTable* table = t->web.get();
            t->web->onWake([host, table] { host->wake(table); });
            tables[t->id] = t;
            order.push_back(t->id);
        }
        o.id = t->id;
        o.openerCode = t->openerCode;
        say("[房间] 牌桌 " + t->id + " 已开：" + (request.mode == Identity ? "身份局" : "3v3") + "，真人" +
            std::to_string(request.people) + "人" + (request.listed ? "" : "（仅凭链接）") + "。");
        RoomTable* raw = t.get();
        t->thread = std::thread([this, raw] {
            raw->run();
            say("[房间] 牌桌 " + raw->id + " 已结束。");
            // A strong player's game costs about a second to replay: it is replayed once now, into the
            // viewer's cache, rather than by the first person to open it.
            if (pages && raw->strong && raw->keptId.load() >= 0 && !stopped.load()) pages->warm(raw->keptId.load());
        });
        return o;
    }

    std::vector<TableListing> listed() const {
        std::lock_guard<std::mutex> lock(mutex);
        std::vector<TableListing> out;
        for (const std::string& id : order) {
            const RoomTable& t = *tables.at(id);
            if (!t.request.listed) continue;
            TableListing l;
            l.id = id;
            l.mode = t.request.mode;
            int phase = t.phase.load();
            l.begun = phase != RoomTable::Lobby;
            l.ended = phase == RoomTable::Ended;
            l.people = l.begun ? t.humans.load() : t.request.people;
            l.computer = 6 - l.people;
            out.push_back(l);
        }
        return out;
    }
};

std::string lineGreeting(const std::vector<TableListing>& tables) {
    std::string out = "[房间] 欢迎来到六人卡维林房间。\n";
    if (tables.empty()) out += "[房间] 目前没有公开的牌桌；在浏览器打开房间页即可开桌。\n";
    for (const TableListing& t : tables)
        out += "  " + t.id + "  " + (t.mode == Identity ? "身份局" : "3v3") + " 真人" + std::to_string(t.people) +
               " 电脑" + std::to_string(t.computer) + " " + (t.begun ? "对局中" : "等待开局") + "\n";
    return out + "输入牌桌ID加入：";
}

// A line client joins a table's lobby by its ID; a table that has begun is watched from a browser.
TypedLine takeTypedLine(std::string& typed, std::string& line) {
    std::size_t nl = typed.find('\n');
    if (nl == std::string::npos) return typed.size() > MAX_TYPED_LINE ? TypedLine::TooLong : TypedLine::None;
    if (nl > MAX_TYPED_LINE) return TypedLine::TooLong;
    line = typed.substr(0, nl);
    typed.erase(0, nl + 1);
    while (!line.empty() && (line.back() == '\r' || line.back() == ' ')) line.pop_back();
    return TypedLine::Line;
}

void Room::Impl::lineAnswered(LineGuest& g, const std::string& line) {
    std::shared_ptr<RoomTable> t = find(line);
    if (t && t->phase.load() == RoomTable::Lobby && !stopped.load()) {
        std::lock_guard<std::mutex> lock(t->arrivingLock);
        t->arriving.push_back(g.s);
        g.s = INVALID_NET_SOCKET;
        return;
    }
    std::string why = !t ? "[房间] 没有这个牌桌。\n" : "[房间] 该牌桌已开局，请用浏览器打开 /t/" + line + " 观战。\n";
    if (++g.tries >= 3 || t) {
        sendSocketText(g.s, why);
        closeGracefully({g.s}, 200);
        g.s = INVALID_NET_SOCKET;
        return;
    }
    sendSocketText(g.s, why + "输入牌桌ID加入：");
}

void Room::Impl::lineLoop() {
    std::vector<LineGuest> guests;
    while (!stopped.load()) {
        for (SocketHandle s = acceptClient(lineListener); socketValid(s); s = acceptClient(lineListener)) {
            if (guests.size() >= MAX_LINE_GUESTS) {
                sendSocketText(s, "[房间] 人太多，请稍后再试。\n");
                closeGracefully({s}, 100);
                continue;
            }
            LineGuest g;
            g.s = s;
            g.deadline = Clock::now() + std::chrono::seconds(LINE_GUEST_SECONDS);
            if (sendSocketText(s, lineGreeting(listed())))
                guests.push_back(g);
            else
                closeSocket(s);
        }
        auto now = Clock::now();
        for (LineGuest& g : guests) {
            char buf[512];
            while (socketValid(g.s) && waitReadable(g.s, 0)) {
                long got = receiveSome(g.s, buf, sizeof buf);
                if (got <= 0) {
                    closeSocket(g.s);
                    g.s = INVALID_NET_SOCKET;
                    break;
                }
                g.typed.append(buf, static_cast<std::size_t>(got));
                std::string line;
                TypedLine typed = TypedLine::None;
                while (socketValid(g.s) && (typed = takeTypedLine(g.typed, line)) == TypedLine::Line)
                    lineAnswered(g, line);
                if (typed == TypedLine::TooLong) {
                    closeSocket(g.s);
                    g.s = INVALID_NET_SOCKET;
                }
            }
            if (socketValid(g.s) && now >= g.deadline) {
                closeSocket(g.s);
                g.s = INVALID_NET_SOCKET;
            }
        }
        guests.erase(std::remove_if(guests.begin(), guests.end(), [](const LineGuest& g) { return !socketValid(g.s); }),
                     guests.end());
        sleepMilliseconds(50);
    }
    for (LineGuest& g : guests) {
        sendSocketText(g.s, CLOSING_TEXT);
        closeSocket(g.s);
    }
}

Room::Room(RoomOptions options) : impl_(std::make_unique<Impl>(std::move(options))) {
    impl_->web = std::make_unique<WebHost>(*impl_);
    if (!impl_->options.publicUrl.empty()) impl_->web->proxiedAt(impl_->options.publicUrl);
}

// Table threads still playing when the room goes are joined: a stopped room's tables have told their
// browsers goodbye, so every question they ask ends at once.
Room::~Room() {
    stop();
    std::vector<std::shared_ptr<RoomTable>> all;
    {
        std::lock_guard<std::mutex> lock(impl_->mutex);
        for (auto& [id, t] : impl_->tables) all.push_back(t);
    }
    for (auto& t : all)
        if (t->thread.joinable()) t->thread.join();
    impl_->web.reset();
    std::lock_guard<std::mutex> lock(impl_->mutex);
    impl_->tables.clear();
}

bool Room::start() {
    if (!impl_->web->start(impl_->options.webPort)) return false;
    if (impl_->options.linePort == 0) return true;
    impl_->lineListener = listenTcp(impl_->options.linePort);
    if (!socketValid(impl_->lineListener)) return false;
    impl_->lineThread = std::thread([impl = impl_.get()] { impl->lineLoop(); });
    return true;
}

std::uint16_t Room::port() const { return impl_->web->port(); }

WebSite& Room::site() { return *impl_; }

void Room::stop() {
    if (impl_->stopped.exchange(true)) return;
    std::vector<std::shared_ptr<RoomTable>> all;
    {
        std::lock_guard<std::mutex> lock(impl_->mutex);
        for (auto& [id, t] : impl_->tables) all.push_back(t);
    }
    for (auto& t : all) {
        t->stopping = true;
        t->record.stop();
        t->stopStoring();
        if (t->phase.load() != RoomTable::Ended) t->web->closeWith(CLOSING_TEXT);
    }
    impl_->web->closeAll();
    if (impl_->lineThread.joinable()) impl_->lineThread.join();
    closeSocket(impl_->lineListener);
    impl_->lineListener = INVALID_NET_SOCKET;
}

Room::Opened Room::open(const TableRequest& request, const std::string& from) { return impl_->open(request, from); }

std::vector<TableListing> Room::listed() const { return impl_->listed(); }

int Room::openTables() const {
    std::lock_guard<std::mutex> lock(impl_->mutex);
    int open = 0;
    for (const auto& [id, t] : impl_->tables) open += t->phase.load() != RoomTable::Ended;
    return open;
}

} // namespace kvr
