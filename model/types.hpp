// The plain records and the card vocabulary that every rule passes around.
#pragma once

#include <algorithm>
#include <array>
#include <cstdint>
#include <cstring>
#include <initializer_list>
#include <iosfwd>
#include <stdexcept>
#include <string>
#include <string_view>
#include <utility>
#include <vector>

namespace kvr {

// clang-format off
enum Mode : int { Normal3v3 = 0, Identity = 1 };

enum AiKind : int { ClassicAi = 0, StrongAi = 1 };

enum Role : int { TeamHan = 0, TeamChu = 1, Lord = 2, Loyalist = 3, Rebel = 4, Renegade = 5 };

enum Suit : std::uint8_t { Spade = 0, Heart = 1, Club = 2, Diamond = 3 };

enum Nature : int { Normal = 0, Fire = 1, Thunder = 2 };

enum Kind : int { Basic = 0, Trick = 1, Delayed = 2, Weapon = 3, Armor = 4, OffensiveHorse = 5, DefensiveHorse = 6 };

// Each kind's types are contiguous: cardKind tests ranges of these values.
enum CardType : std::uint8_t {
    Slash, FireSlash, ThunderSlash, Dodge, Peach, Wine,
    Duel, Barbarians, Arrows, ExNihilo, Steal, Dismantle, PeachGarden, Harvest, FireAttack, IronChain,
    BorrowSword, Nullification,
    Lightning, Indulgence, SupplyShortage,
    Crossbow, QinggangSword, IceSword, DoubleSword, GreenDragon, SerpentSpear, Axe, Halberd, KylinBow,
    GudingBlade, ZhuqueFan,
    EightDiagrams, RenwangShield, Vine, SilverLion,
    Chitu, Dayuan, Zixing,
    Dilu, Jueying, Hualiu
};
constexpr int CARD_TYPE_COUNT = 42;
// Cards in the deck, with ids 1..DECK_SIZE.
constexpr int DECK_SIZE = 166;

enum HeroId : int {
    Varnok, Thessil, Korveth, Dravin, Bruhald, Lirren, Seluna, Ormaen, Keldar, Rhoskan, Velisar, Jorvane,
    Feyrin, Miravel, Corvane, Ranvik, Ostrel, Brannoc, Elthar, Nimeri, Kaspen, Valessa, Mendrel, Grathos,
    Serafae
};
constexpr int HERO_COUNT = 25;
// clang-format on

// One physical card; id 0 marks a virtual card that exists for one use and never reaches a pile.
// Four bytes with no default values, so that a pile's storage for a whole deck costs nothing until cards
// are put there; `Card{}` is id 0, a spade Slash of rank 0.
struct Card {
    std::uint8_t id;
    CardType type;
    Suit suit;
    std::uint8_t rank;

    bool red() const { return suit == Heart || suit == Diamond; }
};
static_assert(DECK_SIZE < 256, "card ids fit in a byte");

// Cards in order, in storage for N of them: adding and removing never touch the heap, and copying or
// assigning a list copies only the cards it holds. A card added beyond N is ignored.
template <std::size_t N> class CardArray {
  public:
    CardArray() = default;
    CardArray(std::initializer_list<Card> cards) {
        for (const Card& c : cards) push_back(c);
    }
    CardArray(const CardArray& other) { copy(other); }
    CardArray& operator=(const CardArray& other) {
        if (this != &other) copy(other);
        return *this;
    }

    std::size_t size() const { return size_; }
    bool empty() const { return size_ == 0; }
    Card& operator[](std::size_t i) { return cards_[i]; }
    const Card& operator[](std::size_t i) const { return cards_[i]; }
    // As std::vector's: throws std::out_of_range past the end.
    const Card& at(std::size_t i) const {
        if (i >= size_) throw std::out_of_range("CardArray::at");
        return cards_[i];
    }
    Card& front() { return cards_[0]; }
    const Card& front() const { return cards_[0]; }
    Card& back() { return cards_[size_ - 1]; }
    const Card& back() const { return cards_[size_ - 1]; }
    Card* begin() { return cards_; }
    Card* end() { return cards_ + size_; }
    const Card* begin() const { return cards_; }
    const Card* end() const { return cards_ + size_; }

    void push_back(const Card& c) {
        if (size_ < N) cards_[size_++] = c;
    }
    void pop_back() { --size_; }
    void clear() { size_ = 0; }
    void assign(const Card* first, const Card* last) {
        size_ = std::min(static_cast<std::size_t>(last - first), N);
        std::copy(first, first + size_, cards_);
    }
    // Removes the card at `at`, keeping the order of the rest; returns where the next card now is.
    Card* erase(const Card* at) {
        Card* out = cards_ + (at - cards_);
        const std::size_t tail = static_cast<std::size_t>(end() - out - 1);
        // A hand's tail is short: moved as one block of eight cards, which needs no call, when the storage
        // goes on that far (what lands past the last card is never read).
        if (tail <= 8 && out + 9 <= cards_ + N)
            std::memmove(out, out + 1, 8 * sizeof(Card));
        else
            std::memmove(out, out + 1, tail * sizeof(Card));
        --size_;
        return out;
    }
    void swap(CardArray& other) {
        CardArray held = *this;
        *this = other;
        other = held;
    }

  private:
    void copy(const CardArray& other) {
        size_ = other.size_;
        std::copy(other.cards_, other.cards_ + size_, cards_);
    }

    std::size_t size_ = 0;
    Card cards_[N];
};

// Every card lies in one place, so a pile or a hand never holds more than the deck.
using CardList = CardArray<DECK_SIZE>;

// A seat's hand: its cards in order, and how many of each type it holds, kept up to date as cards come
// and go so that the rules and the computer players ask "does it hold one" at the cost of one look.
// Every change goes through the members below; the cards are read-only from outside.
class Hand {
  public:
    Hand() = default;
    Hand(std::initializer_list<Card> cards) {
        for (const Card& c : cards) push_back(c);
    }

