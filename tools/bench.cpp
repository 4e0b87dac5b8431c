// kavrin-bench [games]: plays a fixed list of seeds with computer players only and prints one
// signature, a hash of every transcript, with games per second. A change that keeps behaviour keeps
// the hash.
// kavrin-bench --stats N [--mode normal|identity]: plays N games of the same list (or of one mode)
// and prints statistics about them.
// kavrin-bench --match N [--first-seed S] [--jobs J] [--think MS] [--plays-per-ms N] [--lines L] [--results
// FILE] [--data DIR]: the strong computer player against the classic one; --results writes each game's
// outcome to FILE, and with --data every game is kept in DIR's database.
// kavrin-bench --calibrate [games]: how many plays the strong player's search gets through a millisecond.
// kavrin-bench --silent [games]: start positions copied and played to the end with no text.
#include <chrono>
#include <cstdlib>
#include <cstring>
#include <ctime>
#include <iostream>
#include <memory>
#include <string>

#include "ai/strong.hpp"
#include "store/game_store.hpp"
#include "tools/autoplay.hpp"
#include "tools/match.hpp"
#include "tools/silent.hpp"
#include "tools/stats.hpp"
#ifdef KAVRIN_STORE
#include "store/sqlite_store.hpp"
#endif

namespace {

using Clock = std::chrono::steady_clock;

double secondsSince(Clock::time_point start) {
    return std::chrono::duration<double>(Clock::now() - start).count();
}

int usage() {
    std::cerr << "usage: kavrin-bench [games]\n       kavrin-bench --stats N [--mode normal|identity]\n"
                 "       kavrin-bench --match N [--first-seed S] [--jobs J] [--think MS] [--plays-per-ms N]\n"
                 "                    [--lines team,lord,rebels,renegade] [--results FILE] [--data DIR]\n"
                 "       kavrin-bench --calibrate [games]\n"
                 "       kavrin-bench --silent [games]\n";
    return 2;
}

// Plays the games and prints the tables; after two seconds a progress line on standard error.
int stats(int games, int forcedMode) {
    kvr::Statistics s;
    std::string transcript;
    kvr::GameRecord record;
    auto start = Clock::now();
    auto shown = start;
    for (int i = 0; i < games; ++i) {
        kvr::Mode mode = forcedMode >= 0 ? static_cast<kvr::Mode>(forcedMode) : kvr::benchMode(i);
        transcript.clear();
        kvr::playAutomatic(mode, kvr::benchSeed(i), transcript, &record);
        s.add(record);
        if (secondsSince(start) > 2 && secondsSince(shown) > 0.25) {
            shown = Clock::now();
            std::cerr << "\r" << i + 1 << "/" << games << " games, "
                      << static_cast<long>((i + 1) / secondsSince(start)) << " games/s   " << std::flush;
        }
    }
    if (shown != start) std::cerr << "\r" << std::string(60, ' ') << "\r" << std::flush;
    s.print(std::cout);
    return 0;
}

bool positive(const char* text, int& out) {
    char* end = nullptr;
    long v = std::strtol(text, &end, 10);
    if (end == text || *end != '\0' || v < 1 || v > 100000000) return false;
    out = static_cast<int>(v);
    return true;
}

} // namespace

int main(int argc, char** argv) {
    std::ios::sync_with_stdio(false);
    if (argc > 1 && std::strcmp(argv[1], "--match") == 0) {
        kvr::MatchSettings settings;
        if (argc < 3 || !positive(argv[2], settings.games)) return usage();
        int think = 0, perMs = kvr::STRONG_PLAYS_PER_MS;
        std::unique_ptr<kvr::GameStore> store;
        for (int i = 3; i + 1 < argc; i += 2) {
            int value = 0;
            if (std::strcmp(argv[i], "--data") == 0) {
#ifdef KAVRIN_STORE
                try {
                    store = std::make_unique<kvr::SqliteStore>(argv[i + 1]);
                } catch (const kvr::StoreError& e) {
                    std::cerr << e.what() << "\n";
                    return 1;
                }
                settings.store = store.get();
                continue;
#else
                std::cerr << "kavrin-bench was built without SQLite: no --data\n";
                return 1;
#endif
            }
            if (std::strcmp(argv[i], "--results") == 0) {
                settings.results = argv[i + 1];
                continue;
            }
            if (std::strcmp(argv[i], "--lines") == 0) {
                settings.lines = 0;
                std::string list = argv[i + 1];
                const char* names[] = {"team", "lord", "rebels", "renegade"};
                for (unsigned k = 0; k < 4; ++k)
                    if (("," + list + ",").find(std::string(",") + names[k] + ",") != std::string::npos)
                        settings.lines |= 1U << k;
                if (settings.lines == 0) return usage();
                continue;
            }
            if (!positive(argv[i + 1], value)) return usage();
            if (std::strcmp(argv[i], "--first-seed") == 0)
                settings.firstSeed = static_cast<std::uint32_t>(value);
            else if (std::strcmp(argv[i], "--jobs") == 0)
                settings.jobs = value;
            else if (std::strcmp(argv[i], "--think") == 0)
                think = value;
            else if (std::strcmp(argv[i], "--plays-per-ms") == 0)
                perMs = value;
            else
                return usage();
        }
        if (argc % 2 == 0) return usage();
        if (think > 0) settings.plays = kvr::strongPlaysFor(think, perMs);
        return kvr::runMatch(settings);
    }
    if (argc > 1 && std::strcmp(argv[1], "--calibrate") == 0) {
        int games = 10;
        if (argc > 3 || (argc == 3 && !positive(argv[2], games))) return usage();
        return kvr::runCalibration(games);
    }
    if (argc > 1 && std::strcmp(argv[1], "--silent") == 0) {
        int games = 4000;
        if (argc > 3 || (argc == 3 && !positive(argv[2], games))) return usage();
        return kvr::runSilentBench(games);
    }
    if (argc > 1 && std::strcmp(argv[1], "--stats") == 0) {
        int games = 0;
        int mode = -1;
        if (argc < 3 || !positive(argv[2], games)) return usage();
        if (argc == 5 && std::strcmp(argv[3], "--mode") == 0 && std::strcmp(argv[4], "normal") == 0)
            mode = kvr::Normal3v3;
        else if (argc == 5 && std::strcmp(argv[3], "--mode") == 0 && std::strcmp(argv[4], "identity") == 0)
            mode = kvr::Identity;
        else if (argc != 3)
            return usage();
        return stats(games, mode);
    }
    int games = 400;
    if (argc > 2 || (argc == 2 && !positive(argv[1], games))) return usage();
    auto start = Clock::now();
    std::clock_t cpuStart = std::clock();
    std::uint64_t hash = kvr::benchSignature(games);
    double seconds = secondsSince(start);
    // The processor time the bench was given, which other work on the machine does not inflate.
    double cpuSeconds = static_cast<double>(std::clock() - cpuStart) / CLOCKS_PER_SEC;
    std::cout << "games " << games << " signature " << std::hex << hash << std::dec << " games/s "
              << static_cast<long>(games / (seconds > 0 ? seconds : 1e-9)) << " (by processor time "
              << static_cast<long>(games / (cpuSeconds > 0 ? cpuSeconds : 1e-9)) << ")\n";
    return 0;
}
