// The demo panel in headless Chromium against the built Velmora, its apps and the console
// simulator, all on loopback. Every value the panel changes is checked in the simulator
// itself, over a direct OSC line that does not pass through the server.
import { after, before, test } from 'node:test';
import assert from 'node:assert/strict';
import fs from 'node:fs';
import path from 'node:path';
import {
  consoleValue, freeTcpPort, launchBrowser, makeServerDir, screenshotDir, setConsoleValue,
  startConsoles, startDelayRelay, startServer, stopProgram, uniqueLoopback,
} from './harness.mjs';

const X32 = 10023;
const WING = 2223;

const live = uniqueLoopback();
let silent = uniqueLoopback();
while (silent === live) silent = uniqueLoopback();
let slow = uniqueLoopback();
while (slow === live || slow === silent) slow = uniqueLoopback();

let consoles;
let silentConsoles;
let slowConsole;
let server;
let serverDir;
let browser;
let page;
let baseUrl;
const pageErrors = [];

before(async () => {
  serverDir = makeServerDir(live);
  consoles = await startConsoles(live);
  silentConsoles = await startConsoles(silent, ['--silent']);
  // Answers in 0.3 s: in time for one exchange, too late for an app that needs two.
  slowConsole = await startDelayRelay(slow, live, 300);
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
  if (slowConsole) slowConsole.close();
  if (serverDir) fs.rmSync(serverDir, { recursive: true, force: true });
});

// ----- Page helpers -----

