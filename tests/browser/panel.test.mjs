// The demo panel in headless Chromium against the built Velmora, its apps and the console
// simulator, all on loopback. Every value the panel changes is checked in the simulator
// itself, over a direct OSC line that does not pass through the server.
import { after, before, test } from 'node:test';
import assert from 'node:assert/strict';
import fs from 'node:fs';
import path from 'node:path';
import {
  consoleValue, freeTcpPort, launchBrowser, makeServerDir, screenshotDir, setConsoleValue,
  startConsoles, startServer, stopProgram, uniqueLoopback,
} from './harness.mjs';

const X32 = 10023;
const WING = 2223;

const live = uniqueLoopback();
let silent = uniqueLoopback();
while (silent === live) silent = uniqueLoopback();

let consoles;
let silentConsoles;
let server;
let serverDir;
let browser;
let page;
let baseUrl;
const pageErrors = [];

before(async () => {
  serverDir = makeServerDir();
  consoles = await startConsoles(live);
  silentConsoles = await startConsoles(silent, ['--silent']);
  const port = await freeTcpPort();
  server = await startServer(serverDir, port);
  baseUrl = `http://127.0.0.1:${port}/`;
  browser = await launchBrowser();
  page = await browser.context.newPage();
  page.on('pageerror', (error) => pageErrors.push(error.message));
  page.on('console', (message) => {
    if (message.type() === 'error') pageErrors.push(message.text());
  });
  await page.goto(baseUrl);
  await page.waitForSelector('body[data-ready="yes"]');
});

after(async () => {
  if (browser) await browser.close();
  await stopProgram(server);
  await stopProgram(consoles);
  await stopProgram(silentConsoles);
  if (serverDir) fs.rmSync(serverDir, { recursive: true, force: true });
});

// ----- Page helpers -----

async function useConsole(address, kind) {
  await page.fill('#console-ip', address);
  await page.selectOption('#console-kind', kind);
}

/** Clicks `button` and waits until `statusId` reports success or failure. */
async function act(button, statusId) {
  await page.evaluate((id) => {
    const element = document.getElementById(id);
    element.className = 'status';
    element.textContent = '';
  }, statusId);
  await page.click(button);
  return waitForStatus(statusId);
}

async function waitForStatus(statusId, textPart) {
  await page.waitForFunction(([id, part]) => {
    const element = document.getElementById(id);
    const settled = element.classList.contains('ok') || element.classList.contains('error');
    return settled && (!part || element.textContent.includes(part));
  }, [statusId, textPart ?? null], { timeout: 10000 });
  return page.$eval(`#${statusId}`, (element) => ({
    ok: element.classList.contains('ok'),
    text: element.textContent,
  }));
}

function assertNear(actual, expected, what) {
  assert.ok(Math.abs(actual - expected) < 1e-6, `${what}: the simulator holds ${actual}, not ${expected}`);
}

async function logCount() {
  return page.$$eval('#log li', (items) => items.length);
}

async function lastLogLine() {
  return page.$eval('#log li', (item) => item.textContent);
}

async function readName(strip, number) {
  await page.selectOption('#name-target', strip);
  await page.fill('#name-number', String(number));
  await page.fill('#name-value', '');
  const status = await act('#name-read', 'name-status');
  return { status, name: await page.inputValue('#name-value') };
}

async function rename(strip, number, name) {
  await page.selectOption('#name-target', strip);
  await page.fill('#name-number', String(number));
  await page.fill('#name-value', name);
  return act('#name-rename', 'name-status');
}

// ----- Tests -----

test('the panel loads with its scripts and points at the local simulator by default', async () => {
  assert.equal(await page.title(), 'Velmora console panel');
  assert.equal(await page.inputValue('#console-ip'), '127.0.0.1');
  assert.equal(await page.evaluate(() => typeof window.Velmora.parseReply), 'function');
  assert.deepEqual(pageErrors, []);
});

