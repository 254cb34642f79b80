// The panel's "Find consoles" button in headless Chromium against the built Velmora, Scout and
// the console simulator. Scout with an empty body broadcasts, so it only ever runs here with
// an address: the demo's (demo.json staged as ./run.sh stages it). The form a page sends
// outside the demo is checked with the request caught in the browser, and Scout is taken
// out of the apps folder meanwhile, so nothing can broadcast even if it got through.
import { after, before, test } from 'node:test';
import assert from 'node:assert/strict';
import fs from 'node:fs';
import path from 'node:path';
import { startStack } from './harness.mjs';

let stack;
let page;

before(async () => {
  stack = await startStack();
  page = stack.page;
});

after(async () => {
  if (stack) await stack.stop();
});

const demoFile = () => path.join(stack.dir, 'htdocs', 'demo.json');

async function openPanel() {
  await page.goto(stack.baseUrl);
  await page.waitForSelector('body[data-ready="yes"]');
}

// Clicks Find and waits for its outcome; the status and the buttons listed.
async function find() {
  await page.evaluate(() => { document.getElementById('console-status').className = 'status'; });
  await page.click('#console-find');
  await page.waitForSelector('#console-status.ok, #console-status.error', { timeout: 10000 });
  return {
    status: await page.textContent('#console-status'),
    found: await page.$$eval('#console-found:not([hidden]) button', (b) => b.map((e) => e.textContent)),
  };
}

test('in the demo, Find asks the simulator by its address and fills the chosen console', async () => {
  fs.writeFileSync(demoFile(), JSON.stringify({ simulator: stack.live }));
  await openPanel();
  const bodies = [];
  const seen = (request) => { if (request.url().endsWith('/Scout')) bodies.push(request.postData()); };
  page.on('request', seen);
  const result = await find();
  page.off('request', seen);
  assert.deepEqual(bodies, [stack.live]);
  assert.match(result.status, /^Asked the console at .* through POST \/Scout: 2 consoles answered/);
  assert.deepEqual(result.found, [
    `Wing "consolesim" at ${stack.live} (model NGC-FULL, firmware 1.0)`,
    `X32 "consolesim" at ${stack.live} (model X32, firmware 1.0)`,
  ]);

  await page.fill('#console-ip', '');
  await page.click(`#console-found button:has-text("Wing")`);
  assert.equal(await page.inputValue('#console-ip'), stack.live);
  assert.equal(await page.inputValue('#console-kind'), 'wing');
  assert.match(await page.textContent('#console-status'), /^Using the Wing "consolesim"/);
  assert.equal(await page.getAttribute('#mixer-link', 'href'), `mixer.html?ip=${stack.live}&kind=wing`);
  assert.deepEqual(stack.pageErrors, []);
});

test('outside the demo, Find sends the empty body and lists what Scout returns', async () => {
  fs.rmSync(demoFile(), { force: true });
  const scout = path.join(stack.dir, 'htdocs', 'apps', 'Scout.exe');
  fs.renameSync(scout, `${scout}.away`);
  const cases = [
    { reply: { status: 200, body: 'X32\t192.0.2.7\t\tX32\t4.06\nWing\t192.0.2.9\tFOH\tngc-full\t1.0\nbad line\n' },
      found: ['X32 no name at 192.0.2.7 (model X32, firmware 4.06)', 'Wing "FOH" at 192.0.2.9 (model ngc-full, firmware 1.0)'],
      status: /^Asked every console on this network through POST \/Scout: 2 consoles answered/ },
    { reply: { status: 200, body: '' }, found: [], status: /^No console answered \(asked every console/ },
    { reply: { status: 408, body: '' }, found: [], status: /^The search did not finish in time/ },
  ];
  try {
    await openPanel();
    for (const c of cases) {
      const bodies = [];
      await page.route('**/Scout', (route) => {
        bodies.push(route.request().postData() ?? '');
        return route.fulfill({ status: c.reply.status, contentType: 'text/plain', body: c.reply.body });
      });
      const result = await find();
      await page.unroute('**/Scout');
      assert.deepEqual(bodies, ['']);
      assert.deepEqual(result.found, c.found);
      assert.match(result.status, c.status);
    }
  } finally {
    fs.renameSync(`${scout}.away`, scout);
  }
});
