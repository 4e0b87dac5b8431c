// The controls each question asks for, from the structure the host sent with it: its kind and range,
// what it is about, its options (a hand card, a seat, a word) and the hand cards the rule accepts.
// Every control sends the value the console player would have typed; the keyboard works as well as taps.

// What each kind of control sends, without any page around it:
// - buttons: [{ text, value, key }] for the question box;
// - cards: hand number (from 1) -> value, when the hand's cards answer;
// - fits: the hand numbers the rule accepts (null: the question says nothing of it);
// - seats: seat index -> value, when a seat on the table answers;
// - keys: key -> value.
export function questionModel(ask) {
  const options = ask.options || [];
  const model = { buttons: [], cards: new Map(), fits: null, seats: new Map(), keys: new Map(), order: null };
  const button = (text, value, key) => {
    model.buttons.push({ text, value, key });
    if (key !== undefined) model.keys.set(key, value);
  };
  const digitKey = (value) => (/^[0-9]$/.test(value) ? value : undefined);
  if (Array.isArray(ask.fits)) model.fits = new Set(ask.fits);
  switch (ask.kind) {
    case "number": {
      if (ask.count || !options.length) {
        // A count: every number of its range, the largest included.
        for (let n = ask.lo; n <= ask.hi && n - ask.lo < 200; ++n) button(String(n), n, digitKey(String(n)));
        break;
      }
      for (const o of options) {
        const n = Number(o.value);
        if (o.card !== undefined) {
          model.cards.set(o.card, n);
          if (digitKey(o.value) !== undefined) model.keys.set(o.value, n);
          continue;
        }
        if (o.seat !== undefined) model.seats.set(o.seat, n);
        button(o.label || o.value, n, digitKey(o.value));
      }
      break;
    }
    case "command":
      for (const o of options) {
        if (o.card !== undefined) {
          model.cards.set(o.card, Number(o.value));
          if (digitKey(o.value) !== undefined) model.keys.set(o.value, Number(o.value));
        } else {
          button(o.label, o.value, o.value);
        }
      }
      break;
    case "yesno":
      button("是 (y)", true, "y");
      button("否 (n)", false, "n");
      break;
    case "pause":
      // A pause may name what going on does ("现在开局").
      button((options[0] && options[0].label) || "继续", "", "Enter");
      break;
    case "order":
      model.order = options.map((o) => ({ value: Number(o.value), label: o.label }));
      break;
    default:
      break;
  }
  return model;
}

// Whether hand card n (from 1) may be tapped for this question, and whether the rule accepts it.
export function cardState(model, n) {
  if (!model.cards.has(n)) return "idle";
  if (model.fits && !model.fits.has(n)) return "dimmed";
  return "fits";
}

function buttonNode(text, value, label) {
  const node = document.createElement("button");
  node.type = "button";
  node.textContent = text;
  node.dataset.value = String(value);
  if (label) node.setAttribute("aria-label", label);
  return node;
}

// The question's buttons go into `choices`; `send(value)` answers. Returns the model, with the keyboard
// handler for this question.
export function showQuestion(ask, choices, send) {
  choices.replaceChildren();
  const model = questionModel(ask);
  for (const b of model.buttons) {
    const node = buttonNode(b.text, b.value, b.text);
    node.addEventListener("click", () => send(b.value));
    choices.append(node);
  }
  if (model.order) showOrder(model.order, choices, send);
  model.onKey = (event) => {
    if (!model.keys.has(event.key)) return false;
    send(model.keys.get(event.key));
    return true;
  };
  return model;
}

// 观星: the cards are tapped in their new order; the answer goes once every card is placed.
function showOrder(cards, choices, send) {
  const picked = [];
  const shown = document.createElement("p");
  shown.className = "order-picked";
  const redraw = () => {
    shown.textContent = picked.length
      ? "新顺序：" + picked.map((n) => cards[n - 1].label).join(" → ")
      : "依次点选牌，排出新的摸牌顺序。";
  };
  const buttons = cards.map((c) => {
    const node = buttonNode(`${c.value}. ${c.label}`, c.value, c.label);
    node.addEventListener("click", () => {
      picked.push(c.value);
      node.disabled = true;
      redraw();
      if (picked.length === cards.length) send(picked.slice());
    });
    return node;
  });
  const again = buttonNode("重选", "again");
  again.addEventListener("click", () => {
    picked.length = 0;
    for (const b of buttons) b.disabled = false;
    redraw();
  });
  const keep = buttonNode("保持原顺序", "keep");
  keep.addEventListener("click", () => send(cards.map((c) => c.value)));
  choices.append(shown, ...buttons, again, keep);
  redraw();
}
