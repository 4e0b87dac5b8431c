// The page: joins the host's table over one WebSocket and shows what the host sends.
import { connect, forgetCode, keepCode } from "./connection.js";
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
const state = { view: null, ask: null, model: null, place: "", seat: -1, code: "", opener: false, record: null, recordUrl: "" };

function setStatus(text) {
  $("status").textContent = text;
}

// The table and the hand, with what the question being asked lets be tapped.
function redraw() {
  if (!state.view) return;
  const answering = state.ask ? (value) => answer(value) : null;
  drawTable(state.view, parts, state.model, answering);
  drawHand(state.view, parts, state.model, answering);
  // On a narrow screen the hand goes beside the question whenever its cards answer it.
  document.body.classList.toggle("cards-answer", Boolean(state.model && state.model.cards.size));
}

function answer(value) {
  if (!state.ask) return;
  connection.send({ t: "answer", id: state.ask.id, value });
  state.ask = null;
  state.model = null;
  $("question").hidden = true;
  redraw();
}

function ask(message) {
  state.ask = message;
  state.model = showQuestion(message, $("choices"), answer);
  $("question-about").textContent = message.about || "";
  $("question-about").hidden = !message.about;
  $("question-text").textContent = message.text || "";
  $("question").hidden = false;
  $("question").scrollIntoView({ block: "nearest" });
  redraw();
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
  // The opener's place in its lobby comes with the opener's code, which this tab keeps for a reload.
  state.opener = message.state === "lobby" && Boolean(message.code);
  if (message.state === "lobby" && !state.opener) forgetCode();
  if (message.state === "full" || message.state === "replaced") connection.stop();
  $("replaced").hidden = message.state !== "replaced";
  document.body.classList.toggle("replaced", message.state === "replaced");
  if (message.state === "replaced") {
    state.ask = null;
    state.model = null;
    $("question").hidden = true;
    $("take-back").focus({ preventScroll: true });
  }
  $("lobby").hidden = message.state !== "lobby";
  if (state.opener) setStatus("你开了这一桌：把本页地址发给朋友，打开即可入座。");
  else if (message.state === "player") setStatus(`你是${message.seat + 1}号位。`);
  else if (message.state === "waiting" && message.seat >= 0)
    setStatus(`座位码正确：轮到${message.seat + 1}号座位决定时交还给你。`);
  else setStatus(PLACES[message.state] || "");
  const holding = state.code && (message.state === "player" || message.state === "waiting");
  $("code-shown").textContent = holding ? `座位码：${state.code}（换一台设备时输入此码即可取回座位）` : "";
  $("code-form").hidden = message.state === "player" || message.state === "lobby";
  // Nothing to show or to type in the lobby: no empty box.
  $("seat-code").hidden = !holding && $("code-form").hidden;
}

function end(message) {
  connection.stop();
  state.ask = null;
  state.model = null;
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
  $("won").hidden = typeof message.won !== "boolean";
  $("won").textContent = message.won ? "你赢了！" : "你输了。";
  $("won").className = message.won ? "won" : "lost-game";
  $("no-record").hidden = message.record;
  if (!message.record) $("record").hidden = true;
  setStatus("对局结束。");
  redraw();
}

// The record lives in the page from here on: saving it needs no host.
function keepRecord(text) {
  if (state.recordUrl) URL.revokeObjectURL(state.recordUrl);
  state.record = text;
  state.recordUrl = URL.createObjectURL(new Blob([text], { type: "text/plain;charset=utf-8" }));
  $("record").href = state.recordUrl;
  $("record").hidden = false;
}

function receive(message) {
  switch (message.t) {
    case "state":
      place(message);
      break;
    case "lobby":
      $("lobby-text").textContent = state.opener
        ? `已有${message.joined}人加入，还差${Math.max(0, message.wanted - message.joined)}人；人齐后自动开局。`
        : `已有${message.joined}人加入（主机期望${message.wanted}人）。主机将开局，请稍候。`;
      break;
    case "text":
      screen.add(message.text, message.public);
      break;
    case "log":
      screen.setLog(message.text);
      break;
    case "view":
      state.view = message.view;
      redraw();
      break;
    case "ask":
      ask(message);
      break;
    case "record":
      keepRecord(message.text);
      break;
    case "expired":
      // The time for this question ran out: the computer answered it.
      if (state.ask && state.ask.id === message.id) {
        state.ask = null;
        state.model = null;
        $("question").hidden = true;
        redraw();
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

$("take-back").addEventListener("click", () => {
  $("replaced").hidden = true;
  document.body.classList.remove("replaced");
  setStatus("正在取回座位…");
  connection.restart();
});

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
  if (!state.model || event.target instanceof HTMLInputElement || event.ctrlKey || event.metaKey || event.altKey) return;
  if (event.key === "Enter" && event.target instanceof HTMLButtonElement) return;
  if (state.model.onKey(event)) event.preventDefault();
});
