// The replay viewer: a kept game's table as a spectator saw it, step by step, with the public log beside
// it up to that step. The server replays the game and sends each step; hands and roles are shown only
// once the game is over and only when asked ("明牌").
import { drawTable, cardText } from "./table.js";
import { appendAnsi } from "./screen.js";

const base = location.pathname.replace(/\/+$/, "");
const $ = (id) => document.getElementById(id);
const parts = { info: $("info"), seats: $("seats") };
const shown = { step: -1, logTo: 0, index: null, timer: 0, busy: false };

function el(tag, className, text) {
  const node = document.createElement(tag);
  if (className) node.className = className;
  if (text !== undefined) node.textContent = text;
  return node;
}

function addLog(texts) {
  const log = $("log");
  for (const text of texts) {
    const line = el("p");
    appendAnsi(line, text);
    log.append(line);
  }
  log.scrollTop = log.scrollHeight;
}

function drawReveal(reveal) {
  [...parts.seats.children].forEach((seat, i) => {
    const r = reveal[i];
    const role = seat.querySelector(".role");
    if (role) role.textContent = `【${r.role}】`;
    const hand = el("div", "zone revealed");
    hand.append("手牌：");
    if (!r.hand.length) hand.append("无");
    for (const c of r.hand) hand.append(el("span", "inline-card" + (c.red ? " red" : ""), `【${cardText(c)}】`));
    seat.append(hand);
  });
}

async function show(n) {
  const index = shown.index;
  n = Math.max(0, Math.min(n, index.steps - 1));
  if (shown.busy) return;
  shown.busy = true;
  const forward = n > shown.step && shown.step >= 0;
  const since = forward ? shown.logTo : 0;
  const reveal = $("reveal").checked ? 1 : 0;
  try {
    const r = await fetch(`${base}/step.json?n=${n}&reveal=${reveal}&since=${since}`);
    if (!r.ok) throw new Error(String(r.status));
    const step = await r.json();
    if (!forward) $("log").replaceChildren();
    addLog(step.log);
    if (step.view) drawTable(step.view.view, parts, null, null);
    if (step.reveal) drawReveal(step.reveal);
    shown.step = step.step;
    shown.logTo = step.logTo;
    $("slider").value = String(step.step);
    $("where").textContent = `第${step.step + 1}/${step.steps}步 · 第${step.round}轮`;
    const round = [...index.rounds].reverse().find((x) => x.step <= step.step);
    if (round) $("round").value = String(round.step);
    $("prev").disabled = step.step <= 0;
    $("next").disabled = step.step >= step.steps - 1;
  } catch {
    $("status").textContent = "读取失败，请稍后再试。";
    stop();
  } finally {
    shown.busy = false;
  }
}

function stop() {
  clearInterval(shown.timer);
  shown.timer = 0;
  $("play").textContent = "▶ 播放";
  $("play").setAttribute("aria-pressed", "false");
}

function play() {
  if (shown.timer) return stop();
  $("play").textContent = "⏸ 暂停";
  $("play").setAttribute("aria-pressed", "true");
  shown.timer = setInterval(() => {
    if (shown.step >= shown.index.steps - 1) return stop();
    show(shown.step + 1);
  }, Number($("speed").value));
}

async function start() {
  const table = base.match(/^\/t\/([0-9a-z]+)\//);
  if (table) $("back").href = `/t/${table[1]}/history`;
  let index;
  try {
    const r = await fetch(`${base}/index.json`);
    if (r.status === 404) {
      $("status").textContent = "找不到这局对局。";
      return;
    }
    index = await r.json();
  } catch {
    $("status").textContent = "无法连接房间。";
    return;
  }
  shown.index = index;
  if (!index.steps) {
    $("status").textContent = "这局对局还没有可看的内容。";
    return;
  }
  $("status").textContent = index.finished
    ? `对局结束：${index.result}`
    : index.stopped
      ? `对局未完成，重放到中断处为止（${index.stopped}）`
      : "对局未完成，重放到中断处为止。";
  $("reveal").disabled = !index.finished;
  $("reveal").parentElement.title = index.finished ? "显示每家当时的手牌与身份" : "对局结束后才能明牌";
  $("slider").max = String(index.steps - 1);
  $("round").replaceChildren(...index.rounds.map((r, i) => {
    const option = el("option", "", r.round ? `第${r.round}轮` : "开局");
    option.value = String(i === 0 ? Math.max(r.step, index.dealt || 0) : r.step);
    return option;
  }));
  $("prev").addEventListener("click", () => show(shown.step - 1));
  $("next").addEventListener("click", () => show(shown.step + 1));
  $("play").addEventListener("click", play);
  $("speed").addEventListener("change", () => {
    if (!shown.timer) return;
    stop();
    play();
  });
  $("slider").addEventListener("change", () => show(Number($("slider").value)));
  $("round").addEventListener("change", () => show(Number($("round").value)));
  $("reveal").addEventListener("change", () => {
    const at = shown.step;
    shown.step = -1;
    show(at);
  });
  document.addEventListener("keydown", (event) => {
    if (event.target.closest("input, select")) return;
    if (event.key === "ArrowRight") show(shown.step + 1);
    if (event.key === "ArrowLeft") show(shown.step - 1);
  });
  // The table is shown from the deal on; the steps of its setting up stay a step back.
  show(index.dealt || 0);
}

start();
