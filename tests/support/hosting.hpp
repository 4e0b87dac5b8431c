// What the process tests of hosted games share: a file's bytes, the command line of a host that plays
// one fast game without colours, and the public lines and the result read from a screen.
#pragma once

#include <algorithm>
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
    std::vector<std::string> args{"--host",
                                  "--players",
                                  std::to_string(players),
                                  "--wait",
                                  "20",
                                  "--port",
                                  std::to_string(port),
                                  "--fast",
                                  "--no-color",
                                  "--mode",
                                  mode,
                                  "--seed",
                                  std::to_string(seed)};
    if (!record.empty()) args.insert(args.end(), {"--record", record});
    return args;
}

// What the game answers to a person's own wrong choice: shaped as a log line, but shown to that seat alone,
// since it tells what the seat holds.
inline const char* const REFUSALS[] = {"杀的次数已达上限。",
                                       "该牌只能响应时使用。",
                                       "该牌不能当闪。",
                                       "该牌不能当杀。",
                                       "没有合法目标。",
                                       "本回合主动技能已使用。",
                                       "该武将技能为被动触发，无需主动发动。"};

inline bool refusal(const std::string& line) {
    for (const char* r : REFUSALS)
        if (line == std::string("  -> ") + r + "\n") return true;
    return false;
}

// Every public line, in order: a log line may follow an unanswered prompt on the same output line. A
// seat's own refusals are left out: they are its private text.
inline std::vector<std::string> publicLines(const std::string& out) {
    std::vector<std::string> lines;
    std::size_t at = 0;
    while (true) {
        std::size_t next = std::string::npos;
        for (const char* head : {"  -> ", "[网络] ", "[大厅] 已开局"})
            next = std::min(next, out.find(head, at));
        if (next == std::string::npos) return lines;
        std::size_t end = out.find('\n', next);
        if (end == std::string::npos) return lines;
        std::string line = out.substr(next, end + 1 - next);
        if (!refusal(line)) lines.push_back(line);
        at = end + 1;
    }
}

// The result line of a host's end screen.
inline std::string resultOf(const std::string& hostOut) {
    const std::string banner = "================ 对局结束 ================\n";
    std::size_t at = hostOut.find(banner);
    if (at == std::string::npos) return "?";
    at += banner.size();
    return hostOut.substr(at, hostOut.find('\n', at) - at);
}

} // namespace kvr
