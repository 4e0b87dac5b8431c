// What a seat believes of the roles it cannot see (the hidden-role game): every deal of the unknown roles
// that fits the game's role counts, weighed by how likely it makes what every seat was seen doing.
#pragma once

#include <array>
#include <vector>

#include "model/seat_view.hpp"

namespace kvr {

struct RoleBelief {
    // One way the unknown roles may be dealt, with its probability.
    struct Deal {
        std::array<Role, 6> roles{};
        double chance = 0;
    };
    std::vector<Deal> deals;
    // The chance that seat q holds role r (r from Lord to Renegade); a known role has chance 1.
    std::array<std::array<double, 6>, 6> chance{};

    // The role seat q most likely holds.
    Role likeliest(int q) const;
};

bool isLordSide(Role r);
// The log-likelihood that seat s passed over the dying seat without saving it, given the roles: 0 when
// it would not save that seat anyway, else the chance that none of its cards could.
double passLikelihood(const SeatView& v, const std::array<Role, 6>& roles, int s, int dying);

// The log-likelihood that seat s ended its last play phase without a slash it could still play, given
// the roles: 0 when no seat in its reach is one it attacks, else the chance that it held none.
double noSlashLikelihood(const SeatView& v, const std::array<Role, 6>& roles, int s);

// The log-likelihood of the harmful cards the other seats aimed, given the roles: each choice the classic
// player would not have made under them is as likely as a person's whim.
double choiceLikelihood(const SeatView& v, const std::array<Role, 6>& roles);

// The viewer's belief. In the team game every role is known and the one deal is certain.
RoleBelief roleBelief(const SeatView& v);

} // namespace kvr