async function useConsole(address, kind) {
  await page.fill('#console-ip', address);
  await page.dispatchEvent('#console-ip', 'change');
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

test('the panel opens on the simulator named by demo.json and shows its fader level', async () => {
  assert.equal(await page.title(), 'Velmora console panel');
  assert.equal(await page.inputValue('#console-ip'), live);
  const status = await waitForStatus('fader-status');
  assert.equal(status.text, 'Channel 1 fader is at 0.75.');
  assert.equal(await page.inputValue('#fader-x32-slider'), '0.75');
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

test('the X32 fader shows the console\'s level for each channel and confirms a drag', async () => {
  await useConsole(live, 'x32');
  await setConsoleValue(live, X32, '/ch/04/mix/fader', 'f', 0.6);
  await page.fill('#fader-channel', '4');
  await page.dispatchEvent('#fader-channel', 'change');
  let status = await waitForStatus('fader-status', 'Channel 4');
  assert.equal(status.text, 'Channel 4 fader is at 0.60.');
  assert.equal(await page.inputValue('#fader-x32-slider'), '0.6');

  await page.fill('#fader-x32-slider', '0.25');
  status = await waitForStatus('fader-status', 'read back');
  assert.equal(status.text, 'Channel 4 fader set to 0.25 (read back from the console).');
  assertNear(await consoleValue(live, X32, '/ch/04/mix/fader'), 0.25, 'channel 4 fader');

  // A quick drag: the positions in between may be skipped, the last one must arrive.
  await page.evaluate(() => {
    const slider = document.getElementById('fader-x32-slider');
    for (const step of ['0.1', '0.3', '0.5', '0.7', '0.9']) {
      slider.value = step;
      slider.dispatchEvent(new Event('input'));
    }
    slider.dispatchEvent(new Event('change'));
  });
  status = await waitForStatus('fader-status', 'set to 0.90');
  assert.ok(status.ok, status.text);
  assertNear(await consoleValue(live, X32, '/ch/04/mix/fader'), 0.9, 'channel 4 fader after a drag');
});

test('the Wing fader moves along the console\'s law: 0 dB at three quarters', async () => {
  await setConsoleValue(live, WING, '/main/1/fdr', 'f', -10);
  await useConsole(live, 'wing');
  let status = await waitForStatus('fader-status', 'Wing main fader is at');
  assert.equal(status.text, 'Wing main fader is at -10.0 dB.');
  assert.equal(await page.inputValue('#fader-wing-slider'), '0.5');
  assert.equal(await page.isVisible('#fader-x32-slider'), false);

  for (const [position, db] of [['0.75', 0], ['0.25', -30], ['1', 10], ['0', -144]]) {
    await page.fill('#fader-wing-slider', position);
    status = await waitForStatus('fader-status', 'read back');
    assert.ok(status.ok, status.text);
    assert.equal(await consoleValue(live, WING, '/main/1/fdr'), db, `slider at ${position}`);
  }

  await page.fill('#fader-wing-number', '-20');
  await page.dispatchEvent('#fader-wing-number', 'change');
  status = await waitForStatus('fader-status', 'read back');
  assert.equal(status.text, 'Wing main fader set to -20.0 dB (read back from the console).');
  assert.equal(await page.inputValue('#fader-wing-slider'), '0.375');
});

test('a fader moved towards a silent console never turns green', async () => {
  await useConsole(silent, 'x32');
  const opened = await waitForStatus('fader-status');
  assert.equal(opened.ok, false, opened.text);
  assert.equal(await page.getAttribute('#fader-x32-slider', 'class'), 'slider unknown');
  await page.fill('#fader-x32-slider', '0.3');
  const status = await waitForStatus('fader-status', 'did not confirm');
  assert.equal(status.ok, false, status.text);
  assert.match(status.text, new RegExp(`No answer from the console at ${silent.replaceAll('.', '\\.')}`));
});

test('a change of console or kind clears what the last console said', async () => {
  await useConsole(live, 'x32');
  await page.fill('#raw-command', '/ch/01/config/name');
  await page.fill('#raw-port', '10023');
  assert.ok((await act('#raw-ask', 'raw-status')).ok);
  await page.selectOption('#console-kind', 'wing');
  assert.equal(await page.textContent('#raw-status'), '');
  assert.equal(await page.textContent('#raw-reply'), '');
  assert.equal(await page.inputValue('#raw-port'), String(WING));
  await waitForStatus('fader-status');
  await page.fill('#console-ip', silent);
  await page.dispatchEvent('#console-ip', 'change');
  assert.doesNotMatch(await page.textContent('#fader-status'), /Wing main fader is at/);
});

test('errors name the likely cause: too slow, no "/", an app queue of one', async () => {
  await useConsole(slow, 'x32');
  const read = await readName('ch', 3);
  assert.equal(read.status.ok, false);
  assert.match(read.status.text, /answered too slowly: its check took \d+ ms\. The app Dravisk needs two answers/);

  await useConsole(live, 'x32');
  const before = await logCount();
  for (const button of ['#raw-ask', '#raw-send']) {
    await page.fill('#raw-command', 'ch/01/config/name');
    const refused = await act(button, 'raw-status');
    assert.equal(refused.ok, false);
    assert.match(refused.text, /^Command text begins with "\/"/);
  }
  assert.equal(await logCount(), before, 'a refused command must send nothing');

  const queue = await page.evaluate(async (ip) => {
    const realFetch = window.fetch;
    let inFlight = 0;
    let most = 0;
    window.fetch = (route, options) => {
      most = Math.max(most, ++inFlight);
      return realFetch(route, options).finally(() => { inFlight -= 1; });
    };
    try {
      const answers = await Promise.all([1, 2, 3].map((n) => window.Velmora.runApp('Dravisk', ip, n)));
      return { most, names: answers.map((a) => a.text) };
    } finally {
      window.fetch = realFetch;
    }
  }, live);
  assert.deepEqual(queue, { most: 1, names: ['Ch 01', 'Ch 02', 'Ch 03'] });
});

test('a browser that opens a missing page shows an error page, not a download', async () => {
  const tab = await browser.context.newPage();
  const downloads = [];
  tab.on('download', (download) => downloads.push(download.url()));
  try {
    const opened = await tab.goto(`${baseUrl}no-such-page`).then(() => 'loaded', (error) => error.message);
    assert.match(opened, /ERR_HTTP_RESPONSE_CODE_FAILURE/, 'Chromium shows its error page for the 404');
    await tab.waitForFunction(() => document.body && document.body.innerText.includes('HTTP ERROR 404'));
    assert.deepEqual(downloads, []);
  } finally {
    await tab.close();
  }
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
  assert.match(wing.status.text, noAnswer);
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
    fs.mkdirSync(screenshotDir, { recursive: true });
    await phone.screenshot({ path: path.join(screenshotDir, 'panel-phone.png'), fullPage: true });
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
