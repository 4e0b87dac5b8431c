// The room (`kavrin --serve`) in a real browser (the system's headless Chromium or Firefox ESR): a person
// opens a table from the room page's form on a phone, for two people, lands on the table's link and
// holds the opener's place through a reload; the link from its address bar, which carries no seat code,
// brings a friend (another browser profile, whose room page lists the table) to the other seat, which
// fills the table and starts it. Both play to the end by tapping only, and both see the end screen with
// the record to save. Any error in a page's console, or a request to another host, fails the test; every
// text meets AA contrast. Screenshots of the room page and the table at 390x844 and 1280x800 go to the
// build folder.
//   node room.mjs path/to/kavrin build-folder [chromium|firefox]
import { spawn } from "node:child_process";
import { mkdtempSync, readdirSync, rmSync } from "node:fs";
import { tmpdir } from "node:os";
import { join } from "node:path";
import {
  Tapper, checkContrast, fail, failures, freePort, launch, newPageOptions, phoneOf, screenshotPath, sleep, statusOf,
  until as untilAny, visible, watchPage,
} from "./common.mjs";

const [kavrin, buildDir, engine = "chromium"] = process.argv.slice(2);
const firefox = engine === "firefox";
const deadline = Date.now() + Number(process.env.KAVRIN_BROWSER_SECONDS || 120) * 1000;
const until = (test, what, ms = 30_000) => untilAny(test, what, ms, deadline);
// Each engine plays the other mode, so that both are played in a run of the two.
const mode = process.env.KAVRIN_ROOM_MODE || (firefox ? "normal" : "identity");

const port = await freePort();
const records = mkdtempSync(join(tmpdir(), "kvr-room-records-"));
const room = spawn(
  kavrin,
  ["--serve", "--port", String(port), "--seed", process.env.KAVRIN_SEED || "5", "--fast", "--no-color",
   "--records", records, "--data", records],
  { stdio: ["ignore", "pipe", "inherit"] },
);
let roomOut = "";
let roomExit = null;
room.stdout.on("data", (chunk) => (roomOut += chunk.toString()));
room.on("exit", (code) => (roomExit = code));

const profile = mkdtempSync(join(tmpdir(), `kvr-${engine}-`));
const browser = await launch(engine, profile);
const origin = `http://127.0.0.1:${port}`;
const phone = phoneOf(firefox);
const desktop = { width: 1280, height: 800 };
const shot = (name) => screenshotPath(buildDir, `room-${name}`, firefox);
const front = newPageOptions(firefox);

const players = [];
try {
  await until(() => roomOut.includes("房间已开启"), "the room", 15_000);
  const opener = await browser.newPage(front);
  watchPage(opener, "opener", origin);
  await opener.setViewport(phone);
  await opener.goto(origin + "/");
  await checkContrast(opener, "on the room page");
  await opener.screenshot({ path: shot("page-phone") });
  const wide = await opener.evaluate(() => document.documentElement.scrollWidth);
  if (wide > phone.width) fail(`the room page scrolls sideways on a phone: ${wide} px`);

  // The form, by tapping: the mode, two people, and the table listed.
  await opener.select("select[name=mode]", mode);
  await opener.select("select[name=people]", "2");
  await Promise.all([opener.waitForNavigation(), opener.click("form button[type=submit]")]);
  const tablePath = /^\/t\/[0-9a-f]{16}$/;
  await until(() => tablePath.test(new URL(opener.url()).pathname) && !opener.url().includes("#"), "the table's link");
  const link = opener.url();
  if (/code/i.test(link)) fail(`the address bar gives the opener's code away: ${link}`);
  // The opener is asked whether to start, and keeps that place through a reload.
  await until(() => visible(opener, "#question"), "the offer to start");
  await opener.screenshot({ path: shot("lobby-phone") });
  await opener.reload();
  await until(() => visible(opener, "#question"), "the offer to start after a reload");
  if (opener.url() !== link) fail(`the reload changed the link: ${opener.url()}`);

  // The friend finds the table listed in the room, and sits down from the link it was sent.
  const context = await browser.createBrowserContext();
  const friend = await context.newPage(front);
  watchPage(friend, "friend", origin);
  await friend.setViewport(desktop);
  await friend.goto(origin + "/");
  const id = new URL(link).pathname.slice(3);
  if (!(await friend.$(`#tables a[href="/t/${id}"]`))) fail("the room page does not list the open table");
  await checkContrast(friend, "on the room page with a table");
  await friend.screenshot({ path: shot("page-desktop") });
  await friend.goto(link);

  // Both play by tapping; the table filled, so it starts by itself.
  players.push({ page: opener, name: "opener", tapper: new Tapper(101), seated: false });
  players.push({ page: friend, name: "friend", tapper: new Tapper(202), seated: false });
  let taps = 0;
  let shots = false;
  while (!(await visible(opener, "#ended")) || !(await visible(friend, "#ended"))) {
    if (Date.now() > deadline) throw new Error(`the game did not end in time: ${taps} taps; room: ${roomOut.slice(-400)}`);
    let tapped = false;
    for (const p of players) {
      if (!p.seated && (await statusOf(p.page)).includes("号位")) p.seated = true;
      if (await p.tapper.answerOnce(p.page)) tapped = true;
    }
    if (!tapped) {
      await sleep(30);
      continue;
    }
    taps++;
    if (taps >= 12 && !shots && !(await visible(opener, "#ended"))) {
      shots = true;
      await sleep(200);
      await checkContrast(opener, "at play");
      await opener.screenshot({ path: shot("table-phone") });
      await friend.screenshot({ path: shot("table-desktop") });
    }
  }
  if (!shots) fail(`the game ended after ${taps} taps, before the table's screenshots`);
  for (const p of players) {
    if (!p.seated) fail(`the ${p.name} never held a seat`);
    if (!(await p.page.$eval("#won", (e) => !e.hidden && /你(赢|输)/.test(e.textContent))))
      fail(`the ${p.name}'s end does not say whether its seat won`);
    if (!(await p.page.$eval("#result", (e) => e.textContent))) fail(`no result on the ${p.name}'s page`);
    if (!(await visible(p.page, "#record"))) fail(`the ${p.name} has no record to save`);
  }
  await checkContrast(opener, "at the end");
  await opener.screenshot({ path: shot("end-phone") });
  await friend.screenshot({ path: shot("end-desktop") });
  if (!readdirSync(records).includes(`${id}.txt`)) fail("the room kept no record of the table");
  const seats = players.map((p) => p.tapper.seatTaps).join("+");
  console.log(`${engine}, ${mode}: ${taps} rounds of taps, ${seats} seats tapped; ${await opener.$eval("#result", (e) => e.textContent)}`);
} catch (e) {
  fail(`${e.stack} (questions asked: ${players.map((p) => `${p.name} ${p.tapper.kinds.slice(-6)}`).join("; ")})`);
} finally {
  await browser.close();
  if (roomExit === null) {
    room.kill("SIGTERM");
    await untilAny(() => roomExit !== null, "the room's exit", 10_000).catch((e) => fail(e.message));
    if (roomExit !== 0) fail(`the room exited with ${roomExit}`);
  }
  if (roomExit === null) room.kill("SIGKILL");
  rmSync(profile, { recursive: true, force: true });
  rmSync(records, { recursive: true, force: true });
}
for (const f of failures) console.error("FAIL: " + f);
console.log(`${failures.length ? 0 : 1} passed, ${failures.length ? 1 : 0} failed`);
process.exit(failures.length ? 1 : 0);
