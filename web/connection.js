// The connection to the host: one WebSocket, a hello with the seat code this browser keeps, and a new
// connection a moment after a drop, whose hello takes the seat back by itself.
// A room's table lives under /t/ID: its WebSocket, its record and its seat code are its own.
export const BASE = location.pathname.startsWith("/t/") ? location.pathname.replace(/\/+$/, "") : "";
const KEY = "kavrin-seat-code" + BASE;

// The code kept in the address wins over the one in storage: it is this tab's own.
export function storedCode() {
  const match = /code=([A-Za-z0-9]{1,12})/.exec(location.hash);
  if (match) return match[1];
  try {
    return localStorage.getItem(KEY) || "";
  } catch {
    return "";
  }
}

export function keepCode(code) {
  try {
    localStorage.setItem(KEY, code);
  } catch {
    // Storage may be off; the address still keeps it.
  }
  history.replaceState(null, "", "#code=" + code);
}

export function forgetCode() {
  try {
    localStorage.removeItem(KEY);
  } catch {
    // Nothing was kept.
  }
  if (location.hash) history.replaceState(null, "", location.pathname);
}

// Calls onMessage with each message from the host and onState with "open" or "closed".
export function connect(onMessage, onState) {
  let socket = null;
  let stopped = false;
  function open() {
    const scheme = location.protocol === "https:" ? "wss://" : "ws://";
    socket = new WebSocket(scheme + location.host + BASE + "/ws");
    socket.addEventListener("open", () => {
      onState("open");
      socket.send(JSON.stringify({ t: "hello", code: storedCode() }));
    });
    socket.addEventListener("message", (event) => {
      let message;
      try {
        message = JSON.parse(event.data);
      } catch {
        return;
      }
      onMessage(message);
    });
    socket.addEventListener("close", () => {
      onState("closed");
      if (!stopped) setTimeout(open, 2000);
    });
  }
  open();
  return {
    send(message) {
      if (socket && socket.readyState === WebSocket.OPEN) socket.send(JSON.stringify(message));
    },
    // No new connection after this one ends: the game is over, or the seat went elsewhere.
    stop() {
      stopped = true;
    },
    // A new connection after stop(), whose hello brings this page's code: the seat comes back here.
    restart() {
      stopped = false;
      if (socket && socket.readyState !== WebSocket.CLOSED) socket.close();
      else open();
    },
  };
}