test('the console check identifies both kinds of console', async () => {
  await useConsole(live, 'x32');
  let status = await act('#console-check', 'console-status');
  assert.ok(status.ok, status.text);
  assert.match(status.text, new RegExp(`^Found an X32: .*at ${live.replaceAll('.', '\\.')}\\.$`));

  await useConsole(live, 'wing');
  status = await act('#console-check', 'console-status');
  assert.ok(status.ok, status.text);
  assert.match(status.text, /^Found a Wing: .*model NGC-FULL/);
});

test('X32 channel and bus names are read through their apps, renamed and read back', async () => {
  await useConsole(live, 'x32');
  let read = await readName('ch', 5);
  assert.ok(read.status.ok, read.status.text);
  assert.equal(read.name, 'Ch 05');
  assert.match(read.status.text, /Channel 5 is called "Ch 05" \(read via app Dravisk\)/);

  const renamed = await rename('ch', 5, 'Lead Vox');
  assert.ok(renamed.ok, renamed.text);
  assert.equal(renamed.text, 'Renamed: Channel 5 is now called "Lead Vox".');
  assert.equal(await consoleValue(live, X32, '/ch/05/config/name'), 'Lead Vox');
  read = await readName('ch', 5);
  assert.equal(read.name, 'Lead Vox');

  read = await readName('bus', 3);
  assert.ok(read.status.ok, read.status.text);
  assert.equal(read.name, 'Bus 03');
  assert.match(read.status.text, /via app Marlune/);
  const bus = await rename('bus', 3, 'Drums');
  assert.ok(bus.ok, bus.text);
  assert.equal(await consoleValue(live, X32, '/bus/03/config/name'), 'Drums');
  assert.equal((await readName('bus', 3)).name, 'Drums');
});

test('Wing channel names go through their app, Wing bus names straight to the console', async () => {
  await useConsole(live, 'wing');
  let read = await readName('ch', 7);
  assert.ok(read.status.ok, read.status.text);
  assert.equal(read.name, 'CH 7');
  assert.match(read.status.text, /via app Quennet/);
  const renamed = await rename('ch', 7, 'Keys L');
  assert.ok(renamed.ok, renamed.text);
  assert.equal(await consoleValue(live, WING, '/ch/7/name'), 'Keys L');
  assert.equal((await readName('ch', 7)).name, 'Keys L');

  read = await readName('bus', 12);
  assert.ok(read.status.ok, read.status.text);
  assert.equal(read.name, 'BUS 12');
  assert.match(read.status.text, /via \/ServerPostOSC/);
  const bus = await rename('bus', 12, 'Monitors');
  assert.ok(bus.ok, bus.text);
  assert.equal(await consoleValue(live, WING, '/bus/12/name'), 'Monitors');
});

test('names with quotes are sent with the other quote; a name with both is refused', async () => {
  await useConsole(live, 'x32');
  const cases = [
    { channel: 8, name: "Bob's Mic", sentAs: `"Bob's Mic"` },
    { channel: 9, name: 'Say "hi"', sentAs: `'Say "hi"'` },
  ];
  for (const c of cases) {
    const status = await rename('ch', c.channel, c.name);
    assert.ok(status.ok, `${c.name}: ${status.text}`);
    assert.equal(await consoleValue(live, X32, `/ch/0${c.channel}/config/name`), c.name);
    const puts = await page.$$eval('#log li', (items) => items.map((i) => i.textContent));
    assert.ok(puts.some((line) => line.includes(`/ch/0${c.channel}/config/name ,s ${c.sentAs}`)),
      `no PUT with ${c.sentAs} in the log`);
  }

  const before = await logCount();
  const refused = await rename('ch', 10, `It's "x"`);
  assert.equal(refused.ok, false);
  assert.match(refused.text, /both kinds of quote/);
  assert.equal(await logCount(), before, 'a refused name must send nothing');
  assert.equal(await consoleValue(live, X32, '/ch/10/config/name'), 'Ch 10');
});

