// The room's pages of kept games on arbitrary requests: a path with its query, or a posted record file.
// They never fail but by a status a page expects, every 200 is JSON, and an unlisted table's game is
// never reached but by its table's link.
#include <stdlib.h>

#include <cstdint>
#include <cstdlib>
#include <memory>
#include <sstream>
#include <string>

#include <nlohmann/json.hpp>

#include "console/record.hpp"
#include "model/game.hpp"
#include "room/game_pages.hpp"
#include "store/sqlite_store.hpp"
#include "store/storing_io.hpp"

namespace {

void check(bool ok) {
    if (!ok) std::abort();
}

class Quiet : public kvr::TableIo {
  public:
    void showAll(std::string_view) override {}
    void show(int, std::string_view) override {}
    kvr::Answer ask(int, std::string&) override { return kvr::Answer::Closed; }
};

std::int64_t keep(kvr::GameStore& store, const char* table, bool listed, std::uint32_t seed) {
    kvr::Options opt;
    opt.autoPlay = true;
    opt.fast = true;
    opt.color = false;
    opt.seed = seed;
    Quiet quiet;
    std::ostringstream told;
    kvr::StoringIo storing(quiet, store,
                           kvr::GameStart{table, listed, 1, kvr::Identity, seed, kvr::ClassicAi, 0},
                           kvr::RecordHead{kvr::RecordedGame::Automatic, kvr::Identity, opt, 0}, told);
    kvr::Game game(kvr::Identity, opt, &storing);
    game.setup();
    storing.seated(game);
    game.run();
    storing.finish(game);
    return storing.id();
}

// One store for the whole run: a listed table's game and an unlisted one's.
struct Room {
    std::unique_ptr<kvr::SqliteStore> store;
    std::unique_ptr<kvr::GamePages> pages;
    std::int64_t hidden = -1;
    Room() {
        char name[] = "/tmp/kavrin-fuzz-pagesXXXXXX";
        store = std::make_unique<kvr::SqliteStore>(mkdtemp(name));
        keep(*store, "0123456789abcdef", true, 3);
        hidden = keep(*store, "feedbeef", false, 4);
        pages = std::make_unique<kvr::GamePages>(*store, [](unsigned char* b, std::size_t n) {
            for (std::size_t k = 0; k < n; ++k) b[k] = static_cast<unsigned char>(k * 7 + 1);
        });
    }
};

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    static Room room;
    static long serial = 0;
    if (size == 0) return 0;
    const std::string text(reinterpret_cast<const char*>(data) + 1, size - 1);
    kvr::WebSite::Reply out;
    bool found = false;
    std::string path = text.substr(0, text.find('?'));
    if (data[0] == 'P') {
        // A posted record: from addresses of their own, so that the minute's limit seldom holds.
        found = room.pages->upload("/replay/upload", text, "fuzz" + std::to_string(++serial % 4000), out);
        check(found);
    } else if (kvr::GamePages::ours(path)) {
        std::string query = path.size() < text.size() ? text.substr(path.size() + 1) : std::string();
        found = room.pages->answer(path, query, out);
        std::string own = "/replay/" + std::to_string(room.hidden) + "/";
        if (found && path.rfind(own, 0) == 0) check(out.status != 200);
    } else {
        kvr::GamePages::pageAt(path);
        return 0;
    }
    if (!found) return 0;
    check(out.status == 200 || out.status == 400 || out.status == 413 || out.status == 422 || out.status == 429);
    if (out.status == 200) check(nlohmann::json::accept(out.body));
    return 0;
}
