// What one seat can know of the table: its own hand and role, the public face of every seat, and the
// public record of who harmed or helped whom. Game::viewFor builds it; the strong computer player
// decides from it alone.
#pragma once

#include <array>
#include <bitset>
#include <cstdint>

#include "model/types.hpp"

namespace kvr {

// The public face of one seat.
struct SeenSeat {
    bool alive = false;
    HeroId hero = Varnok;
    bool male = false;
    int hp = 0;
    int maxHp = 0;
    int handCount = 0;
    Optional<Card> weapon;
    Optional<Card> armor;
    Optional<Card> offensiveHorse;
    Optional<Card> defensiveHorse;
    // A judgment zone holds one card of each delayed type at most.
    CardArray<3> delayed;
    bool chained = false;
    // Known to the viewer: its own, the Lord's, a dead seat's, and every role of a team game.
    Optional<Role> role;
};

// Where the Loyalist and the Renegade of a hidden-role game may sit, as one index.
constexpr int CHOICE_SLOTS = 36;
constexpr int choiceSlot(int loyalist, int renegade) { return loyalist * 6 + renegade; }

struct SeatView {
    Mode mode = Normal3v3;
    // The round being played (from 1).
    int round = 1;
    // Public counts and turn: cards in the draw and discard piles, the seat whose turn it is (-1: none yet).
    int drawPile = 0;
    int discardPile = 0;
    int current = -1;
    // The viewing seat; -1 in a spectator's view, which holds public facts only (no hand, no own role).
    int self = -1;
    Role role = TeamHan;
    // Held in place, not on the heap: a search's worlds build a view at every question a seat is asked.
    CardList hand;
    bool drank = false;
    bool activeUsed = false;
    bool slashAllowed = false;
    std::array<SeenSeat, 6> seats;
    // Table geometry from public facts: distance and whether a's slash reaches b.
    std::array<std::array<int, 6>, 6> distance{};
    std::array<std::array<bool, 6>, 6> reach{};
    // What everybody saw seat a do to seat b: harmful acts aimed at b, and help given to b.
    std::array<std::array<int, 6>, 6> harm{};
    std::array<std::array<int, 6>, 6> help{};
    // Card types each seat was seen to lack when it needed one (bit t: CardType t), and how many of the
    // cards it holds now it held then.
    std::array<std::uint64_t, 6> lacks{};
    std::array<int, 6> lackCount{};
    // The seat each card (by id) was last seen going into the hand of, as far as the viewer saw it: shown,
    // given, taken; -1 when the viewer knows of no hand that holds it.
    std::array<std::int8_t, DECK_SIZE + 1> seenIn{};
    // Dying seats each seat was seen to pass over in a rescue without saving (bit d: seat d), and how
    // many of the cards it holds now it held then: it held no save for them, or would not give it.
    std::array<std::uint8_t, 6> passedOver{};
    std::array<int, 6> passedOverCount{};
    // The seats in reach of each seat's slash when its last play phase ended without one it could still
    // play (bit r: seat r), and how many of the cards it holds now it held then: a seat with a foe among
    // them held no slash.
    std::array<std::uint8_t, 6> noSlashReach{};
    std::array<int, 6> noSlashCount{};
    // How many of the cards each seat holds now it kept through its last discard at the end of a turn:
    // the ones it chose to keep.
    std::array<int, 6> keptCount{};
    // For each seating of the Loyalist and the Renegade (choiceSlot), how many of the harmful cards each
    // seat aimed it would not explain: the classic player aims at its best-scored foe, so a seating under
    // which another foe scored higher, or the target was no foe, fits the seat's choice badly.
    std::array<std::array<std::uint8_t, CHOICE_SLOTS>, 6> choiceMisses{};
    // The ids of the cards the viewer cannot see (the other hands and the draw pile): filled for a player
    // that deals worlds (SeatDesk), empty otherwise.
    std::bitset<DECK_SIZE + 1> unseen;
    // The view at the last action boundary rather than now (a reaction world is dealt from it).
    bool fromBoundary = false;

    // How the viewer stands to each seat, worked out once per view by the player that reads it.
    mutable std::array<int, 6> stances{};
    mutable bool stancesKnown = false;

    const SeenSeat& me() const { return seats[static_cast<std::size_t>(self)]; }
    const SeenSeat& at(int q) const { return seats[static_cast<std::size_t>(q)]; }
};

} // namespace kvr
