// The input helpers on arbitrary standard input: the first byte picks the helper and the range.
#include <cstdint>
#include <cstdlib>
#include <string>

#include "console/console_io.hpp"
#include "fuzz/streams.hpp"
#include "tests/support/probe.hpp"

namespace {

void check(bool ok) {
    if (!ok) std::abort();
}

bool blank(char ch) { return ch == ' ' || ch == '\t' || ch == '\r' || ch == '\n'; }

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    using kvr::GameProbe;
    if (size < 3) return 0;
    const std::string text(reinterpret_cast<const char*>(data) + 3, size - 3);
    kvr::FuzzConsole console(text);
    // A game before its setup: no seat is addressed, so every read is the console's.
    kvr::Game game(kvr::Normal3v3, kvr::Options{}, &kvr::standardConsole());
    GameProbe g{game};
    switch (data[0] % 3) {
    case 0:
        // Every line comes back trimmed and without a line break, and the input runs out.
        for (std::size_t n = 0; n <= text.size(); ++n) {
            std::string s = g.line();
            check(s.find('\n') == std::string::npos);
            check(s.empty() || (!blank(s.front()) && !blank(s.back())));
            if (std::cin.fail()) return 0;
        }
        check(false);
        break;
    case 1: {
        // An answer in range or the fallback, whatever is typed.
        int lo = static_cast<std::int8_t>(data[1]);
        int hi = lo + data[2] % 20;
        int fallback = lo - 1;
        for (int k = 0; k < 4; ++k) {
            int n = g.number(lo, hi, fallback);
            check(n == fallback || (lo <= n && n <= hi));
            if (n == fallback) break;
        }
        break;
    }
    default: {
        // A list no longer than the text has room for.
        std::vector<int> list = GameProbe::numbers(text);
        check(list.size() <= (text.size() + 1) / 2);
        break;
    }
    }
    return 0;
}
