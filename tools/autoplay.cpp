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

// Hashes everything written to it and keeps nothing: the bench needs only the signature.
class HashSink : public std::streambuf {
  public:
    explicit HashSink(std::uint64_t& hash) : hash_(hash) {}

  protected:
    int overflow(int ch) override {
        if (ch != traits_type::eof()) hash_ = (hash_ ^ static_cast<unsigned char>(ch)) * FNV_PRIME;
        return ch;
    }
    std::streamsize xsputn(const char* s, std::streamsize n) override {
        for (std::streamsize i = 0; i < n; ++i)
            hash_ = (hash_ ^ static_cast<unsigned char>(s[i])) * FNV_PRIME;
        return n;
    }

  private:
    std::uint64_t& hash_;
};

// Plays one game with standard output sent to `sink`.
void playInto(Mode mode, std::uint32_t seed, std::streambuf& sink, GameRecord* record) {
    Options opt;
    opt.autoPlay = true;
    opt.fast = true;
    opt.color = false;
    opt.seed = seed;
    std::streambuf* saved = std::cout.rdbuf(&sink);
    Game game(mode, opt, nullptr, {});
    bool stopped = false;
    try {
        game.setup();
        game.run();
    } catch (const std::exception& e) {
        stopped = true;
        std::cout << "游戏错误：" << e.what() << "\n";
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

} // namespace

void playAutomatic(Mode mode, std::uint32_t seed, std::string& out, GameRecord* record) {
    StringSink sink(out);
    playInto(mode, seed, sink, record);
}

std::uint64_t playAutomaticHashed(Mode mode, std::uint32_t seed, std::uint64_t hash) {
    HashSink sink(hash);
    playInto(mode, seed, sink, nullptr);
    return hash;
}

std::uint64_t fnv1a(const std::string& s, std::uint64_t h) {
    for (unsigned char ch : s) h = (h ^ ch) * FNV_PRIME;
    return h;
}

std::uint32_t benchSeed(int i) { return static_cast<std::uint32_t>(1000 + i); }

Mode benchMode(int i) { return i % 2 == 0 ? Normal3v3 : Identity; }

std::uint64_t benchSignature(int games) {
    std::uint64_t hash = FNV_START;
    for (int i = 0; i < games; ++i) hash = playAutomaticHashed(benchMode(i), benchSeed(i), hash);
    return hash;
}

} // namespace kvr
