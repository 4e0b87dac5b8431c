// The game's text as the console shows it: ANSI colours become styled spans, the clear-screen escape
// starts the screen afresh. Public lines also go to the log.
const MAX_LOG_LINES = 400;
const MAX_SCREEN_CHARS = 200000;
const CLEAR = "\x1b[2J";

// Appends the text to `parent` as spans, keeping the colour state across calls in `style`.
export function appendAnsi(parent, text, style = { color: "", bold: false, dim: false }) {
  const pattern = /\x1b\[([0-9;]*)([A-Za-z])/g;
  let at = 0;
  const put = (part) => {
    if (!part) return;
    if (!style.color && !style.bold && !style.dim) {
      parent.append(part);
      return;
    }
    const span = document.createElement("span");
    if (style.color) span.classList.add("c" + style.color);
    if (style.bold) span.classList.add("bold");
    if (style.dim) span.classList.add("dimmed");
    span.textContent = part;
    parent.append(span);
  };
  for (let m; (m = pattern.exec(text)); ) {
    put(text.slice(at, m.index));
    at = pattern.lastIndex;
    if (m[2] !== "m") continue;
    for (const code of (m[1] || "0").split(";").map(Number)) {
      if (code === 0) Object.assign(style, { color: "", bold: false, dim: false });
      else if (code === 1) style.bold = true;
      else if (code === 2) style.dim = true;
      else if (code >= 30 && code <= 37) style.color = String(code);
      else if (code === 39) style.color = "";
    }
  }
  put(text.slice(at));
  return style;
}

export function plain(text) {
  return text.replace(/\x1b\[[0-9;]*[A-Za-z]/g, "");
}

export class Screen {
  constructor(logElement, screenElement) {
    this.log = logElement;
    this.screen = screenElement;
    this.text = "";
    this.partial = "";
    this.drawPending = false;
  }

  // Every text the seat is shown, in order; public ones are also lines of the log.
  add(text, isPublic) {
    const clear = text.lastIndexOf(CLEAR);
    if (clear >= 0) this.text = text.slice(clear + CLEAR.length).replace(/^\x1b\[H/, "");
    else this.text += text;
    if (this.text.length > MAX_SCREEN_CHARS) this.text = this.text.slice(-MAX_SCREEN_CHARS / 2);
    if (isPublic) this.addLog(text);
    this.scheduleDraw();
  }

  // The log so far, as the host kept it, in place of what this page had.
  setLog(text) {
    this.log.replaceChildren();
    this.partial = "";
    this.addLog(text);
  }

  addLog(text) {
    const atBottom = this.log.scrollHeight - this.log.scrollTop - this.log.clientHeight < 40;
    const lines = (this.partial + text).split("\n");
    this.partial = lines.pop();
    for (const line of lines) {
      if (!plain(line).trim()) continue;
      const p = document.createElement("p");
      appendAnsi(p, line.replace(/^((?:\x1b\[[0-9;]*m)*)\s*->\s*/, "$1"));
      this.log.append(p);
    }
    while (this.log.childElementCount > MAX_LOG_LINES) this.log.firstElementChild.remove();
    if (atBottom) this.log.scrollTop = this.log.scrollHeight;
  }

  scheduleDraw() {
    if (this.drawPending || this.screen.closest("[hidden]")) return;
    this.drawPending = true;
    requestAnimationFrame(() => this.draw());
  }

  draw() {
    this.drawPending = false;
    this.screen.replaceChildren();
    appendAnsi(this.screen, this.text);
    this.screen.scrollTop = this.screen.scrollHeight;
  }
}
