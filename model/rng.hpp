// The game's random engine: MT19937's numbers, computed only as far as a game draws them.
#pragma once

#include <cstdint>
#include <random>

namespace kvr {

// The 32-bit Mersenne Twister, the same numbers as std::mt19937 from the same seed. Its state is made
// element by element as numbers are drawn: seeding fills an element only when a twist first reads it, and
// each element is twisted just before its number is tempered. A game draws a few hundred numbers, so it
// never seeds or twists the whole state at once, and a copy copies only the elements made so far.
class Mt19937 {
  public:
    explicit Mt19937(std::uint32_t seed) { x_[0] = seed; }
    Mt19937(const Mt19937& other) { *this = other; }
    Mt19937& operator=(const Mt19937& other) {
        if (this == &other) return *this;
        for (int i = 0; i < other.seeded_; ++i) x_[i] = other.x_[i];
        seeded_ = other.seeded_;
        next_ = other.next_;
        return *this;
    }

    std::uint32_t operator()() {
        int i = next_;
        int j = i + 1 == N ? 0 : i + 1;
        int k = i + M < N ? i + M : i + M - N;
        // The twist of element i reads elements i + 1 and i + M, which the seeding makes in order.
        if (seeded_ < N) seedTo(i + M + 1 < N ? i + M + 1 : N);
        std::uint32_t y = (x_[i] & 0x80000000U) | (x_[j] & 0x7fffffffU);
        std::uint32_t z = x_[k] ^ (y >> 1) ^ ((y & 1U) ? 0x9908b0dfU : 0U);
        x_[i] = z;
        next_ = j;
        z ^= z >> 11;
        z ^= (z << 7) & 0x9d2c5680U;
        z ^= (z << 15) & 0xefc60000U;
        return z ^ (z >> 18);
    }

  private:
    static constexpr int N = 624;
    static constexpr int M = 397;

    // Each element follows from the one before: kept in a register and made four at a time, the loop
    // costs about three instructions an element instead of five.
    void seedTo(int end) {
        int i = seeded_;
        std::uint32_t x = x_[i - 1];
        auto next = [&x](int at) {
            return x = 1812433253U * (x ^ (x >> 30)) + static_cast<std::uint32_t>(at);
        };
        for (; i + 4 <= end; i += 4) {
            x_[i] = next(i);
            x_[i + 1] = next(i + 1);
            x_[i + 2] = next(i + 2);
            x_[i + 3] = next(i + 3);
        }
        for (; i < end; ++i) x_[i] = next(i);
        seeded_ = end;
    }

    std::uint32_t x_[N];
    // Elements 0..seeded_-1 are made; next_ is the element twisted and drawn next.
    int seeded_ = 1;
    int next_ = 0;
};

// The game's random engine: MT19937 seeded with the game's seed. A world a search deals for itself
// switches to a small engine seeded by the searching player, which costs nothing to seed. Both give
// 32-bit values over the same range and type as std::mt19937, so the standard distributions draw the
// same values from them, and every draw of a real game is MT19937's own.
class GameRng {
  public:
    using result_type = std::mt19937::result_type;
    static constexpr result_type min() { return std::mt19937::min(); }
    static constexpr result_type max() { return std::mt19937::max(); }

    explicit GameRng(std::uint32_t seed) : mt_(seed) {}
    result_type operator()() { return own_ ? next() : mt_(); }
    // From now on the small engine, from this seed.
    void useOwn(std::uint64_t seed) {
        own_ = true;
        state_ = seed;
    }

  private:
    // splitmix64, cut to 32 bits.
    result_type next() {
        std::uint64_t z = (state_ += 0x9e3779b97f4a7c15ULL);
        z = (z ^ (z >> 30)) * 0xbf58476d1ce4e5b9ULL;
        z = (z ^ (z >> 27)) * 0x94d049bb133111ebULL;
        return static_cast<result_type>((z ^ (z >> 31)) & 0xffffffffULL);
    }

    Mt19937 mt_;
    bool own_ = false;
    std::uint64_t state_ = 0;
};

} // namespace kvr
