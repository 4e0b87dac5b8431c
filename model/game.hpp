// One game: settings, random engine, the six seats, the piles and the turn bookkeeping.
// Every rule is a member; each rule area is defined in the file of its topic.
#pragma once

#include <array>
#include <bitset>
#include <cstdint>
#include <functional>
#include <iosfwd>
#include <string>
#include <string_view>
#include <vector>

#include "model/colors.hpp"
#include "model/computer_player.hpp"
#include "model/line_builder.hpp"
#include "model/rng.hpp"
#include "model/seat_player.hpp"
#include "model/seat_view.hpp"
#include "model/table_io.hpp"
#include "model/tape.hpp"
#include "model/types.hpp"

namespace kvr {

// The 25 heroes in HeroId order: a copy each call, so callers may change their own.
std::vector<Hero> heroBook();
// The same roster built once, read-only.
const std::vector<Hero>& heroRoster();
std::string cardDescription(CardType t);

// The printed card with serial number `id` (1..DECK_SIZE) as the deck creates it, or a default card.
Card deckCard(int id);

// Where seat `seat`'s computer player's own random engine starts in a game of seed `seed`: a one-way mix,
// so that a player handed its engine learns nothing of the seed from it.
std::uint64_t seatEngineSeed(std::uint32_t seed, int seat);

// Counts kept while a game is played, for statistics about many games; play never reads them.
struct PlayCounts {
    int turns = 0;
    int reshuffles = 0;
    // Phases and play-phase actions done: the points where the table is whole and a copy may be taken.
    long actions = 0;
    // Both piles were empty when a card was needed: the game stopped with an error.
    bool deckExhausted = false;
};

class Game {
  public:
    // The game's text goes to `io` and its human seats answer through it; without one it is silent.
    Game(Mode mode, Options opt, TableIo* io);
    // A copy of the rule state: seats, piles, turn bookkeeping, the random engine and the public record.
    // It shares nothing mutable with the original: it starts silent (no io), without an action hook and
    // without the decision timer. Assigning over a game keeps the target's own io and hook.
    Game(const Game& other);
    Game& operator=(const Game& other);

    void setup();
    // Plays the game to its end, then shows the end screen.
    void run();
    // Plays on from where the game stands (the rest of the turn in progress, then the following turns)
    // until it ends, or until `actions` more phases and play-phase actions are done when not negative.
    void playOn(long actions);
    // Makes this game a silent simulation: no text, no questions, every seat played by `player`.
    void simulateWith(const ComputerPlayer& player);
    // Where the game's text goes from now on; null silences it.
    void setIo(TableIo* io);
    bool ended() const { return ended_; }
    // What seat p can know of the table: everything a computer player that must not peek decides from.
    SeatView viewFor(int p) const;
    // What everybody can know: the public table, the roles that are public, the public record; no hand.
    // Once the game is over every role is public.
    SeatView publicView() const;
    // Called after every phase and every play-phase action (the points where a copy may be taken).
    void setActionHook(std::function<void()> hook) { actionHook_ = std::move(hook); }

    // The one way to a world: fills `into` with this table as seat v.self sees it (at the last action
    // boundary when v.fromBoundary), every fact that seat cannot see taken from `deal`: the other hands
    // and the draw pile, the roles it does not know, the random engines. The world is silent, played by
    // the classic player with the dealt roles open. A view from the boundary also sets the world to play
    // the action since then again with the public answers given, `answer` to the question being asked.
    // False, and `into` unspecified, when the deal does not fit the view.
    bool worldFor(const SeatView& v, const HiddenDeal& deal, Game& into, const int* answer = nullptr) const;
    // One action of seat p's play phase in a world, then the action boundary; Stop ends the phase. False
    // when the rules refuse it.
    bool playAction(int p, const PlayAction& m);
    // Who plays seat p from now on; null: the options' kind.
    void setComputer(int p, const ComputerPlayer* player) {
        players_[static_cast<std::size_t>(p)] = player;
        allClassic_ = allClassic_ && (!player || player->classic());
    }
    Mode mode() const { return mode_; }

    // The reference screens: the console's own, outside any game.
    static void tutorial();
    static void listHeroes();
    static void listCards();

