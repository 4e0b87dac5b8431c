#include <algorithm>

#include "ai/strong.hpp"
#include "app/cli.hpp"
#include "model/text.hpp"

namespace kvr {

const char* const HELP_TEXT =
    "单机：kavrin [--auto] [--mode normal|identity] [--seed N]\n"
    "主机：kavrin --host --mode identity --port 9527 --players 6 --wait 20\n"
    "加入：kavrin --join 192.168.1.10 --port 9527\n"
    "网页端口：--web-port 9528（默认为端口+1，0为不开网页）\n"
    "远程座位答题时限：--answer-time 秒（默认0，一直等待；超时由AI代答这一次）\n"
    "电脑玩家：--ai classic（默认）|strong；构建：cmake -S . -B build && cmake --build build；"
    "对局记录：--record 文件，重放 --replay 文件，续玩 --resume 文件，存入数据库 --record-db 目录；"
    "强电脑每步思考：--think 毫秒（按局面数计，默认14），--plays-per-ms 本机每毫秒局面数\n"
    "房间：kavrin --serve --port 9528 --line-port 0 --tables 100 --records 目录 --data 目录 --public-url https://名称/"
    "（多桌同开，无人在控制台；答题时限默认90秒）\n";

const char* const BAD_PORT_TEXT = "端口无效，必须是1~65535的整数。\n";

const char* const BAD_NUMBER_TEXT = "输入无效，必须是整数。\n";

bool validPort(int port) { return port >= 1 && port <= 65535; }

bool parseWholeNumber(const std::string& text, int& out) {
    std::size_t used = 0;
    int v = 0;
    if (!parseLeadingInt(text, v, &used) || used != text.size()) return false;
    out = v;
    return true;
}

int menuPort(const std::string& answer) {
    int port = DEFAULT_PORT;
    if (!answer.empty() && !parseWholeNumber(answer, port)) return 0;
    return validPort(port) ? port : 0;
}

namespace {

[[noreturn]] void refuse(const std::string& option, const std::string& value) {
    throw BadArgument("参数 " + option + " 的值“" + value + "”不是有效的整数。");
}

int toInt(const std::string& option, const std::string& value) {
    int v = 0;
    if (!parseLeadingInt(value, v)) refuse(option, value);
    return v;
}

std::uint32_t toSeed(const std::string& value) {
    long long v = 0;
    if (!parseLeadingNumber(value, v) || v < 0 || v > 0xFFFFFFFFLL) refuse("--seed", value);
    return static_cast<std::uint32_t>(v);
}

} // namespace

CommandLine parseCommandLine(const std::vector<std::string>& args, const Options& defaults) {
    CommandLine cl;
    cl.opt = defaults;
    int think = 0, perMs = STRONG_PLAYS_PER_MS;
    for (std::size_t i = 0; i < args.size(); ++i) {
        const std::string& a = args[i];
        // An option's value is the next argument unless that is an option itself: `--ai --host` keeps
        // --host.
        bool hasValue = i + 1 < args.size() && args[i + 1].rfind("--", 0) != 0;
        if (a == "--auto") {
            cl.opt.autoPlay = true;
        } else if (a == "--fast") {
            cl.opt.fast = true;
        } else if (a == "--no-color") {
            cl.opt.color = false;
        } else if (a == "--seed" && hasValue) {
            cl.opt.seed = toSeed(args[++i]);
        } else if (a == "--max-rounds" && hasValue) {
            cl.opt.maxRounds = std::max(1, toInt(a, args[++i]));
        } else if (a == "--mode" && hasValue) {
            cl.opt.forcedMode = args[++i] == "identity" ? Identity : Normal3v3;
        } else if (a == "--ai" && hasValue) {
            cl.opt.ai = args[++i] == "strong" ? StrongAi : ClassicAi;
        } else if (a == "--think" && hasValue) {
            think = std::max(1, toInt(a, args[++i]));
        } else if (a == "--plays-per-ms" && hasValue) {
            perMs = std::max(1, toInt(a, args[++i]));
        } else if (a == "--host") {
            cl.host = true;
        } else if (a == "--join" && hasValue) {
            cl.joinIp = args[++i];
        } else if (a == "--port" && hasValue) {
            cl.port = toInt(a, args[++i]);
            cl.portGiven = true;
        } else if (a == "--serve") {
            cl.serve = true;
        } else if (a == "--line-port" && hasValue) {
            cl.linePort = toInt(a, args[++i]);
        } else if (a == "--tables" && hasValue) {
            cl.tables = std::max(1, toInt(a, args[++i]));
        } else if (a == "--records" && hasValue) {
            cl.recordsDir = args[++i];
        } else if (a == "--data" && hasValue) {
            cl.dataDir = args[++i];
            cl.dataGiven = true;
        } else if (a == "--public-url" && hasValue) {
            cl.publicUrl = args[++i];
        } else if (a == "--opens-per-minute" && hasValue) {
            cl.opensPerMinute = std::max(1, toInt(a, args[++i]));
        } else if (a == "--max-connections" && hasValue) {
            cl.maxConnections = std::max(1, toInt(a, args[++i]));
        } else if (a == "--max-per-address" && hasValue) {
            cl.maxFromOne = std::max(1, toInt(a, args[++i]));
        } else if (a == "--keep-ended" && hasValue) {
            cl.keepEndedSeconds = std::max(0, toInt(a, args[++i]));
        } else if (a == "--unstarted-after" && hasValue) {
            cl.unstartedSeconds = std::max(0, toInt(a, args[++i]));
        } else if (a == "--web-port" && hasValue) {
            cl.webPort = toInt(a, args[++i]);
        } else if (a == "--answer-time" && hasValue) {
            cl.answerSeconds = std::max(0, toInt(a, args[++i]));
            cl.answerGiven = true;
        } else if (a == "--players" && hasValue) {
            cl.humans = std::max(1, std::min(6, toInt(a, args[++i])));
        } else if (a == "--wait" && hasValue) {
            cl.waitSeconds = std::max(1, toInt(a, args[++i]));
        } else if (a == "--record" && hasValue) {
            cl.recordPath = args[++i];
        } else if (a == "--record-db" && hasValue) {
            cl.recordDb = args[++i];
        } else if (a == "--replay" && hasValue) {
            cl.replayPath = args[++i];
        } else if (a == "--resume" && hasValue) {
            cl.resumePath = args[++i];
        } else if (a == "--tutorial") {
            cl.tut = true;
        } else if (a == "--heroes") {
            cl.heroes = true;
        } else if (a == "--cards") {
            cl.cards = true;
        } else if (a == "--help") {
            cl.help = true;
            return cl;
        }
    }
    // The think budget in plays: a game with strong players stays reproducible from its seed.
    if (think > 0) cl.opt.searchPlays = strongPlaysFor(think, perMs);
    return cl;
}

} // namespace kvr
