#include "net/hub.hpp"

#include <algorithm>
#include <chrono>
#include <iostream>

#include "net/web_table.hpp"

namespace kvr {

LanHub::LanHub(SecureSource random) : socketsReady_(startNetworking()), random_(std::move(random)) {
    seats_.fill(INVALID_NET_SOCKET);
}

LanHub::~LanHub() {
    closeAll("", 300);
    if (socketsReady_) stopNetworking();
}

bool LanHub::start(std::uint16_t port) {
    if (!socketsReady_) return false;
    closeSocket(listener_);
    listener_ = listenTcp(port);
    return socketValid(listener_);
}

namespace {

// What a lobby client may type ahead before its connection's end is no longer looked for.
constexpr std::size_t MAX_TYPED_AHEAD = 64 * 1024;

} // namespace

long nextJoinTicket() {
    static std::atomic<long> last{0};
    return ++last;
}

void LanHub::attachWeb(WebTable* web) {
    std::lock_guard<std::mutex> lock(mutex_);
    web_ = web;
}

int LanHub::joined() const {
    return static_cast<int>(clients_.size()) + (web_ ? static_cast<int>(web_->lobbyJoiners().size()) : 0);
}

long LanHub::ticketOf(SocketHandle s) const {
    auto it = tickets_.find(s);
    return it == tickets_.end() ? 0 : it->second;
}

// Browsers join through the web table meanwhile; they are counted here as they come and go. The lobby is
// full only of players still there: a line client whose connection ended gives its place up, and the
// lobby is checked for leavers before it closes, too.
void LanHub::waitForClients(int wanted, int seconds) {
    auto deadline = std::chrono::steady_clock::now() + std::chrono::seconds(seconds < 0 ? 0 : seconds);
    int told = joined();
    for (;;) {
        dropLeavers();
        if (web_) web_->lobby(static_cast<int>(clients_.size()), wanted);
        int now = joined();
        if (now != told)
            std::cout << (now > told ? "客户端已加入" : "客户端已离开") << "，目前远程玩家：" << now << "人。\n"
                      << std::flush;
        told = now;
        if (now >= wanted || std::chrono::steady_clock::now() >= deadline) break;
        SocketHandle s = socketValid(listener_) ? acceptClient(listener_) : INVALID_NET_SOCKET;
        if (!socketValid(s)) {
            sleepMilliseconds(100);
            continue;
        }
        clients_.push_back(s);
        tickets_[s] = nextJoinTicket();
        sendTo(s, "[大厅] 已连接主机，你将占据第" + std::to_string(now + 2) + "个真人座位。等待开局...\n");
    }
}

void LanHub::adopt(SocketHandle s) {
    int now = joined();
    clients_.push_back(s);
    tickets_[s] = nextJoinTicket();
    sendTo(s, "[大厅] 已连接主机，你将占据第" + std::to_string(now + 2) + "个真人座位。等待开局...\n");
}

void LanHub::pollLobby(int wanted) {
    dropLeavers();
    if (web_) web_->lobby(static_cast<int>(clients_.size()), wanted);
}

void LanHub::dropLeavers() {
    clients_.erase(std::remove_if(clients_.begin(), clients_.end(),
                                  [this](SocketHandle s) {
                                      if (!connectionEnded(s)) return false;
                                      inboxes_.erase(s);
                                      tickets_.erase(s);
                                      closeSocket(s);
                                      return true;
                                  }),
                   clients_.end());
}

bool LanHub::connectionEnded(SocketHandle s) {
    Inbox& box = inbox(s);
    char buf[MAX_LINE_BYTES];
    while (!box.broken && box.rest.size() < MAX_TYPED_AHEAD && waitReadable(s, 0)) {
        long got = receiveSome(s, buf, sizeof buf);
        if (got <= 0)
            box.broken = true;
        else
            box.rest.append(buf, static_cast<std::size_t>(got));
    }
    return box.broken;
}

bool LanHub::sendTo(SocketHandle s, std::string_view text) {
    if (!socketValid(s)) return false;
    Inbox& box = inbox(s);
    if (box.broken) return false;
    bool sent = false;
    {
        std::lock_guard<std::mutex> lock(sendLock_);
        sent = sendSocketBytes(s, text.data(), text.size());
    }
    if (sent) return true;
    box.broken = true;
    return false;
}

void LanHub::broadcast(std::string_view text) {
    for (SocketHandle s : clients_) sendTo(s, text);
    for (SocketHandle s : returners_) sendTo(s, text);
    std::lock_guard<std::mutex> lock(mutex_);
    for (Visitor& v : visitors_) {
        if (!v.watching) continue;
        v.out.append(text.data(), text.size());
        flush(v);
    }
}

// Reads in chunks and keeps what follows the line for the next call, so a line costs one or two
// reads rather than one per byte, and a flood without newlines costs no memory beyond one line.
bool LanHub::receiveLine(SocketHandle s, std::string& out) {
    out.clear();
    if (!socketValid(s)) return false;
    Inbox& box = inbox(s);
    if (box.broken) return false;
    char buf[MAX_LINE_BYTES];
    for (;;) {
        if (box.rest.empty()) {
            long got = receiveSome(s, buf, sizeof buf);
            if (got <= 0) {
                box.broken = true;
                return false;
            }
            box.rest.assign(buf, static_cast<std::size_t>(got));
        }
        std::size_t used = 0;
        bool ended = false;
        for (; used < box.rest.size() && !ended; ++used) {
            char ch = box.rest[used];
            if (ch == '\n')
                ended = true;
            else if (ch != '\r' && out.size() < MAX_LINE_BYTES)
                out += ch;
        }
        box.rest.erase(0, used);
        if (ended) return true;
    }
}

} // namespace kvr