    // Read-only views for tools that report on played games.
    const PlayCounts& counts() const { return counts_; }
    std::string result() const { return std::string(result_); }
    // The same without a copy: one of the result texts, which are literals.
    std::string_view resultText() const { return result_; }
    // A world whose replay of the action since the boundary went astray, or never met its question.
    bool replayFailed() const { return tape_.failed || (tape_.hasAnswer && !tape_.answered); }
    // Rounds begun, the last one counted whether it was played out or ended the game.
    int roundsPlayed() const { return round_ - 1; }
    const std::array<Player, 6>& players() const { return ps_; }
    // The seat of the player at this table's own console (a room's opener): -1 until chosen, or none.
    int hostSeat() const { return human_; }

  private:
    friend struct GameProbe;
    // The built-in computer players read the table through the rules' own queries.
    friend class ClassicPlayer;
    // The door of the players that must not peek: they get a desk, never the game.
    friend class SeatDesk;
    friend class SeatPlayerAdapter;
    friend class TapePlayer;
    friend class TapeActionScope;

    // viewFor and publicView: every field of the view written, whatever it held.
    void fillView(int p, SeatView& v) const;
    void fillPublicView(SeatView& v) const;

    // Deck and piles
    void makeDeck();
    Card drawOne();
    // Say is known where draw is called: the line is built only when asked, without a branch at run time.
    void draw(int p, int n, bool say) {
        if (!drawCards(p, n)) return;
        if (say) logParts(CYAN, ps_[p].hero.name, "摸了", n, "张牌。");
    }
    // The cards themselves; false for a dead seat, which draws nothing.
    bool drawCards(int p, int n);
    void reshuffle();
    void throwCard(Card c);
    // A roll whose outcome every seat sees (a judgment-like skill, an armour's chance).
    int roll(int lo, int hi);
    // A random one of seat `holder`'s `total` cards, its hand first and then its equipment: the position
    // drawn. A hand card picked is seen by the seats in `seers` (bit q: seat q; ALL_SEATS when it is shown
    // to the table), an equipped one by everybody.
    int rollCard(int holder, int total, unsigned seers);
    // The same for a roll whose outcome only the seats in `seers` see.
    int rollSeenBy(int lo, int hi, unsigned seers);

    // Setup
    void makePlayers();

    // Game loop
    // The step of a turn that comes next.
    enum class TurnStep { Start, Judgment, Draw, Play, Discard, End, Done };
    bool halted() const { return haltAt_ >= 0 && counts_.actions >= haltAt_; }
    // A play phase that goes on after an action asks here whether play halts; the phase then goes on from
    // its next action when play resumes.
    bool haltsMidPlay() {
        if (!halted()) return false;
        midPlay_ = true;
        return true;
    }
    void turn(int p);
    void playSteps(int p);
    void endPhase(int p);
    void checkWin();
    void afterAction() {
        ++counts_.actions;
        if (tape_.on && (tape_.wanted || tape_.replaying)) tapeBoundary();
        if (actionHook_) actionHook_();
    }

    // Judgments and phases
    Card judgment(int who, std::string_view why, const std::function<bool(const Card&)>& good);
    void judgmentPhase(int p);
    void startSkills(int p);
    void drawPhase(int p);
    void discardPhase(int p);
    void humanPlay(int p);

    // Card play
    bool useCard(int p, int hi, Optional<int> forced);
    void equipCard(int p, int hi);
    bool trickTarget(int p, CardType t, int& to);
    bool trickEffect(int p, const Card& c, int to);
    void ironChain(int p);
    bool useSlashCard(int p, int hi, Optional<int> forced);
    bool useVirtualSlash(int p);
    void slash(int from, int to, Card card, int owner = -1);
    // `why` is shown to a person asked for the card; a computer never reads it.
    // `about` names, for a browser, what is being answered ("Valessa 对你使用【杀 梅花10】").
    bool respondDodge(int p, std::string_view why, std::string_view about = {});
    bool respondSlash(int p, std::string_view why, int need, std::string_view about = {});
    bool playDodge(int p, std::string_view why, std::string_view about = {});
    bool playSlashes(int p, std::string_view why, int need, std::string_view about = {});
    // Whether seat p may answer with card c as a dodge, or as a slash (converting skills included).
    bool answersDodge(int p, const Card& c) const;
    bool answersSlash(int p, const Card& c) const;
    // Whether seat p's play phase would play card c now rather than refuse it at once.
    bool playableNow(int p, const Card& c) const;
    void payFirstTwo(int p);
    void duel(int from, int to, int damageOwner);
    void aoe(int from, CardType t);
    void harvest(int from);
    void fireAttack(int from, int to);
    void borrowSword(int from, int armed);
    // The whole chain of nullifications against one trick on one target; true when it ends cancelled.
    // Most tricks meet no nullification at all: that is told here, inline.
    // A replay may yet put the nullification played then into a hand: it always enters the chain.
    bool nullified(int from, int target, std::string_view trick) {
        return (tape_.replaying ||
                seatsWhere([](const Player& x) { return x.alive & x.hand.has(Nullification); }) != 0) &&
               nullificationChain(from, target, trick);
    }
    bool nullificationChain(int from, int target, std::string_view trick);
    // A person's answer in the chain: play a nullification now?
    bool askNullify(int seat, int target, std::string_view trick, bool cancelled);
    void placeDelayed(int from, int to, Card c);
    // `about` tells a browser what the question is about; the console shows `question` alone.
    bool askYes(int p, const std::string& question, std::string_view about = {});

