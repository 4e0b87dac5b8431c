#include "tests/support/table.hpp"

#include <algorithm>

#include "tools/autoplay.hpp"

namespace kvr {

Console::Console(const std::string& input)
    : in_(input), inSwap_(std::cin, in_.rdbuf()), outSwap_(std::cout, out_.rdbuf()) {
    std::cin.clear();
}

Console::~Console() { std::cin.clear(); }

void Console::feed(const std::string& input) {
    in_.str(input);
    in_.clear();
    std::cin.clear();
}

namespace {

const HeroId DEFAULT_HEROES[6] = {Ormaen, Corvane, Brannoc, Rhoskan, Ranvik, Elthar};
const Role IDENTITY_ROLES[6] = {Lord, Rebel, Loyalist, Rebel, Renegade, Rebel};

} // namespace

Table::Table(Mode mode, std::uint32_t seed, LanHub* hub)
    : hub_(hub), hosted_(hub ? std::make_unique<HostedTable>(*hub, console_) : nullptr),
      game_(std::make_unique<Game>(mode, automaticOptions(seed), &console_)), probe_{*game_} {
    game_->setup();
    if (hosted_) game_->setIo(hosted_.get());
    CardList& deck = probe_.deck();
    for (Player& x : probe_.ps()) {
        for (const Card& c : x.hand) deck.push_back(c);
        x = Player{};
    }
    for (const Card& c : probe_.discard()) deck.push_back(c);
    probe_.discard().clear();
    std::sort(deck.begin(), deck.end(), [](const Card& a, const Card& b) { return a.id < b.id; });
    for (int p = 0; p < 6; ++p) {
        seat(p).label = "机" + std::to_string(p + 1);
        role(p, mode == Identity ? IDENTITY_ROLES[p] : (p % 2 == 0 ? TeamHan : TeamChu));
        hero(p, DEFAULT_HEROES[p]);
    }
    probe_.human() = -1;
    probe_.current() = -1;
    clearOut();
}

void Table::hero(int p, HeroId id) {
    Player& x = seat(p);
    x.hero = heroBook()[static_cast<std::size_t>(id)];
    x.maxHp = x.hero.hp + (probe_.mode() == Identity && x.role == Lord ? 1 : 0);
    x.hp = x.maxHp;
}

void Table::role(int p, Role r) {
    Player& x = seat(p);
    x.role = r;
    x.revealed = probe_.mode() == Normal3v3 || r == Lord;
}

void Table::hp(int p, int hp) { seat(p).hp = hp; }

void Table::human(int p) {
    seat(p).human = true;
    seat(p).label = "你";
    probe_.human() = p;
}

void Table::answers(const std::string& lines) {
    in_.str(lines);
    in_.clear();
}

void Table::remote(int p, SocketHandle s) {
    if (hub_) hub_->seatPlayer(p, s);
    seat(p).human = true;
    seat(p).label = "远程玩家";
}

Card Table::take(const std::function<bool(const Card&)>& match) {
    auto fromList = [&](auto& list, Card& out) {
        for (std::size_t i = 0; i < list.size(); ++i) {
            if (!match(list[i])) continue;
            out = list[i];
            list.erase(list.begin() + static_cast<std::ptrdiff_t>(i));
            return true;
        }
        return false;
    };
    Card c{};
    if (fromList(probe_.deck(), c) || fromList(probe_.discard(), c)) return c;
    for (Player& x : probe_.ps()) {
        if (fromList(x.hand, c) || fromList(x.delayed, c)) return c;
        for (Optional<Card>* slot : x.slots()) {
            if (*slot && match(**slot)) {
                c = **slot;
                slot->reset();
                return c;
            }
        }
    }
    throw std::runtime_error("no such card left in the deck");
}

Card Table::give(int p, CardType t, int suit) {
    Card c = take([&](const Card& x) { return x.type == t && (suit < 0 || x.suit == suit); });
    seat(p).hand.push_back(c);
    return c;
}

Card Table::equip(int p, CardType t) {
    Card c = take([&](const Card& x) { return x.type == t; });
    *seat(p).slotFor(cardKind(t)) = c;
    return c;
}

Card Table::delay(int p, CardType t, int suit) {
    Card c = take([&](const Card& x) { return x.type == t && (suit < 0 || x.suit == suit); });
    seat(p).delayed.push_back(c);
    return c;
}

Card Table::top(CardType t, int suit, int rank) {
    Card c = take([&](const Card& x) {
        return x.type == t && (suit < 0 || x.suit == suit) && (rank == 0 || x.rank == rank);
    });
    probe_.deck().push_back(c);
    return c;
}

Card Table::topSuitRank(int suit, int rank) {
    Card c = take([&](const Card& x) { return x.suit == suit && x.rank == rank; });
    probe_.deck().push_back(c);
    return c;
}

std::vector<std::string> Table::logs() const {
    std::vector<std::string> lines;
    std::istringstream in(out());
    std::string line;
    // Answers are not echoed, so a log line may follow a prompt on the same output line.
    while (std::getline(in, line)) {
        std::size_t at = line.find("  -> ");
        if (at != std::string::npos) lines.push_back(line.substr(at + 5));
    }
    return lines;
}

bool Table::logged(const std::string& line) const {
    std::vector<std::string> lines = logs();
    return std::find(lines.begin(), lines.end(), line) != lines.end();
}

std::string Table::conservationFault() { return checkConservation(probe_); }

} // namespace kvr
