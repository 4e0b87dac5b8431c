#include "net/web_protocol.hpp"

#include <nlohmann/json.hpp>

#include "model/game.hpp"

namespace kvr {

using Json = nlohmann::json;

namespace {

// Text from the game is UTF-8; a byte that is not would make the encoder throw, so it is replaced.
std::string dump(const Json& j) { return j.dump(-1, ' ', false, Json::error_handler_t::replace); }

const char* const SUIT_SIGNS[4] = {"♠", "♥", "♣", "♦"};

Json card(const Card& c) {
    return Json{{"name", cardName(c.type)},
                {"suit", SUIT_SIGNS[static_cast<int>(c.suit) & 3]},
                {"rank", rankName(c.rank)},
                {"red", c.red()}};
}

const char* kindName(PromptKind k) {
    switch (k) {
    case PromptKind::Text:
        return "text";
    case PromptKind::Command:
        return "command";
    case PromptKind::Number:
        return "number";
    case PromptKind::YesNo:
        return "yesno";
    case PromptKind::Order:
        return "order";
    default:
        return "pause";
    }
}

Json seat(const SeenSeat& s) {
    const Hero& hero = heroRoster()[static_cast<std::size_t>(s.hero)];
    Json equip = Json::array();
    auto add = [&equip](const char* slot, const Optional<Card>& c) {
        if (c) equip.push_back(Json{{"slot", slot}, {"card", card(*c)}});
    };
    add("武器", s.weapon);
    add("防具", s.armor);
    add("-1马", s.offensiveHorse);
    add("+1马", s.defensiveHorse);
    Json judged = Json::array();
    for (const Card& c : s.delayed) judged.push_back(card(c));
    Json out{{"hero", hero.name},  {"kingdom", hero.kingdom}, {"skills", hero.skills}, {"alive", s.alive},
             {"hp", s.hp},         {"maxHp", s.maxHp},        {"hand", s.handCount},   {"equip", equip},
             {"judgment", judged}, {"chained", s.chained}};
    out["role"] = s.role ? Json(std::string(roleName(*s.role))) : Json(nullptr);
    return out;
}

} // namespace

// Only the viewer's own facts beside the public ones; a spectator's view (self -1) has none.
std::string viewMessage(const SeatView& v, int asked) {
    Json seats = Json::array();
    for (const SeenSeat& s : v.seats) seats.push_back(seat(s));
    Json view{{"mode", v.mode == Identity ? "identity" : "normal"},
              {"round", v.round},
              {"drawPile", v.drawPile},
              {"discardPile", v.discardPile},
              {"current", v.current},
              {"asked", asked},
              {"self", v.self},
              {"seats", seats}};
    if (v.self >= 0) {
        Json hand = Json::array();
        for (const Card& c : v.hand) hand.push_back(card(c));
        view["hand"] = hand;
        view["role"] = std::string(roleName(v.role));
    }
    return dump(Json{{"t", "view"}, {"view", view}});
}

std::string textMessage(std::string_view text, bool isPublic) {
    return dump(Json{{"t", "text"}, {"public", isPublic}, {"text", std::string(text)}});
}

std::string askMessage(long id, const Prompt& prompt) {
    Json list = Json::array();
    Json out{{"t", "ask"}, {"id", id}, {"kind", kindName(prompt.kind)}, {"lo", prompt.lo}, {"hi", prompt.hi}};
    if (const Query* q = prompt.query) {
        for (const QueryOption& o : q->options) {
            Json option{{"value", o.value}, {"label", o.label}};
            if (o.seat >= 0) option["seat"] = o.seat;
            if (o.card >= 0) option["card"] = o.card + 1;
            list.push_back(std::move(option));
        }
        out["topic"] = q->topic;
        out["about"] = q->about;
        out["text"] = q->ask;
        out["count"] = q->count;
        if (q->handAnswers) {
            Json fits = Json::array();
            for (int i = 0; i < 64; ++i)
                if (q->fits >> i & 1) fits.push_back(i + 1);
            out["fits"] = fits;
        }
    }
    out["options"] = list;
    return dump(out);
}

std::string lobbyMessage(int joined, int wanted) {
    return dump(Json{{"t", "lobby"}, {"joined", joined}, {"wanted", wanted}});
}

std::string stateMessage(const char* state, int seatIndex, const std::string& code) {
    return dump(Json{{"t", "state"}, {"state", state}, {"seat", seatIndex}, {"code", code}});
}

std::string badCodeMessage() { return dump(Json{{"t", "badcode"}}); }

std::string expiredMessage(long id) { return dump(Json{{"t", "expired"}, {"id", id}}); }

std::string endMessage(std::string_view result, bool record, int won) {
    Json out{{"t", "end"}, {"result", std::string(result)}, {"record", record}};
    out["won"] = won < 0 ? Json(nullptr) : Json(won == 1);
    return dump(out);
}

std::string recordMessage(std::string_view record) {
    return dump(Json{{"t", "record"}, {"text", std::string(record)}});
}

std::string logMessage(std::string_view text) {
    return dump(Json{{"t", "log"}, {"text", std::string(text)}});
}

namespace {

bool codeText(const Json& j, std::string& out) {
    if (!j.is_string()) return false;
    out = j.get<std::string>();
    if (out.size() > 32) return false;
    for (char ch : out)
        if (!((ch >= '0' && ch <= '9') || (ch >= 'a' && ch <= 'z') || (ch >= 'A' && ch <= 'Z') || ch == ' '))
            return false;
    return true;
}

// No control byte: a browser cannot type one into the console.
bool typable(const std::string& s) {
    if (s.size() > MAX_ANSWER_BYTES) return false;
    for (char ch : s)
        if (static_cast<unsigned char>(ch) < 0x20 || ch == 0x7f) return false;
    return true;
}

bool answerValue(const Json& v, BrowserMessage& m) {
    if (v.is_boolean()) {
        m.shape = BrowserMessage::Flag;
        m.flag = v.get<bool>();
    } else if (v.is_number_integer()) {
        m.shape = BrowserMessage::Number;
        m.number = v.get<long>();
    } else if (v.is_string()) {
        m.shape = BrowserMessage::Text;
        m.text = v.get<std::string>();
        return typable(m.text);
    } else if (v.is_array()) {
        if (v.size() > 20) return false;
        m.shape = BrowserMessage::Numbers;
        for (const Json& n : v) {
            if (!n.is_number_integer()) return false;
            m.numbers.push_back(n.get<long>());
        }
    } else {
        return false;
    }
    return true;
}

} // namespace

BrowserMessage parseBrowserMessage(std::string_view text) {
    BrowserMessage m;
    if (text.size() > MAX_BROWSER_MESSAGE) return m;
    Json j = Json::parse(text.begin(), text.end(), nullptr, false);
    if (j.is_discarded() || !j.is_object() || j.size() > 4) return m;
    auto type = j.find("t");
    if (type == j.end() || !type->is_string()) return m;
    const std::string& t = type->get_ref<const std::string&>();
    if (t == "hello" || t == "code") {
        auto code = j.find("code");
        std::string c;
        if (code != j.end() && !codeText(*code, c)) return m;
        if (t == "code" && c.empty()) return m;
        m.code = c;
        m.type = t == "hello" ? BrowserMessage::Hello : BrowserMessage::Code;
        return m;
    }
    if (t == "answer") {
        auto id = j.find("id");
        auto value = j.find("value");
        if (id == j.end() || !id->is_number_integer() || value == j.end()) return m;
        m.question = id->get<long>();
        if (m.question <= 0) return m;
        // An answer whose value the console could not have read is still an answer: the page is told
        // and asked again.
        BrowserMessage answer = m;
        answer.type = BrowserMessage::Answer;
        if (!answerValue(*value, answer)) {
            answer.shape = BrowserMessage::None;
            answer.text.clear();
            answer.numbers.clear();
        }
        return answer;
    }
    return m;
}

bool answerLine(const BrowserMessage& m, const Prompt& prompt, std::string& line) {
    if (m.type != BrowserMessage::Answer) return false;
    switch (m.shape) {
    case BrowserMessage::Text:
        line = m.text;
        return typable(line);
    case BrowserMessage::Number:
        if (prompt.kind != PromptKind::Number && prompt.kind != PromptKind::Command) return false;
        line = std::to_string(m.number);
        return true;
    case BrowserMessage::Flag:
        if (prompt.kind != PromptKind::YesNo) return false;
        line = m.flag ? "y" : "n";
        return true;
    case BrowserMessage::Numbers:
        if (prompt.kind != PromptKind::Order) return false;
        line.clear();
        for (long n : m.numbers) line += (line.empty() ? "" : " ") + std::to_string(n);
        return true;
    default:
        return false;
    }
}

} // namespace kvr
