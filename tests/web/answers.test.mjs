// The page's own modules under Node's test runner: what each tap and key sends for each kind of
// question, and what the table and the hand let be tapped.
import { test } from "node:test";
import assert from "node:assert/strict";
import { Element } from "./dom.mjs";
import { cardState, questionModel, showQuestion } from "../../web/answers.js";
import { drawHand, drawTable } from "../../web/table.js";

const card = (name, suit = "♠", rank = "7", red = false) => ({ name, suit, rank, red });
const seat = (hero) => ({
  hero, kingdom: "魏", skills: "", alive: true, hp: 3, maxHp: 4, hand: 2, equip: [], judgment: [],
  chained: false, role: null,
});
const view = {
  mode: "normal", round: 1, drawPile: 100, discardPile: 0, current: 1, asked: 1, self: 1,
  seats: ["Varnok", "Serafae", "Dravin", "Mendrel", "Grathos", "Rhoskan"].map(seat),
  hand: [card("杀"), card("闪", "♥", "2", true), card("桃", "♥", "3", true)], role: "楚军",
};
const parts = () => ({
  info: new Element("div"), seats: new Element("ol"), mine: new Element("section"),
  myRole: new Element("span"), hand: new Element("div"),
});
const handButtons = (p) => p.hand.findAll((e) => e.tagName === "BUTTON");
const choiceButtons = (choices) => choices.findAll((e) => e.tagName === "BUTTON");

// A hand card once sent the card before it: each card sends its own number, marked cards only.
test("a tapped hand card sends that card, and only cards the rule accepts can be tapped", () => {
  const ask = {
    kind: "number", lo: 0, hi: 3, topic: "dodge", about: "Varnok 对你使用【杀 梅花10】", text: "出闪",
    fits: [2],
    options: [{ value: "0", label: "放弃" }, { value: "1", label: "【杀 黑桃7】", card: 1 },
      { value: "2", label: "【闪 红桃2】", card: 2 }, { value: "3", label: "【桃 红桃3】", card: 3 }],
  };
  const model = questionModel(ask);
  assert.deepEqual([1, 2, 3].map((n) => cardState(model, n)), ["dimmed", "fits", "dimmed"]);
  const sent = [];
  const p = parts();
  drawHand(view, p, model, (v) => sent.push(v));
  for (const b of handButtons(p)) b.click();
  assert.deepEqual(sent, [2]);
  assert.ok(handButtons(p)[0].classList.contains("unfit"));
  // Giving up is a button of its own; the digit keys answer too.
  const choices = new Element("div");
  const shown = showQuestion(ask, choices, (v) => sent.push(v));
  assert.deepEqual(choiceButtons(choices).map((b) => b.textContent), ["放弃"]);
  choiceButtons(choices)[0].click();
  assert.ok(shown.onKey({ key: "2" }));
  assert.ok(!shown.onKey({ key: "x" }));
  assert.deepEqual(sent, [2, 0, 2]);
});

test("the play phase: every card the rule would play is tappable and sends its number; commands are buttons", () => {
  const ask = {
    kind: "command", lo: 0, hi: 0, topic: "play", text: "出牌阶段", fits: [1, 3],
    options: [{ value: "1", label: "【杀 黑桃7】", card: 1 }, { value: "2", label: "【闪 红桃2】", card: 2 },
      { value: "3", label: "【桃 红桃3】", card: 3 }, { value: "s", label: "武将技" }, { value: "e", label: "结束" }],
  };
  const sent = [];
  const choices = new Element("div");
  const model = showQuestion(ask, choices, (v) => sent.push(v));
  const p = parts();
  drawHand(view, p, model, (v) => sent.push(v));
  for (const b of handButtons(p)) b.click();
  for (const b of choiceButtons(choices)) b.click();
  assert.deepEqual(sent, [1, 3, "s", "e"]);
  // Without a question the hand is shown but answers nothing.
  drawHand(view, p, null, null);
  assert.ok(handButtons(p).every((b) => b.disabled));
});

// A count once lost its largest number.
test("a count offers every number of its range, the largest included", () => {
  const ask = { kind: "number", lo: 1, hi: 4, topic: "count", count: true, options: [] };
  const sent = [];
  const choices = new Element("div");
  showQuestion(ask, choices, (v) => sent.push(v));
  for (const b of choiceButtons(choices)) b.click();
  assert.deepEqual(sent, [1, 2, 3, 4]);
});

test("a question that names seats is answered by tapping the seat, and its buttons name seats as the table does", () => {
  const ask = {
    kind: "number", lo: 0, hi: 2, topic: "target", text: "选择杀的目标",
    options: [{ value: "0", label: "取消" }, { value: "1", label: "1号 Varnok", seat: 0 },
      { value: "2", label: "5号 Grathos", seat: 4 }],
  };
  const sent = [];
  const choices = new Element("div");
  const model = showQuestion(ask, choices, (v) => sent.push(v));
  assert.deepEqual(choiceButtons(choices).map((b) => b.textContent), ["取消", "1号 Varnok", "5号 Grathos"]);
  const p = parts();
  drawTable(view, p, model, (v) => sent.push(v));
  const seats = p.seats.children;
  assert.deepEqual(seats.map((s) => s.classList.contains("targetable")), [true, false, false, false, true, false]);
  seats[4].dispatch("click");
  seats[2].dispatch("click");
  seats[0].dispatch("keydown", { key: "Enter" });
  assert.deepEqual(sent, [2, 1]);
  // The hand answers nothing here.
  drawHand(view, p, model, (v) => sent.push(v));
  assert.ok(handButtons(p).every((b) => b.disabled));
});

test("y/n sends a flag, a pause its Enter, an order every card in the order tapped", () => {
  const sent = [];
  const choices = new Element("div");
  let m = showQuestion({ kind: "yesno", options: [] }, choices, (v) => sent.push(v));
  choiceButtons(choices).forEach((b) => b.click());
  assert.ok(m.onKey({ key: "y" }));
  m = showQuestion({ kind: "pause", options: [] }, choices, (v) => sent.push(v));
  assert.ok(m.onKey({ key: "Enter" }));
  // A pause that names what it does (the room's offer to start) says so on its button, and still sends Enter.
  showQuestion({ kind: "pause", options: [{ value: "", label: "现在开局" }] }, choices, (v) => sent.push(v));
  assert.equal(choiceButtons(choices)[0].textContent, "现在开局");
  choiceButtons(choices)[0].click();
  const order = { kind: "order", options: ["【杀 黑桃7】", "【闪 红桃2】", "【桃 红桃3】"].map((label, i) => ({ value: String(i + 1), label })) };
  showQuestion(order, choices, (v) => sent.push(v));
  const cards = choiceButtons(choices).filter((b) => /^\d+$/.test(b.dataset.value));
  cards[2].click();
  cards[2].click();
  cards[0].click();
  cards[1].click();
  assert.deepEqual(sent, [true, false, true, "", "", [3, 1, 2]]);
});