    // Distance, reach and finders
    int distance(int a, int b) const;
    // The same with the set of living seats known (bit i: seat i lives).
    int distance(int a, int b, unsigned living) const;
    // Bit i set when `has` holds for seat i: written out for the six seats, as it is asked on every action.
    // The predicates join plain reads with & rather than &&: no branch to mispredict.
    template <class F> unsigned seatsWhere(F has) const {
        return static_cast<unsigned>(has(ps_[0])) | static_cast<unsigned>(has(ps_[1])) << 1 |
               static_cast<unsigned>(has(ps_[2])) << 2 | static_cast<unsigned>(has(ps_[3])) << 3 |
               static_cast<unsigned>(has(ps_[4])) << 4 | static_cast<unsigned>(has(ps_[5])) << 5;
    }
    unsigned livingSeats() const {
        return seatsWhere([](const Player& x) { return x.alive; });
    }
    int range(int p) const;
    bool canSlash(int a, int b) const;
    // canSlash(a, b) for every b at once: bit b set when a's slash reaches b.
    unsigned slashable(int a) const;
    // distance(a, b) and canSlash(a, b) for every pair at once, as a seat's view holds them.
    void geometry(std::array<std::array<int, 6>, 6>& distances,
                  std::array<std::array<bool, 6>, 6>& reach) const;
    // The one rule of reach that slashable and geometry share: the seats living seat a's slash reaches,
    // among the `living`, given those with a defensive horse (`guarded`) and those 空城 shelters.
    unsigned reachFrom(int a, unsigned living, unsigned guarded, unsigned sheltered) const;
    unsigned guardedSeats() const;
    unsigned shelteredSeats() const;
    bool slashLimit(int p) const {
        const Player& x = ps_[p];
        return x.slashCount > 0 && x.hero.id != Rhoskan && !x.wields(Crossbow);
    }
    // The first hand card of type t, or -1.
    int findCard(int p, CardType t) const {
        const Hand& h = ps_[p].hand;
        if (!h.has(t)) return -1;
        for (std::size_t i = 0; i < h.size(); ++i)
            if (h[i].type == t) return static_cast<int>(i);
        return -1;
    }
    int findAnySlash(int p) const;
    int findDodge(int p) const;
    int findSameSuit(int p, Suit s, int except) const;
    bool hasDelayed(int p, CardType t) const;
    // How much the classic player of role `actor` wants seat x (holding `cards` cards) as the target of a
    // harmful card: the hurt, the weak and the rich first; a Rebel goes for the Lord, and the Renegade spares
    // a Lord at 2 hit points or fewer. Summed without branches.
    static int foeScore(const Player& x, int cards, Role actor) {
        return 4 * cards + 20 * (x.maxHp - x.hp) - 5 * x.hp +
               (x.role == Lord) * (100 * (actor == Rebel) - 150 * (actor == Renegade) * (x.hp <= 2));
    }
    int totalCards(int p) const {
        const Player& x = ps_[p];
        return static_cast<int>(x.hand.size()) + x.weapon.has_ + x.armor.has_ + x.offensiveHorse.has_ +
               x.defensiveHorse.has_;
    }

    // Damage, dying and death
    void damage(int from, int to, int amount, Nature nat, std::string_view why, bool spread);
    void afterDamage(int from, int to);
    void heal(int p, int n, std::string_view why);
    bool rescue(int dying);
    bool offerSave(int saver, int dying);
    void die(int p, int killer);

