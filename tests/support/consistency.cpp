#include "tests/support/consistency.hpp"

#include <array>
#include <vector>

namespace kvr {

std::string checkConservation(GameProbe& g) {
    std::vector<int> seen(DECK_SIZE + 1, 0);
    std::string fault;
    auto note = [&](const Card& c, const std::string& where, bool judgmentZone) {
        if (!fault.empty()) return;
        if (c.id < 1 || c.id > DECK_SIZE) {
            fault = "card id " + std::to_string(c.id) + " in " + where;
            return;
        }
        Card printed = deckCard(c.id);
        bool converted = judgmentZone && c.type == Indulgence && c.suit == Diamond;
        if ((c.type != printed.type && !converted) || c.suit != printed.suit || c.rank != printed.rank)
            fault = "card " + std::to_string(c.id) + " altered in " + where;
        if (++seen[static_cast<std::size_t>(c.id)] > 1)
            fault = "card " + std::to_string(c.id) + " twice, again in " + where;
    };
    for (const Card& c : g.deck()) note(c, "draw pile", false);
    for (const Card& c : g.discard()) note(c, "discard pile", false);
    for (const Card& c : g.pool()) note(c, "harvest pool", false);
    for (int p = 0; p < 6; ++p) {
        const Player& x = g.seat(p);
        std::string who = "seat " + std::to_string(p + 1);
        for (const Card& c : x.hand) note(c, who + " hand", false);
        for (const Card& c : x.delayed) note(c, who + " judgment zone", true);
        for (const Optional<Card>* slot : x.slots())
            if (*slot) note(**slot, who + " equipment", false);
    }
    if (!fault.empty()) return fault;
    for (int id = 1; id <= DECK_SIZE; ++id)
        if (seen[static_cast<std::size_t>(id)] == 0) return "card " + std::to_string(id) + " missing";
    return "";
}

std::string checkHandCounts(GameProbe& g) {
    for (int p = 0; p < 6; ++p) {
        const Hand& h = g.seat(p).hand;
        std::uint64_t types = 0;
        for (int t = 0; t < CARD_TYPE_COUNT; ++t) {
            auto type = static_cast<CardType>(t);
            int n = 0;
            for (const Card& c : h) n += c.type == type;
            if (h.count(type) != n)
                return "seat " + std::to_string(p + 1) + " hand counts " + std::to_string(h.count(type)) +
                       " " + cardName(type) + ", holds " + std::to_string(n);
            if (n > 0) types |= std::uint64_t(1) << t;
        }
        if (h.types() != types) return "seat " + std::to_string(p + 1) + " hand's type mask is stale";
    }
    return "";
}

std::string checkGeometry(GameProbe& g) {
    std::array<std::array<int, 6>, 6> distances{};
    std::array<std::array<bool, 6>, 6> reach{};
    g.geometry(distances, reach);
    for (int a = 0; a < 6; ++a)
        for (int b = 0; b < 6; ++b) {
            const char* what = nullptr;
            if (distances[static_cast<std::size_t>(a)][static_cast<std::size_t>(b)] != g.distance(a, b))
                what = "distance ";
            else if (reach[static_cast<std::size_t>(a)][static_cast<std::size_t>(b)] != g.canSlash(a, b))
                what = "reach ";
            if (what)
                return what + std::to_string(a + 1) + "->" + std::to_string(b + 1) + " differs in the view";
        }
    return "";
}

std::string tableFault(GameProbe& g) {
    std::string fault = checkConservation(g);
    if (fault.empty()) fault = checkHandCounts(g);
    if (fault.empty()) fault = checkGeometry(g);
    for (int p = 0; p < 6 && fault.empty(); ++p) {
        const Player& x = g.seat(p);
        if (x.alive && (x.hp > x.maxHp || x.hp < 1))
            fault = "seat " + std::to_string(p + 1) + " alive at hp " + std::to_string(x.hp);
        if (!x.alive && (!x.hand.empty() || !x.delayed.empty() || x.weapon || x.armor || x.offensiveHorse ||
                         x.defensiveHorse))
            fault = "dead seat " + std::to_string(p + 1) + " still holds cards";
    }
    return fault;
}

} // namespace kvr
