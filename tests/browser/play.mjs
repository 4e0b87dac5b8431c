// The hosted game's page in a real browser (the system's headless Chromium): a player joins from a
// phone-sized page and plays a whole game by clicking only, reloads mid-game and goes on with its
// seat, and a second page watches. Any error in either page's console, or a request to another
// host, fails the test. Screenshots at 390x844 and 1280x800 go to the build folder.
//   node play.mjs path/to/kavrin build-folder
import { spawn } from "node:child_process";
import { mkdtempSync, rmSync } from "node:fs";
import { createServer } from "node:net";
import { tmpdir } from "node:os";
import { join } from "node:path";
import puppeteer from "puppeteer-core";

const [kavrin, buildDir] = process.argv.slice(2);
const deadline = Date.now() + Number(process.env.KAVRIN_BROWSER_SECONDS || 240) * 1000;
const failures = [];
const fail = (why) => failures.push(why);
const sleep = (ms) => new Promise((r) => setTimeout(r, ms));

function freePort(port = 0) {
  return new Promise((resolve) => {
    const server = createServer();
    server.once("error", () => resolve(0));
    server.listen(port, "127.0.0.1", () => {
      const got = server.address().port;
      server.close(() => resolve(got));
    });
  });
}

// Two free ports in a row: the game's and the page's.
async function ports() {
  for (;;) {
    const game = await freePort();
    if (game < 65535 && (await freePort(game + 1))) return game;
  }
}

const gamePort = await ports();
const webPort = gamePort + 1;
const record = join(mkdtempSync(join(tmpdir(), "kvr-browser-")), "record.txt");
const host = spawn(
  kavrin,
  ["--host", "--players", "2", "--wait", "60", "--port", String(gamePort), "--mode", "normal", "--seed", process.env.KAVRIN_SEED || "22",
   "--no-color", "--record", record],
  { stdio: ["pipe", "pipe", "inherit"] },
);
let hostOut = "";
let hostExit = null;
host.on("exit", (code) => (hostExit = code));
host.stdin.on("error", () => {});

// The host's own seat answers whenever its text stands still, as a person at the keyboard would;
// `holding` keeps it from answering, which holds the game at the host's next question.
let holding = false;
let released = false;
let lastChange = Date.now();
let answeredAt = 0;
host.stdout.on("data", (chunk) => {
  hostOut += chunk.toString();
  lastChange = Date.now();
});
// It ends its play phases at once, declines, gives up what it may, and otherwise takes the first choice.
function hostAnswer(shown) {
  const tail = shown.slice(-200);
  if (tail.includes("e=结束")) return "e";
  if (tail.includes("y/n")) return "n";
  const again = /请输入(\d+)~\d+：$/.exec(tail);
  if (again) return again[1];
  if (tail.includes("0放弃") || tail.includes("0取消")) return "0";
  return "1";
}
// It answers only while the player's page shows the host's seat (1号) as the one asked and the host's
// text ends with a prompt, once it has stood still for a moment, so that no answer is typed ahead of
// its question; after
// the game the test releases it to leave the end screen. Before the player has its seat (the host's
// choice of hero) there is no page to ask.
// A question that lists the hand after its prompt ends with the listing; a visitor's notice may follow
// any prompt.
const prompted = () => {
  const shown = hostOut.replace(/(\[观战\][^\n]*\n)+$/, "");
  if (/(> |：|\.\.\.)$/.test(shown)) return true;
  // Nothing but the hand's listing may follow such a prompt: a log line after it means it was answered.
  return /0(放弃|取消)）?：\n\n手牌：\n(\[\d+\][^\n]*\n)*\n?$/.test(shown.slice(-600));
};
// When the page last showed the host's seat as the one asked.
let hostAskedAt = 0;
const typed = [];
let gated = false;
const typist = setInterval(() => {
  if (holding || hostExit !== null || hostOut.length === answeredAt || Date.now() - lastChange < 25) return;
  if (gated && !released && (hostAskedAt < lastChange + 20 || !prompted())) return;
  if (hostOut.includes("对局结束 ====") && !released) return;
  answeredAt = hostOut.length;
  typed.push(`${hostAnswer(hostOut)} <- ${JSON.stringify(hostOut.slice(-80))} asked ${hostAskedAt - lastChange}`);
  host.stdin.write(hostAnswer(hostOut) + "\n");
}, 5);