    std::size_t size() const { return cards_.size(); }
    bool empty() const { return cards_.empty(); }
    const Card& operator[](std::size_t i) const { return cards_[i]; }
    const Card& at(std::size_t i) const { return cards_.at(i); }
    const Card& front() const { return cards_.front(); }
    const Card& back() const { return cards_.back(); }
    const Card* begin() const { return cards_.begin(); }
    const Card* end() const { return cards_.end(); }

    int count(CardType t) const { return counts_[t]; }
    bool has(CardType t) const { return (types_ >> t) & 1; }
    // Bit t set: the hand holds a card of type t.
    std::uint64_t types() const { return types_; }

    void push_back(const Card& c) {
        if (cards_.size() == DECK_SIZE) return;
        cards_.push_back(c);
        ++counts_[c.type];
        types_ |= std::uint64_t(1) << c.type;
    }
    void pop_back() { erase(end() - 1); }
    const Card* erase(const Card* at) {
        forget(at->type);
        return cards_.erase(at);
    }
    // The card at position i becomes c.
    void set(std::size_t i, const Card& c) {
        forget(cards_[i].type);
        cards_[i] = c;
        ++counts_[c.type];
        types_ |= std::uint64_t(1) << c.type;
    }
    void clear() {
        cards_.clear();
        counts_.fill(0);
        types_ = 0;
    }

  private:
    // Without a branch: whether a hand still holds a type is as good as random.
    void forget(CardType t) {
        --counts_[t];
        types_ &= ~(static_cast<std::uint64_t>(counts_[t] == 0) << t);
    }

    CardList cards_;
    std::array<std::uint8_t, CARD_TYPE_COUNT> counts_{};
    std::uint64_t types_ = 0;
};

// A short text kept in place: a hero's name, a kingdom, a seat's label. Seats are copied with every copy
// of a game, and copying one of these copies a few bytes and never touches the heap. A longer text is cut
// at the last whole UTF-8 character that fits.
class ShortText {
  public:
    static constexpr std::size_t CAPACITY = 31;

    ShortText() = default;
    ShortText(std::string_view s) { assign(s); }
    ShortText(const char* s) { assign(s); }
    ShortText(const std::string& s) { assign(s); }

    std::size_t size() const { return size_; }
    bool empty() const { return size_ == 0; }
    const char* data() const { return text_; }
    std::string_view view() const { return {text_, size_}; }
    operator std::string_view() const { return view(); }
    operator std::string() const { return std::string(view()); }

    friend bool operator==(const ShortText& a, const ShortText& b) { return a.view() == b.view(); }
    friend bool operator==(const ShortText& a, std::string_view b) { return a.view() == b; }
    friend bool operator==(std::string_view a, const ShortText& b) { return a == b.view(); }
    friend bool operator==(const ShortText& a, const char* b) { return a.view() == b; }
    friend bool operator==(const char* a, const ShortText& b) { return a == b.view(); }
    friend bool operator==(const ShortText& a, const std::string& b) { return a.view() == b; }
    friend bool operator==(const std::string& a, const ShortText& b) { return a == b.view(); }
    friend bool operator!=(const ShortText& a, const ShortText& b) { return !(a == b); }
    friend bool operator!=(const ShortText& a, const char* b) { return !(a == b); }
    friend bool operator!=(const char* a, const ShortText& b) { return !(a == b); }
    friend bool operator!=(const ShortText& a, const std::string& b) { return !(a == b); }
    friend bool operator!=(const std::string& a, const ShortText& b) { return !(a == b); }
    friend bool operator!=(const ShortText& a, std::string_view b) { return !(a == b); }
    friend bool operator!=(std::string_view a, const ShortText& b) { return !(a == b); }
    friend bool operator<(const ShortText& a, const ShortText& b) { return a.view() < b.view(); }

