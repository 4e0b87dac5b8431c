#include <ostream>

#include "model/types.hpp"

namespace kvr {

namespace {
constexpr std::string_view CARD_NAMES[CARD_TYPE_COUNT] = {
    "杀",       "火杀",     "雷杀",     "闪",         "桃",         "酒",       "决斗",
    "南蛮入侵", "万箭齐发", "无中生有", "顺手牵羊",   "过河拆桥",   "桃园结义", "五谷丰登",
    "火攻",     "铁索连环", "借刀杀人", "无懈可击",   "闪电",       "乐不思蜀", "兵粮寸断",
    "诸葛连弩", "青釭剑",   "寒冰剑",   "雌雄双股剑", "青龙偃月刀", "丈八蛇矛", "贯石斧",
    "方天画戟", "麒麟弓",   "古锭刀",   "朱雀羽扇",   "八卦阵",     "仁王盾",   "藤甲",
    "白银狮子", "赤兔",     "大宛",     "紫骍",       "的卢",       "绝影",     "爪黄飞电"};
} // namespace

// The names are made once; callers get a reference and copy only what they keep.
const std::string& cardName(CardType t) {
    static const std::vector<std::string> names(CARD_NAMES, CARD_NAMES + CARD_TYPE_COUNT);
    static const std::string unknown = "未知牌";
    int v = static_cast<int>(t);
    if (v < 0 || v >= CARD_TYPE_COUNT) return unknown;
    return names[static_cast<std::size_t>(v)];
}

std::string_view cardNameView(CardType t) {
    int v = static_cast<int>(t);
    if (v < 0 || v >= CARD_TYPE_COUNT) return "未知牌";
    return CARD_NAMES[v];
}

const char* suitName(Suit s) {
    switch (s) {
    case Spade:
        return "黑桃";
    case Heart:
        return "红桃";
    case Club:
        return "梅花";
    default:
        return "方块";
    }
}

std::string_view roleName(Role r) {
    switch (r) {
    case TeamHan:
        return "汉军";
    case TeamChu:
        return "楚军";
    case Lord:
        return "主公";
    case Loyalist:
        return "忠臣";
    case Rebel:
        return "反贼";
    case Renegade:
        return "内奸";
    default:
        return "未知";
    }
}

std::string rankName(int r) {
    switch (r) {
    case 1:
        return "A";
    case 11:
        return "J";
    case 12:
        return "Q";
    case 13:
        return "K";
    default:
        return std::to_string(r);
    }
}

std::ostream& operator<<(std::ostream& out, const ShortText& text) { return out << text.view(); }

bool helpfulTrick(std::string_view trick) {
    return trick == "无中生有" || trick == "桃园结义" || trick == "五谷丰登";
}

} // namespace kvr