    // Card loss
    Card takeHand(int p, int i, bool trigger);
    Optional<Card> takeRandomCard(int p, bool steal, int source);
    void throwRandom(int p, int n);
    void triggerLoseEquip(int p, const Card& c);
    void triggerEmptyHand(int p);

    // Active skills
    bool activeSkill(int p);
    bool activeSkillAI(int p);

    // Computer players
    int attitude(int a, int b) const;
    void auditRoleRead(int a) const;
    // One audited read for each seat in `seats`.
    void auditRoleReads(int a, unsigned seats) const;
    unsigned seatsBy(int p, int sign, unsigned seats) const;
    // The same as sets of seats (bit i: seat i).
    unsigned foeSeats(int p, bool inRange) const;
    SeatList allies(int p) const;
    SeatList enemies(int p, bool inRange) const;
    int aiAlly(int p, bool wounded) const;
    int aiEnemy(int p, bool inRange, bool needsCards) const;
    // The same among a set of p's foes already read.
    int aiEnemyAmong(int p, unsigned foes, bool needsCards) const;
    int keepValue(const Card& c, int p) const;
    int cheapestCard(int p) const;
    void aiPlay(int p);

    // Who decides for seat p when no person does: the one set for the seat, else the options' kind; while
    // a tape is kept or replayed, that player behind the tape's own (model/tape.cpp).
    const ComputerPlayer& computer(int p) const {
        if (tape_.on && ((tape_.usable && !tape_.world) || tape_.replaying)) return tapePlayer();
        return ownComputer(p);
    }
    const ComputerPlayer& ownComputer(int p) const {
        const ComputerPlayer* own = players_[static_cast<std::size_t>(p)];
        return own ? *own : computerByOptions(p);
    }
    const ComputerPlayer& computerByOptions(int p) const;
    // The card seat p answers with when asked for a dodge or a slash (see ComputerPlayer::answerCard): the
    // offered one in a game of classic players that keeps no tape, without asking.
    int answerWith(int p, CardType need, int offered) const {
        if (allClassic_ && !tape_.on) return offered;
        return computer(p).answerCard(*this, p, need, offered);
    }

    // The reaction tape (model/tape.cpp). At each action boundary the table is kept; the hooks below put
    // on the tape what the rules do since, and give it back when replaying.
    bool resumableFor(int p, Question q) const;
    void tapeBoundary();
    // A play-phase action begins: card `hi` of seat p's hand (or the converted slash or the skill).
    void tapeAction(int p, PlayAction::Kind kind, int hi, Optional<int> target);
    // A roll of lo..hi came out `value`: the value to go on with. `r` says who saw what came of it.
    int tapeRoll(int value, int lo, int hi, const TapeRoll& r);
    // Before a judgment card is drawn (replay: the card drawn then is put on top) and after.
    void tapeJudgmentBefore();
    void tapeJudgmentAfter(const Card& c);
    // Seat p is about to be asked a question of this kind: a replay puts the card it answered with then
    // into its hand when the world dealt it elsewhere.
    void tapeReady(int p, Question kind);
    // The same for the next nullification the tape holds, whoever plays it.
    void tapeNullifyReady();
    // Sets this game (a copy of the boundary) to replay `source`.
    void startReplay(const ReactionTape& source, int viewer, const int* answer, bool exact);
    // Moves card `id` from a place the replay's viewer cannot see into seat p's hand; its index, or -1.
    int conjure(int p, int id);
    // For a copy resumed exactly where this game stands now (tests): the boundary with its true hidden
    // facts, set to replay every answer and to answer the question being asked with `answer`.
    bool resumeHere(Game& into, int answer) const;
    // A play phase decided one action at a time by the seat's computer player (nextAction).
    void playActions(int p);
    // The card ids seat p cannot see: the other hands and the draw pile.
    std::bitset<DECK_SIZE + 1> unseenBy(int p) const;
    // The public record the strong player reads roles from: a harmful act of a at b, help from a to b.
    void noteHarm(int a, int b);
    void noteHelp(int a, int b);
    // Seat `actor` aimed a harmful card at `target`, chosen among `candidates` (bit q: seat q). It enters
    // the public record when the target is `shown`, else at choiceShown; a choice never shown (a trick
    // nullified) never does, nor does one left pending when the next is noted.
    void noteChoice(int actor, int target, unsigned candidates, bool shown);
    void choiceShown();
    // Seat q was seen to hold none of these card types when it needed one.
    void noteLacks(int q, std::uint64_t types);
    void noteSeen(int viewer, const Card& c, int holder);
    // Seat q passed over the dying seat without saving it; seat q kept its hand through a discard.
    void notePassedOver(int q, int dying);
    void noteKept(int q);
    void notePlayEnd(int q);

