// The room's own pages: the list of listed tables with the form that opens one, the same list as JSON,
// and the form's query read back. The page is plain HTML with no script: the form is a GET to /open.
#include <map>

#include <nlohmann/json.hpp>

#include "model/text.hpp"
#include "room/room.hpp"

namespace kvr {

namespace {

const char* modeName(Mode m) { return m == Identity ? "身份局" : "3v3"; }

const char* const PAGE_HEAD = R"(<!doctype html>
<html lang="zh-CN">
<head>
<meta charset="utf-8">
<meta name="viewport" content="width=device-width, initial-scale=1">
<title>六人卡维林 · 房间</title>
<link rel="icon" href="data:,">
<link rel="stylesheet" href="/style.css">
</head>
<body>
<header class="bar"><h1>六人卡维林 · 房间</h1>KEPT_LINKS</header>
<main class="room">
<section class="panel">
<h2>开一桌</h2>
<form action="/open" method="get">
<p><label>模式 <select name="mode"><option value="normal">3v3</option><option value="identity">身份局</option></select></label></p>
<p><label>真人人数 <select name="people"><option>1</option><option selected>2</option><option>3</option><option>4</option><option>5</option><option>6</option></select></label> <span class="hint">（其余座位由电脑玩）</span></p>
<p><label>电脑强度 <select name="ai"><option value="classic">经典</option><option value="strong">强</option></select></label></p>
<p><label><input type="checkbox" name="listed" value="1" checked> 在房间里列出（不勾选则只能凭链接进入）</label></p>
<p><button type="submit">开桌</button></p>
</form>
</section>
<section class="panel">
<h2>牌桌</h2>
)";

} // namespace

std::string roomPage(const std::vector<TableListing>& tables, bool kept) {
    std::string out = PAGE_HEAD;
    std::size_t links = out.find("KEPT_LINKS");
    out.replace(links, 10, kept ? "<nav class=\"links\"><a href=\"/history\">对局历史</a> <a href=\"/stats\">统计</a></nav>" : "");
    if (tables.empty()) out += "<p class=\"hint\">还没有公开的牌桌。</p>\n";
    else out += "<ul id=\"tables\">\n";
    for (const TableListing& t : tables) {
        out += "<li><a href=\"/t/" + t.id + "\">" + modeName(t.mode) + "</a> 真人" + std::to_string(t.people) +
               " 电脑" + std::to_string(t.computer) + " " +
               (t.ended ? "已结束" : t.begun ? "对局中（可观战）" : "等待开局") + "</li>\n";
    }
    if (!tables.empty()) out += "</ul>\n";
    out += "</section>\n</main>\n</body>\n</html>\n";
    return out;
}

std::string roomJson(const std::vector<TableListing>& tables) {
    nlohmann::json list = nlohmann::json::array();
    for (const TableListing& t : tables)
        list.push_back({{"id", t.id},
                        {"mode", t.mode == Identity ? "identity" : "normal"},
                        {"people", t.people},
                        {"computer", t.computer},
                        {"begun", t.begun},
                        {"ended", t.ended}});
    return nlohmann::json{{"tables", list}}.dump();
}

namespace {

int hexDigit(char c) {
    if (c >= '0' && c <= '9') return c - '0';
    if (c >= 'a' && c <= 'f') return c - 'a' + 10;
    if (c >= 'A' && c <= 'F') return c - 'A' + 10;
    return -1;
}

} // namespace

// A query's pairs, percent-decoded; false for a broken escape or a key given twice.
bool queryPairs(const std::string& query, std::map<std::string, std::string>& out) {
    std::size_t at = 0;
    while (at < query.size()) {
        std::size_t end = query.find('&', at);
        if (end == std::string::npos) end = query.size();
        std::string pair = query.substr(at, end - at);
        at = end + 1;
        if (pair.empty()) continue;
        std::size_t eq = pair.find('=');
        std::string key = pair.substr(0, eq);
        std::string raw = eq == std::string::npos ? std::string() : pair.substr(eq + 1);
        std::string value;
        for (std::size_t k = 0; k < raw.size(); ++k) {
            if (raw[k] == '+') {
                value += ' ';
            } else if (raw[k] == '%') {
                int hi = k + 1 < raw.size() ? hexDigit(raw[k + 1]) : -1;
                int lo = k + 2 < raw.size() ? hexDigit(raw[k + 2]) : -1;
                if (hi < 0 || lo < 0) return false;
                value += static_cast<char>(hi * 16 + lo);
                k += 2;
            } else {
                value += raw[k];
            }
        }
        if (out.count(key)) return false;
        out[key] = value;
    }
    return true;
}

// Every field is optional and has its default; an unknown field or value is no request.
bool parseTableRequest(const std::string& query, TableRequest& out) {
    TableRequest r;
    r.listed = query.empty();
    std::map<std::string, std::string> pairs;
    if (!queryPairs(query, pairs)) return false;
    for (const auto& [key, value] : pairs) {
        int n = 0;
        if (key == "mode" && (value == "normal" || value == "identity")) {
            r.mode = value == "identity" ? Identity : Normal3v3;
        } else if (key == "people" && value.size() == 1 && parseLeadingInt(value, n) && n >= 1 && n <= 6) {
            r.people = n;
        } else if (key == "ai" && (value == "classic" || value == "strong")) {
            r.ai = value == "strong" ? StrongAi : ClassicAi;
        } else if (key == "listed" && (value == "1" || value == "0")) {
            r.listed = value == "1";
        } else {
            return false;
        }
    }
    out = r;
    return true;
}

} // namespace kvr