namespace kvr {

Answer LanHub::receiveAnswer(SocketHandle s, std::string& out, int seconds) {
    if (seconds <= 0) return receiveLine(s, out) ? Answer::Line : Answer::Dropped;
    out.clear();
    if (!socketValid(s)) return Answer::Dropped;
    Inbox& box = inbox(s);
    if (box.broken) return Answer::Dropped;
    char buf[MAX_LINE_BYTES];
    if (box.late) {
        box.late = false;
        while (!box.broken && waitReadable(s, 0)) {
            long got = receiveSome(s, buf, sizeof buf);
            if (got <= 0) box.broken = true;
            else box.rest.append(buf, static_cast<std::size_t>(got));
            std::size_t end = box.rest.rfind('\n');
            if (end != std::string::npos) box.rest.erase(0, end + 1);
            if (box.rest.size() > MAX_LINE_BYTES) box.rest.resize(MAX_LINE_BYTES);
        }
        std::size_t end = box.rest.rfind('\n');
        if (end != std::string::npos) box.rest.erase(0, end + 1);
    }
    auto deadline = std::chrono::steady_clock::now() + std::chrono::seconds(seconds);
    for (;;) {
        if (box.rest.find('\n') != std::string::npos) return receiveLine(s, out) ? Answer::Line : Answer::Dropped;
        if (box.broken) return Answer::Dropped;
        auto left = std::chrono::duration_cast<std::chrono::milliseconds>(deadline - std::chrono::steady_clock::now());
        if (left.count() <= 0) {
            box.late = true;
            return Answer::TimedOut;
        }
        if (!waitReadable(s, static_cast<int>(std::min<long long>(left.count(), 1000)))) continue;
        long got = receiveSome(s, buf, sizeof buf);
        if (got <= 0) {
            box.broken = true;
            return Answer::Dropped;
        }
        box.rest.append(buf, static_cast<std::size_t>(got));
        // A line longer than the limit keeps only its start, as receiveLine would.
        if (box.rest.find('\n') == std::string::npos && box.rest.size() > MAX_LINE_BYTES)
            box.rest.resize(MAX_LINE_BYTES);
    }
}

} // namespace kvr
