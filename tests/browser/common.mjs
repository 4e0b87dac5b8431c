// What the browser tests share: free ports, the system's browser, failures gathered rather than thrown,
// pages that fail on any console error or request to another host, the AA contrast check, and the
// seeded tapper that answers whatever question a page shows.
import { spawn } from "node:child_process";
import { createServer } from "node:net";
import { join } from "node:path";
import puppeteer from "puppeteer-core";

export const failures = [];
export const fail = (why) => failures.push(why);
export const sleep = (ms) => new Promise((r) => setTimeout(r, ms));

export function freePort(port = 0) {
  return new Promise((resolve) => {
    const server = createServer();
    server.once("error", () => resolve(0));
    server.listen(port, "127.0.0.1", () => {
      const got = server.address().port;
      server.close(() => resolve(got));
    });
  });
}

// Polls `test` until it holds; throws after `ms`, or at `deadline` if that comes first.
export async function until(test, what, ms = 30_000, deadline = Infinity) {
  const end = Math.min(deadline, Date.now() + ms);
  while (Date.now() < end) {
    if (await test()) return true;
    await sleep(50);
  }
  throw new Error("timed out waiting for " + what);
}

// A room (`kavrin --serve ARGS`) of the test's own: what it printed so far, and its exit code once gone.
export function startRoom(kavrin, args) {
  const room = { out: "", exit: null, process: spawn(kavrin, ["--serve", ...args], { stdio: ["ignore", "pipe", "inherit"] }) };
  room.process.stdout.on("data", (chunk) => (room.out += chunk.toString()));
  room.process.on("exit", (code) => (room.exit = code));
  return room;
}

// SIGTERM, as a service manager stops it: the room must be gone within 10 s, with exit code 0.
export async function stopRoom(room) {
  if (room.exit !== null) return;
  room.process.kill("SIGTERM");
  await until(() => room.exit !== null, "the room's exit", 10_000).catch((e) => fail(e.message));
  if (room.exit !== 0) fail(`the room exited with ${room.exit}`);
  if (room.exit === null) room.process.kill("SIGKILL");
}

// Debian's Chromium or Firefox ESR, headless, with a profile of its own; Firefox saves downloads into
// `downloads` without asking.
export function launch(engine, profile, downloads) {
  if (engine === "firefox") {
    return puppeteer.launch({
      browser: "firefox",
      dumpio: Boolean(process.env.KAVRIN_BROWSER_DUMPIO),
      executablePath: "/usr/bin/firefox-esr",
      headless: true,
      userDataDir: profile,
      extraPrefsFirefox: downloads
        ? {
            "browser.download.folderList": 2,
            "browser.download.dir": downloads,
            "browser.download.useDownloadDir": true,
            "browser.download.always_ask_before_handling_new_types": false,
            "browser.helperApps.neverAsk.saveToDisk": "text/plain",
          }
        : {},
    });
  }
  return puppeteer.launch({
    executablePath: "/usr/bin/chromium",
    headless: true,
    userDataDir: profile,
    args: ["--headless", "--no-sandbox", "--disable-gpu", "--disable-quic", "--no-first-run",
           "--disable-background-networking", "--disable-component-update", "--disable-sync"],
  });
}

// Firefox over WebDriver BiDi emulates no touch screen: the same size without it.
export const phoneOf = (firefox) =>
  firefox ? { width: 390, height: 844 } : { width: 390, height: 844, isMobile: true, hasTouch: true, deviceScaleFactor: 1 };

// Firefox gives a tab behind another no animation frames, and its remote agent waits for one before an
// input or a look at the page: each page there has a window of its own, in front.
export const newPageOptions = (firefox) => (firefox ? { type: "window" } : {});

export const screenshotPath = (buildDir, name, firefox) => join(buildDir, `web-${name}${firefox ? "-firefox" : ""}.png`);

// Every element with text of its own that is shown: its colour against the first opaque background
// behind it, by WCAG's formula. Large text (24 px, or 18.66 px bold) needs 3:1, the rest 4.5:1; the
// lost-HP pips are symbols of the seat's state and need 4.5:1 as text does here.
function lowContrast() {
  const rgba = (c) => {
    const m = /rgba?\(([^)]+)\)/.exec(c);
    if (!m) return [0, 0, 0, 0];
    const v = m[1].split(/[ ,/]+/).filter(Boolean).map(Number);
    return [v[0], v[1], v[2], v.length > 3 ? v[3] : 1];
  };
  const lum = ([r, g, b]) => {
    const f = (x) => ((x /= 255) <= 0.03928 ? x / 12.92 : ((x + 0.055) / 1.055) ** 2.4);
    return 0.2126 * f(r) + 0.7152 * f(g) + 0.0722 * f(b);
  };
  const background = (e) => {
    for (let n = e; n; n = n.parentElement) {
      const c = rgba(getComputedStyle(n).backgroundColor);
      if (c[3] > 0.5) return c;
    }
    return rgba(getComputedStyle(document.body).backgroundColor);
  };
  const bad = [];
  for (const e of document.querySelectorAll("body *")) {
    const own = [...e.childNodes].some((n) => n.nodeType === 3 && n.textContent.trim());
    if (!own || e.closest("[hidden]") || !e.getClientRects().length) continue;
    const style = getComputedStyle(e);
    if (style.visibility === "hidden" || Number(style.opacity) < 1) {
      bad.push(`${e.className || e.tagName}: opacity ${style.opacity}`);
      continue;
    }
    const fg = rgba(style.color);
    const bg = background(e);
    const [a, b] = [lum(fg), lum(bg)];
    const ratio = (Math.max(a, b) + 0.05) / (Math.min(a, b) + 0.05);
    const size = parseFloat(style.fontSize);
    const large = size >= 24 || (size >= 18.66 && Number(style.fontWeight) >= 700);
    if (ratio < (large ? 3 : 4.5)) bad.push(`${e.className || e.tagName} "${e.textContent.slice(0, 12)}": ${ratio.toFixed(2)}`);
  }
  return bad;
}

