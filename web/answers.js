// The controls each question asks for, from the kind, range and option labels the host sent. Every
// control sends the line the console player would have typed; the keyboard works as well as taps.

function button(text, value, label) {
  const node = document.createElement("button");
  node.type = "button";
  node.textContent = text;
  node.dataset.value = String(value);
  if (label) node.setAttribute("aria-label", label);
  return node;
}

// The question's controls go into `choices`; `send(value)` answers. Returns the keyboard handler
// for this question and whether the hand's cards answer it (the play phase).
export function showQuestion(ask, choices, send) {
  choices.replaceChildren();
  const keys = new Map();
  const add = (node, key, value) => {
    node.addEventListener("click", () => send(value));
    choices.append(node);
    if (key !== undefined) keys.set(key, value);
    return node;
  };
  let cards = false;
  switch (ask.kind) {
    case "number": {
      const options = ask.options.length
        ? ask.options
        : Array.from({ length: ask.hi - ask.lo + 1 }, (_, k) => ({ value: String(ask.lo + k), label: "" }));
      for (const o of options) {
        const n = Number(o.value);
        const text = o.label ? `${o.value}. ${o.label}` : o.value;
        add(button(text, n, text), o.value.length === 1 ? o.value : undefined, n);
      }
      break;
    }
    case "yesno":
      add(button("是 (y)", "y", "是"), "y", true);
      add(button("否 (n)", "n", "否"), "n", false);
      break;
    case "pause":
      add(button("继续", "", "继续"), "Enter", "");
      break;
    case "command":
      cards = true;
      for (const o of ask.options) {
        if (/^[0-9]+$/.test(o.value)) {
          if (o.value.length === 1) keys.set(o.value, Number(o.value));
          continue;
        }
        add(button(`${o.label} (${o.value})`, o.value, o.label), o.value, o.value);
      }
      break;
    case "order":
      showOrder(ask, choices, send);
      break;
    default:
      break;
  }
  const onKey = (event) => {
    if (!keys.has(event.key)) return false;
    send(keys.get(event.key));
    return true;
  };
  return { onKey, cards };
}

// 观星: the cards are tapped in their new order; the answer goes once every card is placed.
function showOrder(ask, choices, send) {
  const picked = [];
  const shown = document.createElement("p");
  shown.className = "order-picked";
  const redraw = () => {
    shown.textContent = picked.length
      ? "新顺序：" + picked.map((n) => ask.options[n - 1].label).join(" → ")
      : "依次点选牌，排出新的摸牌顺序。";
  };
  const buttons = ask.options.map((o) => {
    const node = button(`${o.value}. ${o.label}`, o.value, o.label);
    node.addEventListener("click", () => {
      picked.push(Number(o.value));
      node.disabled = true;
      redraw();
      if (picked.length === ask.options.length) send(picked.slice());
    });
    return node;
  });
  const again = button("重选", "again", "重选");
  again.addEventListener("click", () => {
    picked.length = 0;
    for (const b of buttons) b.disabled = false;
    redraw();
  });
  const keep = button("保持原顺序", "keep", "保持原顺序");
  keep.addEventListener("click", () => send(ask.options.map((o) => Number(o.value))));
  choices.append(shown, ...buttons, again, keep);
  redraw();
}
