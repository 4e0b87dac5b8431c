// The statistics of the room's finished games, drawn as inline SVG: each side's and role's win rate by
// mode, each hero's with its number of games and 95% interval, people against the computer, and the games'
// lengths in rounds. Every number comes from the server; the page only draws.
const SVG = "http://www.w3.org/2000/svg";
const PLAYERS = { person: "真人", classic: "经典电脑", strong: "强电脑" };
const $ = (id) => document.getElementById(id);

function el(tag, className, text) {
  const node = document.createElement(tag);
  if (className) node.className = className;
  if (text !== undefined) node.textContent = text;
  return node;
}

function svg(tag, attrs, text) {
  const node = document.createElementNS(SVG, tag);
  for (const [k, v] of Object.entries(attrs)) node.setAttribute(k, String(v));
  if (text !== undefined) node.textContent = text;
  return node;
}

const percent = (x) => `${Math.round(x * 100)}%`;

// Horizontal bars of win rates, each with its 95% interval as a whisker and its number of games.
function rateChart(title, rows) {
  const label = 96, width = 400, row = 26, value = 96;
  const plot = width - label - value - 12;
  const chart = svg("svg", { viewBox: `0 0 ${width} ${rows.length * row + 22}`, role: "img", class: "chart" });
  chart.append(svg("title", {}, title));
  for (const x of [0, 0.5, 1]) {
    chart.append(svg("line", { x1: label + x * plot, x2: label + x * plot, y1: 0, y2: rows.length * row, class: "grid" }));
    chart.append(svg("text", { x: label + x * plot, y: rows.length * row + 16, class: "axis", "text-anchor": "middle" }, percent(x)));
  }
  rows.forEach((r, i) => {
    const y = i * row;
    chart.append(svg("text", { x: label - 6, y: y + 17, class: "label", "text-anchor": "end" }, r.name));
    const bar = svg("rect", { x: label, y: y + 5, width: Math.max(1, r.rate * plot), height: row - 10, class: "bar" });
    bar.append(svg("title", {}, `${r.name}：胜率${percent(r.rate)}（95%区间${percent(r.low)}～${percent(r.high)}），${r.games}局`));
    chart.append(bar);
    chart.append(svg("line", { x1: label + r.low * plot, x2: label + r.high * plot, y1: y + row / 2, y2: y + row / 2, class: "whisker" }));
    chart.append(svg("text", { x: label + plot + 10, y: y + 17, class: "value" }, `${percent(r.rate)} · ${r.games}局`));
  });
  return chart;
}

// Games by their length in rounds, as columns; the last column counts every longer game.
function roundsChart(rounds) {
  const width = 400, height = 136, bottom = 18, top = 18;
  const last = rounds.reduce((at, n, i) => (n > 0 ? i : at), 0);
  const shown = rounds.slice(0, Math.max(last + 1, 1));
  const most = Math.max(1, ...shown);
  const w = width / shown.length;
  const chart = svg("svg", { viewBox: `0 0 ${width} ${height + bottom}`, role: "img", class: "chart" });
  chart.append(svg("title", {}, "对局长度（轮）"));
  shown.forEach((n, i) => {
    const h = (n / most) * (height - top);
    const col = svg("rect", { x: i * w + 1, y: height - h, width: Math.max(1, w - 2), height: h, class: "bar" });
    col.append(svg("title", {}, `${i}轮：${n}局`));
    chart.append(col);
  });
  chart.append(svg("text", { x: 0, y: 12, class: "axis" }, `最高一列${most}局`));
  const step = Math.max(1, Math.ceil(shown.length / 8));
  for (let i = 0; i < shown.length; i += step)
    chart.append(svg("text", { x: i * w + w / 2, y: height + 14, class: "axis", "text-anchor": "middle" }, String(i)));
  return chart;
}

function figure(title, chart) {
  const node = el("figure", "figure");
  node.append(el("figcaption", "", title), chart);
  return node;
}

function modeSection(m) {
  const section = el("section", "panel");
  const name = m.mode === "identity" ? "身份局" : "3v3";
  section.append(el("h2", "", `${name} · ${m.games}局`));
  if (!m.games) {
    section.append(el("p", "hint", "还没有打完的对局。"));
    return section;
  }
  const grid = el("div", "figures");
  grid.append(figure(m.mode === "identity" ? "各身份胜率" : "各阵营胜率", rateChart("胜率", m.roles.map((r) => ({ ...r, name: r.role })))));
  grid.append(figure("真人与电脑", rateChart("真人与电脑", m.players.filter((p) => p.games > 0).map((p) => ({ ...p, name: PLAYERS[p.player] })))));
  grid.append(figure("对局长度（轮）", roundsChart(m.rounds)));
  grid.append(figure("武将胜率（95%区间，局数）", rateChart("武将胜率", m.heroes.map((h) => ({ ...h, name: h.hero })))));
  section.append(grid);
  const results = el("ul", "results");
  for (const r of m.results) results.append(el("li", "", `${r.result} ${r.games}局`));
  section.append(results);
  return section;
}

async function start() {
  try {
    const r = await fetch("/stats.json");
    if (!r.ok) {
      $("status").textContent = r.status === 404 ? "本房间没有保存对局。" : "读取失败，请稍后再试。";
      return;
    }
    const stats = await r.json();
    $("status").textContent = "";
    $("stats").replaceChildren(...stats.modes.map(modeSection));
  } catch {
    $("status").textContent = "无法连接房间。";
  }
}

start();
