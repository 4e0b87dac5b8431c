#include "model/game.hpp"

namespace kvr {

namespace {

std::vector<Hero> makeRoster() {
    return {
        {Varnok, "Varnok", "魏", true, 4, "奸雄", "受到伤害后摸1张牌（单机版替代取得伤害牌）。"},
        {Thessil, "Thessil", "魏", true, 3, "反馈、鬼才",
         "受伤后取得伤害来源1张牌；判定牌生效前可用手牌改判。"},
        {Korveth, "Korveth", "魏", true, 4, "刚烈", "受伤后50%令伤害来源弃2张牌，否则其受1点伤害。"},
        {Dravin, "Dravin", "魏", true, 4, "突袭", "摸牌阶段可改为从至多两名敌人处各获得1张手牌。"},
        {Bruhald, "Bruhald", "魏", true, 4, "裸衣", "摸牌少摸1张，本回合杀和决斗造成伤害+1。"},
        {Lirren, "Lirren", "魏", true, 3, "天妒、遗计", "获得自己的判定牌；每受1点伤害摸2张牌。"},
        {Seluna, "Seluna", "魏", false, 3, "洛神、倾国", "回合开始连续黑色判定并获得；黑色手牌可当闪。"},
        {Ormaen, "Ormaen", "蜀", true, 4, "仁德", "交给队友至少2张手牌时回复1点体力（每回合限一次操作）。"},
        {Keldar, "Keldar", "蜀", true, 4, "武圣", "红色手牌可当杀使用或打出。"},
        {Rhoskan, "Rhoskan", "蜀", true, 4, "咆哮", "出牌阶段使用杀无次数限制。"},
        {Velisar, "Velisar", "蜀", true, 3, "观星、空城",
         "调整牌堆顶至多5张；无手牌时不能成为杀或决斗目标。"},
        {Jorvane, "Jorvane", "蜀", true, 4, "龙胆", "杀可当闪，闪可当杀。"},
        {Feyrin, "Feyrin", "蜀", true, 4, "马术、铁骑", "与其他角色距离-1；使用杀时50%令目标不能闪。"},
        {Miravel, "Miravel", "蜀", false, 3, "集智、奇才", "每使用锦囊摸1张；使用锦囊忽略距离。"},
        {Corvane, "Corvane", "吴", true, 4, "制衡", "每回合限一次，弃任意手牌并摸等量牌。"},
        {Ranvik, "Ranvik", "吴", true, 4, "奇袭", "黑色手牌可当过河拆桥使用。"},
        {Ostrel, "Ostrel", "吴", true, 4, "克己", "若出牌阶段未使用杀，可跳过弃牌阶段。"},
        {Brannoc, "Brannoc", "吴", true, 4, "苦肉", "每回合限一次，失去1点体力并摸2张牌。"},
        {Elthar, "Elthar", "吴", true, 3, "英姿、反间", "摸牌阶段多摸1张；交给敌人1张牌，猜错花色则其受伤。"},
        {Nimeri, "Nimeri", "吴", false, 3, "国色、流离", "方块牌可当乐不思蜀；弃1张牌可将杀转移给合法角色。"},
        {Kaspen, "Kaspen", "吴", true, 3, "谦逊、连营",
         "不能成为顺手牵羊或乐不思蜀目标；失去最后手牌时摸1张。"},
        {Valessa, "Valessa", "吴", false, 3, "结姻、枭姬", "弃2牌令自己和受伤男性各回复1；失去装备时摸2张。"},
        {Mendrel, "Mendrel", "群", true, 3, "急救、青囊", "回合外红牌可当桃；每回合弃1张牌令一名角色回复1。"},
        {Grathos, "Grathos", "群", true, 4, "无双", "杀需要两张闪；决斗中对手每轮需要连续打出两张杀。"},
        {Serafae, "Serafae", "群", false, 3, "离间、闭月", "弃1牌令两名男性决斗；回合结束摸1张牌。"},
    };
}

} // namespace

const std::vector<Hero>& heroRoster() {
    static const std::vector<Hero> roster = makeRoster();
    return roster;
}

std::vector<Hero> heroBook() { return heroRoster(); }

} // namespace kvr
