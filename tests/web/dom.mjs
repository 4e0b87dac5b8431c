// Just enough of a document for the page's modules: elements that hold children, text, classes,
// attributes and click handlers. Installed as the global `document`.
class ClassList {
  constructor() {
    this.names = new Set();
  }
  add(...names) {
    for (const n of names) this.names.add(n);
  }
  remove(...names) {
    for (const n of names) this.names.delete(n);
  }
  toggle(name, on) {
    if (on === undefined ? !this.names.has(name) : on) this.names.add(name);
    else this.names.delete(name);
  }
  contains(name) {
    return this.names.has(name);
  }
}

export class Element {
  constructor(tag) {
    this.tagName = tag.toUpperCase();
    this.children = [];
    this.dataset = {};
    this.attributes = {};
    this.listeners = {};
    this.classList = new ClassList();
    this.ownText = "";
    this.hidden = false;
    this.disabled = false;
  }
  set className(names) {
    this.classList = new ClassList();
    for (const n of names.split(/\s+/).filter(Boolean)) this.classList.add(n);
  }
  get className() {
    return [...this.classList.names].join(" ");
  }
  set textContent(text) {
    this.children = [];
    this.ownText = String(text);
  }
  get textContent() {
    return this.ownText + this.children.map((c) => (typeof c === "string" ? c : c.textContent)).join("");
  }
  append(...nodes) {
    this.children.push(...nodes);
  }
  replaceChildren(...nodes) {
    this.ownText = "";
    this.children = [...nodes];
  }
  setAttribute(name, value) {
    this.attributes[name] = String(value);
  }
  addEventListener(type, handler) {
    (this.listeners[type] ||= []).push(handler);
  }
  dispatch(type, event = {}) {
    for (const h of this.listeners[type] || []) h({ preventDefault() {}, ...event });
  }
  // A person's tap: a disabled button does nothing.
  click() {
    if (!this.disabled) this.dispatch("click");
  }
  // Every element below this one, depth first, that `test` accepts.
  findAll(test) {
    const out = [];
    for (const c of this.children) {
      if (typeof c === "string") continue;
      if (test(c)) out.push(c);
      out.push(...c.findAll(test));
    }
    return out;
  }
}

globalThis.document = { createElement: (tag) => new Element(tag) };
