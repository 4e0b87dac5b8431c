#include "tools/autoplay.hpp"

#include <exception>
#include <iostream>
#include <streambuf>

#include "model/game.hpp"

namespace kvr {

namespace {

// Appends everything written to it to one string, so a run reuses one buffer for all its games.
class StringSink : public std::streambuf {
  public:
    explicit StringSink(std::string& out) : out_(out) {}

  protected:
    int overflow(int ch) override {
        if (ch != traits_type::eof()) out_ += static_cast<char>(ch);
        return ch;
    }
    std::streamsize xsputn(const char* s, std::streamsize n) override {
        out_.append(s, static_cast<std::size_t>(n));
        return n;
    }

  private:
    std::string& out_;
};

} // namespace

void playAutomatic(Mode mode, std::uint32_t seed, std::string& out, GameRecord* record) {
    Options opt;
    opt.autoPlay = true;
    opt.fast = true;
    opt.color = false;
    opt.seed = seed;
    StringSink sink(out);
    std::streambuf* saved = std::cout.rdbuf(&sink);
    Game game(mode, opt, nullptr, {});
    bool stopped = false;
    try {
        game.setup();
        game.run();
    } catch (const std::exception& e) {
        stopped = true;
        out += "游戏错误：";
        out += e.what();
        out += "\n";
    }
    std::cout.rdbuf(saved);
    if (!record) return;
    record->mode = mode;
    record->seed = seed;
    record->result = stopped ? std::string() : game.result();
    record->rounds = game.roundsPlayed();
    record->turns = game.counts().turns;
    record->reshuffles = game.counts().reshuffles;
    record->deckExhausted = game.counts().deckExhausted;
    const std::vector<Player>& seats = game.players();
    for (std::size_t i = 0; i < record->heroes.size() && i < seats.size(); ++i) {
        record->heroes[i] = seats[i].hero.id;
        record->roles[i] = seats[i].role;
    }
}

std::uint64_t fnv1a(const std::string& s, std::uint64_t h) {
    for (unsigned char ch : s) {
        h ^= ch;
        h *= 1099511628211ULL;
    }
    return h;
}

std::uint32_t benchSeed(int i) { return static_cast<std::uint32_t>(1000 + i); }

Mode benchMode(int i) { return i % 2 == 0 ? Normal3v3 : Identity; }

std::uint64_t benchSignature(int games) {
    std::uint64_t hash = FNV_START;
    std::string transcript;
    for (int i = 0; i < games; ++i) {
        transcript.clear();
        playAutomatic(benchMode(i), benchSeed(i), transcript);
        hash = fnv1a(transcript, hash);
    }
    return hash;
}

} // namespace kvr
