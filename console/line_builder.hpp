// The public line being built, piece by piece: appending is a copy into a buffer that only grows
// while a line longer than any before comes along. A line is many small pieces; this keeps each cheap.
#pragma once

#include <cstring>
#include <string_view>
#include <vector>

namespace kvr {

class LineBuilder {
  public:
    void clear() { size_ = 0; }
    void append(const char* text, std::size_t n) {
        if (size_ + n > buffer_.size()) buffer_.resize(2 * (size_ + n));
        std::memcpy(buffer_.data() + size_, text, n);
        size_ += n;
    }
    void append(std::string_view text) { append(text.data(), text.size()); }
    std::string_view view() const { return {buffer_.data(), size_}; }

  private:
    std::vector<char> buffer_;
    std::size_t size_ = 0;
};

} // namespace kvr
