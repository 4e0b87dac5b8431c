// Small readings of a seat's view that the strong player's rules of thumb share.
#pragma once

#include <algorithm>
#include <vector>

#include "ai/strong.hpp"

namespace kvr {
namespace view {

inline bool lordSide(Role r) { return r == Lord || r == Loyalist; }

inline int count(const CardList& hand, CardType t) {
    return static_cast<int>(
        std::count_if(hand.begin(), hand.end(), [t](const Card& c) { return c.type == t; }));
}

inline int find(const SeatView& v, CardType t) {
    for (std::size_t i = 0; i < v.hand.size(); ++i)
        if (v.hand[i].type == t) return static_cast<int>(i);
    return -1;
}

inline int slashCards(const SeatView& v) {
    int n = 0;
    for (const Card& c : v.hand)
        n += isSlash(c.type) || (v.me().hero == Keldar && c.red()) ||
             (v.me().hero == Jorvane && c.type == Dodge);
    return n;
}

inline bool holds(const SeenSeat& s, CardType t) {
    for (const Card& c : s.delayed)
        if (c.type == t) return true;
    return false;
}

inline int totalCards(const SeenSeat& s) {
    return s.handCount + (s.weapon ? 1 : 0) + (s.armor ? 1 : 0) + (s.offensiveHorse ? 1 : 0) +
           (s.defensiveHorse ? 1 : 0);
}

inline bool tried(const std::vector<StrongMove>& list, const StrongMove& m) {
    return std::find(list.begin(), list.end(), m) != list.end();
}

inline SeatList living(const SeatView& v) {
    SeatList out;
    for (int q = 0; q < 6; ++q)
        if (q != v.self && v.at(q).alive) out.push_back(q);
    return out;
}

} // namespace view
} // namespace kvr
