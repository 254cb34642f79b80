// The page helpers of htdocs/velmora.js that need no server: reading reply text, quoting
// names, checking addresses. The script is loaded as the browser loads it, as a classic
// script that sets window.Velmora.
import { test } from 'node:test';
import assert from 'node:assert/strict';
import fs from 'node:fs';
import path from 'node:path';
import vm from 'node:vm';
import { sourceDir } from './harness.mjs';

function loadHelpers() {
  const window = {};
  const code = fs.readFileSync(path.join(sourceDir, 'htdocs', 'velmora.js'), 'utf8');
  vm.runInNewContext(code, { window, TextEncoder });
  return window.Velmora;
}

const V = loadHelpers();

// Plain arrays: values from the script's own realm would not compare deeply with ours.
function parsed(text) {
  const r = V.parseReply(text);
  return { address: r.address, tags: r.tags, values: Array.from(r.args, (a) => a.value) };
}

test('parseReply reads the arguments of every reply form', () => {
  const cases = [
    ['/ch/01/config/name~~,s~~Kick~~~~', '/ch/01/config/name', 's', ['Kick']],
    ['/main/1/fdr~,f~~[0.7500]', '/main/1/fdr', 'f', [0.75]],
    ['/x~~,f~~[-01000]', '/x', 'f', [-1000]],
    ['/x~~,f~~[010000]', '/x', 'f', [10000]],
    ['/x~~,f~~[00.000]', '/x', 'f', [0]],
    ['/x~~,iii~~~~[     1][    -7][1234567', '/x', 'iii', [1, -7, 1234567]],
    ['/x~~,is~[     3]hello~~~', '/x', 'is', [3, 'hello']],
    ['/x~~,bi~   3 bytes: 0a0b0c[     9]', '/x', 'bi', ['0a0b0c', 9]],
    ['/x~~,b~~   0 bytes: ', '/x', 'b', ['']],
    ['/xinfo~~,ssss~~~127.0.0.1~~~consolesim~~X32~1.0~', '/xinfo', 'ssss',
      ['127.0.0.1', 'consolesim', 'X32', '1.0']],
    ['/a,i 5~~,i~~[     5]', '/a,i 5', 'i', [5]],
    ['/x~~,Ti~[     5]', '/x', 'Ti', [5]],
    ['/x~~,ii~[     1]', '/x', 'ii', [1]],
    ['/x~~,s~~~~~~', '/x', 's', ['']],
    // A name in UTF-8: its padding follows its bytes (5), not its characters (4).
    ['/x~~,sii~~~~Café~~~[     2][     3]', '/x', 'sii', ['Café', 2, 3]],
    ['/xinfo~~', '/xinfo', '', []],
    ['WING,127.0.0.1,NGC-FULL,desk,S1,1.0', 'WING,127.0.0.1,NGC-FULL,desk,S1,1.0', '', []],
    ['', '', '', []],
  ];
  for (const [text, address, tags, values] of cases) {
    assert.deepEqual(parsed(text), { address, tags, values }, text);
  }
});

test('replyValue gives the first argument, or undefined without one', () => {
  assert.equal(V.replyValue('/ch/01/config/name~~,s~~Ch 01~~~'), 'Ch 01');
  assert.equal(V.replyValue('/ch/01/mix/fader~~~~,f~~[0.2500]'), 0.25);
  assert.equal(V.replyValue('/xinfo~~'), undefined);
  assert.equal(V.replyValue(''), undefined);
});

test('quoteArgument picks the quote the name does not hold and refuses names with both', () => {
  const cases = [
    ['Lead Vox', "'Lead Vox'"],
    ["Bob's", `"Bob's"`],
    ['Say "hi"', `'Say "hi"'`],
    ['', "''"],
  ];
  for (const [name, quoted] of cases) {
    const r = V.quoteArgument(name);
    assert.equal(r.ok, true, name);
    assert.equal(r.text, quoted, name);
  }
  const both = V.quoteArgument(`It's "x"`);
  assert.equal(both.ok, false);
  assert.match(both.message, /both kinds of quote/);
});

test('isIPv4 takes dotted addresses only, without leading zeros', () => {
  const good = ['127.0.0.1', '192.168.1.20', '0.0.0.0', '255.255.255.255'];
  const bad = ['256.1.1.1', '1.2.3', '1.2.3.4.5', '192.168.001.010', 'console.local', '', ' 1.2.3.4',
    '1.2.3.-4', '1..2.3'];
  for (const a of good) assert.equal(V.isIPv4(a), true, a);
  for (const a of bad) assert.equal(V.isIPv4(a), false, a);
});

test('requests with a bad address or port are refused before anything is sent', async () => {
  const cases = [
    [() => V.ask('1.2.3', 10023, '/xinfo'), /not an IPv4 address/],
    [() => V.send('127.0.0.1', 70000, '/xinfo'), /not a UDP port/],
    [() => V.ask('127.0.0.1', '', '/xinfo'), /not a UDP port/],
    [() => V.runApp('Dravisk', '192.168.1.020', 5), /without leading zeros/],
  ];
  for (const [call, message] of cases) {
    const r = await call();
    assert.equal(r.ok, false);
    assert.equal(r.problem, 'invalid');
    assert.equal(r.request, null);
    assert.match(r.message, message);
  }
});

test('the Wing fader law matches the console: positions to dB and back', () => {
  // [position, dB]: the segment ends, 0 dB at three quarters, the jumps at 0.01 and 0.99.
  const cases = [
    [0, -144], [0.01, -144], [0.011, -84.72], [0.05, -66], [0.0625, -60], [0.25, -30],
    [0.375, -20], [0.5, -10], [0.75, 0], [0.98, 9.2], [0.99, 10], [1, 10],
  ];
  for (const [position, db] of cases) {
    assert.ok(Math.abs(V.wingLevel(position) - db) < 1e-9, `${position} gives ${V.wingLevel(position)}, not ${db}`);
    if (position > 0.01 && position < 0.99) {
      assert.ok(Math.abs(V.wingPosition(db) - position) < 1e-9, `${db} dB sits at ${V.wingPosition(db)}`);
    }
  }
  for (const [db, position] of [[-144, 0], [-200, 0], [-100, 0.01], [10, 1], [9.8, 0.99]]) {
    assert.equal(V.wingPosition(db), position, `${db} dB`);
  }
});

test('showDb writes levels as a console shows them', () => {
  const cases = [[-144, '-\u221e dB'], [-200, '-\u221e dB'], [NaN, '-\u221e dB'], [-66, '-66.0 dB'],
    [-12.54, '-12.5 dB'], [0, '0.0 dB'], [9.2, '+9.2 dB'], [10, '+10.0 dB']];
  for (const [db, shown] of cases) assert.equal(V.showDb(db), shown, String(db));
});
