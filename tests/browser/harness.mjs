// Support for the browser tests: the built programs on loopback, a scratch document root,
// a direct OSC line to the simulator, and headless Chromium.
import { spawn } from 'node:child_process';
import dgram from 'node:dgram';
import fs from 'node:fs';
import net from 'node:net';
import os from 'node:os';
import path from 'node:path';
import { fileURLToPath } from 'node:url';

const here = path.dirname(fileURLToPath(import.meta.url));

export const sourceDir = process.env.VELMORA_SOURCE_DIR ?? path.resolve(here, '..', '..');
export const binDir = process.env.VELMORA_BIN_DIR ?? path.join(sourceDir, 'build', 'bin');
export const screenshotDir =
  process.env.VELMORA_SCREENSHOT_DIR ?? path.join(binDir, '..', 'screenshots');
export const chromiumPath = process.env.VELMORA_CHROMIUM ?? '/usr/bin/chromium';

export const APPS = ['Quennet', 'Dravisk', 'Marlune', 'Scout'];

export function program(name) {
  const file = path.join(binDir, name);
  if (!fs.existsSync(file)) {
    throw new Error(`${file} is missing: build the project first (cmake --build --preset default)`);
  }
  return file;
}

// A loopback address of its own, so the simulator's fixed ports never meet another run's.
export function uniqueLoopback() {
  const r = (n) => 1 + Math.floor(Math.random() * n);
  return `127.${100 + r(99)}.${r(253)}.${r(253)}`;
}

export function freeTcpPort() {
  return new Promise((resolve, reject) => {
    const server = net.createServer();
    server.once('error', reject);
    server.listen(0, '127.0.0.1', () => {
      const { port } = server.address();
      server.close(() => resolve(port));
    });
  });
}

/**
 * Starts `file` with `args` in `cwd` and resolves once its standard output has shown
 * `readyLines` lines matching `readyPattern`; rejects if it ends or stays silent first.
 */
export function startProgram(file, args, cwd, readyPattern, readyLines = 1) {
  return new Promise((resolve, reject) => {
    const child = spawn(file, args, { cwd, stdio: ['ignore', 'pipe', 'pipe'] });
    let out = '';
    let err = '';
    const timer = setTimeout(() => {
      child.kill('SIGKILL');
      reject(new Error(`${path.basename(file)} did not get ready:\n${out}${err}`));
    }, 10000);
    const check = () => {
      const seen = out.split('\n').filter((line) => readyPattern.test(line)).length;
      if (seen >= readyLines) {
        clearTimeout(timer);
        resolve(child);
      }
    };
    child.stdout.on('data', (chunk) => {
      out += chunk;
      check();
    });
    child.stderr.on('data', (chunk) => {
      err += chunk;
    });
    child.once('exit', (code, signal) => {
      clearTimeout(timer);
      reject(new Error(`${path.basename(file)} ended (${code ?? signal}) before it was ready:\n${out}${err}`));
    });
    child.once('error', reject);
  }).then((child) => {
    child.removeAllListeners('exit');
    return child;
  });
}

/** Stops a program this run started, by its pid: SIGTERM, then SIGKILL after 3 s. */
export function stopProgram(child) {
  if (!child || child.exitCode !== null || child.signalCode !== null) return Promise.resolve();
  return new Promise((resolve) => {
    const force = setTimeout(() => child.kill('SIGKILL'), 3000);
    child.once('exit', () => {
      clearTimeout(force);
      resolve();
    });
    child.kill('SIGTERM');
  });
}

/**
 * A scratch working directory for Velmora: htdocs holds links to the demo pages and a real
 * apps folder (the apps write their data file there) with links to the built apps. With
 * `simulator`, it holds the demo.json that ./run.sh stages for its simulator.
 */
export function makeServerDir(simulator) {
  const dir = fs.mkdtempSync(path.join(os.tmpdir(), 'velmora-browser-'));
  const docs = path.join(dir, 'htdocs');
  const apps = path.join(docs, 'apps');
  fs.mkdirSync(apps, { recursive: true });
  const source = path.join(sourceDir, 'htdocs');
  for (const entry of fs.readdirSync(source)) {
    if (entry !== 'apps') fs.symlinkSync(path.join(source, entry), path.join(docs, entry));
  }
  for (const app of APPS) fs.symlinkSync(program(app), path.join(apps, `${app}.exe`));
  if (simulator) fs.writeFileSync(path.join(docs, 'demo.json'), JSON.stringify({ simulator }));
  return dir;
}

export async function startConsoles(address, extra = []) {
  return startProgram(program('consolesim'), ['-a', address, ...extra], os.tmpdir(),
    /^consolesim: .* listening on /, 3);
}

export async function startServer(dir, port) {
  return startProgram(program('Velmora'), ['-p', String(port)], dir, /^Velmora listening on port/);
}

/**
 * A console that answers late: every datagram to `address` on the consoles' ports goes on
 * to the same port of `target` after `delayMs`, and the answer comes back from `address`.
 * Resolves to { close() }.
 */
