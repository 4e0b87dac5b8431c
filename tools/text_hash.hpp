// A running 64-bit XXH3 hash of a stream of text, fed piece by piece: the same text gives the same
// value however it was cut. Text comes in many short pieces; it is gathered and hashed in large
// blocks, where XXH3 is fastest.
#pragma once

#include <cstdint>
#include <cstring>
#include <memory>
#include <string_view>

namespace kvr {

class TextHash {
  public:
    TextHash();
    ~TextHash();
    TextHash(const TextHash&) = delete;
    TextHash& operator=(const TextHash&) = delete;

    void add(std::string_view text) {
        if (size_ + text.size() > BLOCK) {
            hashBlock(text);
            return;
        }
        std::memcpy(block_.get() + size_, text.data(), text.size());
        size_ += text.size();
    }
    std::uint64_t value();

  private:
    static constexpr std::size_t BLOCK = 1 << 16;
    // Hashes the gathered text and then `text`.
    void hashBlock(std::string_view text);

    struct State;
    std::unique_ptr<State> state_;
    std::unique_ptr<char[]> block_;
    std::size_t size_ = 0;
};

} // namespace kvr
