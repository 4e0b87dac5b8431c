// A running 64-bit XXH3 hash of a stream of text, fed piece by piece: the same text gives the same
// value however it was cut.
#pragma once

#include <cstdint>
#include <memory>
#include <string_view>

namespace kvr {

class TextHash {
  public:
    TextHash();
    ~TextHash();
    TextHash(const TextHash&) = delete;
    TextHash& operator=(const TextHash&) = delete;

    void add(std::string_view text);
    std::uint64_t value() const;

  private:
    struct State;
    std::unique_ptr<State> state_;
};

} // namespace kvr
