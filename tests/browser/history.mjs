// The room's kept games in a real browser (the system's headless Chromium or Firefox ESR): after a game
// at a table opened for one person, the history lists it; its replay steps forward and back, jumps to a
// round, plays, and shows every hand and role only once "明牌" is ticked; the record file opened from the
// history plays in the viewer too; the statistics page draws its charts. Any error in a page's console,
// or a request to another host, fails the test; every text meets AA contrast, and no page scrolls
// sideways on a phone. Screenshots at 390x844 and 1280x800 go to the build folder.
//   node history.mjs path/to/kavrin build-folder [chromium|firefox]
import { mkdtempSync, readFileSync, rmSync, writeFileSync } from "node:fs";
import { tmpdir } from "node:os";
import { join } from "node:path";
import {
  Tapper, checkContrast, fail, failures, freePort, launch, newPageOptions, phoneOf, screenshotPath, sleep,
  startRoom, stopRoom, until as untilAny, visible, watchPage,
} from "./common.mjs";

const [kavrin, buildDir, engine = "chromium"] = process.argv.slice(2);
const firefox = engine === "firefox";
const deadline = Date.now() + Number(process.env.KAVRIN_BROWSER_SECONDS || 150) * 1000;
const until = (test, what, ms = 30_000) => untilAny(test, what, ms, deadline);

const port = await freePort();
const data = mkdtempSync(join(tmpdir(), "kvr-history-"));
const room = startRoom(kavrin, ["--port", String(port), "--seed", process.env.KAVRIN_SEED || "9", "--fast",
                                "--no-color", "--records", data, "--data", data]);

const profile = mkdtempSync(join(tmpdir(), `kvr-${engine}-`));
const browser = await launch(engine, profile);
const origin = `http://127.0.0.1:${port}`;
const phone = phoneOf(firefox);
const desktop = { width: 1280, height: 800 };
const shot = (name) => screenshotPath(buildDir, `history-${name}`, firefox);
const front = newPageOptions(firefox);

// Both sizes of a page: no sideways scroll on the phone, AA contrast, and a screenshot of each. A change
// to or from a touch screen reloads the page: `ready` brings it back to what is to be shown.
async function bothSizes(page, name, ready = async () => {}) {
  for (const [size, viewport] of [["phone", phone], ["desktop", desktop]]) {
    await page.setViewport(viewport);
    await ready();
    await sleep(150);
    if (size === "phone") {
      const wide = await page.evaluate(() => document.documentElement.scrollWidth);
      if (wide > phone.width) fail(`the ${name} page scrolls sideways on a phone: ${wide} px`);
    }
    await checkContrast(page, `on the ${name} page at ${size} size`);
    await page.screenshot({ path: shot(`${name}-${size}`) });
  }
}

const whereOf = (page) => page.$eval("#where", (e) => e.textContent);
const logLines = (page) => page.$$eval("#log p", (l) => l.length);
const revealed = (page) => page.$$eval(".revealed", (l) => l.length);

