// Questions inside an action: a copy resumed at one plays on exactly as the original does, and the
// strong player's searched answers where one answer decides the game.
#include <gtest/gtest.h>

#include <cstdio>
#include <random>
#include <set>
#include <sstream>

#include "ai/belief.hpp"
#include "ai/players.hpp"
#include "ai/search.hpp"
#include "ai/strong.hpp"
#include "console/console_io.hpp"
#include "tests/support/checked_game.hpp"
#include "tests/support/forwarding_player.hpp"
#include "tests/support/peek_audit.hpp"
#include "tests/support/printed_game.hpp"
#include "tests/support/probe.hpp"
#include "tests/support/table.hpp"

namespace kvr {
namespace {

// The strong player at every seat; at some of its answers inside an action, a copy is resumed there with
// the same answer and played to its end, and its transcript kept.
class Resumer : public ForwardingPlayer {
  public:
    Resumer(const Game*& original, int every)
        : ForwardingPlayer(strongPlayer()), original_(original), every_(every) {}

    struct Copy {
        std::string text;
        std::size_t from = 0;
        std::string question;
    };
    mutable std::vector<Copy> copies;
    mutable std::size_t boundaryText = 0;
    mutable const std::ostringstream* originalOut = nullptr;
    mutable Mode mode = Normal3v3;

    int discard(const Game& g, int p) const override {
        int i = inner_.discard(g, p);
        resume(g, "discard", g.players()[static_cast<std::size_t>(p)].hand[static_cast<std::size_t>(i)].id);
        return i;
    }
    bool nullify(const Game& g, int p, int from, int target, std::string_view trick, bool c) const override {
        bool out = inner_.nullify(g, p, from, target, trick, c);
        resume(g, "nullify", out);
        return out;
    }
    bool save(const Game& g, int p, int dying) const override {
        bool out = inner_.save(g, p, dying);
        resume(g, "save", out);
        return out;
    }
    int passSlash(const Game& g, int p, int from, const SeatList& c) const override {
        int out = inner_.passSlash(g, p, from, c);
        resume(g, "pass", out);
        return out;
    }
    int answerCard(const Game& g, int p, CardType need, int offered) const override {
        int out = inner_.answerCard(g, p, need, offered);
        if (offered >= 0)
            resume(g, need == Dodge ? "dodge" : "slash",
                   out < 0 ? -1
                           : g.players()[static_cast<std::size_t>(p)].hand[static_cast<std::size_t>(out)].id);
        return out;
    }

  private:
    // Only in the original game, at every `every_`-th question.
    void resume(const Game& g, const char* question, int answer) const {
        if (&g != original_ || ++asked_ % every_ != 0) return;
        PrintedGame copy(mode, Options{});
        GameProbe probe{const_cast<Game&>(g)};
        if (!probe.resumeHere(copy.game, answer)) return;
        copy.game.playOn(-1);
        copies.push_back(Copy{copy.out.str(), boundaryText, question});
    }