export async function startDelayRelay(address, target, delayMs) {
  const sockets = [];
  for (const port of [10023, 2222, 2223]) {
    const front = dgram.createSocket('udp4');
    front.on('message', (packet, from) => {
      const back = dgram.createSocket('udp4');
      sockets.push(back);
      back.on('message', (reply) => front.send(reply, from.port, from.address));
      setTimeout(() => back.send(packet, port, target), delayMs);
    });
    await new Promise((resolve, reject) => {
      front.once('error', reject);
      front.bind(port, address, resolve);
    });
    sockets.push(front);
  }
  return {
    close() {
      for (const socket of sockets) {
        try { socket.close(); } catch { /* already closed */ }
      }
    },
  };
}

// ----- A direct OSC line to the simulator, independent of the server under test -----

function oscString(text) {
  const bytes = Buffer.from(text, 'utf8');
  const padded = Buffer.alloc((Math.floor(bytes.length / 4) + 1) * 4);
  bytes.copy(padded);
  return padded;
}

function readOscString(packet, at) {
  const end = packet.indexOf(0, at);
  const stop = end < 0 ? packet.length : end;
  return { text: packet.subarray(at, stop).toString('utf8'), next: (Math.floor((stop - at) / 4) + 1) * 4 + at };
}

function oscMessage(address, tag, value) {
  if (!tag) return oscString(address);
  let argument;
  if (tag === 'f') {
    argument = Buffer.alloc(4);
    argument.writeFloatBE(value);
  } else {
    argument = oscString(value);
  }
  return Buffer.concat([oscString(address), oscString(`,${tag}`), argument]);
}

/** Exchanges one datagram with the simulator; resolves to the reply packet or null. */
function udpExchange(host, port, packet, waitMs) {
  return new Promise((resolve, reject) => {
    const socket = dgram.createSocket('udp4');
    const timer = setTimeout(() => {
      socket.close();
      resolve(null);
    }, waitMs);
    socket.once('message', (reply) => {
      clearTimeout(timer);
      socket.close();
      resolve(reply);
    });
    socket.once('error', (error) => {
      clearTimeout(timer);
      socket.close();
      reject(error);
    });
    socket.send(packet, port, host);
  });
}

/** Reads the one argument of `address` straight from the simulator (string or number). */
export async function consoleValue(host, port, address) {
  const reply = await udpExchange(host, port, oscMessage(address), 1000);
  if (!reply) throw new Error(`the simulator at ${host}:${port} did not answer ${address}`);
  const tags = readOscString(reply, readOscString(reply, 0).next);
  if (tags.text === ',f') return reply.readFloatBE(tags.next);
  if (tags.text === ',s') return readOscString(reply, tags.next).text;
  throw new Error(`unexpected reply type ${tags.text} for ${address}`);
}

/** Sets a value straight in the simulator (it sends no reply to a set). */
export async function setConsoleValue(host, port, address, tag, value) {
  await udpExchange(host, port, oscMessage(address, tag, value), 100);
}

// ----- Chromium -----

async function loadChromiumDriver() {
  try {
    return (await import('playwright-core')).chromium;
  } catch (error) {
    throw new Error('the npm package playwright-core is missing: run scripts/install-deps.sh ' +
      `(or npm ci --prefix ${here}) first. ${error.message}`);
  }
}

export async function launchBrowser() {
  const chromium = await loadChromiumDriver();
  if (!fs.existsSync(chromiumPath)) {
    throw new Error(`${chromiumPath} is missing: run scripts/install-deps.sh (Debian package chromium)`);
  }
  const profile = fs.mkdtempSync(path.join(os.tmpdir(), 'velmora-chromium-'));
  const context = await chromium.launchPersistentContext(profile, {
    executablePath: chromiumPath,
    headless: true,
    viewport: { width: 1280, height: 900 },
    args: [
      '--headless', '--no-sandbox', '--disable-gpu', '--disable-quic', '--no-first-run',
      '--disable-background-networking', '--disable-component-update', '--disable-sync',
    ],
  });
  return {
    context,
    async close() {
      await context.close();
      fs.rmSync(profile, { recursive: true, force: true });
    },
  };
}

// ----- The whole stack for a page test -----

/**
 * Starts the simulator on a loopback address of its own (and, with `silent`, a second one
 * that answers nothing), Velmora in a scratch folder, and Chromium with one page. The
 * result holds their addresses, `baseUrl`, `page`, `pageErrors` and `stop()`.
 */
export async function startStack({ silent = false } = {}) {
  const stack = { live: uniqueLoopback(), pageErrors: [], children: [] };
  stack.dir = makeServerDir();
  stack.stop = async () => {
    if (stack.browser) await stack.browser.close();
    for (const child of stack.children.reverse()) await stopProgram(child);
    fs.rmSync(stack.dir, { recursive: true, force: true });
  };
  try {
    stack.children.push(await startConsoles(stack.live));
    if (silent) {
      do stack.silent = uniqueLoopback(); while (stack.silent === stack.live);
      stack.children.push(await startConsoles(stack.silent, ['--silent']));
    }
    const port = await freeTcpPort();
    stack.server = await startServer(stack.dir, port);
    stack.children.push(stack.server);
    stack.baseUrl = `http://127.0.0.1:${port}/`;
    stack.browser = await launchBrowser();
    stack.page = await stack.browser.context.newPage();
    stack.page.on('pageerror', (error) => stack.pageErrors.push(error.message));
    stack.page.on('console', (message) => {
      if (message.type() === 'error') stack.pageErrors.push(message.text());
    });
  } catch (error) {
    await stack.stop();
    throw error;
  }
  return stack;
}
