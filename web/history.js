// The history: the room's kept games, newest first, a page at a time, filtered by mode and hero. At a
// table's link (/t/ID/history) it lists that table's games. A record file from the disk opens in the viewer.
const table = location.pathname.match(/^\/t\/([0-9a-z]+)\/history/);
const base = table ? `/t/${table[1]}` : "";
const MAX_FILE_BYTES = 512 * 1024;

const $ = (id) => document.getElementById(id);
const state = { page: 1, mode: "", hero: "" };

function el(tag, className, text) {
  const node = document.createElement(tag);
  if (className) node.className = className;
  if (text !== undefined) node.textContent = text;
  return node;
}

function modeName(mode) {
  return mode === "identity" ? "身份局" : "3v3";
}

function when(ms) {
  const d = new Date(ms);
  const two = (n) => String(n).padStart(2, "0");
  return `${d.getFullYear()}-${two(d.getMonth() + 1)}-${two(d.getDate())} ${two(d.getHours())}:${two(d.getMinutes())}`;
}

function gameNode(g) {
  const item = el("li", "game");
  const head = el("div", "game-head");
  const link = el("a", "", `${when(g.started)} · ${modeName(g.mode)}`);
  link.href = `${base}/replay/${g.id}`;
  head.append(link);
  const result = g.state === "finished" ? g.result : g.state === "playing" ? "对局中" : "未完成";
  head.append(el("span", "result", `${result}${g.rounds ? ` · ${g.rounds}轮` : ""}`));
  item.append(head);
  const seats = el("ul", "heroes");
  g.seats.forEach((s, i) => {
    const seat = el("li", (s.person ? "person" : "") + (s.won ? " won" : ""));
    seat.append(`${i + 1}号 ${s.hero}`);
    if (s.role) seat.append(el("span", "role", `（${s.role}）`));
    if (s.person) seat.append(el("span", "badge", "真人"));
    if (s.won) seat.append(el("span", "badge win", "胜"));
    seats.append(seat);
  });
  item.append(seats);
  return item;
}

async function load() {
  const q = new URLSearchParams();
  if (state.mode) q.set("mode", state.mode);
  if (state.hero) q.set("hero", state.hero);
  q.set("page", String(state.page));
  const games = $("games");
  let page;
  try {
    const r = await fetch(`${base}/history.json?${q}`);
    if (r.status === 404) {
      games.replaceChildren(el("li", "hint", table ? "这张牌桌还没有保存的对局。" : "本房间没有保存对局。"));
      return;
    }
    if (!r.ok) {
      games.replaceChildren(el("li", "hint", r.status === 400 ? "没有这个武将。" : "读取失败，请稍后再试。"));
      return;
    }
    page = await r.json();
  } catch {
    games.replaceChildren(el("li", "hint", "无法连接房间。"));
    return;
  }
  games.replaceChildren(...page.games.map(gameNode));
  if (!page.games.length) games.append(el("li", "hint", "没有符合条件的对局。"));
  const pages = Math.max(1, Math.ceil(page.total / page.limit));
  $("where").textContent = `第${state.page}/${pages}页 · 共${page.total}局`;
  $("newer").disabled = state.page <= 1;
  $("older").disabled = state.page >= pages;
}

async function open(file) {
  const said = $("said");
  if (file.size > MAX_FILE_BYTES) {
    said.textContent = "记录文件太大，无法打开。";
    return;
  }
  said.textContent = "正在重放……";
  try {
    const r = await fetch("/replay/upload", { method: "POST", body: await file.text() });
    if (!r.ok) {
      said.textContent = (await r.text()).trim() || "无法打开该记录。";
      return;
    }
    location.href = (await r.json()).link;
  } catch {
    said.textContent = "无法打开该记录。";
  }
}

// The heroes the room's games have seen, offered as the hero filter is typed.
async function heroes() {
  try {
    const r = await fetch("/stats.json");
    if (!r.ok) return;
    const names = new Set();
    for (const m of (await r.json()).modes) for (const h of m.heroes) names.add(h.hero);
    $("heroes").replaceChildren(...[...names].sort().map((name) => Object.assign(document.createElement("option"), { value: name })));
  } catch {
    // The filter still takes a typed name.
  }
}

if (table) {
  $("title").textContent = "本桌对局";
  document.title = "六人卡维林 · 本桌对局";
}
$("filter").addEventListener("submit", (event) => {
  event.preventDefault();
  state.mode = $("mode").value;
  state.hero = $("hero").value.trim();
  state.page = 1;
  load();
});
$("newer").addEventListener("click", () => {
  state.page -= 1;
  load();
});
$("older").addEventListener("click", () => {
  state.page += 1;
  load();
});
$("file").addEventListener("change", () => {
  const file = $("file").files[0];
  if (file) open(file);
});
load();
heroes();
