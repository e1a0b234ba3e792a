// A real browser (headless Chromium through puppeteer-core) on the console of a running stream:
// moves a compressor threshold slider with the keyboard and checks its value label, the value
// through /api/params and the meters; takes screenshots of the console, of one window and of a
// phone-sized page.
//
// Usage: node browser_test.cjs DRELVANT WORKDIR [SCREENSHOT_DIR]
"use strict";
const { spawn } = require("child_process");
const path = require("path");
const puppeteer = require("puppeteer-core");

const [drelvant, work, shots = work] = process.argv.slice(2);
const RATE = 44100;
let failures = 0;
function check(condition, what) {
  console.log((condition ? "ok: " : "FAIL: ") + what);
  if (!condition) failures++;
}

// A programme with something in every band: a chord of sines at half scale.
function chunk(startFrame, frames) {
  const buffer = Buffer.alloc(frames * 4);
  for (let i = 0; i < frames; i++) {
    const t = (startFrame + i) / RATE;
    let v = 0;
    for (const hz of [60, 220, 550, 1300, 3100, 7000]) v += Math.sin(2 * Math.PI * hz * t) / 6;
    const s = Math.round(0.5 * 32767 * v);
    buffer.writeInt16LE(s, 4 * i);
    buffer.writeInt16LE(s, 4 * i + 2);
  }
  return buffer;
}

async function main() {
  const child = spawn(drelvant, ["process", "-", path.join(work, "out.raw"), "--console", "0", "-q", "--dir", work],
                      { stdio: ["pipe", "ignore", "pipe"] });
  const port = await new Promise((resolve, reject) => {
    child.stderr.once("data", (data) => {
      const match = /http:\/\/127\.0\.0\.1:(\d+)\//.exec(String(data));
      match ? resolve(Number(match[1])) : reject(new Error("no console address: " + data));
    });
  });
  // Real time: a tenth of a second every 100 ms.
  let frame = 0;
  const feeder = setInterval(() => { child.stdin.write(chunk(frame, RATE / 10)); frame += RATE / 10; }, 100);
  const base = `http://127.0.0.1:${port}`;
  const getJson = async (p) => (await fetch(base + p)).json();

  const browser = await puppeteer.launch({
    executablePath: process.env.CHROMIUM || "/usr/bin/chromium",
    headless: true,
    args: ["--no-sandbox", "--disable-gpu", "--no-proxy-server", `--user-data-dir=${path.join(work, "chromium")}`],
  });
  try {
    const page = await browser.newPage();
    await page.setViewport({ width: 1366, height: 768 });
    await page.goto(base + "/", { waitUntil: "load" });
    await page.waitForSelector("#window-10_Band_Compressor input[type=range]");
    await page.waitForFunction(() => document.getElementById("status").textContent === "live", { timeout: 20000 });
    await page.screenshot({ path: path.join(shots, "console.png") });

    const all = await getJson("/api/params?window=10_Band_Compressor");
    const threshold = all.params.find((p) => /Threshold/.test(p.key));
    check(threshold !== undefined, "the compressor window has a threshold slider: " + (threshold && threshold.key));
    const band = /Threshold(\d+)/.exec(threshold.key)[1];
    const meterName = `band${band}_compression_db`;
    await new Promise((r) => setTimeout(r, 1500));
    const before = (await getJson("/api/meters")).meters[meterName];

    // A second browser on the same console follows the change.
    const other = await browser.newPage();
    await other.goto(base + "/", { waitUntil: "load" });
    await other.waitForFunction(() => document.getElementById("status").textContent === "live", { timeout: 20000 });
    await page.evaluate(() => { document.getElementById("window-10_Band_Compressor").open = true; });
    const selector = `[id="param-${threshold.key}"]`;
    await page.focus(selector);
    const steps = Math.round(12 / threshold.line);  // 12 dB lower
    for (let i = 0; i < steps; i++) await page.keyboard.press("ArrowLeft");
    const expected = threshold.value - steps * threshold.line;
    await page.waitForFunction((key, text) => document.getElementById("label-" + key).textContent === text,
                               { timeout: 10000 }, threshold.key, expected.toFixed(threshold.decimals));
    check(true, `the value label shows ${expected.toFixed(threshold.decimals)} dB after ${steps} key presses`);
    let applied = null;
    for (let i = 0; i < 50; i++) {
      applied = (await getJson("/api/params?window=10_Band_Compressor")).params.find((p) => p.key === threshold.key).value;
      if (Math.abs(applied - expected) < 1e-6) break;
      await new Promise((r) => setTimeout(r, 100));
    }
    check(Math.abs(applied - expected) < 1e-6, `/api/params gives ${applied} for ${threshold.key}`);
    await new Promise((r) => setTimeout(r, 2500));
    const after = (await getJson("/api/meters")).meters[meterName];
    check(after > before + 1, `the band ${band} compression meter rose from ${before.toFixed(2)} to ${after.toFixed(2)} dB`);
    const barHeight = await page.$eval(`[id="${meterName}"]`, (e) => parseFloat(e.style.height));
    check(barHeight > 0, `the page's band ${band} compression bar follows (${barHeight.toFixed(1)} %)`);

    const followed = await other.waitForFunction(
        (key, text) => document.getElementById("label-" + key).textContent === text,
        { timeout: 10000 }, threshold.key, expected.toFixed(threshold.decimals)).then(() => true, () => false);
    check(followed, "a second browser on the console shows the new value too");
    await other.close();
    const windowBox = await page.$("#window-10_Band_Compressor");
    await windowBox.screenshot({ path: path.join(shots, "compressor.png") });
    await page.evaluate(() => { document.getElementById("window-Final_Clipper").open = true; });
    await (await page.$("#window-Final_Clipper")).screenshot({ path: path.join(shots, "final-clipper.png") });
    await page.evaluate(() => { document.getElementById("analysis").open = true; });
    await new Promise((r) => setTimeout(r, 600));
    const drawn = await page.$eval("#scope", (c) => {
      const data = c.getContext("2d").getImageData(0, 0, c.width, c.height).data;
      let green = 0;
      for (let i = 0; i < data.length; i += 4) if (data[i + 1] > 150 && data[i] < 150) green++;
      return green;
    });
    check(drawn > 100, `the oscilloscope draws the output (${drawn} trace pixels)`);
    await (await page.$("#analysis")).screenshot({ path: path.join(shots, "analysis.png") });
    await page.setViewport({ width: 390, height: 844, isMobile: true });
    await page.reload({ waitUntil: "load" });
    await page.waitForSelector("#presetList option");
    const overflow = await page.evaluate(() => document.documentElement.scrollWidth - window.innerWidth);
    check(overflow <= 0, `nothing runs off a phone's screen sideways (${overflow} px)`);
    await page.screenshot({ path: path.join(shots, "phone.png") });
  } finally {
    await browser.close();
    clearInterval(feeder);
    child.stdin.end();
  }
  const status = await new Promise((resolve) => child.on("exit", resolve));
  check(status === 0, "the stream ends normally");
  console.log(failures ? `${failures} check(s) failed` : "all checks passed");
  process.exit(failures ? 1 : 0);
}

main().catch((error) => { console.log("FAIL: " + error.stack); process.exit(1); });