    // Console output
    std::string paint(std::string s, const char* code) const;
    void log(std::string_view s, const char* color) const;
    // The same public line from its pieces: texts, numbers, and cards as their card text. The pieces go
    // straight into one reused buffer, so building a line allocates nothing once the buffer has grown.
    // A silent game builds no line at all.
    template <class... Pieces> void logParts(const char* color, const Pieces&... pieces) const {
        if (!io_) return;
        LineBuilder& out = startLine(color);
        (addPiece(out, pieces), ...);
        finishLine(color);
    }
    // Text for a screen from the same pieces, built in the log line's buffer: good until the next line.
    template <class... Pieces> std::string_view textOf(const Pieces&... pieces) const {
        line_.clear();
        addPieces(line_, pieces...);
        return line_.view();
    }
    template <class... Pieces> void addPieces(LineBuilder& out, const Pieces&... pieces) const {
        (addPiece(out, pieces), ...);
    }
    // The colour wraps the arrow as well as the text.
    LineBuilder& startLine(const char* color) const {
        line_.clear();
        if (opt_.color && color != nullptr && *color != '\0') line_.append(color);
        line_.append("  -> ", 5);
        return line_;
    }
    // logParts has checked that there is an io.
    void finishLine(const char* color) const {
        if (opt_.color && color != nullptr && *color != '\0') line_.append(RESET);
        line_.append("\n", 1);
        io_->showAll(line_.view());
    }
    // Ends the line being built (colour reset, newline) and returns it.
    std::string_view closeLine(const char* color) const;
    // Seat p's own choice refused ("该牌不能当闪。"): a line shaped as a public one, shown to a person's seat
    // alone, since it tells what the seat holds. A computer seat's refusal stays a public line.
    void refuse(int p, std::string_view s, const char* color) const;
    static void addPiece(LineBuilder& out, std::string_view s) { out.append(s); }
    static void addPiece(LineBuilder& out, int n) {
        if (n >= 0 && n < 10) {
            char digit = static_cast<char>('0' + n);
            out.append(&digit, 1);
        } else {
            addNumber(out, n);
        }
    }
    static void addNumber(LineBuilder& out, int n);
    static void addPiece(LineBuilder& out, unsigned n);
    void addPiece(LineBuilder& out, const Card& c) const;
    void clear() const;
    std::string ctext(const Card& c) const;
    static std::string roleText(Role r) { return std::string(roleName(r)); }
    std::string shownRole(int p) const;
    std::string equips(const Player& x) const;
    void table() const;
    void hand(int p) const;

    // Console input
    bool personAt(int p) const;
    bool readAnswer(std::string& out, const Prompt& prompt = Prompt{});
    std::string line(PromptKind kind = PromptKind::Text, const Query* query = nullptr);
    int number(int lo, int hi, int fallback, const Query* query = nullptr);
    // A question answered by one of seat p's hand cards (0 for none when `none`), with the cards `fits`
    // accepts marked.
    Query handQuery(int p, const char* topic, std::string ask, std::string_view about, bool none,
                    const std::function<bool(const Card&)>& fits) const;
    // A seat as the table names it: "2号 Corvane".
    std::string seatLabel(int p) const;
    std::string plainCard(const Card& c) const;
    static std::vector<int> numbers(const std::string& s);
    int chooseTarget(int from, const std::string& prompt, const std::function<bool(int)>& legal, bool cancel);
    void pause(const std::string& s);

    // Seats and where text goes
    void attachNetworkPlayers();
    void dropSeat(int p);
    // From here on prompts and private screen text address seat p. A hosted seat whose player came back is
    // theirs again here, before anything is asked of it.
    void activateSeat(int p) {
        viewSeat_ = p;
        if (hosted_ && p >= 0 && p < 6) takeBack(p);
    }
    void takeBack(int p);
    void publicMessage(std::string_view text) const;
    // Private text for the seat addressed last.
    void show(std::string_view text) const;

