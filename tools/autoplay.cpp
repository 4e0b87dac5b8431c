#include "tools/autoplay.hpp"

#include <exception>

#include "model/game.hpp"

namespace kvr {

namespace {

// Computer seats only: nothing is asked, and every text, public or private, goes to one place.
class SinkTable : public TableIo {
  public:
    void show(int, std::string_view text) override { showAll(text); }
    Answer ask(int, std::string&) override { return Answer::Closed; }
};

// Appends everything to one string, so a run reuses one buffer for all its games.
class StringTable : public SinkTable {
  public:
    explicit StringTable(std::string& out) : out_(out) {}
    void showAll(std::string_view text) override { out_.append(text.data(), text.size()); }

  private:
    std::string& out_;
};

// Hashes everything and keeps nothing: the bench needs only the signature.
class HashTable : public SinkTable {
  public:
    explicit HashTable(TextHash& hash) : hash_(hash) {}
    void showAll(std::string_view text) override { hash_.add(text); }

  private:
    TextHash& hash_;
};

// Plays one game with its text going to `sink`.
void playInto(Mode mode, const Options& opt, SinkTable& sink, GameRecord* record) {
    Game game(mode, opt, &sink);
    bool stopped = false;
    try {
        game.setup();
        game.run();
    } catch (const std::exception& e) {
        stopped = true;
        sink.showAll(std::string("游戏错误：") + e.what() + "\n");
    }
    if (!record) return;
    record->mode = mode;
    record->seed = opt.seed;
    record->result = stopped ? std::string() : game.result();
    record->rounds = game.roundsPlayed();
    record->turns = game.counts().turns;
    record->reshuffles = game.counts().reshuffles;
    record->deckExhausted = game.counts().deckExhausted;
    const std::array<Player, 6>& seats = game.players();
    for (std::size_t i = 0; i < record->heroes.size() && i < seats.size(); ++i) {
        record->heroes[i] = seats[i].hero.id;
        record->roles[i] = seats[i].role;
    }
}

} // namespace

Options automaticOptions(std::uint32_t seed) {
    Options opt;
    opt.autoPlay = true;
    opt.fast = true;
    opt.color = false;
    opt.seed = seed;
    return opt;
}

void playAutomatic(Mode mode, const Options& opt, std::string& out, GameRecord* record) {
    StringTable sink(out);
    playInto(mode, opt, sink, record);
}

void playAutomatic(Mode mode, std::uint32_t seed, std::string& out, GameRecord* record) {
    playAutomatic(mode, automaticOptions(seed), out, record);
}

void playAutomaticHashed(Mode mode, std::uint32_t seed, TextHash& hash) {
    HashTable sink(hash);
    playInto(mode, automaticOptions(seed), sink, nullptr);
}

std::uint32_t benchSeed(int i) { return static_cast<std::uint32_t>(1000 + i); }

Mode benchMode(int i) { return i % 2 == 0 ? Normal3v3 : Identity; }

std::uint64_t benchSignature(int games) {
    TextHash hash;
    for (int i = 0; i < games; ++i) playAutomaticHashed(benchMode(i), benchSeed(i), hash);
    return hash.value();
}

} // namespace kvr
