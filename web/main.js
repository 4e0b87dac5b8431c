// The page: joins the host's table over one WebSocket and shows what the host sends.
import { BASE, connect, forgetCode, keepCode } from "./connection.js";
import { Screen, plain } from "./screen.js";
import { drawHand, drawTable } from "./table.js";
import { showQuestion } from "./answers.js";

const $ = (id) => document.getElementById(id);
const parts = {
  info: $("info"),
  seats: $("seats"),
  mine: $("mine"),
  myRole: $("my-role"),
  hand: $("hand"),
};
const screen = new Screen($("log"), $("screen"));
const state = { view: null, ask: null, keys: null, cards: false, place: "", seat: -1, code: "", said: "" };

function setStatus(text) {
  $("status").textContent = text;
}

function redrawHand() {
  if (!state.view) return;
  const play = state.ask && state.cards ? (n) => answer(n) : null;
  drawHand(state.view, parts, play);
}

function answer(value) {
  if (!state.ask) return;
  connection.send({ t: "answer", id: state.ask.id, value });
  state.ask = null;
  state.keys = null;
  state.cards = false;
  $("question").hidden = true;
  redrawHand();
}

// What the console printed for the question: its last lines, without the table, the hand and the
// numbered options, which the buttons show.
function questionText() {
  const lines = plain(state.said)
    .split("\n")
    .map((l) => l.trim())
    .filter((l) => l && l !== ">" && l !== "手牌：" && !/^\[\d+\]/.test(l) && !/^\d+\./.test(l) && !/^[╔╚]/.test(l) && !/^(>\s*)?\d号 /.test(l) && !/^模式:/.test(l));
  return lines.slice(-3).join("\n");
}

function ask(message) {
  state.ask = message;
  const shown = showQuestion(message, $("choices"), answer);
  state.keys = shown.onKey;
  state.cards = shown.cards;
  $("question-text").textContent = questionText();
  $("question").hidden = false;
  $("question").scrollIntoView({ block: "nearest" });
  redrawHand();
  const first = $("choices").querySelector("button:not(:disabled)") || $("hand").querySelector("button:not(:disabled)");
  if (first) first.focus({ preventScroll: true });
  else $("typed-line").focus({ preventScroll: true });
}

const PLACES = {
  lobby: "大厅：已加入，等待主机开局。",
  waiting: "请稍候：游戏开始后即可观战。",
  deciding: "正在核对座位码…",
  watching: "观战中：只显示公开信息。",
  full: "观战席已满（最多8人）。",
  replaced: "另一台设备用座位码取回了座位，本页已断开。",
};

function place(message) {
  state.place = message.state;
  state.seat = message.seat;
  if (message.code) state.code = message.code;
  if (message.state === "player" || (message.state === "waiting" && message.seat >= 0)) keepCode(state.code);
  if (message.state === "lobby") forgetCode();
  if (message.state === "full" || message.state === "replaced") connection.stop();
  $("lobby").hidden = message.state !== "lobby";
  if (message.state === "player") setStatus(`你是${message.seat + 1}号位。`);
  else if (message.state === "waiting" && message.seat >= 0)
    setStatus(`座位码正确：轮到${message.seat + 1}号座位决定时交还给你。`);
  else setStatus(PLACES[message.state] || "");
  const holding = state.code && (message.state === "player" || message.state === "waiting");
  $("code-shown").textContent = holding ? `座位码：${state.code}（换一台设备时输入此码即可取回座位）` : "";
  $("code-form").hidden = message.state === "player" || message.state === "lobby";
}

function end(message) {
  connection.stop();
  state.ask = null;
  $("question").hidden = true;
  $("ended").hidden = false;
  $("result").textContent = plain(message.result).replace("[对局结束]", "").trim();
  const roles = $("roles");
  roles.replaceChildren();
  if (state.view) {
    state.view.seats.forEach((seat, i) => {
      const item = document.createElement("li");
      item.textContent = `${i + 1}号 ${seat.hero}：${seat.role || "未知"}`;
      roles.append(item);
    });
  }
  $("record").href = BASE + "/record";
  $("record").hidden = !message.record;
  setStatus("对局结束。");
  redrawHand();
}

function receive(message) {
  switch (message.t) {
    case "state":
      place(message);
      break;
    case "lobby":
      $("lobby-text").textContent = `已有${message.joined}人加入（主机期望${message.wanted}人）。主机将开局，请稍候。`;
      break;
    case "text":
      screen.add(message.text, message.public);
      if (!message.public) state.said = (state.said + message.text).slice(-4000);
      if (!message.public && state.ask === null && /请输入|无效/.test(message.text)) $("question-text").textContent = plain(message.text).trim();
      break;
    case "view":
      state.view = message.view;
      drawTable(message.view, parts);
      redrawHand();
      break;
    case "ask":
      ask(message);
      state.said = "";
      break;
    case "expired":
      // The time for this question ran out: the computer answered it.
      if (state.ask && state.ask.id === message.id) {
        state.ask = null;
        state.keys = null;
        state.cards = false;
        $("question").hidden = true;
        redrawHand();
      }
      break;
    case "badcode":
      forgetCode();
      state.code = "";
      break;
    case "end":
      end(message);
      break;
    default:
      break;
  }
}

const connection = connect(receive, (what) => {
  if (what === "closed" && !$("ended").hidden) return;
  if (what === "closed" && state.place !== "full" && state.place !== "replaced") setStatus("与主机的连接已断开，正在重新连接…");
});

$("typed").addEventListener("submit", (event) => {
  event.preventDefault();
  const line = $("typed-line").value;
  $("typed-line").value = "";
  if (state.ask) answer(line);
});

$("code-form").addEventListener("submit", (event) => {
  event.preventDefault();
  const code = $("code-input").value.trim();
  if (code) connection.send({ t: "code", code });
  $("code-input").value = "";
});

$("exact-toggle").addEventListener("click", () => {
  const on = $("exact").hidden;
  $("exact").hidden = !on;
  $("table-area").hidden = on;
  $("exact-toggle").setAttribute("aria-pressed", String(on));
  screen.scheduleDraw();
});

document.addEventListener("keydown", (event) => {
  if (!state.keys || event.target instanceof HTMLInputElement || event.ctrlKey || event.metaKey || event.altKey) return;
  if (event.key === "Enter" && event.target instanceof HTMLButtonElement) return;
  if (state.keys(event)) event.preventDefault();
});
