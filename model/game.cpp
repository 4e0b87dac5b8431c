#include <algorithm>

#define XXH_INLINE_ALL
#include <xxhash.h>

#include "model/game.hpp"
#include "model/text.hpp"

namespace kvr {

Game::Game(Mode mode, Options opt, TableIo* io)
    : mode_(mode), opt_(opt), rng_(opt.seed), allClassic_(opt.ai == ClassicAi && opt.strongRoles == 0) {
    setIo(io);
}

void Game::setIo(TableIo* io) {
    io_ = io;
    hosted_ = io && io->hosted();
}

// Every member but the io, the action hook and the log line's buffer, which belong to one game object.
Game::Game(const Game& other) : mode_(other.mode_), opt_(other.opt_), rng_(0) { *this = other; }

Game& Game::operator=(const Game& other) {
    if (this == &other) return *this;
    mode_ = other.mode_;
    opt_ = other.opt_;
    opt_.decisionTimes = nullptr;
    rng_ = other.rng_;
    ps_ = other.ps_;
    deck_ = other.deck_;
    discard_ = other.discard_;
    human_ = other.human_;
    current_ = other.current_;
    step_ = other.step_;
    nextSeat_ = other.nextSeat_;
    round_ = other.round_;
    haltAt_ = other.haltAt_;
    midPlay_ = other.midPlay_;
    viewSeat_ = other.viewSeat_;
    ended_ = other.ended_;
    result_ = other.result_;
    pool_ = other.pool_;
    counts_ = other.counts_;
    players_ = other.players_;
    auditRoles_ = other.auditRoles_;
    rolesOpen_ = other.rolesOpen_;
    roleReads_ = 0;
    playerRng_ = other.playerRng_;
    harm_ = other.harm_;
    help_ = other.help_;
    lacks_ = other.lacks_;
    seenIn_ = other.seenIn_;
    lackCount_ = other.lackCount_;
    passedOver_ = other.passedOver_;
    passedOverCount_ = other.passedOverCount_;
    keptCount_ = other.keptCount_;
    noSlashReach_ = other.noSlashReach_;
    noSlashCount_ = other.noSlashCount_;
    choiceMisses_ = other.choiceMisses_;
    pendingChoice_ = other.pendingChoice_;
    pendingMisses_ = other.pendingMisses_;
    allClassic_ = other.allClassic_;
    tape_ = other.tape_;
    return *this;
}

void Game::simulateWith(const ComputerPlayer& player) {
    setIo(nullptr);
    opt_.autoPlay = true;
    opt_.fast = true;
    opt_.decisionTimes = nullptr;
    for (Player& x : ps_) x.human = false;
    players_.fill(&player);
    allClassic_ = player.classic();
}

// XXH3 of the seed's four bytes (little-endian on every platform) keyed by the seat: a seat's engine tells
// nothing of the game's seed short of trying every seed, nor of another seat's engine.
std::uint64_t seatEngineSeed(std::uint32_t seed, int seat) {
    const unsigned char bytes[4] = {static_cast<unsigned char>(seed), static_cast<unsigned char>(seed >> 8),
                                    static_cast<unsigned char>(seed >> 16),
                                    static_cast<unsigned char>(seed >> 24)};
    return XXH3_64bits_withSeed(bytes, sizeof bytes, 0x6b7672ULL << 8 | static_cast<unsigned>(seat));
}

void Game::setup() {
    for (auto& seen : seenIn_) seen.fill(-1);
    for (std::size_t q = 0; q < playerRng_.size(); ++q)
        playerRng_[q] = seatEngineSeed(opt_.seed, static_cast<int>(q));
    makeDeck();
    makePlayers();
    attachNetworkPlayers();
    for (int seat = 0; seat < 6; ++seat) draw(seat, 4, false);

    if (opt_.autoPlay) {
        if (!io_) return;
        textOf("[自动测试] seed=", opt_.seed, " 模式=", mode_ == Identity ? "身份局" : "普通3v3", "\n");
        for (int i = 0; i < 6; ++i)
            addPieces(line_, i + 1, "号 ", ps_[i].hero.name, "/", roleName(ps_[i].role), "\n");
        show(line_.view());
        return;
    }
    activateSeat(human_);
    clear();
    table();
    show("\n游戏内输入 h 查看速查，s 发动武将技，v 使用转化杀，e 结束出牌。\n");
    if (io_ && io_->hosted()) publicMessage("[大厅] 已开局；空余座位均由AI补充。\n");
    if (!opt_.fast) pause("按 Enter 开局...");
}

void Game::makePlayers() {
    const std::vector<Hero>& hb = heroRoster();
    std::vector<int> hids(hb.size());
    for (std::size_t i = 0; i < hids.size(); ++i) hids[i] = static_cast<int>(i);
    std::shuffle(hids.begin(), hids.end(), rng_);

    ps_.fill(Player{});
    const char* const aiNames[6] = {"苍虎机", "赤虎机", "玄虎机", "白虎机", "金虎机", "青虎机"};
    std::vector<Role> roles(6, TeamHan);
    human_ = -1;

    if (mode_ == Identity) {
        std::vector<Role> pool = {Lord, Loyalist, Rebel, Rebel, Rebel, Renegade};
        roles[0] = Lord;
        pool.erase(pool.begin());
        if (!opt_.autoPlay) {
            show("选择身份：1随机 2主公 3忠臣 4反贼 5内奸：");
            Query q;
            q.topic = "role";
            q.ask = "选择身份";
            for (const char* role : {"随机", "主公", "忠臣", "反贼", "内奸"})
                q.options.push_back({std::to_string(q.options.size() + 1), role, -1, -1});
            int answer = number(1, 5, 1, &q);
            const Role asked[5] = {Lord, Lord, Loyalist, Rebel, Renegade};
            Role want = Lord;
            if (answer == 1) {
                const Role full[6] = {Lord, Loyalist, Rebel, Rebel, Rebel, Renegade};
                want = full[roll(0, 5)];
            } else {
                want = asked[answer - 1];
            }
            if (want == Lord) {
                human_ = 0;
            } else {
                human_ = roll(1, 5);
                pool.erase(std::find(pool.begin(), pool.end(), want));
                roles[human_] = want;
            }
        }
        std::shuffle(pool.begin(), pool.end(), rng_);
        std::size_t next = 0;
        for (int seat = 1; seat < 6; ++seat)
            if (seat != human_) roles[seat] = pool[next++];
    } else {
        for (int seat = 0; seat < 6; ++seat) roles[seat] = seat % 2 == 0 ? TeamHan : TeamChu;
        human_ = opt_.autoPlay ? -1 : 0;
    }

    int chosen = -1;
    if (human_ >= 0) {
        std::string out = "\n选择武将（输入 1~" + std::to_string(hb.size()) + "）：\n";
        for (std::size_t i = 0; i < hb.size(); ++i)
            out += padLeft(std::to_string(i + 1), 2) + "." + padRight(hb[i].name, 8) + " " + hb[i].kingdom +
                   " " + std::to_string(hb[i].hp) + "体力 【" + hb[i].skills + "】\n";
        show(out + "> ");
        Query q;
        q.topic = "hero";
        q.ask = "选择武将";
        for (std::size_t i = 0; i < hb.size(); ++i)
            q.options.push_back({std::to_string(i + 1),
                                 hb[i].name + " " + hb[i].kingdom + " " + std::to_string(hb[i].hp) +
                                     "体力 【" + hb[i].skills + "】",
                                 -1, -1});
        chosen = number(1, static_cast<int>(hb.size()), 1, &q) - 1;
        hids.erase(std::find(hids.begin(), hids.end(), chosen));
    }

    std::size_t nextHero = 0;
    for (int i = 0; i < 6; ++i) {
        Player& x = ps_[i];
        x.human = (i == human_);
        x.label = x.human ? "你" : aiNames[i];
        x.role = roles[i];
        x.hero = x.human ? hb[chosen] : hb[hids[nextHero++]];
        x.maxHp = x.hero.hp + (mode_ == Identity && x.role == Lord ? 1 : 0);
        x.hp = x.maxHp;
        x.revealed = mode_ == Normal3v3 || x.role == Lord;
    }
}

// Remote humans take the computer seats in seat order, the first player to join the first seat, and
// keep the role and hero dealt there. Each learns its seat privately.
void Game::attachNetworkPlayers() {
    if (!io_) return;
    int joined = io_->remotePlayers();
    int k = 0;
    for (int seat = 0; seat < 6 && k < joined; ++seat) {
        if (seat == human_) continue;
        Player& x = ps_[seat];
        std::string player = "远程玩家" + std::to_string(k + 1);
        if (!io_->seatRemote(k++, seat,
                             "\n[开局] 你是" + std::to_string(seat + 1) + "号位，武将【" + x.hero.name +
                                 "】，身份/阵营【" + roleText(x.role) + "】。\n")) {
            io_->show(-1, player + "在开局前已离开，" + std::to_string(seat + 1) + "号位由AI接管。\n");
            continue;
        }
        x.human = true;
        x.label = player;
    }
}

// A remote seat whose player went away is played by the computer until the player comes back.
void Game::dropSeat(int p) {
    if (p < 0 || p >= static_cast<int>(ps_.size()) || !ps_[p].human) return;
    ps_[p].human = false;
    publicMessage("[网络] " + ps_[p].hero.name + "断线，已由AI接管。\n");
}

} // namespace kvr