test('the X32 channel fader follows the slider, also when dragged quickly', async () => {
  await useConsole(live, 'x32');
  await page.fill('#fader-channel', '4');
  await page.fill('#fader-x32-slider', '0.25');
  let status = await waitForStatus('fader-status', 'set to 0.25');
  assert.ok(status.ok, status.text);
  assertNear(await consoleValue(live, X32, '/ch/04/mix/fader'), 0.25, 'channel 4 fader');

  for (const step of ['0.1', '0.3', '0.5', '0.7', '0.9']) await page.fill('#fader-x32-slider', step);
  status = await waitForStatus('fader-status', 'set to 0.90');
  assertNear(await consoleValue(live, X32, '/ch/04/mix/fader'), 0.9, 'channel 4 fader after a drag');

  await setConsoleValue(live, X32, '/ch/04/mix/fader', 'f', 0.6);
  status = await act('#fader-x32-read', 'fader-status');
  assert.equal(status.text, 'Channel 4 fader is at 0.60.');
  assert.equal(await page.inputValue('#fader-x32-slider'), '0.6');
});

test('the Wing main fader follows the slider in dB and reads back', async () => {
  await useConsole(live, 'wing');
  assert.equal(await page.isVisible('#fader-wing-slider'), true);
  assert.equal(await page.isVisible('#fader-x32-slider'), false);
  await page.fill('#fader-wing-slider', '-12.5');
  const status = await waitForStatus('fader-status', 'set to -12.5 dB');
  assert.ok(status.ok, status.text);
  assert.equal(await consoleValue(live, WING, '/main/1/fdr'), -12.5);

  await setConsoleValue(live, WING, '/main/1/fdr', 'f', -30);
  const read = await act('#fader-wing-read', 'fader-status');
  assert.equal(read.text, 'Wing main fader is at -30.0 dB.');
  assert.equal(await page.inputValue('#fader-wing-number'), '-30');
});

test('the raw box shows the reply text exactly as the server returns it', async () => {
  await useConsole(live, 'x32');
  assert.equal(await page.inputValue('#raw-port'), String(X32));
  const asks = [
    { command: '/ch/01/config/name', reply: '/ch/01/config/name~~,s~~Ch 01~~~', decoded: '"Ch 01"' },
    { command: '/ch/02/mix/fader', reply: '/ch/02/mix/fader~~~~,f~~[0.7500]', decoded: 'arguments: 0.75.' },
  ];
  for (const a of asks) {
    await page.fill('#raw-command', a.command);
    const status = await act('#raw-ask', 'raw-status');
    assert.ok(status.ok, status.text);
    assert.equal(await page.textContent('#raw-reply'), a.reply);
    assert.ok((await page.textContent('#raw-decoded')).includes(a.decoded));
  }

  await page.fill('#raw-command', "/ch/02/config/name ,s 'Snare Top'");
  const sent = await act('#raw-send', 'raw-status');
  assert.ok(sent.ok, sent.text);
  assert.equal(await consoleValue(live, X32, '/ch/02/config/name'), 'Snare Top');
  assert.equal(await lastLogLine(),
    `PUT /ServerPutOSC  body: ${live},10023,/ch/02/config/name ,s 'Snare Top'  \u2192 done`);

  await page.fill('#raw-command', '/ch/02/config/name');
  await act('#raw-ask', 'raw-status');
  assert.equal(await page.textContent('#raw-reply'), '/ch/02/config/name~~,s~~Snare Top~~~');
});

test('a screenshot of the panel after a few exchanges', async () => {
  await useConsole(live, 'x32');
  const check = await act('#console-check', 'console-status');
  const name = await readName('ch', 2);
  await page.fill('#fader-channel', '2');
  const fader = await act('#fader-x32-read', 'fader-status');
  await page.fill('#raw-command', '/ch/02/config/name');
  const raw = await act('#raw-ask', 'raw-status');
  for (const status of [check, name.status, fader, raw]) assert.ok(status.ok, status.text);
  fs.mkdirSync(screenshotDir, { recursive: true });
  const file = path.join(screenshotDir, 'panel.png');
  await page.screenshot({ path: file, fullPage: true });
  assert.ok(fs.statSync(file).size > 10000);
});

