#include <iostream>

#include "model/text.hpp"
#include "model/game.hpp"

namespace kvr {

namespace {

// A reference screen stays until one line is typed (or input ends).
void waitForEnter() {
    std::string ignored;
    std::getline(std::cin, ignored);
}

} // namespace

std::string cardDescription(CardType t) {
    switch (t) {
    case Slash:
        return "对攻击范围内1名角色使用；其不出闪则受1点普通伤害。";
    case FireSlash:
        return "同杀，造成火焰伤害，可传导铁索并使藤甲伤害+1。";
    case ThunderSlash:
        return "同杀，造成雷电伤害，可通过铁索传导。";
    case Dodge:
        return "响应杀或万箭齐发，不能主动使用。";
    case Peach:
        return "回复1点体力，也可在濒死时救援。";
    case Wine:
        return "本回合下一张杀伤害+1；濒死时可自救1点。";
    case Duel:
        return "双方轮流出杀，先无法打出者受1点伤害。";
    case Barbarians:
        return "其他角色逐一出杀，否则受1点伤害。";
    case Arrows:
        return "其他角色逐一出闪，否则受1点伤害。";
    case ExNihilo:
        return "摸2张牌。";
    case Steal:
        return "获得距离1的角色1张牌。";
    case Dismantle:
        return "弃置任意角色1张牌。";
    case PeachGarden:
        return "所有受伤角色依次回复1点体力。";
    case Harvest:
        return "展示等同存活人数的牌，每人依次选择1张。";
    case FireAttack:
        return "展示目标1张手牌，弃同花色牌则造成1点火焰伤害。";
    case IronChain:
        return "横置或重置至多两名角色；也可重铸摸1张。";
    case BorrowSword:
        return "令有武器者对另一角色出杀，否则获得其武器。";
    case Nullification:
        return "取消一项锦囊效果，也可抵消另一张无懈可击。";
    case Lightning:
        return "判定黑桃2~9受3点雷伤，否则传给下家。";
    case Indulgence:
        return "判定不为红桃则跳过出牌阶段。";
    case SupplyShortage:
        return "判定不为梅花则跳过摸牌阶段；通常距离1。";
    case Crossbow:
        return "范围1；出杀无次数限制。";
    case QinggangSword:
        return "范围2；杀无视防具。";
    case IceSword:
        return "范围2；杀将造成伤害时可防止伤害并弃目标2张牌。";
    case DoubleSword:
        return "范围2；杀异性角色时令其弃牌，否则你摸牌。";
    case GreenDragon:
        return "范围3；杀被闪后可继续对该目标出杀。";
    case SerpentSpear:
        return "范围3；两张手牌可当杀。";
    case Axe:
        return "范围3；杀被闪后可弃2张牌令杀仍命中。";
    case Halberd:
        return "范围4；最后手牌为杀时可额外指定至多两个目标。";
    case KylinBow:
        return "范围5；杀造成伤害后可弃目标一匹坐骑。";
    case GudingBlade:
        return "范围2；杀对空手目标伤害+1。";
    case ZhuqueFan:
        return "范围4；普通杀可改为火杀。";
    case EightDiagrams:
        return "需要闪时先作50%判定，成功视为闪。";
    case RenwangShield:
        return "黑色的普通杀对你无效。";
    case Vine:
        return "普通杀、南蛮和万箭无效；火焰伤害+1。";
    case SilverLion:
        return "每次伤害至多1；失去装备区的此牌时回复1点体力。";
    case Chitu:
    case Dayuan:
    case Zixing:
        return "进攻坐骑：你与其他角色距离-1。";
    case Dilu:
    case Jueying:
    case Hualiu:
        return "防御坐骑：其他角色与你的距离+1。";
    }
    return "";
}

void Game::tutorial() {
    std::cout << "\n"
                 "================ 六人版完整教程 ================\n"
                 "普通局：公开3v3，座次1/3/5为汉军，2/4/6为楚军，消灭对方全队获胜。\n"
                 "身份局：1主公、1忠臣、3反贼、1内奸。除主公和自己外身份隐藏，阵亡公开。\n"
                 "主忠消灭反贼与内奸；反贼令主公死亡；内奸必须最后单挑并击杀主公。\n"
                 "\n"
                 "回合：开始技能 → 判定区 → 摸2张 → 出牌 → 弃至当前体力 → 结束技能。\n"
                 "基础牌：杀/火杀/雷杀、闪、桃、酒。属性伤害会沿铁索传导。\n"
                 "锦囊：决斗、南蛮、万箭、无中、顺手、拆桥、桃园、五谷、火攻、铁索、\n"
                 "借刀、无懈，以及延时锦囊闪电、乐不思蜀、兵粮寸断均已进入实际结算。\n"
                 "装备：11种武器、4种防具、3匹进攻马、3匹防御马均有实际效果。\n"
                 "\n"
                 "操作：牌序号=使用；s=主动武将技；v=武圣/龙胆/丈八转化杀；i=技能详情；\n"
                 "h=回合速查；e=结束出牌。响应和选目标按屏幕数字，0通常表示放弃。\n"
                 "\n"
                 "局域网：所有电脑连接同一路由器/热点；主机选择“主机普通局/身份局”，设置\n"
                 "端口、期望真人总数和等待秒数；其他人选择“加入局域网”，输入主机IPv4与端口。\n"
                 "主机也算1名真人；等待结束仍未坐满时，所有空位自动由AI补充。玩家断线后，\n"
                 "其座位立即由AI接管。首次运行若Windows防火墙询问，请允许专用网络访问。\n"
                 "\n"
                 "控制台简化：不实现卡牌扩展包中的宝物、木牛流马、势力专属牌；“所有”指\n"
                 "经典标准包与岚锋基础体系的基础牌、常用即时/延时锦囊、武器、防具与坐骑。\n"
                 "寒冰剑、流离、反馈、遗计等需要复杂分配的效果采用明确的单机AI简化选择，\n"
                 "但每张列出的牌和25名武将技能都能在对局中实际触发。\n"
                 "================================================\n"
                 "按 Enter 返回...";
    waitForEnter();
}

void Game::listHeroes() {
    std::string out = "\n================ 25名武将 ================\n";
    std::vector<Hero> hb = heroBook();
    for (std::size_t i = 0; i < hb.size(); ++i) {
        const Hero& h = hb[i];
        out += padLeft(std::to_string(i + 1), 2) + "." + h.name + "（" + h.kingdom + "，" +
               std::to_string(h.hp) + "体力）【" + h.skills + "】\n  " + h.detail + "\n";
    }
    std::cout << out << "按 Enter 返回...";
    waitForEnter();
}

void Game::listCards() {
    std::string out = "\n================ 完整牌表 ================\n";
    for (int t = 0; t < CARD_TYPE_COUNT; ++t) {
        CardType type = static_cast<CardType>(t);
        out +=
            padLeft(std::to_string(t + 1), 2) + ".【" + cardName(type) + "】" + cardDescription(type) + "\n";
    }
    std::cout << out << "共" << CARD_TYPE_COUNT << "种牌名/装备。按 Enter 返回...";
    waitForEnter();
}

} // namespace kvr
