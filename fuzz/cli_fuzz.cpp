// The command-line parser on arbitrary arguments (the bytes split at each zero byte).
#include <cstdint>
#include <cstdlib>
#include <string>
#include <vector>

#include "app/cli.hpp"

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    std::vector<std::string> args(1);
    for (std::size_t i = 0; i < size && args.size() < 64; ++i) {
        if (data[i] == 0)
            args.emplace_back();
        else
            args.back() += static_cast<char>(data[i]);
    }
    try {
        kvr::CommandLine cl = kvr::parseCommandLine(args, kvr::Options{});
        if (cl.humans < 1 || cl.humans > 6 || cl.waitSeconds < 1 || cl.opt.maxRounds < 1) std::abort();
    } catch (const kvr::BadArgument&) {
    }
    return 0;
}
