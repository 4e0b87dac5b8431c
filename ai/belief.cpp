#include "ai/belief.hpp"

#include <algorithm>
#include <cmath>

namespace kvr {

namespace {

// How often a seat of one role was seen to harm or to help a seat of another in a round, measured over
// 20,000 games of classic players. A rate never seen gets a small floor: people are less predictable.
// Rows: actor Lord, Loyalist, Rebel, Renegade; columns: the seat acted on, in the same order.
constexpr double HARM_RATE[4][4] = {{0.005, 0.0206, 0.2083, 0.2378},
                                    {0.0366, 0.005, 0.1765, 0.1848},
                                    {0.4591, 0.0638, 0.0112, 0.0536},
                                    {0.1183, 0.1412, 0.1250, 0.005}};
constexpr double HELP_RATE[4][4] = {{0.005, 0.0352, 0.005, 0.005},
                                    {0.0844, 0.005, 0.005, 0.005},
                                    {0.005, 0.005, 0.0316, 0.005},
                                    {0.005, 0.005, 0.005, 0.005}};

std::size_t slot(Role r) { return static_cast<std::size_t>(r - Lord); }

// The log-likelihood of what `actor` did to `target` over `exposure` rounds, by their roles.
double actLikelihood(const SeatView& v, int actor, int target, Role ra, Role rb, double exposure) {
    double harm = HARM_RATE[slot(ra)][slot(rb)];
    double help = HELP_RATE[slot(ra)][slot(rb)];
    const std::size_t a = static_cast<std::size_t>(actor), b = static_cast<std::size_t>(target);
    return v.harm[a][b] * std::log(harm) - harm * exposure + v.help[a][b] * std::log(help) - help * exposure;
}

// Whether a seat of role a saves a dying seat of role b when it can: the Lord's side its own, a Rebel the
// Rebels.
bool savesFor(Role a, Role b) { return (isLordSide(a) && isLordSide(b)) || (a == Rebel && b == Rebel); }

// The chance that one hand card could save another seat: a peach (kept more than its share), or for
// Mendrel any red card.
double saveShare(const SeatView& v, int s) { return v.at(s).hero == Mendrel ? 0.55 : 0.13; }

} // namespace

bool isLordSide(Role r) { return r == Lord || r == Loyalist; }

double choiceLikelihood(const SeatView& v, const std::array<Role, 6>& roles) {
    // A person's whim: one choice in ten, against a classic seat that never strays.
    static const double MISS = std::log(0.1);
    int loyalist = -1, renegade = -1;
    for (int q = 0; q < 6; ++q) {
        if (roles[static_cast<std::size_t>(q)] == Loyalist) loyalist = q;
        if (roles[static_cast<std::size_t>(q)] == Renegade) renegade = q;
    }
    if (loyalist < 0 || renegade < 0) return 0;
    const std::size_t slot = static_cast<std::size_t>(choiceSlot(loyalist, renegade));
    int misses = 0;
    for (int a = 0; a < 6; ++a)
        if (a != v.self) misses += v.choiceMisses[static_cast<std::size_t>(a)][slot];
    return misses * MISS;
}

// Whom a seat of role a attacks when it can: the Lord's side the Rebels and the Renegade, a Rebel the
// Lord's side and the Renegade, the Renegade everybody.
bool attacks(Role a, Role b) {
    if (a == Renegade) return true;
    if (isLordSide(a)) return !isLordSide(b);
    return b != Rebel;
}

double slashShare(const SeatView& v, int s) {
    HeroId h = v.at(s).hero;
    return h == Keldar ? 0.55 : h == Jorvane ? 0.3 : 0.15;
}

double noSlashLikelihood(const SeatView& v, const std::array<Role, 6>& roles, int s) {
    const std::size_t q = static_cast<std::size_t>(s);
    if (v.noSlashCount[q] <= 0) return 0;
    bool foe = false;
    for (int r = 0; r < 6; ++r)
        if (((v.noSlashReach[q] >> r) & 1) && attacks(roles[q], roles[static_cast<std::size_t>(r)]))
            foe = true;
    return foe ? v.noSlashCount[q] * std::log(1 - slashShare(v, s)) : 0;
}

// A seat that passed over a dying seat it would save held no save: as likely as its cards being none.
double passLikelihood(const SeatView& v, const std::array<Role, 6>& roles, int s, int dying) {
    if (!savesFor(roles[static_cast<std::size_t>(s)], roles[static_cast<std::size_t>(dying)])) return 0;
    return v.passedOverCount[static_cast<std::size_t>(s)] * std::log(1 - saveShare(v, s));
}

Role RoleBelief::likeliest(int q) const {
    const std::array<double, 6>& c = chance[static_cast<std::size_t>(q)];
    return static_cast<Role>(std::max_element(c.begin(), c.end()) - c.begin());
}

// The deals are the distinct orders of the roles nobody has shown over the seats that hide them: at most
// twenty. Acts between two seats of known roles weigh the same in every deal and are left out, and so are
// the viewer's own acts, which follow its beliefs rather than anybody's role.
RoleBelief roleBelief(const SeatView& v) {
    RoleBelief out;
    RoleBelief::Deal base;
    std::vector<int> hidden;
    std::vector<Role> unknown;
    if (v.mode == Identity) unknown = {Lord, Loyalist, Rebel, Rebel, Rebel, Renegade};
    for (int q = 0; q < 6; ++q) {
        const Optional<Role>& r = v.at(q).role;
        if (q == v.self || r) {
            base.roles[static_cast<std::size_t>(q)] = q == v.self ? v.role : *r;
            auto it = std::find(unknown.begin(), unknown.end(), base.roles[static_cast<std::size_t>(q)]);
            if (it != unknown.end()) unknown.erase(it);
        } else {
            hidden.push_back(q);
        }
    }
    if (hidden.empty() || unknown.size() != hidden.size()) {
        base.chance = 1;
        out.deals.push_back(base);
    } else {
        double exposure = std::max(0.5, v.round - 0.5);
        std::sort(unknown.begin(), unknown.end());
        double best = -1e300;
        do {
            RoleBelief::Deal d = base;
            for (std::size_t k = 0; k < hidden.size(); ++k)
                d.roles[static_cast<std::size_t>(hidden[k])] = unknown[k];
            double logChance = 0;
            for (int a = 0; a < 6; ++a)
                for (int b = 0; b < 6; ++b) {
                    bool involvesHidden = std::find(hidden.begin(), hidden.end(), a) != hidden.end() ||
                                          std::find(hidden.begin(), hidden.end(), b) != hidden.end();
                    if (a == b || a == v.self || !involvesHidden) continue;
                    logChance += actLikelihood(v, a, b, d.roles[static_cast<std::size_t>(a)],
                                               d.roles[static_cast<std::size_t>(b)], exposure);
                    if ((v.passedOver[static_cast<std::size_t>(a)] >> b) & 1)
                        logChance += passLikelihood(v, d.roles, a, b);
                }
            for (int a = 0; a < 6; ++a)
                if (a != v.self && v.noSlashReach[static_cast<std::size_t>(a)] != 0)
                    logChance += noSlashLikelihood(v, d.roles, a);
            logChance += choiceLikelihood(v, d.roles);
            d.chance = logChance;
            best = std::max(best, logChance);
            out.deals.push_back(d);
        } while (std::next_permutation(unknown.begin(), unknown.end()));
        double total = 0;
        for (RoleBelief::Deal& d : out.deals) total += d.chance = std::exp(d.chance - best);
        for (RoleBelief::Deal& d : out.deals) d.chance /= total;
    }
    for (const RoleBelief::Deal& d : out.deals)
        for (std::size_t q = 0; q < 6; ++q) out.chance[q][static_cast<std::size_t>(d.roles[q])] += d.chance;
    return out;
}

} // namespace kvr
