#include "store/storing_io.hpp"

#include <chrono>
#include <ostream>

#include "model/game.hpp"

namespace kvr {

std::int64_t storeClock() {
    using namespace std::chrono;
    return duration_cast<milliseconds>(system_clock::now().time_since_epoch()).count();
}

const char* const STORE_FAILING_TEXT =
    "[记录] 对局数据库无法写入（磁盘可能已满），本局此后不再存入数据库，对局继续。\n";

StoringIo::StoringIo(TableIo& inner, GameStore& store, const GameStart& start, const RecordHead& head,
                     std::ostream& console)
    : StoringIo(inner, store, start, head, [&console] { console << STORE_FAILING_TEXT << std::flush; }) {}

StoringIo::StoringIo(TableIo& inner, GameStore& store, const GameStart& start, const RecordHead& head,
                     std::function<void()> failing)
    : store_(store), opt_(head.opt), writer_(sink_), recording_(inner, writer_) {
    sink_.store = &store;
    sink_.told = std::move(failing);
    sink_.id = store.begin(start);
    if (sink_.id < 0) sink_.failing();
    writer_.head(head);
}

bool StoringIo::Sink::keep(std::string_view lines) {
    std::lock_guard<std::mutex> held(lock);
    if (stopped) return true;
    if (id < 0 || failed) return false;
    if (store->append(id, lines)) return true;
    failing();
    return false;
}

// The game is never stopped for its keeping: it plays on, and the console is told once.
void StoringIo::Sink::failing() {
    if (failed) return;
    failed = true;
    if (told) told();
}

void StoringIo::stop() {
    std::lock_guard<std::mutex> held(sink_.lock);
    if (sink_.stopped) return;
    sink_.stopped = true;
    if (sink_.id < 0) return;
    GameEnd end;
    end.ended = storeClock();
    end.complete = false;
    store_.finish(sink_.id, end);
}

void StoringIo::seated(const Game& game) {
    std::lock_guard<std::mutex> held(sink_.lock);
    if (sink_.id < 0 || sink_.stopped) return;
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
    std::lock_guard<std::mutex> held(sink_.lock);
    if (sink_.id < 0 || sink_.stopped) return;
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
