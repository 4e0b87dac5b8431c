// The replay viewer on arbitrary records: it never fails but by refusing the record's head, its steps
// fit together, and a game that did not reach its end shows no hand or role under the toggle.
#include <cstdint>
#include <cstdlib>
#include <sstream>
#include <string>

#include "console/record.hpp"
#include "store/replay_view.hpp"

namespace {

void check(bool ok) {
    if (!ok) std::abort();
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    const std::string text(reinterpret_cast<const char*>(data), size);
    // The strong player's games replay its searches: seconds each, which would only slow the fuzzing.
    try {
        std::istringstream in(text);
        kvr::Record record = kvr::parseRecord(in, "fuzz");
        if (record.head.opt.ai == kvr::StrongAi || record.head.opt.strongRoles != 0) return 0;
    } catch (const kvr::RecordError&) {
        return 0;
    }
    kvr::ReplayView view(text, "fuzz");
    int last = -1;
    for (int n = 0; n < view.steps(); ++n) {
        check(view.logAt(n) >= last);
        last = view.logAt(n);
    }
    std::string step = view.stepJson(view.steps() - 1, true);
    check(view.finished() == (step.find("\"reveal\"") != std::string::npos) || view.steps() == 0);
    check(!view.indexJson().empty());
    return 0;
}