    Mode mode_;
    Options opt_;
    GameRng rng_;
    // In place: a copy of a game allocates nothing for its seats.
    std::array<Player, 6> ps_;
    CardList deck_;
    CardList discard_;
    int human_ = -1;
    // The seat whose turn is in progress (or was last), the step that comes next in it, and the next seat
    // of the round to consider (-1: the round has not begun).
    int current_ = -1;
    TurnStep step_ = TurnStep::Done;
    int nextSeat_ = -1;
    int round_ = 1;
    // Play stops once this many actions are done (-1: never); a play phase stopped after an action sets
    // `midPlay_` so that the turn goes on with that phase.
    long haltAt_ = -1;
    bool midPlay_ = false;
    int viewSeat_ = -1;
    // Set by readAnswer when the last question went unanswered in the time a remote seat is allowed (it
    // then returns false, as for no answer): an asking site that sees it answers for the seat as the
    // computer would. Cleared by every readAnswer.
    bool answerTimedOut_ = false;
    bool ended_ = false;
    // One of the result texts, which are literals: a copy or an ended game never allocates for it.
    std::string_view result_;
    TableIo* io_ = nullptr;
    // The io is a hosted table, where dropped players may come back.
    bool hosted_ = false;
    // Cards shown by Harvest and not yet picked: on the table, in no pile.
    CardList pool_;
    // Called after every phase and every play-phase action; the simulation tests check the table here.
    std::function<void()> actionHook_;
    PlayCounts counts_;
    // When set (by tests), every true-role question asked for a seat that is not played by the classic
    // player is counted in roleReads_: such a player must decide from what its seat can see.
    bool auditRoles_ = false;
    // A world a search dealt for itself: its roles are the searcher's guess, open to every seat in it.
    bool rolesOpen_ = false;
    mutable long roleReads_ = 0;
    // Computer players set for single seats; null: the options' kind.
    std::array<const ComputerPlayer*, 6> players_{};
    // Each seat's computer player has a random engine of its own, seeded from the game's seed and the
    // seat, so that its choices never touch the game's draws.
    std::array<std::uint64_t, 6> playerRng_{};
    // The log line being built. Publishing a line never logs, so one buffer serves every line.
    mutable LineBuilder line_;
    std::array<std::array<int, 6>, 6> harm_{};
    std::array<std::array<int, 6>, 6> help_{};
    // Card types each seat was seen to lack, and how many cards it held then.
    std::array<std::uint64_t, 6> lacks_{};
    std::array<int, 6> lackCount_{};
    // Dying seats each seat passed over and how many cards it held then; cards kept through a discard.
    std::array<std::uint8_t, 6> passedOver_{};
    std::array<int, 6> passedOverCount_{};
    std::array<int, 6> keptCount_{};
    std::array<std::uint8_t, 6> noSlashReach_{};
    std::array<int, 6> noSlashCount_{};
    // For each seating of the Loyalist and the Renegade (choiceSlot), how many of each seat's aimed harmful
    // cards that seating leaves unexplained.
    std::array<std::array<std::uint8_t, CHOICE_SLOTS>, 6> choiceMisses_{};
    // The choice noted last whose target the table has not been shown yet: its actor (-1: none) and the
    // seatings it misses (bit choiceSlot).
    std::int8_t pendingChoice_ = -1;
    std::uint64_t pendingMisses_ = 0;
    // Every seat is played by the classic player (see ComputerPlayer::classic) when no person plays it.
    bool allClassic_ = true;
    // What each seat saw of where cards went: the hand a card (by id) went into, -1 for none known.
    std::array<std::array<std::int8_t, DECK_SIZE + 1>, 6> seenIn_{};
    // See ReactionTape; the players' questions change it through a const game.
    mutable ReactionTape tape_;
};

// Inline: every card played passes here, and outside a search of reactions it only counts the depth.
inline TapeActionScope::TapeActionScope(Game& g, int p, PlayAction::Kind kind, int hi, int target)
    : tape_(&g.tape_) {
    if (tape_->depth++ == 0 && tape_->usable)
        g.tapeAction(p, kind, hi, target >= 0 ? Optional<int>(target) : Optional<int>());
}

inline TapeActionScope::~TapeActionScope() { --tape_->depth; }

} // namespace kvr
