// The hosted game's page in a real browser (the system's headless Chromium or Firefox ESR): a player
// joins from a phone-sized page and plays a whole game by tapping only, targets by tapping seats,
// orders the top cards (观星) and the host reads that order, reloads mid-game and goes on with its
// seat, and a second page watches. At 390x844 the hand is in
// view beside the play phase's question; every text on the page meets AA contrast; the record is
// saved from the page after the host has exited. Any error in either page's console, or a request
// to another host, fails the test. Screenshots at 390x844 and 1280x800 go to the build folder.
//   node play.mjs path/to/kavrin build-folder [chromium|firefox]
import { spawn } from "node:child_process";
import { existsSync, mkdtempSync, readFileSync, rmSync, writeFileSync } from "node:fs";
import { tmpdir } from "node:os";
import { join } from "node:path";
import {
  Tapper, checkContrast, fail, failures, freePort, launch, newPageOptions, phoneOf, screenshotPath, sleep, statusOf,
  until as untilAny, visible, watchPage,
} from "./common.mjs";

const [kavrin, buildDir, engine = "chromium"] = process.argv.slice(2);
const firefox = engine === "firefox";
const deadline = Date.now() + Number(process.env.KAVRIN_BROWSER_SECONDS || 240) * 1000;

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
  ["--host", "--players", "2", "--wait", "60", "--port", String(gamePort), "--mode", "normal", "--seed", process.env.KAVRIN_SEED || "38",
   "--no-color", "--record", record, "--fast"],
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
// A question that lists the hand after its prompt ends with the listing; a visitor's notice, or the
// network's (a seat taken over by a reloaded page), may follow any prompt.
const prompted = () => {
  const shown = hostOut.replace(/(\[(观战|网络)\][^\n]*\n)+$/, "");
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

const until = (test, what, ms = 30_000) => untilAny(test, what, ms, deadline);

const profile = mkdtempSync(join(tmpdir(), `kvr-${engine}-`));
// Where the page's saved record lands.
const downloads = mkdtempSync(join(tmpdir(), "kvr-saved-"));
const browser = await launch(engine, profile, downloads);

const origin = `http://127.0.0.1:${webPort}`;
const phone = phoneOf(firefox);
const shot = (name) => screenshotPath(buildDir, name, firefox);
const tapper = new Tapper();
const { kinds, orders } = tapper;
const answerOnce = (page) => tapper.answerOnce(page);

try {
  const front = newPageOptions(firefox);
  const player = await browser.newPage(front);
  watchPage(player, "player", origin);
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
      const q = await player
        .evaluate(() => {
          const log = [...document.querySelectorAll("#log p")].slice(-4).map((p) => p.textContent).join(" | ");
          const asked = document.querySelector(".seat.asked");
          return `${document.getElementById("question").hidden} ${document.getElementById("question-text").textContent}; asked ${asked && asked.dataset.seat}; log ${log}`;
        })
        .catch(() => "?");
      const typist = `kinds ${kinds.slice(-8)} holding ${holding} prompted ${prompted()} asked ${Date.now() - hostAskedAt} ms ago, changed ${Date.now() - lastChange} ms ago`;
      const before = hostOut.length;
      await sleep(1000);
      writeFileSync(join(buildDir, "web-host-tail.txt"), `${before} ${hostOut.length} ${JSON.stringify(hostOut.slice(before).slice(0, 3000))}\n` + hostOut.slice(-6000));
      throw new Error(`the game did not end in time: ${turn} answers; ${await statusOf(player)}; ${q}; ${typist}; host: ${hostOut.slice(-600)}`);
    }
    if (!(await answerOnce(player))) {
      await sleep(30);
      continue;
    }
    turn++;
    if (turn === 2 && !spectator) {
      const context = await browser.createBrowserContext();
      spectator = await context.newPage(front);
      watchPage(spectator, "spectator", origin);
      await spectator.setViewport({ width: 1280, height: 800 });
      await spectator.goto(origin + "/");
      await until(async () => (await statusOf(spectator)).includes("观战"), "the spectator's place");
    }
    if (turn === 3 && !shots) {
      shots = true;
      await sleep(200);
      await checkContrast(player, "at play");
      await player.screenshot({ path: shot("phone") });
      // The same touch screen, wider: a change of isMobile or hasTouch would reload the page.
      await player.setViewport({ ...phone, width: 1280, height: 800 });
      await player.screenshot({ path: shot("desktop") });
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
      await until(async () => (await statusOf(player)) === seatStatus || (await visible(player, "#ended")), "the seat again").catch(async (e) => {
        throw new Error(`${e.message}: "${await statusOf(player)}", not "${seatStatus}"`);
      });
    }
  }
  if (!reloaded) fail(`the game ended before the reload, after ${turn} answers`);
  if (!tapper.seatTaps) fail("no target was chosen by tapping a seat");
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
    await spectator.screenshot({ path: shot("spectator") });
  }
  if (!(await player.$eval("#won", (e) => !e.hidden && /你(赢|输)/.test(e.textContent)))) fail("the end does not say whether this seat won");
  await checkContrast(player, "at the end");
  await player.screenshot({ path: shot("end") });
  released = true;
  clearInterval(asker);
  await until(() => hostExit !== null, "the host's exit", 30_000);
  if (hostExit !== 0) fail("the host exited with " + hostExit);
  // The host is gone: the record is saved from the page's memory, byte for byte as the host wrote it.
  if (!firefox) {
    const session = await player.createCDPSession();
    await session.send("Browser.setDownloadBehavior", { behavior: "allow", downloadPath: downloads });
  }
  await player.click("#record");
  const savedAt = join(downloads, "kavrin-record.txt");
  await until(() => existsSync(savedAt) && readFileSync(savedAt).length > 0, "the saved record", 10_000).catch((e) => fail(e.message));
  if (existsSync(savedAt) && !readFileSync(savedAt).equals(readFileSync(record)))
    fail(`the record saved differs from the host's file: ${JSON.stringify(readFileSync(savedAt, "utf8").slice(-150))} / ${JSON.stringify(readFileSync(record, "utf8").slice(-150))}`);
  // The game's seed gives the page's seat the hero who orders the top cards at the start of its turns.
  if (!orders.length) fail("no 观星 order was asked of the page");
  const answered = readFileSync(record, "utf8").split("\n");
  for (const order of orders)
    if (!answered.some((l) => l.endsWith(order))) fail(`the order tapped, ${order}, is not what the host read`);
  console.log(`${engine}: clicked ${turn} answers, ${tapper.seatTaps} seats tapped, ${tapper.abouts} dodges or slashes, ${orders.length} orders; ${result}`);
} catch (e) {
  fail(`${e.stack} (after ${kinds.length} questions: ${kinds.slice(-6)}; turn ${typeof turnCount === "undefined" ? "?" : turnCount})`);
} finally {
  clearInterval(typist);
  await browser.close();
  if (hostExit === null) host.kill("SIGKILL");
  rmSync(profile, { recursive: true, force: true });
  rmSync(downloads, { recursive: true, force: true });
  rmSync(join(record, ".."), { recursive: true, force: true });
}
for (const f of failures) console.error("FAIL: " + f);
// What the host's seat was told last, to tell a harness fault from the program's.
if (failures.length) console.error(typed.slice(-6).join("\n"));
console.log(`${failures.length ? 0 : 1} passed, ${failures.length ? 1 : 0} failed`);
process.exit(failures.length ? 1 : 0);
