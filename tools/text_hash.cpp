#include "tools/text_hash.hpp"

// The library's functions are compiled in here, so no library needs linking on any system.
#define XXH_INLINE_ALL
#include <xxhash.h>

namespace kvr {

struct TextHash::State {
    XXH3_state_t xxh;
};

TextHash::TextHash() : state_(std::make_unique<State>()), block_(std::make_unique<char[]>(BLOCK)) {
    XXH3_64bits_reset(&state_->xxh);
}

TextHash::~TextHash() = default;

void TextHash::hashBlock(std::string_view text) {
    XXH3_64bits_update(&state_->xxh, block_.get(), size_);
    XXH3_64bits_update(&state_->xxh, text.data(), text.size());
    size_ = 0;
}

std::uint64_t TextHash::value() {
    hashBlock({});
    return XXH3_64bits_digest(&state_->xxh);
}

} // namespace kvr