async function until(test, what, ms = 30_000) {
  const end = Math.min(deadline, Date.now() + ms);
  while (Date.now() < end) {
    if (await test()) return true;
    await sleep(50);
  }
  throw new Error("timed out waiting for " + what);
}

const profile = mkdtempSync(join(tmpdir(), "kvr-chromium-"));
const browser = await puppeteer.launch({
  executablePath: "/usr/bin/chromium",
  headless: true,
  userDataDir: profile,
  args: ["--headless", "--no-sandbox", "--disable-gpu", "--disable-quic", "--no-first-run",
         "--disable-background-networking", "--disable-component-update", "--disable-sync"],
});

const origin = `http://127.0.0.1:${webPort}`;
const phone = { width: 390, height: 844, isMobile: true, hasTouch: true, deviceScaleFactor: 1 };
function watchPage(page, name) {
  page.on("console", (m) => {
    if (m.type() === "error") fail(`${name} console: ${m.text()}`);
  });
  page.on("pageerror", (e) => fail(`${name} page error: ${e.message}`));
  page.on("request", (r) => {
    const url = r.url();
    if (!url.startsWith(origin) && !url.startsWith(origin.replace("http", "ws")) && !url.startsWith("data:"))
      fail(`${name} asked another host: ${url}`);
  });
}

const visible = (page, selector) =>
  page.$eval(selector, (e) => !e.closest("[hidden]")).catch(() => false);
const statusOf = (page) => page.$eval("#status", (e) => e.textContent);

// A seeded choice: the same clicks each run, and no cycle that keeps a play phase from ending.
let seed = 12345;
const pick = (n) => {
  seed = (seed * 1103515245 + 12345) % 2147483648;
  return Math.floor((seed / 2147483648) * n);
};

// One click for the question on screen: a random choice among its controls; the play phase ends its
// phase now and then, so that the game moves on.
async function answerOnce(page) {
  const kind = await page.evaluate(() => {
    const q = document.getElementById("question");
    if (!q || q.hidden) return "";
    if (document.querySelector("#choices .order-picked")) return "order";
    if (document.querySelector("#hand button.playable")) return "command";
    return "choice";
  });
  if (!kind) return false;
  if (kind === "order") {
    for (;;) {
      const next = await page.$("#choices button[data-value]:not([disabled]):not([data-value='again']):not([data-value='keep'])");
      if (!next) break;
      await next.click();
    }
    return true;
  }
  if (kind === "command") {
    const end = await page.$("#choices button[data-value='e']");
    const cards = await page.$$("#hand button.playable");
    if (pick(3) === 0 || !cards.length) await end.click();
    else await cards[pick(cards.length)].click();
    return true;
  }
  const buttons = await page.$$("#choices button");
  if (!buttons.length) return false;
  await buttons[pick(buttons.length)].click();
  return true;
}

