// Draws the table from the seat's view: six seats, the round and the piles, and the player's hand.
// It decides nothing: what it shows is what the host sent, and what a question lets be tapped.
import { cardState } from "./answers.js";

function el(tag, className, text) {
  const node = document.createElement(tag);
  if (className) node.className = className;
  if (text !== undefined) node.textContent = text;
  return node;
}

export function cardText(card) {
  return `${card.name} ${card.suit}${card.rank}`;
}

// A card as the console names it, red or black.
export function cardNode(card, tag = "span") {
  const node = el(tag, "card" + (card.red ? " red" : ""));
  node.append(el("span", "name", card.name));
  const face = el("span", "face");
  face.append(el("span", "suit", card.suit), el("span", "rank", card.rank));
  node.append(face);
  node.setAttribute("aria-label", `${card.name}，${card.red ? "红" : "黑"}${card.suit}${card.rank}`);
  return node;
}

function inlineCard(card) {
  return el("span", "inline-card" + (card.red ? " red" : ""), `【${cardText(card)}】`);
}

function pips(hp, maxHp) {
  const node = el("div", "hp");
  const shown = Math.max(0, Math.min(hp, maxHp));
  node.append("●".repeat(shown));
  node.append(el("span", "lost", "○".repeat(Math.max(0, maxHp - shown))));
  node.append(` ${hp}/${maxHp}`);
  node.setAttribute("aria-label", `体力${hp}/${maxHp}`);
  return node;
}

function seatNode(seat, index, view) {
  const node = el("li", "seat");
  node.dataset.seat = String(index);
  if (index === view.current) node.classList.add("turn");
  if (index === view.asked) node.classList.add("asked");
  if (index === view.self) node.classList.add("me");
  if (!seat.alive) node.classList.add("dead");
  const head = el("div");
  head.append(el("span", "name", `${index + 1}号 ${seat.hero}`));
  head.append(el("span", "role", seat.role ? `【${seat.role}】` : "【？】"));
  if (index === view.self) head.append(el("span", "badge", "你"));
  if (index === view.current) head.append(el("span", "badge", "回合"));
  if (index === view.asked) head.append(el("span", "badge", "思考中"));
  if (seat.chained) head.append(el("span", "badge", "连环"));
  if (!seat.alive) head.append(el("span", "badge", "阵亡"));
  node.append(head);
  node.append(el("div", "kingdom", seat.kingdom));
  if (seat.alive) {
    const hp = pips(seat.hp, seat.maxHp);
    hp.append(el("span", "count", ` · 手牌${seat.hand}`));
    node.append(hp);
  }
  const equip = el("div", "zone");
  equip.append(seat.equip.length ? "装备：" : "装备：无");
  for (const e of seat.equip) {
    equip.append(`${e.slot}`);
    equip.append(inlineCard(e.card));
  }
  node.append(equip);
  if (seat.judgment.length) {
    const judged = el("div", "zone");
    judged.append("判定区：");
    for (const c of seat.judgment) judged.append(inlineCard(c));
    node.append(judged);
  }
  node.append(el("div", "skills", `技【${seat.skills}】`));
  const role = seat.role ? `，${seat.role}` : "";
  const state = seat.alive ? `，体力${seat.hp}/${seat.maxHp}` : "，已阵亡";
  node.setAttribute("aria-label", `${index + 1}号${seat.hero}${role}${state}，手牌${seat.hand}张`);
  return node;
}

// `pick(seat)` answers with a seat when the question names seats: those seats can be tapped.
export function drawTable(view, parts, model, pick) {
  const mode = view.mode === "identity" ? "身份局" : "普通3v3";
  parts.info.replaceChildren(
    el("span", "", mode),
    el("span", "", `第${view.round}轮`),
    el("span", "", `牌堆${view.drawPile}`),
    el("span", "", `弃牌${view.discardPile}`),
  );
  parts.seats.replaceChildren(
    ...view.seats.map((seat, i) => {
      const node = seatNode(seat, i, view);
      if (model && pick && model.seats.has(i)) {
        node.classList.add("targetable");
        node.setAttribute("role", "button");
        node.tabIndex = 0;
        node.append(el("span", "badge target", "点此选择"));
        node.addEventListener("click", () => pick(model.seats.get(i)));
        node.addEventListener("keydown", (event) => {
          if (event.key !== "Enter" && event.key !== " ") return;
          event.preventDefault();
          pick(model.seats.get(i));
        });
      }
      return node;
    }),
  );
}

// The hand as buttons; `play(value)` is called with what a card sends when it is tapped while a question
// that cards answer is asked. Cards the rule accepts are marked, the others dimmed and not tappable.
export function drawHand(view, parts, model, play) {
  parts.mine.hidden = view.self < 0;
  if (view.self < 0) return;
  parts.myRole.textContent = `（${view.self + 1}号位 · ${view.role}）`;
  parts.hand.replaceChildren(
    ...view.hand.map((card, i) => {
      const button = cardNode(card, "button");
      button.type = "button";
      button.dataset.card = String(i + 1);
      const state = model && play ? cardState(model, i + 1) : "idle";
      button.disabled = state !== "fits";
      if (state === "fits") {
        button.classList.add("playable");
        button.addEventListener("click", () => play(model.cards.get(i + 1)));
      } else if (state === "dimmed") {
        button.classList.add("unfit");
        button.title = "此牌不能回应这个问题";
      }
      return button;
    }),
  );
  if (!view.hand.length) parts.hand.append(el("span", "", "（无手牌）"));
}
