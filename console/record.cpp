#include "console/record.hpp"

#include <fstream>
#include <iostream>
#include <sstream>

#include "model/text.hpp"

namespace kvr {

const char* const PROGRAM_VERSION = "0.1.0";
// Changes whenever the strong computer player would decide otherwise: its games are not in the rules
// signature, which the classic player's games make.
const char* const STRONG_PLAYER_VERSION = "search-10";
const char* const RULES_SIGNATURE = "8bacad9386e274f9";

namespace {

const char* const FORMAT_LINE = "kavrin-record 1";

const char* const KIND_NAMES[] = {"text", "command", "number", "yesno", "order", "pause"};

const char* gameName(RecordedGame g) {
    return g == RecordedGame::Room        ? "room"
           : g == RecordedGame::Hosted    ? "hosted"
           : g == RecordedGame::Automatic ? "auto"
                                          : "local";
}

// Seats as the game shows them, 1..6; 0 is nobody in particular.
std::string seatText(int p) { return std::to_string(p < 0 ? 0 : p + 1); }

// The length of the UTF-8 sequence that starts at s[i], 0 when none does.
std::size_t utf8Length(const std::string& s, std::size_t i) {
    unsigned char c = static_cast<unsigned char>(s[i]);
    std::size_t n = c >= 0xF0 && c <= 0xF4 ? 4 : c >= 0xE0 ? 3 : c >= 0xC2 && c < 0xE0 ? 2 : 0;
    if (n == 0 || i + n > s.size()) return 0;
    for (std::size_t k = 1; k < n; ++k)
        if ((static_cast<unsigned char>(s[i + k]) & 0xC0) != 0x80) return 0;
    unsigned char second = static_cast<unsigned char>(s[i + 1]);
    if ((c == 0xE0 && second < 0xA0) || (c == 0xED && second >= 0xA0) || (c == 0xF0 && second < 0x90) ||
        (c == 0xF4 && second >= 0x90))
        return 0;
    return n;
}

int hexDigit(char ch) {
    if (ch >= '0' && ch <= '9') return ch - '0';
    if (ch >= 'a' && ch <= 'f') return ch - 'a' + 10;
    if (ch >= 'A' && ch <= 'F') return ch - 'A' + 10;
    return -1;
}

// Reads a record line by line, keeping where each line begins; a line without its end is refused.
class RecordReader {
  public:
    RecordReader(std::istream& in, const std::string& path) : in_(in), path_(path) {}

    // The next line that is not a comment; false at the end of the file.
    bool next(std::string& line) {
        for (;;) {
            offset_ = static_cast<long>(in_.tellg());
            if (!std::getline(in_, line)) return false;
            ++number_;
            if (in_.eof()) fail("这一行不完整（文件在行中途结束）");
            if (!line.empty() && line.back() == '\r') line.pop_back();
            if (number_ == 1 && line.rfind("\xEF\xBB\xBF", 0) == 0) line.erase(0, 3);
            if (!line.empty() && line[0] != '#') return true;
        }
    }
    [[noreturn]] void fail(const std::string& why) const {
        throw RecordError("记录文件 " + path_ + " 第" + std::to_string(number_ < 1 ? 1 : number_) + "行：" +
                          why + "。");
    }
    int number() const { return number_; }
    long offset() const { return offset_; }