try {
  const player = await browser.newPage();
  watchPage(player, "player");
  await player.setViewport(phone);
  await until(() => hostOut.includes("浏览器打开以下地址"), "the host's lobby", 15_000);
  await player.goto(origin + "/");
  await until(async () => (await statusOf(player)).includes("号位"), "a seat");
  gated = true;
  const asker = setInterval(async () => {
    const seat = await player.$eval(".seat.asked", (e) => e.dataset.seat).catch(() => null);
    if (seat === "0") hostAskedAt = Date.now();
  }, 20);
  const seatStatus = await statusOf(player);

  let turn = 0;
  let reloaded = false;
  let spectator = null;
  let shots = false;
  while (!(await visible(player, "#ended"))) {
    if (Date.now() > deadline) {
      const q = await player.$eval("#question", (e) => e.hidden + " " + e.textContent.slice(0, 300)).catch(() => "?");
      throw new Error(`the game did not end in time: ${turn} answers; ${await statusOf(player)}; ${q}; host: ${hostOut.slice(-600)}`);
    }
    if (!(await answerOnce(player))) {
      await sleep(30);
      continue;
    }
    turn++;
    if (turn === 2 && !spectator) {
      const context = await browser.createBrowserContext();
      spectator = await context.newPage();
      watchPage(spectator, "spectator");
      await spectator.setViewport({ width: 1280, height: 800 });
      await spectator.goto(origin + "/");
      await until(async () => (await statusOf(spectator)).includes("观战"), "the spectator's place");
    }
    if (turn === 3 && !shots) {
      shots = true;
      await sleep(200);
      await player.screenshot({ path: join(buildDir, "web-phone.png") });
      // The same touch screen, wider: a change of isMobile or hasTouch would reload the page.
      await player.setViewport({ ...phone, width: 1280, height: 800 });
      await player.screenshot({ path: join(buildDir, "web-desktop.png") });
      for (const width of [360, 390]) {
        await player.setViewport({ ...phone, width });
        const wide = await player.evaluate(() => document.documentElement.scrollWidth);
        if (wide > width) fail(`the page scrolls sideways on a ${width} px phone: ${wide} px`);
      }
    }
    if (turn === 5 && !reloaded) {
      // The game is held at the host's next question while the page comes back.
      reloaded = true;
      holding = true;
      await player.reload();
      await until(async () => (await statusOf(player)).includes("座位码正确"), "the seat code taken back");
      holding = false;
      await until(async () => (await statusOf(player)) === seatStatus || (await visible(player, "#ended")), "the seat again");
    }
  }
  // The record first: the host serves it while its end screen waits.
  const kept = await player
    .evaluate(async () => (await fetch("/record")).status)
    .catch((e) => `${e.message}; the host's end: ${hostOut.slice(-300)}; exit ${hostExit}`);
  if (kept !== 200) fail("the record is not served: " + kept);
  if (!reloaded) fail(`the game ended before the reload, after ${turn} answers`);
  if (!spectator) fail("the game ended before the spectator came");
  const result = await player.$eval("#result", (e) => e.textContent);
  if (!result) fail("no result on the page");
  const roles = await player.$$eval("#roles li", (items) => items.map((i) => i.textContent));
  if (roles.length !== 6 || roles.some((r) => r.endsWith("未知"))) fail("roles not all shown: " + roles);
  if (!(await visible(player, "#record"))) fail("no record to download");
  if (spectator) {
    await until(() => visible(spectator, "#ended"), "the spectator's end", 10_000);
    if (await visible(spectator, "#mine")) fail("the spectator shows a hand");
    const lines = await spectator.$$eval("#log p", (p) => p.length);
    if (lines < 5) fail("the spectator's log is nearly empty");
    await spectator.screenshot({ path: join(buildDir, "web-spectator.png") });
  }
  released = true;
  clearInterval(asker);
  await until(() => hostExit !== null, "the host's exit", 30_000);
  if (hostExit !== 0) fail("the host exited with " + hostExit);
  console.log(`clicked ${turn} answers; ${result}`);
} catch (e) {
  fail(e.stack);
} finally {
  clearInterval(typist);
  await browser.close();
  if (hostExit === null) host.kill("SIGKILL");
  rmSync(profile, { recursive: true, force: true });
  rmSync(join(record, ".."), { recursive: true, force: true });
}
for (const f of failures) console.error("FAIL: " + f);
// What the host's seat was told last, to tell a harness fault from the program's.
if (failures.length) console.error(typed.slice(-6).join("\n"));
console.log(`${failures.length ? 0 : 1} passed, ${failures.length ? 1 : 0} failed`);
process.exit(failures.length ? 1 : 0);