    const Game*& original_;
    int every_;
    mutable int asked_ = 0;
};

// Copies resumed at dodges, slashes, nullifications, saves, 流离 and discards all through seeded games of
// both modes play on to the original's own transcript, from the action the question came in.
TEST(Reaction, ResumedCopyPlaysOnAsTheOriginal) {
    int compared = 0;
    std::set<std::string> kinds;
    for (std::uint32_t seed = 300; seed < 312; ++seed) {
        Mode mode = seed % 2 == 0 ? Normal3v3 : Identity;
        Options opt = checkedOptions(seed, false);
        opt.ai = StrongAi;
        opt.searchPlays = 12;
        const Game* original = nullptr;
        Resumer resumer(original, 3);
        resumer.mode = mode;
        PrintedGame game(mode, opt);
        original = &game.game;
        GameProbe g{game.game};
        g.players().fill(&resumer);
        g.actionHook() = [&] { resumer.boundaryText = game.out.str().size(); };
        game.game.setup();
        game.game.playOn(-1);
        std::string whole = game.out.str();
        for (const Resumer::Copy& c : resumer.copies) {
            ASSERT_LE(c.from, whole.size());
            ASSERT_EQ(c.text, whole.substr(c.from)) << "seed " << seed << " at a " << c.question;
            kinds.insert(c.question);
            ++compared;
        }
    }
    EXPECT_GT(compared, 40);
    std::printf("compared %d kinds %zu\n", compared, kinds.size());
    for (const char* k : {"dodge", "slash", "nullify", "save", "discard"}) EXPECT_EQ(kinds.count(k), 1u) << k;
}

// A world holds nothing of the table's hidden facts: from one view and one deal, two tables that differ
// only in what the seat cannot see (the other hands, the draw pile, hidden roles, the random engines, the
// seed) give worlds that play the same game to the same end. A deal that does not fit the view is refused.
TEST(World, HoldsNothingTheSeatCannotSee) {
    int compared = 0;
    for (std::uint32_t seed = 400; seed < 416; ++seed) {
        Mode mode = seed % 2 == 0 ? Normal3v3 : Identity;
        Game game(mode, checkedOptions(seed, false), nullptr);
        game.setup();
        game.playOn(30 + seed % 40);
        GameProbe g{game};
        int p = static_cast<int>(seed % 6);
        if (game.ended() || !g.seat(p).alive) continue;
        Game other(game);
        GameProbe o{other};
        std::mt19937 rng(seed);
        redealHidden(other, p, rng);
        o.rng() = GameRng(seed * 7919);
        for (int q = 0; q < 6; ++q)
            if (q != p) o.playerRng()[static_cast<std::size_t>(q)] = rng();
        o.opt().seed = seed + 1;

        SeatView v = game.viewFor(p);
        v.unseen = g.unseenBy(p);
        ASSERT_EQ(v.unseen, o.unseenBy(p));
        HiddenDeal deal;
        std::uint64_t state = seed;
        Search::deal(v, roleBelief(v), state, deal);
        PrintedGame a(mode, Options{}), b(mode, Options{});
        ASSERT_TRUE(game.worldFor(v, deal, a.game));
        ASSERT_TRUE(other.worldFor(v, deal, b.game));
        a.game.setIo(&a.console);
        b.game.setIo(&b.console);
        a.game.playOn(-1);
        b.game.playOn(-1);
        ASSERT_EQ(a.out.str(), b.out.str()) << "seed " << seed;
        ++compared;

        HiddenDeal bad = deal;
        bad.cards.pop_back();
        EXPECT_FALSE(game.worldFor(v, bad, a.game));
        if (!v.hand.empty()) {
            bad = deal;
            bad.cards[0] = v.hand[0].id;
            EXPECT_FALSE(game.worldFor(v, bad, a.game));
        }
        bad = deal;
        std::swap(bad.roles[static_cast<std::size_t>(p)], bad.roles[static_cast<std::size_t>((p + 1) % 6)]);
        if (bad.roles != deal.roles) {
            EXPECT_FALSE(game.worldFor(v, bad, a.game));
        }
    }
    EXPECT_GE(compared, 8);
}

// A seat player that, asked to save, builds two reaction worlds: one in which seat `holder` holds a
// peach and one in which it holds none. Both must reach the question: a declined save is asked only of a
// seat that holds a peach, so a replay that needed it would keep only worlds that deal the peach.
class TwoWorlds : public SeatPlayer {
  public:
    int holder = 1;
    mutable int reached = 0, built = 0;
    bool save(SeatDesk& d, int) const override {
        if (!d.resumable()) return false;
        const SeatView& v = d.boundaryView();
        for (bool peach : {true, false}) {
            std::vector<int> free, peaches;
            for (int id = 1; id <= DECK_SIZE; ++id)
                if (v.unseen.test(static_cast<std::size_t>(id)))
                    (deckCard(id).type == Peach ? peaches : free).push_back(id);
            HiddenDeal deal;
            for (int q = 0; q < 6; ++q)
                for (int k = 0; q != v.self && k < v.at(q).handCount; ++k) {
                    bool give = q == holder && k == 0 && peach;
                    std::vector<int>& from = give ? peaches : free;
                    deal.cards.push_back(from.back());
                    from.pop_back();
                }
            deal.cards.insert(deal.cards.end(), free.begin(), free.end());
            deal.cards.insert(deal.cards.end(), peaches.begin(), peaches.end());
            for (std::size_t q = 0; q < 6; ++q) deal.roles[q] = *v.seats[q].role;
            Game world(v.mode, Options{}, nullptr);
            if (!d.reactionWorld(deal, 0, world)) continue;
            ++built;
            world.playOn(8);
            reached += !world.replayFailed();
        }
        return false;
    }
    PlayAction nextAction(SeatDesk&, const std::vector<PlayAction>&) const override { return {}; }
    int foe(SeatDesk&, bool, bool) const override { return -1; }
    SeatList foes(SeatDesk&, bool) const override { return {}; }
    int ally(SeatDesk&, bool) const override { return -1; }
    int stance(SeatDesk&, int) const override { return 0; }
    int discard(SeatDesk&) const override { return 0; }
    int payCard(SeatDesk&, const std::function<bool(const Card&)>&) const override { return 0; }
    TopOrder arrangeTop(SeatDesk&, const CardList&) const override { return {0, 1, 2, 3, 4}; }
    std::size_t harvestPick(SeatDesk&, const CardList&) const override { return 0; }
    bool nullify(SeatDesk&, int, int, std::string_view, bool) const override { return false; }
    int passSlash(SeatDesk&, int, const SeatList&) const override { return -1; }
    bool iceSword(SeatDesk&, int) const override { return false; }
    SeatList chain(SeatDesk&) const override { return {}; }
    int armedFoe(SeatDesk&) const override { return -1; }
    int victim(SeatDesk&, int, const SeatList&) const override { return -1; }
    int lockTarget(SeatDesk&, CardType) const override { return -1; }
    void malePair(SeatDesk&, const SeatList&, int&, int&) const override {}
    int answerCard(SeatDesk&, CardType, int offered) const override { return offered; }
};

// A foe that holds a peach passes over the dying seat; the next seat's worlds replay the slash whether
// they deal that foe a peach or not.
TEST(World, ReplaysWhateverADeclinedSaveHeld) {
    Table t;
    TwoWorlds probe;
    SeatPlayerAdapter asked(probe);
    t.g().players()[2] = &asked;
    t.hero(0, Ostrel);
    t.hp(0, 1);
    t.hero(1, Rhoskan);
    t.give(1, Slash);
    t.give(1, Peach);
    t.hero(2, Ostrel);
    t.give(2, Peach);
    t.g().inPlayPhase(1);
    t.g().tape().want();
    t.g().afterAction();
    ASSERT_TRUE(t.g().tape().usable);
    ASSERT_TRUE(t.g().useCard(1, 0, Optional<int>(0)));
    EXPECT_EQ(probe.built, 2);
    EXPECT_EQ(probe.reached, 2);
}

// The strong player's searched answers where one answer decides the game. Each position is a table whose
// strong seat plays a search that resumes at the question: the game keeps a tape from the boundary taken
// before the action, as a game with a strong seat does.
struct Decisive {
    Table t;
    explicit Decisive(Mode mode, unsigned strongRoles) : t(mode) {
        t.g().opt().strongRoles = strongRoles;
        t.g().opt().searchPlays = 120;
    }
    void kill(int p) {
        t.seat(p).alive = false;
        t.seat(p).revealed = true;
    }
    // Seat p's play phase begins at an action boundary.
    void boundaryInPlay(int p) {
        t.g().inPlayPhase(p);
        t.g().tape().want();
        t.g().afterAction();
        ASSERT_TRUE(t.g().tape().usable);
    }
};

// A dodge keeps the last seat of a team alive: a drunk fire slash on 藤甲 deals 3 to a seat of 3.
TEST(Reaction, DodgesTheSlashThatWouldKill) {
    Decisive d(Normal3v3, 1U << TeamHan);
    Table& t = d.t;
    d.kill(2);
    d.kill(4);
    t.hero(0, Ostrel);
    t.hp(0, 3);
    t.equip(0, Vine);
    Card dodge = t.give(0, Dodge);
    t.hero(1, Rhoskan);
    t.seat(1).drank = true;
    t.give(1, FireSlash);
    d.boundaryInPlay(1);
    ASSERT_TRUE(t.g().useCard(1, 0, Optional<int>(0)));
    EXPECT_TRUE(t.seat(0).alive);
    EXPECT_EQ(t.seat(0).hp, 3);
    EXPECT_TRUE(t.logged("Ostrel打出【闪】。")) << dodge.id;
}

// A searched answer spends a share of the think budget: at --think 1 (120 plays) the dodge of the test
// above plays a fraction of what it plays at the default 1680, and never more than a third of either.
TEST(Reaction, SearchedAnswersSpendTheThinkBudget) {
    auto spent = [](int plays) {
        Decisive d(Normal3v3, 1U << TeamHan);
        Table& t = d.t;
        t.g().opt().searchPlays = plays;
        d.kill(2);
        d.kill(4);
        t.hero(0, Ostrel);
        t.hp(0, 3);
        t.give(0, Dodge);
        t.hero(1, Rhoskan);
        t.give(1, Slash);
        d.boundaryInPlay(1);
        long before = strongPlaysDone();
        EXPECT_TRUE(t.g().useCard(1, 0, Optional<int>(0)));
        return strongPlaysDone() - before;
    };
    long small = spent(strongPlaysFor(1)), large = spent(1680);
    EXPECT_GT(small, 0);
    EXPECT_LE(small, strongPlaysFor(1) / 3 + 4);
    EXPECT_LE(large, 1680 / 3 + 4);
    EXPECT_GT(large, 8 * small);
}

// A duel on a seat of 1 with no slash ends its team; its nullification stops it.
TEST(Reaction, NullifiesTheDuelThatWouldKill) {
    Decisive d(Normal3v3, 1U << TeamHan);
    Table& t = d.t;
    d.kill(2);
    d.kill(4);
    t.hero(0, Ostrel);
    t.hp(0, 1);
    t.give(0, Nullification);
    t.give(0, Dodge);
    t.hero(1, Rhoskan);
    t.give(1, Duel);
    d.boundaryInPlay(1);
    ASSERT_TRUE(t.g().useCard(1, 0, Optional<int>(0)));
    EXPECT_TRUE(t.seat(0).alive);
    EXPECT_FALSE(t.seat(0).hand.has(Nullification));
}

// 流离 passes a slash that would kill Nimeri, the last of her team, to a foe.
TEST(Reaction, PassesTheSlashThatWouldKill) {
    Decisive d(Normal3v3, 1U << TeamHan);
    Table& t = d.t;
    d.kill(2);
    d.kill(4);
    d.kill(5);
    t.hero(0, Nimeri);
    t.hp(0, 1);
    t.give(0, Dismantle);
    t.hero(1, Rhoskan);
    t.give(1, Slash);
    t.hero(3, Ostrel);
    t.hp(3, 1);
    d.boundaryInPlay(1);
    ASSERT_TRUE(t.g().useCard(1, 0, Optional<int>(0)));
    EXPECT_TRUE(t.seat(0).alive);
    EXPECT_FALSE(t.seat(3).alive);
}

// The Renegade saves the dying Lord while a Rebel lives: the Lord's death would hand the game to the
// Rebels.
TEST(Reaction, RenegadeSavesTheLordItNeeds) {
    Decisive d(Identity, 1U << Renegade);
    Table& t = d.t;
    d.kill(2);
    d.kill(3);
    d.kill(5);
    t.hero(0, Ostrel);
    t.hp(0, 1);
    t.hero(1, Rhoskan);
    t.give(1, Slash);
    t.hero(4, Ostrel);
    t.give(4, Peach);
    d.boundaryInPlay(1);
    ASSERT_TRUE(t.g().useCard(1, 0, Optional<int>(0)));
    EXPECT_TRUE(t.seat(0).alive);
    EXPECT_FALSE(t.seat(4).hand.has(Peach));
    EXPECT_FALSE(t.g().ended());
}

// At the end of its turn the last seat of a team at 1 hit point keeps its peach: the next seat, a foe,
// holds a slash it saw going into that hand.
TEST(Reaction, KeepsThePeachThroughItsDiscard) {
    Decisive d(Normal3v3, 1U << TeamHan);
    Table& t = d.t;
    d.kill(2);
    d.kill(4);
    t.hero(0, Rhoskan);
    t.hp(0, 1);
    t.give(0, Dismantle);
    t.give(0, Peach);
    t.give(0, IronChain);
    t.hero(1, Rhoskan);
    t.g().noteSeen(0, t.give(1, Slash), 1);
    t.g().inDiscardPhase(0);
    t.g().tape().want();
    t.g().afterAction();
    t.g().discardPhase(0);
    ASSERT_EQ(t.seat(0).hand.size(), 1u);
    EXPECT_EQ(t.seat(0).hand[0].type, Peach);
}

} // namespace
} // namespace kvr
