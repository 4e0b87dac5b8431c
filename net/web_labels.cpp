#include "net/web_labels.hpp"

#include <map>

namespace kvr {

namespace {

bool digit(char ch) { return ch >= '0' && ch <= '9'; }

// Where a number may stand as a name: at the start of a line or after a blank or a Chinese colon,
// comma or bracket. Digits inside text ("手牌4", "第1轮", "HP3") name nothing.
bool nameMayFollow(std::string_view s, std::size_t at) {
    if (at == 0) return true;
    char before = s[at - 1];
    if (before == '\n' || before == ' ' || before == '\t') return true;
    for (const char* mark : {"：", "，", "（"}) {
        std::string_view m(mark);
        if (at >= m.size() && s.substr(at - m.size(), m.size()) == m) return true;
    }
    return false;
}

std::string trimmedEnd(std::string_view s) {
    std::size_t end = s.size();
    while (end > 0 && (s[end - 1] == ' ' || s[end - 1] == '\t')) --end;
    std::size_t start = 0;
    while (start < end && s[start] == ' ') ++start;
    return std::string(s.substr(start, end - start));
}

// A numbered item's text runs to the end of its line or to the next " N." of the same line.
std::size_t itemEnd(std::string_view s, std::size_t from) {
    for (std::size_t i = from; i < s.size(); ++i) {
        if (s[i] == '\n') return i;
        if (s[i] == ' ' && i + 1 < s.size() && digit(s[i + 1])) {
            std::size_t j = i + 1;
            while (j < s.size() && digit(s[j])) ++j;
            if (j < s.size() && s[j] == '.') return i;
        }
    }
    return s.size();
}

// A menu word runs to a blank, a colon, a closing bracket, a comma or the end of the line.
std::size_t wordEnd(std::string_view s, std::size_t from) {
    for (std::size_t i = from; i < s.size(); ++i) {
        char ch = s[i];
        if (ch == ' ' || ch == '\n' || ch == '\t' || ch == ':' || ch == ')') return i;
        for (const char* mark : {"：", "）", "，"}) {
            std::string_view m(mark);
            if (s.substr(i, m.size()) == m) return i;
        }
    }
    return s.size();
}

// Every number the text names, with its label, the last naming winning; `cards` keeps only a hand's
// "[N]" names, `lists` only "N." names.
std::map<int, std::string> named(std::string_view s, bool cards, bool lists, bool menus) {
    std::map<int, std::string> out;
    for (std::size_t i = 0; i < s.size(); ++i) {
        if (cards && s[i] == '[' && i + 1 < s.size() && digit(s[i + 1])) {
            std::size_t j = i + 1;
            int n = 0;
            while (j < s.size() && digit(s[j]) && n < 1000) n = n * 10 + (s[j++] - '0');
            if (j >= s.size() || s[j] != ']') continue;
            std::size_t end = s.find_first_of("[\n", j + 1);
            if (end == std::string_view::npos) end = s.size();
            std::string label = trimmedEnd(s.substr(j + 1, end - j - 1));
            if (!label.empty()) out[n] = label;
            i = j;
            continue;
        }
        if (!digit(s[i]) || !nameMayFollow(s, i)) continue;
        std::size_t j = i;
        int n = 0;
        while (j < s.size() && digit(s[j]) && n < 1000) n = n * 10 + (s[j++] - '0');
        if (j >= s.size()) break;
        if (lists && s[j] == '.') {
            std::size_t end = itemEnd(s, j + 1);
            std::string label = trimmedEnd(s.substr(j + 1, end - j - 1));
            if (!label.empty()) out[n] = label;
        } else if (menus && static_cast<unsigned char>(s[j]) >= 0xE0 && s.substr(j, 3) != "号" &&
                   s.substr(j, 3) != "张") {
            // A digit directly before a Chinese word: a menu's "1随机", "0放弃".
            std::size_t end = wordEnd(s, j);
            if (end > j) out[n] = std::string(s.substr(j, end - j));
        }
        i = j - 1;
    }
    return out;
}

// The commands of the play phase's help line: "s=武将技 v=转化杀 ...".
std::vector<OptionLabel> commands(std::string_view s) {
    std::vector<OptionLabel> out;
    std::size_t line = s.rfind("=使用");
    if (line == std::string_view::npos) return out;
    std::size_t end = s.find('\n', line);
    std::string_view row = s.substr(line, end == std::string_view::npos ? s.size() - line : end - line);
    for (std::size_t i = 1; i + 1 < row.size(); ++i) {
        if (row[i] != '=' || row[i - 1] == ' ' || (i >= 2 && row[i - 2] != ' ')) continue;
        std::size_t stop = row.find(' ', i + 1);
        if (stop == std::string_view::npos) stop = row.size();
        out.push_back({std::string(1, row[i - 1]), std::string(row.substr(i + 1, stop - i - 1))});
    }
    return out;
}

} // namespace

std::string withoutEscapes(std::string_view text) {
    std::string out;
    out.reserve(text.size());
    for (std::size_t i = 0; i < text.size(); ++i) {
        if (text[i] != '\x1b') {
            out += text[i];
            continue;
        }
        std::size_t j = i + 1;
        if (j < text.size() && text[j] == '[') {
            ++j;
            while (j < text.size() && !(text[j] >= '@' && text[j] <= '~')) ++j;
        }
        i = j < text.size() ? j : text.size();
    }
    return out;
}

std::vector<OptionLabel> optionLabels(std::string_view printed, const Prompt& prompt) {
    std::string text = withoutEscapes(printed);
    std::vector<OptionLabel> out;
    switch (prompt.kind) {
    case PromptKind::Number: {
        std::size_t lastLine = text.rfind('\n');
        std::string_view ask =
            std::string_view(text).substr(lastLine == std::string::npos ? 0 : lastLine + 1);
        if (ask.find("几张") != std::string_view::npos || ask.find("张数") != std::string_view::npos)
            return out;
        std::map<int, std::string> names = named(text, true, true, true);
        for (int n = prompt.lo; n <= prompt.hi && n - prompt.lo < 200; ++n) {
            auto it = names.find(n);
            out.push_back({std::to_string(n), it == names.end() ? std::string() : it->second});
        }
        return out;
    }
    case PromptKind::Order: {
        std::map<int, std::string> names = named(text, false, true, false);
        for (int n = 1; names.count(n) && n <= 20; ++n) out.push_back({std::to_string(n), names[n]});
        return out;
    }
    case PromptKind::Command: {
        std::map<int, std::string> names = named(text, true, false, false);
        for (int n = 1; names.count(n) && n <= 200; ++n) out.push_back({std::to_string(n), names[n]});
        for (OptionLabel& c : commands(text)) out.push_back(std::move(c));
        return out;
    }
    default:
        return out;
    }
}

} // namespace kvr