try {
  await until(() => room.out.includes("房间已开启"), "the room", 15_000);
  const page = await browser.newPage(front);
  watchPage(page, "page", origin);
  await page.setViewport(desktop);

  // A table for one person: the computer fills the rest, and the page plays it out by tapping.
  await page.goto(origin + "/open?mode=normal&people=1&listed=1");
  await until(() => /^\/t\/[0-9a-f]{16}$/.test(new URL(page.url()).pathname), "the table's link");
  const id = new URL(page.url()).pathname.slice(3);
  const tapper = new Tapper(77);
  while (!(await visible(page, "#ended"))) {
    if (Date.now() > deadline) throw new Error("the game did not end in time");
    if (!(await tapper.answerOnce(page))) await sleep(30);
  }
  const result = await page.$eval("#result", (e) => e.textContent);
  await until(() => room.out.includes(`牌桌 ${id} 已结束`), "the table's end");

  // The history lists it, newest first, with the person's seat marked.
  await page.goto(origin + "/history");
  const listed = () => until(() => page.$("#games .game a"), "the history's games");
  await listed();
  const first = await page.$eval("#games .game", (e) => ({
    href: e.querySelector("a").getAttribute("href"),
    text: e.textContent,
    people: e.querySelectorAll(".person").length,
  }));
  if (!/^\/replay\/\d+$/.test(first.href)) fail(`the game's link is ${first.href}`);
  if (first.people !== 1) fail(`the history marks ${first.people} seats as people's`);
  if (!first.text.includes(result.replace(/^.*?：/, "").trim().slice(0, 4))) fail(`the history's result: ${first.text}`);
  await bothSizes(page, "list", listed);
  // The table's own history lists it too.
  await page.goto(`${origin}/t/${id}/history`);
  await until(() => page.$("#games .game a"), "the table's history");

  // The replay: steps forward and back, the log keeping step, a jump to the last round, play and pause.
  await page.goto(origin + first.href);
  await until(async () => (await page.$$("#seats .seat")).length === 6, "the replay's table");
  const start = await whereOf(page);
  for (let k = 0; k < 6; k++) {
    const before = await whereOf(page);
    await page.click("#next");
    await until(async () => (await whereOf(page)) !== before, "the next step");
  }
  const lines = await logLines(page);
  if (!lines) fail("the replay's log is empty after six steps");
  const six = await whereOf(page);
  await page.click("#prev");
  await until(async () => (await whereOf(page)) !== six, "the previous step");
  if ((await logLines(page)) > lines) fail("a step back left the log longer");
  if (start === (await whereOf(page))) fail("the replay did not move");
  if (await revealed(page)) fail("hands shown without 明牌");
  const rounds = await page.$$eval("#round option", (o) => o.map((x) => x.value));
  await page.select("#round", rounds[rounds.length - 1]);
  await until(async () => (await whereOf(page)).includes(`第${rounds.length}轮`) || rounds.length === 1, "the last round");
  await page.select("#speed", "200");
  const playedFrom = await whereOf(page);
  await page.click("#play");
  await until(async () => (await whereOf(page)) !== playedFrom, "the replay playing", 5_000);
  await page.click("#play");
  if (await page.$eval("#reveal", (e) => e.disabled)) fail("明牌 is not offered after the game's end");
  // Mid-game, a step after the deal, with every hand and role shown.
  const midGame = async () => {
    await until(async () => (await page.$$("#seats .seat")).length === 6, "the replay's table");
    const mid = rounds[Math.floor(rounds.length / 2)];
    await page.select("#round", mid);
    await until(async () => (await page.$eval("#slider", (e) => e.value)) === mid, "the middle round");
    if (!(await page.$eval("#reveal", (e) => e.checked))) await page.click("#reveal");
    await until(async () => (await revealed(page)) === 6, "every hand and role shown");
  };
  await midGame();
  await bothSizes(page, "replay", midGame);
  await page.click("#reveal");
  await until(async () => (await revealed(page)) === 0, "the hands hidden again");

  // The record file, opened from the history, plays in the viewer under a link of its own.
  const file = join(data, "upload.txt");
  writeFileSync(file, readFileSync(join(data, `${id}.txt`)));
  await page.goto(origin + "/history");
  const input = await page.$("#file");
  await Promise.all([page.waitForNavigation(), input.uploadFile(file)]);
  if (!/^\/replay\/u\/[0-9a-f]+$/.test(new URL(page.url()).pathname)) fail(`the opened record is at ${page.url()}`);
  await until(async () => (await page.$$("#seats .seat")).length === 6, "the opened record's table");

  // The statistics draw their charts.
  await page.goto(origin + "/stats");
  const charts = () => until(async () => (await page.$$("svg.chart")).length >= 4, "the statistics' charts");
  await charts();
  await bothSizes(page, "stats", charts);
  console.log(`${engine}: the game of ${id} kept, replayed and counted; ${result}`);
} catch (e) {
  fail(e.stack);
} finally {
  await browser.close();
  await stopRoom(room);
  rmSync(profile, { recursive: true, force: true });
  rmSync(data, { recursive: true, force: true });
}
for (const f of failures) console.error("FAIL: " + f);
console.log(`${failures.length ? 0 : 1} passed, ${failures.length ? 1 : 0} failed`);
process.exit(failures.length ? 1 : 0);