    friend std::string operator+(std::string a, const ShortText& b) { return a.append(b.view()); }
    friend std::string operator+(const char* a, const ShortText& b) {
        return std::string(a).append(b.view());
    }
    friend std::string operator+(const ShortText& a, const char* b) {
        return std::string(a.view()).append(b);
    }
    friend std::string operator+(const ShortText& a, const std::string& b) {
        return std::string(a.view()).append(b);
    }

  private:
    void assign(std::string_view s) {
        std::size_t n = s.size();
        if (n > CAPACITY) {
            n = CAPACITY;
            // Back to the start of the character that would be cut.
            while (n > 0 && (static_cast<unsigned char>(s[n]) & 0xC0) == 0x80) --n;
        }
        for (std::size_t i = 0; i < n; ++i) text_[i] = s[i];
        size_ = static_cast<std::uint8_t>(n);
    }

    char text_[CAPACITY] = {};
    std::uint8_t size_ = 0;
};

std::ostream& operator<<(std::ostream& out, const ShortText& text);

struct Hero {
    HeroId id = Varnok;
    ShortText name;
    ShortText kingdom;
    bool male = false;
    int hp = 0;
    // Static texts: seats copy their hero with every copy of a game, and these are long.
    const char* skills = "";
    const char* detail = "";
};

// A small value-or-nothing holder; `reset` also restores a default value so stale data never lingers.
template <class T> struct Optional {
    bool has_ = false;
    T value_{};

    Optional() = default;
    Optional(const T& v) : has_(true), value_(v) {}
    Optional(T&& v) : has_(true), value_(std::move(v)) {}

    Optional& operator=(const T& v) {
        has_ = true;
        value_ = v;
        return *this;
    }
    Optional& operator=(T&& v) {
        has_ = true;
        value_ = std::move(v);
        return *this;
    }

    explicit operator bool() const { return has_; }
    const T& operator*() const { return value_; }
    T& operator*() { return value_; }
    const T* operator->() const { return &value_; }
    T* operator->() { return &value_; }

    void reset() {
        has_ = false;
        value_ = T{};
    }
    T value_or(const T& fallback) const { return has_ ? value_ : fallback; }
};

// Up to six seat indices in the order they were added. Fixed storage: building, passing and
// returning one never touches the heap, which matters for queries asked on every action.
class SeatList {
  public:
    SeatList() = default;
    SeatList(std::initializer_list<int> seats) {
        for (int s : seats) push_back(s);
    }

    // A seventh seat is ignored: there are only six.
    void push_back(int seat) {
        if (size_ < seats_.size()) seats_[size_++] = seat;
    }
    std::size_t size() const { return size_; }
    bool empty() const { return size_ == 0; }
    int front() const { return seats_[0]; }
    int operator[](std::size_t i) const { return seats_[i]; }
    int* begin() { return seats_.data(); }
    int* end() { return seats_.data() + size_; }
    const int* begin() const { return seats_.data(); }
    const int* end() const { return seats_.data() + size_; }

  private:
    std::array<int, 6> seats_{};
    std::size_t size_ = 0;
};

// The lowest seat in a non-empty set of seats (bit i: seat i).
inline int firstSeat(unsigned seats) {
#if defined(__GNUC__)
    return __builtin_ctz(seats);
#else
    int i = 0;
    while (!((seats >> i) & 1U)) ++i;
    return i;
#endif
}

// How many seats a set holds: one read of a table of the 64 sets.
constexpr std::array<std::uint8_t, 64> seatCounts() {
    std::array<std::uint8_t, 64> out{};
    for (unsigned s = 0; s < 64; ++s)
        for (unsigned i = 0; i < 6; ++i) out[s] = static_cast<std::uint8_t>(out[s] + ((s >> i) & 1U));
    return out;
}
constexpr std::array<std::uint8_t, 64> SEAT_COUNTS = seatCounts();
inline int seatCount(unsigned seats) { return SEAT_COUNTS[seats & 63U]; }

struct Player {
    ShortText label;
    bool human = false;
    bool alive = true;
    bool revealed = false;
    Role role = TeamHan;
    Hero hero;
    int hp = 0;
    int maxHp = 0;
    Hand hand;
    CardList delayed;
    Optional<Card> weapon;
    Optional<Card> armor;
    Optional<Card> offensiveHorse;
    Optional<Card> defensiveHorse;
    bool chained = false;
    bool drank = false;
    bool luoyi = false;
    bool skipPlay = false;
    bool skipDraw = false;
    bool activeUsed = false;
    bool usedSlash = false;
    int slashCount = 0;
    int rendeCount = 0;

