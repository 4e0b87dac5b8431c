// The public line being built, piece by piece: appending is a copy into a buffer that only grows
// while a line longer than any before comes along. A line is many small pieces; this keeps each cheap.
#pragma once

#include <cstring>
#include <memory>
#include <string_view>

namespace kvr {

class LineBuilder {
  public:
    void clear() { size_ = 0; }
    void append(const char* text, std::size_t n) {
        if (n > capacity_ - size_) grow(n);
        char* to = buffer_.get() + size_;
        size_ += n;
        // Most pieces are a few characters of a name: copied in place with two overlapping fixed-size
        // moves, which cost less than a call to memcpy.
        if (n >= 8 && n <= 16) {
            std::memcpy(to, text, 8);
            std::memcpy(to + n - 8, text + n - 8, 8);
        } else if (n >= 4 && n < 8) {
            std::memcpy(to, text, 4);
            std::memcpy(to + n - 4, text + n - 4, 4);
        } else if (n > 16) {
            std::memcpy(to, text, n);
        } else if (n >= 2) {
            std::memcpy(to, text, 2);
            std::memcpy(to + n - 2, text + n - 2, 2);
        } else if (n == 1) {
            *to = *text;
        }
    }
    void append(std::string_view text) { append(text.data(), text.size()); }
    std::string_view view() const { return {buffer_.get(), size_}; }

  private:
    // Room for n more characters, and for longer lines after this one.
    void grow(std::size_t n) {
        std::size_t capacity = 2 * (size_ + n) + 64;
        std::unique_ptr<char[]> bigger(new char[capacity]);
        if (size_ > 0) std::memcpy(bigger.get(), buffer_.get(), size_);
        buffer_ = std::move(bigger);
        capacity_ = capacity;
    }

    std::unique_ptr<char[]> buffer_;
    std::size_t capacity_ = 0;
    std::size_t size_ = 0;
};

} // namespace kvr
