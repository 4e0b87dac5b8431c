#include "store/storing_io.hpp"

#include <chrono>
#include <ostream>

#include "model/game.hpp"

namespace kvr {

std::int64_t storeClock() {
    using namespace std::chrono;
    return duration_cast<milliseconds>(system_clock::now().time_since_epoch()).count();
}

StoringIo::StoringIo(TableIo& inner, GameStore& store, const GameStart& start, const RecordHead& head,
                     std::ostream& console)
    : store_(store), opt_(head.opt), writer_(sink_), recording_(inner, writer_) {
    sink_.store = &store;
    sink_.console = &console;
    sink_.id = store.begin(start);
    if (sink_.id < 0) sink_.failing();
    writer_.head(head);
}

bool StoringIo::Sink::keep(std::string_view lines) {
    if (id < 0 || failed) return false;
    if (store->append(id, lines)) return true;
    failing();
    return false;
}

// The game is never stopped for its keeping: it plays on, and the room's console says so once.
void StoringIo::Sink::failing() {
    if (failed) return;
    failed = true;
    *console << "[记录] 对局数据库无法写入（磁盘可能已满），本局此后不再存入数据库，对局继续。\n"
             << std::flush;
}

void StoringIo::seated(const Game& game) {
    if (sink_.id < 0) return;
    const Options& opt = opt_;
    std::array<StoredSeat, 6> seats;
    for (int p = 0; p < 6; ++p) {
        const Player& x = game.players()[static_cast<std::size_t>(p)];
        StoredSeat& s = seats[static_cast<std::size_t>(p)];
        s.hero = x.hero.id;
        s.role = x.role;
        bool strong = opt.ai == StrongAi || ((opt.strongRoles >> x.role) & 1U) != 0;
        s.player = x.human && !opt.autoPlay ? PlayedBy::Person
                   : strong                 ? PlayedBy::Strong
                                            : PlayedBy::Classic;
    }
    if (!store_.seated(sink_.id, seats)) sink_.failing();
}

void StoringIo::finish(const Game& game) {
    if (sink_.id < 0) return;
    GameEnd end;
    end.ended = storeClock();
    end.result = game.result();
    end.rounds = game.roundsPlayed();
    for (int p = 0; p < 6; ++p)
        end.won[static_cast<std::size_t>(p)] =
            seatWon(game.mode(), game.players()[static_cast<std::size_t>(p)].role, end.result);
    end.complete = kept() && game.ended();
    if (!store_.finish(sink_.id, end)) sink_.failing();
}

} // namespace kvr