test('a silent console gets a readable message from every control', async () => {
  await useConsole(silent, 'x32');
  const noAnswer = new RegExp(`No answer from the console at ${silent.replaceAll('.', '\\.')}`);
  const controls = [
    ['#console-check', 'console-status'],
    ['#name-read', 'name-status'],
    ['#fader-x32-read', 'fader-status'],
    ['#raw-ask', 'raw-status'],
  ];
  for (const [button, statusId] of controls) {
    const status = await act(button, statusId);
    assert.equal(status.ok, false, `${button}: ${status.text}`);
    assert.match(status.text, noAnswer, button);
    assert.match(status.text, /switched on/, button);
    assert.doesNotMatch(status.text, /\b408\b|Timeout|undefined/, button);
  }
  assert.equal(await page.textContent('#raw-reply'), '');

  await useConsole(silent, 'wing');
  const wing = await readName('ch', 1);
  assert.equal(wing.status.ok, false);
  assert.match(wing.status.text, /gave up after half a second/);
});

test('a missing app and a wrong address are explained, not sent', async () => {
  await useConsole(live, 'x32');
  const app = path.join(serverDir, 'htdocs', 'apps', 'Marlune.exe');
  const hidden = `${app}.hidden`;
  fs.renameSync(app, hidden);
  try {
    const read = await readName('bus', 1);
    assert.equal(read.status.ok, false);
    assert.match(read.status.text, /could not start the app "Marlune": htdocs\/apps\/Marlune\.exe is missing/);
  } finally {
    fs.renameSync(hidden, app);
  }

  const before = await logCount();
  for (const address of ['300.1.1.1', '10.0.0', 'console.local']) {
    await page.fill('#console-ip', address);
    const status = await act('#name-read', 'name-status');
    assert.equal(status.ok, false, address);
    assert.match(status.text, /is not an IPv4 address/, address);
  }
  assert.equal(await logCount(), before);
});

test('on a phone-sized screen nothing runs off the side', async () => {
  const phone = await browser.context.newPage();
  try {
    await phone.setViewportSize({ width: 390, height: 844 });
    await phone.goto(baseUrl);
    await phone.waitForSelector('body[data-ready="yes"]');
    // Reply text has no blanks to break at; the box must wrap it rather than widen the page.
    await phone.$eval('#raw-reply', (e) => { e.textContent = `/x/${'y~'.repeat(120)}[0.7500]`; });
    const overflow = await phone.evaluate(() => {
      const width = document.documentElement.clientWidth;
      const wide = [...document.querySelectorAll('body *')]
        .filter((e) => e.getBoundingClientRect().right > width + 0.5)
        .map((e) => e.id || e.tagName);
      return { scroll: document.documentElement.scrollWidth, width, wide };
    });
    assert.ok(overflow.scroll <= overflow.width, `page is ${overflow.scroll}px wide in ${overflow.width}px`);
    assert.deepEqual(overflow.wide, []);
    fs.mkdirSync(screenshotDir, { recursive: true });
    await phone.screenshot({ path: path.join(screenshotDir, 'panel-phone.png'), fullPage: true });
  } finally {
    await phone.close();
  }
});

test('a stopped server is reported as unreachable', async () => {
  await useConsole(live, 'x32');
  await stopProgram(server);
  const status = await act('#name-read', 'name-status');
  assert.equal(status.ok, false);
  assert.match(status.text, /cannot reach the Velmora server/);
  assert.deepEqual(pageErrors.filter((e) => !/Failed to load resource|ERR_CONNECTION_REFUSED/.test(e)), []);
});
