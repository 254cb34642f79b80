/*
 * velmora.js: what a web page needs to talk to consoles through the Velmora server.
 * A classic script (no modules, no build step); it defines one global, `Velmora`.
 *
 *   Velmora.ask(ip, port, '/ch/01/config/name')     -> POST /ServerPostOSC, the console's answer
 *   Velmora.send(ip, port, '/ch/01/mix/fader ,f 0.5') -> PUT /ServerPutOSC, no answer
 *   Velmora.runApp('Dravisk', ip, 5)                  -> POST /Dravisk, the app's text
 *   Velmora.findConsoles('')                          -> POST /Scout, the consoles that answered
 *   Velmora.wingLevel(0.75) -> 0 (dB), Velmora.wingPosition(-10) -> 0.5: the Wing fader law
 *
 * Every call resolves (never rejects) to a result object:
 *   { ok: true,  text, request, ms }                       on success
 *   { ok: false, problem, message, status, request, ms }   otherwise
 * `ms` is how long the server took to answer, in milliseconds.
 * `problem` is one of: invalid, noanswer, timeout, err, outmem, notimpl, bad, notfound,
 * unreachable, slow, status. `message` says in plain words what went wrong and what to check.
 * `request` is { method, route, body }, the exact request that went out (null when the
 * input was refused before sending).
 *
 * App requests go out one at a time: the server apps share one data file, so a page never
 * has two of them in flight; a second runApp waits until the first has its answer.
 */