  private:
    std::istream& in_;
    const std::string& path_;
    int number_ = 0;
    long offset_ = 0;
};

// Words separated by single spaces: the first `count` words, and the rest of the line after them.
std::vector<std::string> splitWords(const std::string& line, std::size_t count, std::string& rest) {
    std::vector<std::string> words;
    std::size_t at = 0;
    rest.clear();
    while (words.size() < count && at <= line.size()) {
        std::size_t space = line.find(' ', at);
        if (space == std::string::npos) {
            words.push_back(line.substr(at));
            return words;
        }
        words.push_back(line.substr(at, space - at));
        at = space + 1;
    }
    if (at <= line.size()) rest = line.substr(at);
    return words;
}

bool wholeNumber(const std::string& text, long long& out) {
    std::size_t used = 0;
    return !text.empty() && text[0] != ' ' && parseLeadingNumber(text, out, &used) && used == text.size();
}

bool parsePrompt(const std::string& text, Prompt& out) {
    for (int k = 0; k < 6; ++k) {
        std::string name = KIND_NAMES[k];
        if (text == name && k != static_cast<int>(PromptKind::Number)) {
            out = Prompt{static_cast<PromptKind>(k), 0, 0};
            return true;
        }
    }
    const std::string head = "number:";
    if (text.rfind(head, 0) != 0) return false;
    std::string range = text.substr(head.size());
    std::size_t dash = range.find('-', 1);
    long long lo = 0, hi = 0;
    if (dash == std::string::npos || !wholeNumber(range.substr(0, dash), lo) ||
        !wholeNumber(range.substr(dash + 1), hi) || lo < -1000000 || hi > 1000000)
        return false;
    out = Prompt{PromptKind::Number, static_cast<int>(lo), static_cast<int>(hi)};
    return true;
}

void readHead(RecordReader& reader, RecordHead& head) {
    std::string line;
    if (!reader.next(line) || line != FORMAT_LINE)
        reader.fail("这不是卡维林的对局记录（首行应为“kavrin-record 1”）");
    const char* const keys[] = {
        "version",      "rules", "game",  "mode",           "seed",          "max-rounds",  "ai",
        "strong-roles", "fast",  "color", "remote-players", "strong-player", "strong-plays"};
    bool seen[13] = {};
    std::string strongVersion;
    for (;;) {
        if (!reader.next(line)) reader.fail("记录头不完整，缺少“answers”一行");
        if (line == "answers") break;
        std::string value;
        std::vector<std::string> words = splitWords(line, 1, value);
        int k = 0;
        while (k < 13 && words[0] != keys[k]) ++k;
        if (k == 13) reader.fail("无法识别的记录头“" + words[0] + "”");
        seen[k] = true;
        long long n = 0;
        bool number = wholeNumber(value, n);
        auto flag = [&reader, &value](const char* key) {
            if (value != "0" && value != "1") reader.fail(std::string(key) + "应为0或1");
            return value == "1";
        };
        switch (k) {
        case 0:
            break;
        case 1:
            if (value != RULES_SIGNATURE)
                reader.fail("记录由规则不同的版本写成（规则签名" + value + "，本程序" + RULES_SIGNATURE +
                            "），重放会走向另一局");
            break;
        case 2:
            if (value == "local")
                head.game = RecordedGame::Local;
            else if (value == "auto")
                head.game = RecordedGame::Automatic;
            else if (value == "hosted")
                head.game = RecordedGame::Hosted;
            else if (value == "room")
                head.game = RecordedGame::Room;
            else
                reader.fail("对局类型应为local、auto、hosted或room");
            break;
        case 3:
            if (value != "normal" && value != "identity") reader.fail("模式应为normal或identity");
            head.mode = value == "identity" ? Identity : Normal3v3;
            break;
        case 4:
            if (!number || n < 0 || n > 0xFFFFFFFFLL) reader.fail("种子应为0~4294967295的整数");
            head.opt.seed = static_cast<std::uint32_t>(n);
            break;
        case 5:
            if (!number || n < 1 || n > 1000000) reader.fail("最大轮数应为正整数");
            head.opt.maxRounds = static_cast<int>(n);
            break;
        case 6:
            if (value != "classic" && value != "strong") reader.fail("电脑玩家应为classic或strong");
            head.opt.ai = value == "strong" ? StrongAi : ClassicAi;
            break;
        case 7:
            if (!number || n < 0 || n > 63) reader.fail("strong-roles应为0~63");
            head.opt.strongRoles = static_cast<unsigned>(n);
            break;
        case 8:
            head.opt.fast = flag("fast");
            break;
        case 9:
            head.opt.color = flag("color");
            break;
        case 11:
            strongVersion = value;
            break;
        case 12:
            if (!number || n < 1 || n > 10000000) reader.fail("strong-plays应为正整数");
            head.opt.searchPlays = static_cast<int>(n);
            break;
        default:
            if (!number || n < 0 || n > 5) reader.fail("远程玩家人数应为0~5");
            head.remotePlayers = static_cast<int>(n);
            break;
        }
    }
    for (int k = 0; k < 11; ++k)
        if (!seen[k]) reader.fail("记录头缺少“" + std::string(keys[k]) + "”");
    // The strong player's decisions are part of its games; a record of them needs the same player.
    if ((head.opt.ai == StrongAi || head.opt.strongRoles != 0) && strongVersion != STRONG_PLAYER_VERSION)
        reader.fail("记录由电脑玩家不同的版本写成（强电脑玩家" +
                    (strongVersion.empty() ? "未注明" : strongVersion) + "，本程序" + STRONG_PLAYER_VERSION +
                    "），重放会走向另一局");
    head.opt.autoPlay = head.game == RecordedGame::Automatic;
    if (head.game != RecordedGame::Hosted && head.game != RecordedGame::Room && head.remotePlayers != 0) reader.fail("只有主机对局才有远程玩家");
}

RecordEvent readEvent(RecordReader& reader, const std::string& line) {
    RecordEvent e;
    e.line = reader.number();
    e.offset = reader.offset();
    std::string rest;
    std::vector<std::string> words = splitWords(line, 3, rest);
    const std::string& type = words[0];
    auto seat = [&reader, &words]() {
        long long n = 0;
        if (words.size() < 2 || !wholeNumber(words[1], n) || n < 0 || n > 6) reader.fail("座位应为0~6");
        return static_cast<int>(n) - 1;
    };
    auto prompt = [&reader, &words](Prompt& out) {
        if (words.size() < 3 || !parsePrompt(words[2], out)) reader.fail("无法识别的询问类型");
    };
    if (type == "answer") {
        e.type = RecordEvent::Reply;
        e.seat = seat();
        prompt(e.prompt);
        if (!unescapeAnswer(rest, e.text)) reader.fail("回答中的反斜杠转义无效");
    } else if (type == "closed" || type == "drop" || type == "timeout") {
        e.type = type == "closed" ? RecordEvent::Closed : type == "drop" ? RecordEvent::Drop : RecordEvent::TimedOut;
        e.seat = seat();
        prompt(e.prompt);
        if (!rest.empty()) reader.fail("多余的内容");
    } else if (type == "back") {
        e.type = RecordEvent::Back;
        e.seat = seat();
        long long n = 0;
        if (words.size() < 3 || !wholeNumber(words[2], n) || n < 0) reader.fail("取回座位的次序应为非负整数");
        e.poll = static_cast<long>(n);
        if (e.seat < 0 || !rest.empty()) reader.fail("取回座位的行格式不对");
    } else if (type == "gone") {
        e.type = RecordEvent::Gone;
        e.seat = seat();
        if (e.seat < 0 || words.size() > 2 || !rest.empty()) reader.fail("开局前离开的行格式不对");
    } else if (type == "end") {
        e.type = RecordEvent::End;
        if (!unescapeAnswer(line.size() > 4 ? line.substr(4) : "", e.text)) reader.fail("反斜杠转义无效");
    } else {
        reader.fail("无法识别的记录行“" + type + "”");
    }
    if (e.type == RecordEvent::Drop && e.seat < 0) reader.fail("断线的必须是某个座位");
    if (e.type == RecordEvent::TimedOut && e.seat < 0) reader.fail("超时的必须是某个座位");
    return e;
}

} // namespace

bool samePrompt(const Prompt& a, const Prompt& b) {
    return a.kind == b.kind && (a.kind != PromptKind::Number || (a.lo == b.lo && a.hi == b.hi));
}

std::string promptText(const Prompt& prompt) {
    std::string name = KIND_NAMES[static_cast<int>(prompt.kind)];
    if (prompt.kind == PromptKind::Number)
        name += ":" + std::to_string(prompt.lo) + "-" + std::to_string(prompt.hi);
    return name;
}

std::string escapeAnswer(const std::string& text) {
    static const char HEX[] = "0123456789ABCDEF";
    std::string out;
    out.reserve(text.size());
    for (std::size_t i = 0; i < text.size();) {
        unsigned char c = static_cast<unsigned char>(text[i]);
        if (c == '\\') {
            out += "\\\\";
            ++i;
        } else if (c >= 0x20 && c < 0x7F) {
            out += static_cast<char>(c);
            ++i;
        } else if (std::size_t n = c >= 0x80 ? utf8Length(text, i) : 0) {
            out.append(text, i, n);
            i += n;
        } else {
            out += "\\x";
            out += HEX[c >> 4];
            out += HEX[c & 15];
            ++i;
        }
    }
    return out;
}

bool unescapeAnswer(const std::string& text, std::string& out) {
    out.clear();
    for (std::size_t i = 0; i < text.size(); ++i) {
        if (text[i] != '\\') {
            out += text[i];
        } else if (i + 1 < text.size() && text[i + 1] == '\\') {
            out += '\\';
            ++i;
        } else if (i + 3 < text.size() && text[i + 1] == 'x' && hexDigit(text[i + 2]) >= 0 &&
                   hexDigit(text[i + 3]) >= 0) {
            out += static_cast<char>(hexDigit(text[i + 2]) * 16 + hexDigit(text[i + 3]));
            i += 3;
        } else {
            return false;
        }
    }
    return true;
}

Record parseRecord(std::istream& in, const std::string& path) {
    Record record;
    record.path = path;
    RecordReader reader(in, path);
    readHead(reader, record.head);
    std::string line;
    try {
        while (reader.next(line)) record.events.push_back(readEvent(reader, line));
    } catch (const RecordError& e) {
        record.damage = e.what();
    }
    record.lines = reader.number();
    return record;
}

Record readRecord(const std::string& path) {
    std::ifstream in(path, std::ios::binary);
    if (!in) throw RecordError("记录文件 " + path + " 无法打开（不存在或不可读）。");
    return parseRecord(in, path);
}

RecordWriter::RecordWriter(std::ostream& out) : out_(&out) {}

RecordWriter::RecordWriter(RecordSink& sink) : sink_(&sink) {}

bool RecordWriter::create(const std::string& path) { return open(path, std::ios::trunc); }

bool RecordWriter::append(const std::string& path) { return open(path, std::ios::app); }

bool RecordWriter::open(const std::string& path, std::ios::openmode mode) {
    auto file = std::make_unique<std::ofstream>(path, std::ios::binary | mode);
    if (!*file) return false;
    file_ = std::move(file);
    out_ = file_.get();
    path_ = path;
    failed_ = false;
    return true;
}

void RecordWriter::head(const RecordHead& head) {
    const Options& o = head.opt;
    put(std::string(FORMAT_LINE) + "\nversion " + PROGRAM_VERSION + "\nrules " + RULES_SIGNATURE + "\ngame " +
        gameName(head.game) + "\nmode " + (head.mode == Identity ? "identity" : "normal") + "\nseed " +
        std::to_string(o.seed) + "\nmax-rounds " + std::to_string(o.maxRounds) + "\nai " +
        (o.ai == StrongAi ? "strong" : "classic") + "\nstrong-roles " + std::to_string(o.strongRoles) +
        "\nfast " + (o.fast ? "1" : "0") + "\ncolor " + (o.color ? "1" : "0") + "\nremote-players " +
        std::to_string(head.remotePlayers) +
        (o.ai == StrongAi || o.strongRoles != 0 ? std::string("\nstrong-player ") + STRONG_PLAYER_VERSION +
                                                      "\nstrong-plays " + std::to_string(o.searchPlays)
                                                : "") +
        "\nanswers");
}

void RecordWriter::answer(int seat, const Prompt& prompt, const std::string& text) {
    put("answer " + seatText(seat) + " " + promptText(prompt) + (text.empty() ? "" : " ") +
        escapeAnswer(text));
}

void RecordWriter::closed(int seat, const Prompt& prompt) {
    put("closed " + seatText(seat) + " " + promptText(prompt));
}

void RecordWriter::drop(int seat, const Prompt& prompt) {
    put("drop " + seatText(seat) + " " + promptText(prompt));
}

void RecordWriter::timeout(int seat, const Prompt& prompt) {
    put("timeout " + seatText(seat) + " " + promptText(prompt));
}

void RecordWriter::back(int seat, long poll) { put("back " + seatText(seat) + " " + std::to_string(poll)); }

void RecordWriter::gone(int seat) { put("gone " + seatText(seat)); }

void RecordWriter::end(std::string_view text) {
    std::string shown = escapeAnswer(trimmed(std::string(text)));
    put(shown.empty() ? "end" : "end " + shown);
}

void RecordWriter::put(const std::string& line) {
    if (failed_) return;
    if (sink_) {
        failed_ = !sink_->keep(line + '\n');
        return;
    }
    if (!out_) return;
    *out_ << line << '\n';
    out_->flush();
    if (*out_) return;
    failed_ = true;
    std::cerr << "无法写入记录文件 " << path_ << "，此后的回答不再记录。\n";
}

} // namespace kvr
