/*
 * velmora.js: what a web page needs to talk to consoles through the Velmora server.
 * A classic script (no modules, no build step); it defines one global, `Velmora`.
 *
 *   Velmora.ask(ip, port, '/ch/01/config/name')     -> POST /ServerPostOSC, the console's answer
 *   Velmora.send(ip, port, '/ch/01/mix/fader ,f 0.5') -> PUT /ServerPutOSC, no answer
 *   Velmora.runApp('Dravisk', ip, 5)                  -> POST /Dravisk, the app's text
 *   Velmora.findConsoles('')                          -> POST /Scout, the consoles that answered
 *
 * Every call resolves (never rejects) to a result object:
 *   { ok: true,  text, request }                       on success
 *   { ok: false, problem, message, status, request }   otherwise
 * `problem` is one of: invalid, noanswer, timeout, err, outmem, notimpl, bad, notfound,
 * unreachable, slow, status. `message` says in plain words what went wrong and what to check.
 * `request` is { method, route, body }, the exact request that went out (null when the
 * input was refused before sending).
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
        return { problem: 'timeout', message: 'No answer from ' + who +
          ': the name lookup gave up after half a second.' + REACH_ADVICE };
      case 500:
        return { problem: 'err', message: 'The server could not send the command to ' + who +
          '. Check the address (four numbers from 0 to 255 separated by dots) and the port.' };
      case 507:
        return { problem: 'outmem', message: 'The command is too long for the server\'s buffer ' +
          '(4096 bytes unless Velmora was started with a larger -s). Shorten it.' };
      case 510:
        return { problem: 'notimpl', message: 'The server could not start the app "' +
          (context.app || '?') + '": htdocs/apps/' + (context.app || '?') + '.exe is missing or ' +
          'cannot run. Build the project (./run.sh does) and start Velmora from the ' +
          'folder that holds htdocs.' };
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

  // One HTTP exchange; resolves to { status, text } or { status: 0, failure }.
  function exchange(method, route, body) {
    var controller = new AbortController();
    var timer = setTimeout(function () { controller.abort(); }, SERVER_PATIENCE_MS);
    return fetch(route, { method: method, body: body, cache: 'no-store', signal: controller.signal })
      .then(function (response) {
        return response.text().then(function (text) {
          return { status: response.status, text: text };
        });
      })
      .catch(function () {
        return { status: 0, failure: controller.signal.aborted ? 'slow' : 'unreachable' };
      })
      .finally(function () { clearTimeout(timer); });
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

  /** POST /ServerPostOSC: sends one command and returns the console's answer as reply text. */
  function ask(ip, port, command) {
    var refused = checkTarget(ip, port);
    if (refused) return Promise.resolve(refused);
    var request = { method: 'POST', route: '/ServerPostOSC', body: ip + ',' + port + ',' + command };
    return exchange(request.method, request.route, request.body).then(function (reply) {
      if (reply.status === 0) return serverFailure(request, reply);
      if (reply.status !== 200) return failure(request, reply.status, explain(reply.status, { ip: ip, port: port }));
      var text = stripZero(reply.text);
      if (text === '') {
        return failure(request, 200, { problem: 'noanswer', message: 'No answer from ' +
          describeTarget(ip, port) + ' within half a second.' + REACH_ADVICE });
      }
      return { ok: true, text: text, request: request };
    });
  }

  /** PUT /ServerPutOSC: sends one command; the console does not answer it. */
  function send(ip, port, command) {
    var refused = checkTarget(ip, port);
    if (refused) return Promise.resolve(refused);
    var request = { method: 'PUT', route: '/ServerPutOSC', body: ip + ',' + port + ',' + command };
    return exchange(request.method, request.route, request.body).then(function (reply) {
      if (reply.status === 0) return serverFailure(request, reply);
      if (reply.status !== 200) return failure(request, reply.status, explain(reply.status, { ip: ip, port: port }));
      return { ok: true, text: '', request: request };
    });
  }

  /** POST /<app>: runs a server app with the body "<ip>,<number>" and returns its text. */
  function runApp(app, ip, number) {
    var refused = checkTarget(ip);
    if (refused) return Promise.resolve(refused);
    var request = { method: 'POST', route: '/' + app, body: ip + ',' + number };
    return exchange(request.method, request.route, request.body).then(function (reply) {
      if (reply.status === 0) return serverFailure(request, reply);
      if (reply.status !== 200) {
        return failure(request, reply.status, explain(reply.status, { ip: ip, app: app }));
      }
      return { ok: true, text: reply.text, request: request };
    });
  }

  /**
   * Wraps `sendValue` (a value in, a promise out) for a control that moves faster than the
   * server answers, such as a dragged fader: while one value is on its way, later values
   * replace each other and only the newest is sent next, so a drag never queues hundreds of
   * requests on a server that serves one at a time. `idle`, if given, runs once the last
   * value has gone.
   */
  function latestOnly(sendValue, idle) {
    var busy = false;
    var next = null;
    function drain() {
      if (next === null) {
        busy = false;
        if (idle) idle();
        return;
      }
      var value = next;
      next = null;
      sendValue(value).finally(drain);
    }
    return function (value) {
      next = value;
      if (!busy) {
        busy = true;
        drain();
      }
    };
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
    return exchange(request.method, request.route, request.body).then(function (reply) {
      if (reply.status === 0) return serverFailure(request, reply);
      if (reply.status === 408) {
        return failure(request, 408, { problem: 'timeout', message: 'The search did not finish ' +
          'in time (an app started earlier may still have been running). Try again. If it ' +
          'keeps failing, this computer may be unable to broadcast (a network without a ' +
          'default gateway refuses it): type the console\'s address and press Check console.' });
      }
      if (reply.status !== 200) {
        return failure(request, reply.status, explain(reply.status, { ip: address, app: 'Scout' }));
      }
      return { ok: true, text: reply.text, consoles: parseConsoleList(reply.text), request: request };
    });
  }

  function pad2(n) {
    return (n < 10 ? '0' : '') + n;
  }

  // The Wing fader law: a fader position from 0 (bottom) to 1 (top) against the level in dB
  // the console shows for it, in four straight segments, with everything at or below 0.01
  // silent (-144 dB) and everything from 0.99 up at +10 dB. A Wing fader holds the level;
  // an X32 fader holds the position and shows its level along the same law.
  var SILENT_DB = -144;

  /** The level in dB at fader position `x`. */
  function wingLevel(x) {
    if (x <= 0.01) return SILENT_DB;
    if (x < 0.062561095) return (x - 0.1875) * 30 * 16;
    if (x < 0.250244379) return (x - 0.4375) / 0.00625;
    if (x < 0.500488759) return (x - 0.625) / 0.0125;
    if (x < 0.99) return (x - 0.75) / 0.025;
    return 10;
  }

  /** The fader position that shows level `db`: the inverse of wingLevel, from 0 to 1. */
  function wingPosition(db) {
    if (!(db > SILENT_DB)) return 0;
    if (db >= 10) return 1;
    if (db >= -10) return (db + 30) / 40;
    if (db >= -30) return (db + 50) / 80;
    if (db >= -60) return (db + 70) / 160;
    // Levels below the lowest segment, which the law never sends, sit at its foot.
    return Math.max(0.01, (db + 90) / 480);
  }

  /** A level as a console shows it: "-12.5 dB", "+3.0 dB", "-\u221e dB" for silence. */
  function showDb(db) {
    if (!(db > SILENT_DB)) return '-\u221e dB';
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
    findConsoles: findConsoles,
    parseConsoleList: parseConsoleList,
    latestOnly: latestOnly,
    pad2: pad2,
    wingLevel: wingLevel,
    wingPosition: wingPosition,
    showDb: showDb
  };
})(window);