    // Whether the seat's weapon (armour) is of type t, asked without a branch.
    bool wields(CardType t) const { return weapon.has_ & (weapon.value_.type == t); }
    bool wears(CardType t) const { return armor.has_ & (armor.value_.type == t); }

    // The equipment slots in their fixed order: weapon, armour, offensive horse, defensive horse.
    std::array<Optional<Card>*, 4> slots() { return {&weapon, &armor, &offensiveHorse, &defensiveHorse}; }
    std::array<const Optional<Card>*, 4> slots() const {
        return {&weapon, &armor, &offensiveHorse, &defensiveHorse};
    }
    // The slot a card of kind k goes into; null for cards that are not equipment.
    Optional<Card>* slotFor(Kind k) {
        switch (k) {
        case Weapon:
            return &weapon;
        case Armor:
            return &armor;
        case OffensiveHorse:
            return &offensiveHorse;
        case DefensiveHorse:
            return &defensiveHorse;
        default:
            return nullptr;
        }
    }
};

// One timed decision of a seat player: the processor time of the thread that decided and the time by the
// clock (seconds), what it was asked (a Question), and the work its searches did: plays in the budget's
// units, and phases and actions played in worlds.
struct DecisionTime {
    double cpu = 0;
    double clock = 0;
    std::uint8_t question = 0;
    Mode mode = Normal3v3;
    long plays = 0;
    long actions = 0;
};

struct Options {
    bool autoPlay = false;
    bool fast = false;
    bool color = true;
    std::uint32_t seed = 0;
    int maxRounds = 150;
    Optional<Mode> forcedMode;
    // Who plays the computer seats: empty seats, and players who drop out of a hosted game.
    AiKind ai = ClassicAi;
    // Bit (1 << Role): computer seats of these roles play the strong player whatever `ai` says.
    unsigned strongRoles = 0;
    // When set, each decision of the strong player is timed into it; play is unchanged.
    std::vector<DecisionTime>* decisionTimes = nullptr;
    // How many games the strong player's search may play out for one decision; fewer is faster and weaker.
    int searchPlays = 1680;
};

const std::string& cardName(CardType t);
// The same name without a string: for text built piece by piece.
std::string_view cardNameView(CardType t);

// Asked on every action: defined here so that they cost a comparison or two.
// A table for every value a card type's byte can hold, so that asking costs one read and no branch.
constexpr std::array<Kind, 256> cardKinds() {
    std::array<Kind, 256> out{};
    for (int v = 0; v < 256; ++v)
        out[static_cast<std::size_t>(v)] = v <= Wine             ? Basic
                                           : v <= Nullification  ? Trick
                                           : v <= SupplyShortage ? Delayed
                                           : v <= ZhuqueFan      ? Weapon
                                           : v <= SilverLion     ? Armor
                                           : v <= Zixing         ? OffensiveHorse
                                                                 : DefensiveHorse;
    return out;
}
constexpr std::array<Kind, 256> CARD_KINDS = cardKinds();
constexpr Kind cardKind(CardType t) { return CARD_KINDS[t]; }

// The card types of kind k (bit t: type t).
constexpr std::uint64_t typesOfKind(Kind k) {
    std::uint64_t out = 0;
    for (int t = 0; t < CARD_TYPE_COUNT; ++t)
        if (cardKind(static_cast<CardType>(t)) == k) out |= std::uint64_t(1) << t;
    return out;
}

// The three slashes come first in CardType.
inline bool isSlash(CardType t) { return t <= ThunderSlash; }

inline Nature slashNature(CardType t) {
    if (t == FireSlash) return Fire;
    if (t == ThunderSlash) return Thunder;
    return Normal;
}

const char* suitName(Suit s);
// A role or team as the players call it ("主公", "汉军"); "未知" for no role.
std::string_view roleName(Role r);
// Whether a seat of `role` won a game of `mode` that ended with `result` (a text that holds one of the
// game's result texts).
bool seatWon(Mode mode, Role role, std::string_view result);
std::string rankName(int r);
inline const char* natureName(Nature n) {
    if (n == Fire) return "火焰";
    if (n == Thunder) return "雷电";
    return "普通";
}
// Whether a trick of this name does its target good.
bool helpfulTrick(std::string_view trick);

} // namespace kvr
