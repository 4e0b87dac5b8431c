// What the process tests of hosted games share: a file's bytes, and the command line of a host that
// plays one fast game without colours.
#pragma once

#include <cstdint>
#include <fstream>
#include <iterator>
#include <string>
#include <vector>

namespace kvr {

inline std::string slurp(const std::string& path) {
    std::ifstream in(path, std::ios::binary);
    return std::string(std::istreambuf_iterator<char>(in), {});
}

// With a record path the host keeps its record there.
inline std::vector<std::string> hostArgs(std::uint16_t port, int players, const char* mode, int seed,
                                         const std::string& record = "") {
    std::vector<std::string> args{"--host",  "--players", std::to_string(players), "--wait", "20",
                                  "--port",  std::to_string(port),                 "--fast", "--no-color",
                                  "--mode",  mode,                                 "--seed", std::to_string(seed)};
    if (!record.empty()) args.insert(args.end(), {"--record", record});
    return args;
}

} // namespace kvr
