// The connection to the host: one WebSocket, a hello with the seat code this browser keeps, and a new
// connection a moment after a drop, whose hello takes the seat back by itself.
// A room's table lives under /t/ID: its WebSocket, its record and its seat code are its own.
export const BASE = location.pathname.startsWith("/t/") ? location.pathname.replace(/\/+$/, "") : "";
const KEY = "kavrin-seat-code" + BASE;

// A tab keeps its own code in its session storage, which lives through a reload, and every tab of this
// browser shares the last one kept; a code handed over in the address (a room's opener) comes first. The
// address never keeps a code: a table's link is shared from the address bar, and must not give the seat.
function fromAddress() {
  const match = /code=([A-Za-z0-9]{1,12})/.exec(location.hash);
  if (location.hash) history.replaceState(null, "", location.pathname);
  return match ? match[1] : "";
}

// Storage is named, not passed: reading the property itself throws where the browser has storage off.
function read(name) {
  try {
    return globalThis[name].getItem(KEY) || "";
  } catch {
    return "";
  }
}

function write(name, code) {
  try {
    if (code) globalThis[name].setItem(KEY, code);
    else globalThis[name].removeItem(KEY);
  } catch {
    // Storage may be off; the seat is then taken back by typing its code.
  }
}

export function storedCode() {
  const handed = fromAddress();
  if (handed) write("sessionStorage", handed);
  return handed || read("sessionStorage") || read("localStorage");
}

export function keepCode(code) {
  write("sessionStorage", code);
  write("localStorage", code);
}

export function forgetCode() {
  write("sessionStorage", "");
  write("localStorage", "");
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