export async function checkContrast(page, when) {
  const bad = await page.evaluate(lowContrast);
  if (bad.length) fail(`low contrast ${when}: ${[...new Set(bad)].slice(0, 8).join("; ")}`);
}

export function watchPage(page, name, origin) {
  page.on("console", (m) => {
    if (m.type() === "error") fail(`${name} console: ${m.text()}`);
  });
  page.on("pageerror", (e) => fail(`${name} page error: ${e.message}`));
  page.on("request", (r) => {
    const url = r.url();
    if (!url.startsWith(origin) && !url.startsWith(origin.replace("http", "ws")) && !url.startsWith("data:") &&
        !url.startsWith("blob:"))
      fail(`${name} asked another host: ${url}`);
  });
}

export const visible = (page, selector) => page.$eval(selector, (e) => !e.closest("[hidden]")).catch(() => false);
export const statusOf = (page) => page.$eval("#status", (e) => e.textContent);

// Answers the question a page shows with one tap, chosen by a seeded draw: the same taps each run, and
// no cycle that keeps a play phase from ending. It counts what it did, for the tests' checks.
export class Tapper {
  constructor(seed = 12345) {
    this.seed = seed;
    this.seatTaps = 0;
    this.kinds = [];
    this.abouts = 0;
    this.handSeen = false;
    // The 观星 orders tapped, as the console would read them.
    this.orders = [];
  }

  pick(n) {
    this.seed = (this.seed * 1103515245 + 12345) % 2147483648;
    return Math.floor((this.seed / 2147483648) * n);
  }

  // One click for the question on screen, false when none is shown or it went away before the click
  // (another question took its place): a random choice among its controls; the play phase ends its
  // phase now and then, so that the game moves on.
  async answerOnce(page) {
    try {
      return await this.tap(page);
    } catch (e) {
      if (/detached|not clickable|not visible|no longer|stale|no such node/i.test(String(e && e.message))) return false;
      throw e;
    }
  }

  async tap(page) {
    const kind = await page.evaluate(() => {
      const q = document.getElementById("question");
      if (!q || q.hidden) return "";
      if (document.querySelector("#choices .order-picked")) return "order";
      if (document.querySelector(".seat.targetable")) return "seat";
      if (document.querySelector("#choices button[data-value='e']")) return "command";
      if (document.querySelector("#hand button.playable")) return "card";
      return "choice";
    });
    this.kinds.push(kind);
    if (!kind) return false;
    if (kind === "seat") {
      const seats = await page.$$(".seat.targetable");
      await seats[this.pick(seats.length)].click();
      this.seatTaps++;
      return true;
    }
    if (kind === "command" && !this.handSeen && page.viewport().width === 390) {
      // The play phase on a phone: the hand is in view beside the question, without a scroll.
      this.handSeen = true;
      const box = await page.$eval("#hand", (e) => {
        const r = e.getBoundingClientRect();
        return { top: r.top, bottom: r.bottom, height: innerHeight };
      });
      if (box.top < 0 || box.bottom > box.height) fail(`the hand is out of view in the play phase: ${JSON.stringify(box)}`);
    }
    if (kind === "card") {
      // A dodge or a slash asked says what it answers, after a reload too.
      const [text, about] = await page.evaluate(() => [
        document.getElementById("question-text").textContent,
        document.getElementById("question-about").textContent,
      ]);
      if (/^(出闪|打出杀)/.test(text)) {
        this.abouts++;
        if (!about) fail(`"${text}" does not say what it answers`);
      }
      // A question cards answer: one of the cards the rule accepts, or giving up.
      const cards = await page.$$("#hand button.playable");
      const none = await page.$("#choices button[data-value='0']");
      if (none && this.pick(3) === 0) await none.click();
      else await cards[this.pick(cards.length)].click();
      return true;
    }
    if (kind === "order") {
      // The top cards tapped in a random order, once after a false start: the console must read that
      // order, which the record shows.
      const cards = await page.$$("#choices button[data-value]:not([data-value='again']):not([data-value='keep'])");
      await cards[0].click();
      await page.click("#choices button[data-value='again']");
      const tapped = [];
      for (const left = [...cards]; left.length; ) {
        const [next] = left.splice(this.pick(left.length), 1);
        tapped.push(await next.evaluate((e) => e.dataset.value));
        await next.click();
      }
      this.orders.push(tapped.join(" "));
      return true;
    }
    if (kind === "command") {
      const end = await page.$("#choices button[data-value='e']");
      const cards = await page.$$("#hand button.playable");
      if (this.pick(4) === 0 || !cards.length) await end.click();
      else await cards[this.pick(cards.length)].click();
      return true;
    }
    const buttons = await page.$$("#choices button");
    if (!buttons.length) return false;
    await buttons[this.pick(buttons.length)].click();
    return true;
  }
}