(function (global) {
  'use strict';

  var PORTS = { x32: 10023, wing: 2223, wingDiscovery: 2222 };
  // The server answers within about half a second even when a console is silent; a much
  // longer wait means the server itself is stuck or gone.
  var SERVER_PATIENCE_MS = 6000;

  // Leading zeros are refused: the server reads "010" as octal, so 192.168.001.010 would
  // quietly reach 192.168.1.8.
  function isIPv4(text) {
    var parts = String(text).split('.');
    if (parts.length !== 4) return false;
    return parts.every(function (p) {
      return /^(0|[1-9][0-9]{0,2})$/.test(p) && Number(p) <= 255;
    });
  }

  function isPort(value) {
    var n = Number(value);
    return Number.isInteger(n) && n >= 1 && n <= 65535;
  }

  // A string argument of a command is quoted with the quote character it does not hold;
  // command text has no escape character, so a name holding both kinds cannot be sent.
  function quoteArgument(text) {
    var s = String(text);
    if (s.indexOf("'") < 0) return { ok: true, text: "'" + s + "'" };
    if (s.indexOf('"') < 0) return { ok: true, text: '"' + s + '"' };
    return {
      ok: false,
      message: 'This name holds both kinds of quote (\' and "). A console command can carry ' +
        'only one kind, so it cannot be sent. Remove one of them and try again.'
    };
  }

  function utf8Length(text) {
    return new TextEncoder().encode(text).length;
  }

  // Reply text is the console's packet shown byte for byte ('~' for zero and control
  // bytes), numbers as 8-character bracketed fields. Padding therefore follows the byte
  // count of what came before, which this measures in UTF-8 bytes, not in characters.
  function paddingAfter(byteCount) {
    return (Math.floor(byteCount / 4) + 1) * 4 - byteCount;
  }

  function readNumber(field) {
    var inner = field.replace(/^\[/, '').replace(/\]$/, '').trim();
    return inner === '' ? NaN : Number(inner);
  }

  function readArguments(text, pos, tags) {
    var args = [];
    for (var k = 0; k < tags.length && pos < text.length; k++) {
      var letter = tags[k];
      if (letter === 'i' || letter === 'f') {
        var field = text.slice(pos, pos + 8);
        args.push({ type: letter, value: readNumber(field), text: field });
        pos += 8;
      } else if (letter === 's') {
        var stop = text.indexOf('~', pos);
        if (stop < 0) stop = text.length;
        var value = text.slice(pos, stop);
        args.push({ type: 's', value: value, text: value });
        pos = stop + paddingAfter(utf8Length(value));
      } else if (letter === 'b') {
        var header = text.slice(pos, pos + 12);
        var count = Math.max(0, parseInt(header, 10) || 0);
        var hex = text.slice(pos + 12, pos + 12 + 2 * count);
        args.push({ type: 'b', value: hex, text: header + hex });
        pos += 12 + hex.length;
      }
    }
    return args;
  }

  /**
   * Splits reply text such as "/ch/01/config/name~~,s~~Kick~~~~" into
   * { raw, address: '/ch/01/config/name', tags: 's', args: [{ type: 's', value: 'Kick' }] }.
   * Numbers come back as numbers ("[0.7500]" gives 0.75). A reply that is not OSC (the
   * Wing's discovery answer, say) comes back as its address alone.
   */
  function parseReply(text) {
    var reply = { raw: text, address: '', tags: '', args: [] };
    if (!text) return reply;
    var firstZero = text.indexOf('~');
    if (firstZero < 0) {
      reply.address = text;
      return reply;
    }
    reply.address = text.slice(0, firstZero);
    var comma = text.indexOf(',', firstZero);
    if (comma < 0) return reply;
    var end = comma + 1;
    while (end < text.length && text[end] !== '~') end++;
    reply.tags = text.slice(comma + 1, end);
    var argStart = end + paddingAfter(utf8Length(text.slice(0, end)));
    reply.args = readArguments(text, argStart, reply.tags);
    return reply;
  }

  /** The value of a one-argument reply (string or number), or undefined. */
  function replyValue(text) {
    var args = parseReply(text).args;
    return args.length > 0 ? args[0].value : undefined;
  }

  function describeTarget(ip, port) {
    return 'the console at ' + ip + (port ? ' (UDP port ' + port + ')' : '');
  }

  var REACH_ADVICE = ' Check that the console is switched on, that the address and the kind of ' +
    'console are right, and that this computer can reach it: same network, and no firewall ' +
    'blocking UDP.';

  // Turns what the server answered into a result a person can read.
  function explain(status, context) {
    var who = describeTarget(context.ip, context.port);
    switch (status) {
      case 408:
        return { problem: 'timeout', message: 'The app ' + (context.app || '?') + ' left no answer ' +
          'within half a second: no answer from ' + who + ', or it answered too slowly.' + REACH_ADVICE };
      case 500:
        return { problem: 'err', message: 'The server could not send the command to ' + who +
          '. Check the address (four numbers from 0 to 255 separated by dots) and the port.' };
      case 507:
        return { problem: 'outmem', message: 'The command is too long for the server\'s buffer ' +
          '(4096 bytes unless Velmora was started with a larger -s). Shorten it.' };
      case 510:
        return { problem: 'notimpl', message: 'The server could not start the app "' +
          (context.app || '?') + '": htdocs/apps/' + (context.app || '?') + '.exe is missing ' +
          'from the folder Velmora was started in, or cannot run. ./run.sh builds the apps and ' +
          'starts Velmora in build/site, where they are.' };
      case 501:
        return { problem: 'bad', message: 'The server refused the request method.' };
      case 404:
        return { problem: 'notfound', message: 'The server has no such page or route.' };
      default:
        return { problem: 'status', message: 'The server answered with the unexpected HTTP status ' +
          status + '.' };
    }
  }

  function failure(request, status, detail) {
    return { ok: false, problem: detail.problem, message: detail.message, status: status,
      request: request };
  }

  function invalid(message) {
    return { ok: false, problem: 'invalid', message: message, status: 0, request: null };
  }

  function checkTarget(ip, port) {
    if (!isIPv4(ip)) {
      return invalid('"' + ip + '" is not an IPv4 address. Type four numbers from 0 to 255 ' +
        'separated by dots, without leading zeros, for example 192.168.1.20.');
    }
    if (port !== undefined && !isPort(port)) {
      return invalid('"' + port + '" is not a UDP port. Use a whole number from 1 to 65535.');
    }
    return null;
  }

  function now() {
    return global.performance ? global.performance.now() : Date.now();
  }

  // One HTTP exchange; resolves to { status, text, ms } or { status: 0, failure, ms }.
  function exchange(method, route, body) {
    var controller = new AbortController();
    var timer = setTimeout(function () { controller.abort(); }, SERVER_PATIENCE_MS);
    var started = now();
    return fetch(route, { method: method, body: body, cache: 'no-store', signal: controller.signal })
      .then(function (response) {
        return response.text().then(function (text) {
          return { status: response.status, text: text };
        });
      })
      .catch(function () {
        return { status: 0, failure: controller.signal.aborted ? 'slow' : 'unreachable' };
      })
      .then(function (reply) {
        reply.ms = Math.round(now() - started);
        return reply;
      })
      .finally(function () { clearTimeout(timer); });
  }

  function timed(result, reply) {
    result.ms = reply.ms;
    return result;
  }

  function serverFailure(request, reply) {
    if (reply.failure === 'slow') {
      return failure(request, 0, { problem: 'slow', message: 'The Velmora server took more than ' +
        SERVER_PATIENCE_MS / 1000 + ' seconds to answer. It may be stuck; restart it.' });
    }
    return failure(request, 0, { problem: 'unreachable', message: 'This page cannot reach the ' +
      'Velmora server. Is it still running? (./run.sh starts it.)' });
  }

  // Text replies of /ServerPostOSC end with the zero byte that closes the reply text.
  function stripZero(text) {
    return text.replace(/\0+$/, '');
  }

  function askResult(request, reply, ip, port) {
    if (reply.status === 0) return serverFailure(request, reply);
    if (reply.status !== 200) return failure(request, reply.status, explain(reply.status, { ip: ip, port: port }));
    var text = stripZero(reply.text);
    if (text === '') {
      return failure(request, 200, { problem: 'noanswer', message: 'No answer from ' +
        describeTarget(ip, port) + ' within half a second.' + REACH_ADVICE });
    }
    return { ok: true, text: text, request: request };
  }

  /** POST /ServerPostOSC: sends one command and returns the console's answer as reply text. */
  function ask(ip, port, command) {
    var refused = checkTarget(ip, port);
    if (refused) return Promise.resolve(refused);
    var request = { method: 'POST', route: '/ServerPostOSC', body: ip + ',' + port + ',' + command };
    return exchange(request.method, request.route, request.body).then(function (reply) {
      return timed(askResult(request, reply, ip, port), reply);
    });
  }

  /** PUT /ServerPutOSC: sends one command; the console does not answer it. */
  function send(ip, port, command) {
    var refused = checkTarget(ip, port);
    if (refused) return Promise.resolve(refused);
    var request = { method: 'PUT', route: '/ServerPutOSC', body: ip + ',' + port + ',' + command };
    return exchange(request.method, request.route, request.body).then(function (reply) {
      if (reply.status === 0) return timed(serverFailure(request, reply), reply);
      if (reply.status !== 200) {
        return timed(failure(request, reply.status, explain(reply.status, { ip: ip, port: port })), reply);
      }
      return timed({ ok: true, text: '', request: request }, reply);
    });
  }

  // The end of the queue of app requests; each one starts when the one before has ended.
  var appQueue = Promise.resolve();

  // Sends an app request once every earlier one has its answer.
  function appExchange(request) {
    var done = appQueue.then(function () {
      return exchange(request.method, request.route, request.body);
    });
    appQueue = done;
    return done;
  }

  /** POST /<app>: runs a server app with the body "<ip>,<number>" and returns its text. */
  function runApp(app, ip, number) {
    var refused = checkTarget(ip);
    if (refused) return Promise.resolve(refused);
    var request = { method: 'POST', route: '/' + app, body: ip + ',' + number };
    return appExchange(request).then(function (reply) {
      if (reply.status === 0) return timed(serverFailure(request, reply), reply);
      if (reply.status !== 200) {
        return timed(failure(request, reply.status, explain(reply.status, { ip: ip, app: app })), reply);
      }
      return timed({ ok: true, text: reply.text, request: request }, reply);
    });
  }

  /**
   * Wraps `sendValue` (a value in, a promise of a result out) for a control that moves
   * faster than the server answers, such as a dragged fader: while one value is on its way,
   * later values replace each other and only the newest is sent next, so a drag never
   * queues hundreds of requests on a server that serves one at a time. push(value) sends or
   * replaces; settled() resolves with the last send's result once nothing is waiting or on
   * its way.
   */
  function latestOnly(sendValue) {
    var busy = false;
    var next = null;
    var last = { ok: true };
    var waiting = [];
    function drain() {
      if (next === null) {
        busy = false;
        waiting.splice(0).forEach(function (resolve) { resolve(last); });
        return;
      }
      var value = next;
      next = null;
      sendValue(value).then(function (result) { last = result; }).finally(drain);
    }
    return {
      push: function (value) {
        next = value;
        if (!busy) {
          busy = true;
          drain();
        }
      },
      settled: function () {
        return busy ? new Promise(function (resolve) { waiting.push(resolve); }) : Promise.resolve(last);
      }
    };
  }

  /**
   * The simulator's address from demo.json, which ./run.sh stages when it starts the
   * simulator: the address; '' when the server has no such file (this is not the demo);
   * null when the page cannot tell (no server, or a file without an address).
   */
  function demoSimulator() {
    return fetch('demo.json', { cache: 'no-store' }).then(function (response) {
      if (response.status === 404) return '';
      if (!response.ok) return null;
      return response.json().then(function (demo) {
        return demo && isIPv4(demo.simulator) ? demo.simulator : null;
      });
    }).catch(function () { return null; });
  }

  var CONSOLE_KINDS = { Wing: 'wing', X32: 'x32' };

  /**
   * Reads Scout's list, one console a line: kind, address, name, model and firmware
   * separated by tabs. Lines of any other form are skipped.
   */
  function parseConsoleList(text) {
    return String(text).split('\n').map(function (line) { return line.split('\t'); })
      .filter(function (f) { return f.length === 5 && CONSOLE_KINDS.hasOwnProperty(f[0]) && isIPv4(f[1]); })
      .map(function (f) {
        return { kind: CONSOLE_KINDS[f[0]], label: f[0], address: f[1], name: f[2], model: f[3],
          firmware: f[4] };
      });
  }

  /**
   * POST /Scout: asks consoles who they are. With an empty `address` every console on the
   * local network is asked (a broadcast); with an IPv4 address only that one. On success
   * the result also holds `consoles`: [{ kind ('x32' or 'wing'), label, address, name,
   * model, firmware }], sorted by address.
   */
  function findConsoles(address) {
    if (address !== '') {
      var refused = checkTarget(address);
      if (refused) return Promise.resolve(refused);
    }
    var request = { method: 'POST', route: '/Scout', body: address };
    return appExchange(request).then(function (reply) {
      if (reply.status === 0) return timed(serverFailure(request, reply), reply);
      if (reply.status === 408) {
        return timed(failure(request, 408, { problem: 'timeout', message: 'The search did not ' +
          'finish in time (an app started earlier may still have been running). Try again. If ' +
          'it keeps failing, this computer may be unable to broadcast (a network without a ' +
          'default gateway refuses it): type the console\'s address and press Check console.' }),
          reply);
      }
      if (reply.status !== 200) {
        return timed(failure(request, reply.status, explain(reply.status, { ip: address, app: 'Scout' })), reply);
      }
      return timed({ ok: true, text: reply.text, consoles: parseConsoleList(reply.text), request: request },
        reply);
    });
  }

  function pad2(n) {
    return (n < 10 ? '0' : '') + n;
  }

  // The Wing fader law: a linear fader position from 0 (bottom) to 1 (top) and the level in
  // dB that the console shows for it, in straight segments; 0 dB sits at 0.75. The limits
  // are those of the console (the same as the wingfader tool).
  var WING_LAW = [
    // below `upTo`: dB = (position - offset) / perUnit
    { upTo: 0.062561095, offset: 0.1875, perUnit: 1 / 480 },
    { upTo: 0.250244379, offset: 0.4375, perUnit: 0.00625 },
    { upTo: 0.500488759, offset: 0.625, perUnit: 0.0125 },
    { upTo: 0.99, offset: 0.75, perUnit: 0.025 }
  ];
  var WING_SILENT_DB = -144;
  var WING_TOP_DB = 10;

  /** The Wing's level in dB for a fader position from 0 to 1. */
  function wingLevel(position) {
    if (!(position > 0.01)) return WING_SILENT_DB;
    for (var i = 0; i < WING_LAW.length; i++) {
      var s = WING_LAW[i];
      if (position < s.upTo) return (position - s.offset) / s.perUnit;
    }
    return WING_TOP_DB;
  }

  /** The fader position (0 to 1) at which the Wing shows `db`; the law's inverse. */
  function wingPosition(db) {
    if (!(db > WING_SILENT_DB)) return 0;
    if (db >= WING_TOP_DB) return 1;
    var low = 0.01;
    for (var i = 0; i < WING_LAW.length; i++) {
      var s = WING_LAW[i];
      var position = db * s.perUnit + s.offset;
      if (position < s.upTo) return Math.max(low, position);
      low = s.upTo;
    }
    return 0.99;
  }

  /** A level as a console shows it: "-12.5 dB", "+3.0 dB", "-\u221e dB" for silence. */
  function showDb(db) {
    if (!(db > WING_SILENT_DB)) return '-\u221e dB';
    return (db > 0 ? '+' : '') + db.toFixed(1) + ' dB';
  }

  global.Velmora = {
    PORTS: PORTS,
    isIPv4: isIPv4,
    isPort: isPort,
    quoteArgument: quoteArgument,
    parseReply: parseReply,
    replyValue: replyValue,
    ask: ask,
    send: send,
    runApp: runApp,
    demoSimulator: demoSimulator,
    findConsoles: findConsoles,
    parseConsoleList: parseConsoleList,
    latestOnly: latestOnly,
    pad2: pad2,
    wingLevel: wingLevel,
    wingPosition: wingPosition,
    showDb: showDb
  };
})(window);
